// Threads whose processor and priority are chosen before they run.
#pragma once

#include <functional>
#include <memory>

namespace platform {

// A thread that is created held: its body does not run until start(), so
// that it can be pinned and raised first. Destroying a thread waits for its
// body; a thread that was never started ends without running it. An
// exception out of the body ends the body, not the process: wait() throws
// it on the waiting thread, and destroying the thread drops it.
class Thread {
public:
    explicit Thread(std::function<void()> body);
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // False when the system refused to create the thread; nothing else works
    // then and start() does not run the body.
    [[nodiscard]] bool created() const;

    // Restricts the thread to the processor with this index (0 is the first).
    // False when that processor does not exist or this process may not use
    // it. Only meaningful before start().
    [[nodiscard]] bool pin_to_processor(int index);

    // Asks for the highest scheduling priority. Best effort: without the
    // right to raise priorities the request is ignored and the thread runs
    // at its normal priority.
    void raise_priority();

    // Lets the body run. Calling it twice does nothing.
    void start();

    // Waits, without a time limit, until the body has returned, and then
    // throws what the body threw, once. Returns at once when the thread was
    // never started.
    void wait();

    struct State;

private:
    std::unique_ptr<State> state_;
};

// For tests: the next `count` threads made fail to be created, as when the
// system refuses a new thread (created() is false). 0 clears it.
void fail_thread_creation(int count = 1);

// The processor the calling thread runs on at this moment, or -1 when the
// system cannot tell.
int current_processor();

} // namespace platform
