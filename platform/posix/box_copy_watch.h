// A box drawn by a copy of the process. Private to platform/.
#pragma once

#include <memory>

namespace platform {

// For as long as it lives, a copy of the process forked by the calling
// code (SDL forks one to draw an X11 box, then waits for it) is ended as
// soon as a request to end from outside is pending: the wait returns, and
// the program can end as it was asked to, instead of waiting for someone
// to answer a box. A copy made while a request is pending ends at once.
// Without the means to watch (no descriptors, no thread), nothing is
// watched and the box waits for its answer as it would without.
class BoxCopyWatch {
public:
    BoxCopyWatch();
    ~BoxCopyWatch();
    BoxCopyWatch(const BoxCopyWatch&) = delete;
    BoxCopyWatch& operator=(const BoxCopyWatch&) = delete;

    // Whether it ended a copy.
    bool ended_copy() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace platform
