// A copy of the process that a library forks (SDL draws its X11 boxes in
// one) runs none of the program's handlers, and a box's copy ends when the
// program is asked to end.
#include "platform/backend.h"
#include "platform/posix/box_copy_watch.h"
#include "platform/process.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Forks; the child runs `body` and ends with its result as status. The
// child's wait status, or -1 when it does not end in a minute (then killed).
template <typename Body>
int status_of_child(const Body& body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    for (int i = 0; i < 1200; ++i) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

// The program's span of the process, as its entry makes it.
struct Owned {
    explicit Owned(bool catch_signals = true)
    {
        platform::own_process(true);
        if (catch_signals)
            platform::catch_end_signals(true);
    }
    ~Owned()
    {
        (void)platform::take_end_request();
        platform::catch_end_signals(false);
        platform::own_process(false);
    }
};

TEST(ForkedCopy, IsToldApartOnlyWhileTheProgramOwnsItsProcess)
{
    enum class Own { never, owned, given_back };
    const struct {
        Own own;
        bool copy;
    } rows[] = {{Own::never, false}, {Own::owned, true}, {Own::given_back, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.own));
        if (row.own != Own::never)
            platform::own_process(true);
        if (row.own == Own::given_back)
            platform::own_process(false);
        EXPECT_FALSE(platform::in_forked_copy());
        const int status = status_of_child([] { return platform::in_forked_copy() ? 1 : 0; });
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (row.copy ? 1 : 0)) << status;
        platform::own_process(false);
    }
}

// A request to end in the copy does what it did before the program took
// the signal, which ends the copy by it; the program hears nothing of it.
// A lost display in the copy runs no handler; in the program it does.
TEST(ForkedCopy, TheProgramsHandlersDoNothingInACopy)
{
    for (const int signal : {SIGHUP, SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        const Owned owned;
        const int status = status_of_child([signal] {
            ::raise(signal);
            return 0;
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_FALSE(platform::end_request_pending());
    }
    static bool handled;
    handled = false;
    const Owned owned(false);
    platform::on_display_lost([] { handled = true; });
    const int status = status_of_child([] {
        platform::display_lost();
        return handled ? 1 : 0;
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    platform::display_lost();
    EXPECT_TRUE(handled);
}

// A copy forked while the watch lives (a box's) ends by SIGKILL once a
// request to end is pending, or once the program's connection to the
// display is closed by its other end, whether that came before the copy
// or after; without either, it lives on.
TEST(BoxCopyWatch, ACopyEndsOnceARequestToEndIsPendingOrTheDisplayIsGone)
{
    enum class Cause { request, display_closed, none };
    const struct {
        Cause cause;
        bool before; // before the copy is made
    } rows[] = {
        {Cause::request, true},        {Cause::request, false}, {Cause::display_closed, true},
        {Cause::display_closed, false}, {Cause::none, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "cause " << int(row.cause) << (row.before ? ", before" : ", after"));
        const Owned owned;
        int display[2]; // the program's end, and the server's
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, display), 0);
        platform::BoxCopyWatch watch(display[0]);
        const auto act = [&] {
            if (row.cause == Cause::request)
                ::raise(SIGTERM);
            if (row.cause == Cause::display_closed)
                ::close(display[1]);
        };
        if (row.before)
            act();
        const pid_t copy = ::fork();
        if (copy == 0) {
            if (!row.before)
                ::close(display[1]); // the server's end is the parent's to close
            for (;;)
                ::pause();
        }
        if (!row.before)
            act();
        int status = 0;
        if (row.cause == Cause::none) {
            EXPECT_EQ(::waitpid(copy, &status, WNOHANG), 0);
            ::kill(copy, SIGKILL);
            ::waitpid(copy, &status, 0);
            EXPECT_FALSE(watch.ended_copy());
            EXPECT_FALSE(watch.display_gone());
        } else {
            pid_t ended = 0;
            for (int i = 0; i < 1200 && (ended = ::waitpid(copy, &status, WNOHANG)) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (ended == 0) {
                ::kill(copy, SIGKILL);
                ::waitpid(copy, &status, 0);
                ADD_FAILURE() << "the copy was not ended";
            } else {
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
                EXPECT_TRUE(watch.ended_copy());
                EXPECT_EQ(watch.display_gone(), row.cause == Cause::display_closed);
                EXPECT_EQ(platform::end_request_pending(), row.cause == Cause::request);
            }
        }
        if (row.cause != Cause::display_closed)
            ::close(display[1]);
        ::close(display[0]);
    }
}

} // namespace
