#include "platform/posix/box_copy_watch.h"

#include "platform/backend.h"
#include "platform/posix/end_request.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// The write end of the pipe on which a copy forked while a watch lives
// says its process id. One watch at a time: a second box shown beside the
// first (another thread's) waits for its answer, unwatched.
std::atomic<int> copy_says_at{-1};

// In the copy, right after the fork: the copy's own id, for the watch.
extern "C" void say_copy_id()
{
    const int fd = copy_says_at.load();
    if (fd < 0)
        return;
    const pid_t self = ::getpid();
    (void)!::write(fd, &self, sizeof self);
}

bool fork_handler_registered()
{
    static const bool registered = ::pthread_atfork(nullptr, nullptr, say_copy_id) == 0;
    return registered;
}

// A copy, held by a process descriptor where the system has them, so that
// the id of a copy that ended and was reaped, given to another process
// since, is never signalled.
struct Copy {
    pid_t pid;
    int handle;
};

Copy hold(pid_t pid)
{
    return {pid, static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))};
}

void end_copy(const Copy& copy)
{
    // The copy draws nothing but the box: it ends without a word, and the
    // X server takes the box away with its connection.
    if (copy.handle >= 0)
        (void)::syscall(SYS_pidfd_send_signal, copy.handle, SIGKILL, nullptr, 0);
    else
        (void)::kill(copy.pid, SIGKILL);
}

void drain(int fd)
{
    char bytes[64];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
}

// Whether poll's answer for a socket says its other end closed it.
bool closed_by_peer(short revents) { return (revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0; }

} // namespace

struct BoxCopyWatch::State {
    int ids[2] = {-1, -1};  // copies say their ids here
    int stop[2] = {-1, -1}; // the watch ends
    std::thread watcher;
    std::atomic<bool> ended{false};
    std::atomic<bool> display_gone{false};

    // `display`: the program's connection to the display, or -1.
    void watch(int display)
    {
        std::vector<Copy> copies;
        // The connection is watched for its end alone: the events it brings
        // meanwhile are the X library's to read, once the box is answered.
        pollfd fds[4] = {{ids[0], POLLIN, 0},
                         {stop[0], POLLIN, 0},
                         {end_request_wake_fd(), POLLIN, 0},
                         {display, POLLRDHUP, 0}};
        // What the pipe holds from before the box was taken already; a
        // request that arrives while the box waits counts also once the
        // main loop has taken it, which then waits for this box's thread.
        if (fds[2].fd >= 0)
            drain(fds[2].fd);
        bool asked = false;
        for (;;) {
            // A request the main loop took while the box was being made
            // counts too: the program is on its way out.
            asked = asked || end_request_pending() || ending_on_request();
            // Asked before a copy said its id, or after: either way it ends
            // once both are known.
            if (asked && !copies.empty()) {
                // Said before the signal: the box's caller may look as soon
                // as the copy has gone.
                ended = true;
                for (const Copy& copy : copies) {
                    end_copy(copy);
                    if (copy.handle >= 0)
                        ::close(copy.handle);
                }
                copies.clear();
            }
            if (::poll(fds, 4, -1) < 0 && errno != EINTR)
                break;
            if (fds[1].revents)
                break;
            if (fds[0].revents & POLLIN) {
                pid_t pid = 0;
                while (::read(ids[0], &pid, sizeof pid) == sizeof pid)
                    copies.push_back(hold(pid));
            }
            if (fds[2].revents & POLLIN) {
                drain(fds[2].fd);
                asked = true;
            }
            if (closed_by_peer(fds[3].revents)) {
                display_gone = true;
                asked = true;
                fds[3].fd = -1; // an end stays readable; poll no more
            }
        }
        for (const Copy& copy : copies) {
            if (copy.handle >= 0)
                ::close(copy.handle);
        }
    }

    ~State()
    {
        for (int fd : {ids[0], ids[1], stop[0], stop[1]}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
};

BoxCopyWatch::BoxCopyWatch(int display) : display_(display)
{
    if (!fork_handler_registered())
        return;
    auto state = std::make_unique<State>();
    if (::pipe2(state->ids, O_CLOEXEC | O_NONBLOCK) != 0 || ::pipe2(state->stop, O_CLOEXEC) != 0)
        return;
    int none = -1;
    if (!copy_says_at.compare_exchange_strong(none, state->ids[1]))
        return;
    try {
        state->watcher = std::thread([s = state.get(), display] { s->watch(display); });
    } catch (...) {
        copy_says_at = -1;
        return;
    }
    state_ = std::move(state);
}

BoxCopyWatch::~BoxCopyWatch()
{
    if (!state_)
        return;
    (void)!::write(state_->stop[1], "S", 1);
    state_->watcher.join();
    copy_says_at = -1;
}

bool BoxCopyWatch::ended_copy() const { return state_ && state_->ended; }

bool BoxCopyWatch::display_gone() const
{
    if (state_ && state_->display_gone)
        return true;
    pollfd fd{display_, POLLRDHUP, 0};
    return display_ >= 0 && ::poll(&fd, 1, 0) == 1 && closed_by_peer(fd.revents);
}

} // namespace platform
