#include "base_test_support.h"

#include "quarn/ReportBox.h"

#include <cstdio>
#include <latch>
#include <optional>
#include <string>
#include <thread>

namespace {

using platform::BoxAnswer;

// The box text below the "Program" line.
std::string body_of(const platform::BoxRequest& box)
{
    const size_t eol = box.text.find('\n');
    return eol == std::string::npos ? std::string() : box.text.substr(eol + 1);
}

class ReportTest : public BaseTest {};

TEST_F(ReportTest, CodeZeroReturnsAtOnceAndStoresNothing)
{
    errInitFileMessages();
    errState.line = 77;
    EXPECT_EQ(errReport(0), 0);
    EXPECT_EQ(errReportArg(0, "file"), 0);
    EXPECT_EQ(errState.line, 77);
    EXPECT_EQ(errState.argument, 0u);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ReportTest, BeforeInitAReportOnlyStoresItsFields)
{
    EXPECT_EQ(errReportEx(nullptr, 4, ERR_DATA, 9, "m", nullptr, "f.cpp", 3), ERR_DATA);
    EXPECT_EQ(errState.code, ERR_DATA);
    EXPECT_EQ(errState.argument, 9u);
    EXPECT_STREQ(errState.message, "m");
    EXPECT_STREQ(errState.sourceFile, "f.cpp");
    EXPECT_EQ(errState.line, 3);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ReportTest, ErrorLevelReportShowsTheDebugBox)
{
    errInitFileMessages();
    EXPECT_EQ(errReportEx(nullptr, 0, ERR_OPEN, 0, nullptr, nullptr, "src/cfg.cpp", 12), ERR_BOX_IGNORE);
    ASSERT_EQ(boxes().size(), 1u);
    const auto box = boxes()[0];
    EXPECT_EQ(box.caption, "Error Message");
    EXPECT_EQ(box.buttons, platform::BoxButtons::abort_retry_ignore);
    EXPECT_EQ(box.text.rfind("Program     : ", 0), 0u);
    EXPECT_EQ(body_of(box), "File        : src/cfg.cpp\n"
                            "Line        : 12\n"
                            "Error Code  : 0xFFFFFFEF (-17)\n"
                            "\n"
                            "Can't open file\n"
                            "\n"
                            "Press Retry to debug the application");
    // The box uses the source file once.
    EXPECT_EQ(errState.sourceFile, nullptr);
}

TEST_F(ReportTest, UserMessageShowsItsTextAndTheUserCode)
{
    errInitFileMessages();
    EXPECT_EQ(errMessage(ERR_LEVEL_ERROR, "value %d", 5), ERR_BOX_IGNORE);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(body_of(boxes()[0]), "Error Code  : 0xFFFFFF9F (-97)\n"
                                   "\n"
                                   "value 5\n"
                                   "\n"
                                   "Press Retry to debug the application");
}

TEST_F(ReportTest, MessagesAreShownLiterally)
{
    errInitFileMessages();
    EXPECT_EQ(errMessage(ERR_LEVEL_ERROR, "%s", "class %s%n%p unknown"), ERR_BOX_IGNORE);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_NE(boxes()[0].text.find("\nclass %s%n%p unknown\n"), std::string::npos);
}

TEST_F(ReportTest, CodeLineShowsTheLow16BitsAsSigned)
{
    errInitFileMessages();
    (void)errReport(static_cast<int>(0xFFFF0091u));
    (void)errReport(0x00010091);
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(body_of(boxes()[0]).rfind("Error Code  : 0xFFFF0091 (145)\n", 0), 0u);
    EXPECT_EQ(body_of(boxes()[1]).rfind("Error Code  : 0x00010091 (145)\n", 0), 0u);
}

TEST_F(ReportTest, BoxAnswersMapToCodes)
{
    errInitFileMessages();
    answer_boxes(BoxAnswer::retry);
    // Retry asks the caller to break; without a debugger nothing traps.
    EXPECT_EQ(dbgBreakOnRetry(errReport(ERR_DATA)), ERR_DEBUG_BREAK);
    EXPECT_EQ(errState.answer, ERR_DEBUG_BREAK);
    answer_boxes(BoxAnswer::ignore);
    EXPECT_EQ(errReport(ERR_DATA), ERR_BOX_IGNORE);
    // The answer belongs to its report: one without a box returns its code.
    EXPECT_EQ(errReport(ERR_NUMBER_OVERFLOW), ERR_NUMBER_OVERFLOW);
    EXPECT_EQ(errState.answer, 0);
}

// Return answers a box's default button. A report about an act the
// program does without (a screenshot, a sound) has Ignore there, which
// goes on; any other keeps Abort first. Scopes nest, and end with the
// last. A scope is its thread's alone: the sound's thread inside one says
// nothing of the main thread's report meanwhile.
TEST_F(ReportTest, ReturnOnTheBoxOfAnOptionalActGoesOn)
{
    errInitFileMessages();
    const struct {
        int scopes;
        BoxAnswer on_return;
        bool another_thread_inside_one = false;
    } rows[] = {{0, BoxAnswer::abort}, {1, BoxAnswer::ignore}, {2, BoxAnswer::ignore}, {0, BoxAnswer::abort, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.scopes << (row.another_thread_inside_one ? ", another thread in one" : ""));
        platform::clear_shown_boxes();
        int answer = 0;
        std::latch inside(1), leave(1);
        std::thread other;
        if (row.another_thread_inside_one)
            other = std::thread([&] {
                const errOptionalAct held;
                inside.count_down();
                leave.wait();
            });
        else
            inside.count_down();
        inside.wait();
        {
            std::optional<errOptionalAct> outer, inner;
            if (row.scopes > 0)
                outer.emplace();
            if (row.scopes > 1)
                inner.emplace();
            // Answered Ignore (the fixture's): Abort would end this
            // process. The box's default is looked at below.
            answer = errMessage(ERR_LEVEL_ERROR, "the screenshot failed");
        }
        leave.count_down();
        if (other.joinable())
            other.join();
        EXPECT_EQ(answer, ERR_BOX_IGNORE);
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_STREQ(platform::answer_name(platform::default_answer(boxes()[0])), platform::answer_name(row.on_return));
        EXPECT_FALSE(errInOptionalAct());
    }
}

TEST_F(ReportTest, ModeIsRestoredAfterEveryPath)
{
    errInitFileMessages();
    (void)errReport(ERR_DATA); // box
    EXPECT_EQ(errState.mode, 0);
    (void)errReport(ERR_NUMBER_OVERFLOW); // message hook
    EXPECT_EQ(errState.mode, 0);
    EXPECT_EQ(errTry([] { (void)errReport(ERR_DATA); }), ERR_DATA); // unwind
    EXPECT_EQ(errState.mode, 0);
    errState.mode = ERR_MODE_NO_UNWIND;
    (void)errReport(ERR_DATA);
    EXPECT_EQ(errState.mode, ERR_MODE_NO_UNWIND);
}

int reports_inside_hook = 0;
void reporting_hook(errStateTy*, const char*) { reports_inside_hook = errReport(ERR_BAD_ARG); }

TEST_F(ReportTest, ReportWhileTheHandlerRunsIsNeitherHandledNorUnwound)
{
    errInitFileMessages();
    errState.messageHook = reporting_hook;
    reports_inside_hook = 0;
    EXPECT_EQ(errTry([] { (void)errReportEx(nullptr, ERR_LEVEL_WARNING, ERR_NUMBER_OVERFLOW, 0, nullptr, nullptr,
                                            nullptr, -1); }),
              ERR_NUMBER_OVERFLOW);
    EXPECT_EQ(reports_inside_hook, 0) << "the hook must not run inside a frame";

    (void)errReport(ERR_NUMBER_OVERFLOW);
    EXPECT_EQ(reports_inside_hook, ERR_BAD_ARG);
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(errState.code, ERR_BAD_ARG); // stored, as the layer always did
}

TEST_F(ReportTest, WithoutHookWarningsGoToTheBoxWhenThereIsNoConsole)
{
    errInitFileMessages();
    errState.messageHook = nullptr;
    errConsoleFlag = 0;
    (void)errReport(ERR_NUMBER_OVERFLOW);
    EXPECT_TRUE(boxes().empty());
    errConsoleFlag = 1;
    (void)errReport(ERR_NUMBER_OVERFLOW);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].caption, "Warning Message");
    EXPECT_EQ(body_of(boxes()[0]), "\n\nNumber overflow\n\nPress Retry to debug the application");
}

TEST_F(ReportTest, ReraiseRepeatsTheStoredReport)
{
    errInitFileMessages();
    EXPECT_EQ(errReraise(), 0);
    (void)errReportArg(ERR_OPEN, "a.cfg");
    EXPECT_EQ(errReraise(), ERR_BOX_IGNORE);
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[0].text, boxes()[1].text);
    EXPECT_NE(boxes()[1].text.find("Can't open file 'a.cfg'"), std::string::npos);
}

// The framework's box handler (a test double of it): it shows every report
// that reaches it, whatever the level.
std::vector<std::string> framework_reports;
void framework_box_handler(errStateTy* state)
{
    framework_reports.push_back(std::string(state->sourceFile ? state->sourceFile : "-") + ":" +
                                std::to_string(state->line) + ":" + std::to_string(state->code) + ":" +
                                (state->message ? state->message : ""));
    dbgMessageF(state->sourceFile, state->line, state->code, "%s", state->message);
}

TEST_F(ReportTest, FrameworkBoxHandlerTakesOverAfterFileMessages)
{
    framework_reports.clear();
    errInitFileMessages();
    errSetBoxHandler(framework_box_handler);
    EXPECT_EQ(errReportEx(nullptr, 0, -18, reinterpret_cast<uintptr_t>("x%s.cfg"), nullptr, nullptr, "app.cpp", 40),
              ERR_BOX_IGNORE);
    ASSERT_EQ(framework_reports.size(), 1u);
    EXPECT_EQ(framework_reports[0], "app.cpp:40:-18:Can't create file 'x%s.cfg'");
    ASSERT_EQ(boxes().size(), 1u);
    // errInitFileMessages runs once: it does not put the default handler back.
    errInitFileMessages();
    EXPECT_EQ(errState.boxHandler, framework_box_handler);
}

TEST_F(ReportTest, InitLinksTheSetsOnceAndNamesTheProgram)
{
    errInitFileMessages();
    errInit();
    errInitFileMessages();
    EXPECT_EQ(errState.chain, &errFileMessages);
    EXPECT_EQ(errFileMessages.next, &errGeneralMessages);
    EXPECT_EQ(errGeneralMessages.next, nullptr);
    EXPECT_STREQ(errState.programName, "test_engine_base");
    EXPECT_STREQ(errProgramName(), "test_engine_base");
    errDone();
    EXPECT_EQ(errState.programName, nullptr);
}

using ReportDeathTest = ReportTest;

TEST_F(ReportDeathTest, AbortEndsTheProcessWithTheCode)
{
    // Linux keeps the low 8 bits of the status: -97 is seen as 159.
    EXPECT_EXIT(
        {
            errInitFileMessages();
            answer_boxes(BoxAnswer::abort);
            (void)errMessage(ERR_LEVEL_ERROR, "fatal");
        },
        testing::ExitedWithCode(-97 & 0xFF), "");
}

// Abort ends through the one entry of box ends: the program's hook (its
// save) runs first, and the status is still the report's code.
TEST_F(ReportDeathTest, AbortRunsTheProgramsEndHookFirst)
{
    EXPECT_EXIT(
        {
            errInitFileMessages();
            quarn::set_box_end_hook([]() noexcept { std::fputs("saved first\n", stderr); });
            answer_boxes(BoxAnswer::abort);
            (void)errMessage(ERR_LEVEL_ERROR, "fatal");
        },
        testing::ExitedWithCode(-97 & 0xFF), "saved first\n$");
}

TEST_F(ReportDeathTest, CodeMinusOneEndsTheProcessWithoutABox)
{
    EXPECT_EXIT(
        {
            errInitFileMessages();
            (void)errReport(-1);
        },
        testing::ExitedWithCode(0xFF), "");
}

TEST_F(ReportDeathTest, AbortOutsideAReportDoesNotExitAsSuccess)
{
    EXPECT_EXIT(
        {
            answer_boxes(BoxAnswer::abort);
            dbgMessageF(nullptr, -1, 0, "%s", "no report");
        },
        testing::ExitedWithCode(ERR_BOX_ABORT & 0xFF), "");
}

} // namespace
