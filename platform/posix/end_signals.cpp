// Requests to end from outside: the terminal the program was started from
// closes (SIGHUP), or it is asked to end (SIGTERM, Ctrl+C's SIGINT). While
// the program runs, each becomes a close request, so that the settings and
// the best time are saved on the way out instead of the process dying with
// nothing written, and the one-copy lock goes with it. Both backends take
// the request from here; SDL's own handlers for SIGINT and SIGTERM, where
// SDL installed them first, stay and do the same through SDL's quit event.
#include "platform/backend.h"

#include <csignal>
#include <iterator>

namespace platform {

namespace {

constexpr int end_signals[] = {SIGHUP, SIGINT, SIGTERM};

volatile std::sig_atomic_t end_requested = 0;

// What each signal did before catch_end_signals(true) took it; only the
// ones taken are given back.
struct Taken {
    bool taken = false;
    struct sigaction before {};
};
Taken taken[std::size(end_signals)];

// Only the flag: the message pump turns it into a close request on the
// main thread.
extern "C" void on_end_signal(int) { end_requested = 1; }

} // namespace

void catch_end_signals(bool on)
{
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
    if (!on)
        end_requested = 0;
}

bool take_end_request()
{
    if (!end_requested)
        return false;
    end_requested = 0;
    return true;
}

} // namespace platform
