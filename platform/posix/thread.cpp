#include "platform/thread.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <utility>

namespace platform {

// POSIX threads cannot be created suspended, so a new thread first waits at
// a gate until it is told to run its body or to end without it.
struct Thread::State {
    enum class Gate { held, run, discard };

    std::function<void()> body;
    // What the body threw, for wait() to throw on the waiting thread.
    std::exception_ptr thrown;
    std::mutex mutex;
    std::condition_variable opened;
    Gate gate = Gate::held;
    pthread_t handle{};
    bool created = false;
    bool joined = false;
};

namespace {

void* thread_entry(void* arg)
{
    // The state outlives the thread: the Thread destructor joins first.
    auto* state = static_cast<Thread::State*>(arg);
    Thread::State::Gate gate;
    {
        std::unique_lock lock(state->mutex);
        state->opened.wait(lock, [&] { return state->gate != Thread::State::Gate::held; });
        gate = state->gate;
    }
    // An exception must not leave the thread, where it would end the
    // process through std::terminate (a probe that runs out of memory):
    // it is kept for the thread that waits, which can report it.
    if (gate == Thread::State::Gate::run && state->body) {
        try {
            state->body();
        } catch (...) {
            state->thrown = std::current_exception();
        }
    }
    return nullptr;
}

std::atomic<int> creations_to_refuse{0};

// Takes one refusal when one is pending.
bool refuse_creation()
{
    int pending = creations_to_refuse.load();
    while (pending > 0 && !creations_to_refuse.compare_exchange_weak(pending, pending - 1)) {
    }
    return pending > 0;
}

void open_gate(Thread::State& state, Thread::State::Gate gate)
{
    std::lock_guard lock(state.mutex);
    if (state.gate != Thread::State::Gate::held)
        return;
    state.gate = gate;
    state.opened.notify_all();
}

} // namespace

Thread::Thread(std::function<void()> body) : state_(std::make_unique<State>())
{
    state_->body = std::move(body);
    state_->created = !refuse_creation() && pthread_create(&state_->handle, nullptr, thread_entry, state_.get()) == 0;
}

Thread::~Thread()
{
    open_gate(*state_, State::Gate::discard);
    if (state_->created && !state_->joined)
        pthread_join(state_->handle, nullptr);
}

bool Thread::created() const { return state_->created; }

bool Thread::pin_to_processor(int index)
{
    if (!state_->created || index < 0 || index >= CPU_SETSIZE)
        return false;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(index, &set);
    return pthread_setaffinity_np(state_->handle, sizeof set, &set) == 0;
}

void Thread::raise_priority()
{
    if (!state_->created)
        return;
    // The real-time policy needs CAP_SYS_NICE (and a container may forbid it
    // even to root); a refusal leaves the thread as it was, which is fine
    // for every caller: the priority only shortens interruptions.
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (param.sched_priority >= 0)
        (void)pthread_setschedparam(state_->handle, SCHED_FIFO, &param);
}

void Thread::start() { open_gate(*state_, State::Gate::run); }

void Thread::wait()
{
    if (!state_->created || state_->joined)
        return;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->gate == State::Gate::held)
            return;
    }
    pthread_join(state_->handle, nullptr);
    state_->joined = true;
    if (std::exception_ptr thrown = std::exchange(state_->thrown, nullptr))
        std::rethrow_exception(thrown);
}

void fail_thread_creation(int count) { creations_to_refuse = count > 0 ? count : 0; }

int current_processor() { return sched_getcpu(); }

} // namespace platform
