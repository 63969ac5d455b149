// A hang-up (the terminal the program was started from closes) asks the
// program to end, as SDL's own handlers do for SIGINT and SIGTERM: the
// settings and the best time are saved on the way out, instead of the
// process dying with nothing written.
#include "platform/sdl2/sdl2_backend.h"

#include <csignal>

namespace platform::sdl2_impl {

namespace {

volatile std::sig_atomic_t hangup_seen = 0;

// Only the flag: the pump turns it into a quit event on the main thread.
extern "C" void on_hangup(int) { hangup_seen = 1; }

} // namespace

void install_hangup_handler()
{
    struct sigaction current {};
    if (::sigaction(SIGHUP, nullptr, &current) != 0)
        return;
    // A hang-up that is ignored (nohup) or caught by someone else stays so.
    const bool default_action = !(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL;
    if (!default_action)
        return;
    struct sigaction action {};
    action.sa_handler = on_hangup;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    (void)::sigaction(SIGHUP, &action, nullptr);
}

bool take_hangup()
{
    if (!hangup_seen)
        return false;
    hangup_seen = 0;
    return true;
}

} // namespace platform::sdl2_impl
