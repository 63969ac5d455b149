// A box drawn by a copy of the process. Private to platform/.
#pragma once

#include <memory>

namespace platform {

// For as long as it lives, a copy of the process forked by the calling
// code (SDL forks one to draw an X11 box, then waits for it) is ended as
// soon as a request to end from outside is pending: the wait returns, and
// the program can end as it was asked to, instead of waiting for someone
// to answer a box. A copy made while a request is pending ends at once.
// So is it when the program's own connection to the display, the socket
// `display`, is closed by the other end (the server ended, or the
// program's connection was killed while the copy's own goes on): the box
// is then of a program that has nothing left to show. Without the means
// to watch (no descriptors, no thread), nothing is watched and the box
// waits for its answer as it would without.
class BoxCopyWatch {
public:
    explicit BoxCopyWatch(int display = -1);
    ~BoxCopyWatch();
    BoxCopyWatch(const BoxCopyWatch&) = delete;
    BoxCopyWatch& operator=(const BoxCopyWatch&) = delete;

    // Whether it ended a copy.
    bool ended_copy() const;
    // Whether the program's connection to the display is closed, as the
    // watch saw it or as it is now (a box that failed because the server
    // ended may be answered before the watch has looked).
    bool display_gone() const;

    struct State;

private:
    int display_;
    std::unique_ptr<State> state_;
};

} // namespace platform
