#include "quarn/LogSystem.h"

#include "quarn/Log.h"

#include <atomic>

namespace quarn::detail {

namespace {

// Constant-initialised and trivially destructible, so it can be read at any
// time, before the state is built and after it is gone.
enum Phase : int { not_built, alive, gone };
constinit std::atomic<int> phase{not_built};

struct Holder {
    Holder() { phase.store(alive, std::memory_order_release); }
    // Runs before the members go: from here on nothing may reach them.
    ~Holder() { phase.store(gone, std::memory_order_release); }
    LogSystem system;
};

} // namespace

LogSystem::~LogSystem()
{
    // The stream goes before its buffer; the buffer writes what is pending.
    default_stream.reset();
    default_buf.reset();
}

LogSystem* log_system() noexcept
{
    if (phase.load(std::memory_order_acquire) == gone)
        return nullptr;
    static Holder holder;
    return phase.load(std::memory_order_acquire) == gone ? nullptr : &holder.system;
}

LogGate::LogGate() noexcept : system_(log_system())
{
    if (system_) {
        system_->mutex.lock();
        ++system_->settings.gate().counter;
    }
}

LogGate::~LogGate()
{
    if (system_) {
        --system_->settings.gate().counter;
        system_->mutex.unlock();
    }
}

} // namespace quarn::detail
