// The one way a box's answer ends the program: the program's hook first,
// once, then the end the box asked for.
#include "quarn/Exception.h"
#include "quarn/Log.h"
#include "quarn/LogFileBuf.h"
#include "quarn/ReportBox.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

namespace {

int hook_runs = 0;

// Says on stderr that it ran, and how often: the parent reads it.
void counting_hook() noexcept
{
    std::fprintf(stderr, "hook run %d\n", ++hook_runs);
}

// A hook whose own work opens a box that is answered Abort.
void hook_ending_again() noexcept
{
    counting_hook();
    quarn::end_on_box_answer({.status = 7});
}

int stop_prompt(const quarn::ThrowOrigin&, const char*) noexcept { return 2; }

TEST(BoxEndDeathTest, TheHookRunsOnceThenTheProcessEndsAsTheBoxSays)
{
    const struct {
        const char* name;
        quarn::BoxEndHook hook;
        quarn::BoxEnd end;
        int status;
        const char* said;
    } rows[] = {
        {"a status", counting_hook, {.status = -18}, 238, "^hook run 1\n$"},
        {"Abort inside the hook", hook_ending_again, {.status = -18}, 7, "^hook run 1\n$"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto end = [&row] {
            quarn::set_box_end_hook(row.hook);
            quarn::end_on_box_answer(row.end);
        };
        EXPECT_EXIT(end(), testing::ExitedWithCode(row.status), row.said);
    }
}

// A start that holds its log (not yet knowing of another copy) and ends on
// a box's answer leaves the file as it was: it may be that copy's log.
TEST(BoxEndDeathTest, AHeldLogIsLeftUnwrittenAtTheEnd)
{
    quarn_test::ScratchDir dir;
    const std::string running = "[lock] the running copy's lines\n";
    dir.write("held.log", running);
    const std::string log = dir / "held.log";
    EXPECT_EXIT(
        {
            quarn::LogFileBuf* buf = quarn::default_log_stream()->file_buf();
            buf->set_echo(false);
            buf->set_file(log.c_str(), quarn::open_mode::out | quarn::open_mode::trunc);
            quarn::hold_log_file();
            quarn::open_entry(quarn::log_warning) << "said before the end" << std::endl;
            quarn::set_box_end_hook(nullptr);
            quarn::end_on_box_answer({.status = 5});
        },
        testing::ExitedWithCode(5), "");
    EXPECT_EQ(dir.read("held.log"), running);
}

// The assertion box's Abort ends through the same entry: the hook runs
// before the abort signal.
TEST(BoxEndDeathTest, AbortInTheAssertionBoxRunsTheHookFirst)
{
    EXPECT_EXIT(
        {
            quarn::set_box_end_hook(counting_hook);
            quarn::set_assertion_prompt(&stop_prompt);
            quarn::set_assertion_box_enabled(true);
            (void)quarn::report_throw({}, quarn::Exception("boom"));
        },
        testing::KilledBySignal(SIGABRT), "hook run 1\n");
}

} // namespace
