#include "platform/clock.h"

#include <atomic>
#include <ctime>
#include <time.h>

namespace platform {

namespace {

class SystemClock final : public ClockSource {
public:
    uint64_t counter() override
    {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(ts.tv_nsec);
    }
    uint64_t counter_frequency() override { return 1'000'000'000u; }
    uint32_t tick_ms() override { return static_cast<uint32_t>(counter() / 1'000'000u); }
    void sleep_ms(uint32_t ms) override
    {
        timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000L};
        while (nanosleep(&ts, &ts) != 0) {
        }
    }
};

SystemClock system_clock_instance;
std::atomic<ClockSource*> installed{nullptr};

ClockSource& source()
{
    ClockSource* s = installed.load(std::memory_order_acquire);
    return s ? *s : system_clock_instance;
}

} // namespace

uint64_t counter() { return source().counter(); }
uint64_t counter_frequency() { return source().counter_frequency(); }
uint32_t tick_ms() { return source().tick_ms(); }
void sleep_ms(uint32_t ms) { source().sleep_ms(ms); }

void set_clock_source(ClockSource* s) { installed.store(s, std::memory_order_release); }

ClockSource& system_clock() { return system_clock_instance; }

bool system_clock_active() { return installed.load(std::memory_order_acquire) == nullptr; }

} // namespace platform
