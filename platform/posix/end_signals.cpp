// Requests to end from outside: the terminal the program was started from
// closes (SIGHUP), or it is asked to end (SIGTERM, Ctrl+C's SIGINT). While
// the program runs, each becomes a close request, so that the settings and
// the best time are saved on the way out instead of the process dying with
// nothing written, and the one-copy lock goes with it. Both backends take
// the request from here: the SDL2 backend starts SDL without its own
// handlers, whose quit event would not end a box that waits.
#include "platform/backend.h"
#include "platform/posix/end_request.h"
#include "platform/process.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <iterator>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int end_signals[] = {SIGHUP, SIGINT, SIGTERM};

volatile std::sig_atomic_t end_requested = 0;
// Set once the program took a request: it is on its way out.
std::atomic<bool> end_request_taken{false};

// How many catch_end_signals(true) wait for their (false): the signals
// are taken at the first and given back at the last.
int catches = 0;

// What each signal did before catch_end_signals(true) took it; only the
// ones taken are given back.
struct Taken {
    bool taken = false;
    struct sigaction before {};
};
Taken taken[std::size(end_signals)];

// Written by the handler, so that a thread that waits on something else
// (a box drawn by a copy of the process) hears of the request; made once,
// never closed.
int wake_pipe[2] = {-1, -1};

// Only the flag and a byte for whoever waits: the message pump turns the
// flag into a close request on the main thread. In a copy of the process
// that a library forked, the signal does what it did before the program
// took it, which ends that copy.
extern "C" void on_end_signal(int signal)
{
    const int error = errno;
    if (in_forked_copy()) {
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        (void)::sigaction(signal, &fallback, nullptr);
        // Delivered once this handler returns, by the default action.
        (void)::raise(signal);
    } else {
        end_requested = 1;
        if (wake_pipe[1] >= 0)
            (void)!::write(wake_pipe[1], "E", 1);
    }
    errno = error;
}

void make_wake_pipe()
{
    if (wake_pipe[0] >= 0)
        return;
    // A full pipe already says what a further byte would.
    if (::pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        wake_pipe[0] = wake_pipe[1] = -1;
}

} // namespace

void catch_end_signals(bool on)
{
    if (on && catches++ > 0)
        return;
    if (!on && catches > 0 && --catches > 0)
        return;
    if (on)
        make_wake_pipe();
    for (size_t i = 0; i < std::size(end_signals); ++i) {
        const int signal = end_signals[i];
        if (!on) {
            if (taken[i].taken)
                (void)::sigaction(signal, &taken[i].before, nullptr);
            taken[i].taken = false;
            continue;
        }
        struct sigaction current {};
        if (taken[i].taken || ::sigaction(signal, nullptr, &current) != 0)
            continue;
        // A signal that is ignored (nohup, a script's background job) or
        // caught by someone else stays so.
        if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_handler = on_end_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        if (::sigaction(signal, &action, nullptr) == 0)
            taken[i] = {true, current};
    }
    if (!on) {
        end_requested = 0;
        end_request_taken = false;
    }
}

bool end_request_pending() { return end_requested != 0; }

int end_request_wake_fd() { return wake_pipe[0]; }

bool take_end_request()
{
    if (!end_requested)
        return false;
    end_requested = 0;
    end_request_taken = true;
    return true;
}

bool ending_on_request() { return end_request_taken; }

} // namespace platform
