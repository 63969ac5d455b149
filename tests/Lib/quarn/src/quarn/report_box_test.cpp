#include "quarn/IoFailure.h"
#include "quarn/ReportBox.h"

#include "platform/headless.h"

#include "box_test_support.h"

#include <stdexcept>

namespace {

using platform::BoxAnswer;
using platform::BoxButtons;

constexpr quarn::LogChannel track("track", 1);

void log_numbered_lines(int count)
{
    for (int i = 1; i <= count; ++i)
        quarn::open_entry(track) << "line " << i << std::endl;
}

class ReportBox : public quarn_test::BoxTest {};

TEST_F(ReportBox, QuotesAShortLogWhole)
{
    log_numbered_lines(3);
    EXPECT_EQ(quarn::report_error("It broke.", "Race", 0, nullptr, nullptr), quarn::report_answer_ok);
    platform::BoxRequest box = only_box();
    EXPECT_EQ(box.caption, "Race");
    EXPECT_EQ(box.text, "It broke.\n\n" + log_heading() +
                            "[track] error: line 1\n"
                            "[track] error: line 2\n"
                            "[track] error: line 3\n"
                            "\n");
    EXPECT_EQ(box.buttons, BoxButtons::ok);
    EXPECT_EQ(box.icon, platform::BoxIcon::error);
    EXPECT_TRUE(box.topmost);
    EXPECT_TRUE(box.set_foreground);
    EXPECT_EQ(box.owner, nullptr);
}

TEST_F(ReportBox, QuotesTheLastNineLinesOfALongLog)
{
    log_numbered_lines(25);
    void* const owner = reinterpret_cast<void*>(0x5150);
    (void)quarn::report_error("It broke.", "Race", 0, owner, "Send this to us.");
    platform::BoxRequest box = only_box();
    std::string lines;
    for (int i = 17; i <= 25; ++i)
        lines += "[track] error: line " + std::to_string(i) + "\n";
    EXPECT_EQ(box.text, "It broke.\n\n" + log_heading() + lines + "\nSend this to us.");
    EXPECT_EQ(box.owner, owner);
}

TEST_F(ReportBox, QuotesAMessageThatHasNotEndedItsLine)
{
    quarn::open_entry(track) << "loading gate " << 3;
    (void)quarn::report_error(nullptr, "Race", 0, nullptr, nullptr);
    EXPECT_EQ(only_box().text, log_heading() + "[track] error: loading gate 3\n\n");
}

TEST_F(ReportBox, WithoutALogFileShowsOnlyTheTexts)
{
    // Nothing written yet: the file the heading names does not exist.
    (void)quarn::report_error("It broke.", "Race", 0, nullptr, "extra");
    EXPECT_EQ(only_box().text, "It broke.\n\n" + log_heading() + "extra");

    platform::clear_shown_boxes();
    quarn::default_log_stream()->file_buf()->set_file(nullptr, 0);
    (void)quarn::report_error("It broke.", "Race", 0, nullptr, "extra");
    EXPECT_EQ(only_box().text, "It broke.\n\nextra");
    platform::clear_shown_boxes();
    (void)quarn::report_error(nullptr, "Race", 0, nullptr, nullptr);
    EXPECT_EQ(only_box().text, "");
}

TEST_F(ReportBox, KindChoosesTheButtonsAndTheButtonTheAnswer)
{
    quarn::default_log_stream()->file_buf()->set_file(nullptr, 0);
    struct Case {
        unsigned kind;
        BoxAnswer pressed;
        BoxButtons buttons;
        int default_button;
        int answer;
    };
    const Case cases[] = {
        {0, BoxAnswer::ok, BoxButtons::ok, 0, 0},
        {1, BoxAnswer::ok, BoxButtons::ok, 0, 0}, // a lone Cancel is a plain OK box
        {2, BoxAnswer::ok, BoxButtons::ok, 0, 0},
        {5, BoxAnswer::ok, BoxButtons::ok, 0, 0},
        {3, BoxAnswer::cancel, BoxButtons::retry_cancel, 0, 1},
        {3, BoxAnswer::retry, BoxButtons::retry_cancel, 0, 2},
        {7, BoxAnswer::abort, BoxButtons::abort_retry_ignore, 1, 1},
        {7, BoxAnswer::retry, BoxButtons::abort_retry_ignore, 1, 2},
        {7, BoxAnswer::ignore, BoxButtons::abort_retry_ignore, 1, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("kind " + std::to_string(c.kind) + " pressed " + std::to_string(static_cast<int>(c.pressed)));
        platform::clear_shown_boxes();
        answer_with(c.pressed);
        EXPECT_EQ(quarn::report_error("t", "c", c.kind, nullptr, nullptr), c.answer);
        platform::BoxRequest box = only_box();
        EXPECT_EQ(box.buttons, c.buttons);
        EXPECT_EQ(box.default_button, c.default_button);
    }
}

TEST_F(ReportBox, AFailingBoxIsLoggedAndAnswersCancel)
{
    platform::set_box_policy([](const platform::BoxRequest&) -> BoxAnswer { throw std::runtime_error("no display"); });
    EXPECT_EQ(quarn::report_error("It broke.", "Race", 0, nullptr, nullptr), quarn::report_answer_cancel);
    platform::set_box_policy([](const platform::BoxRequest&) -> BoxAnswer { throw 42; });
    EXPECT_EQ(quarn::report_error("It broke.", "Race", 7, nullptr, nullptr), quarn::report_answer_cancel);
    EXPECT_EQ(log_text(), "[] error: q::report_error() failed with std::exception: no display\n"
                          "[] error: q::report_error() failed\n");
}

TEST_F(ReportBox, AnExceptionIsCaptionedWithItsClassName)
{
    quarn::default_log_stream()->file_buf()->set_file(nullptr, 0);
    answer_with(BoxAnswer::retry);
    EXPECT_EQ(quarn::report_exception(quarn::io::Failure("can't open 'car.obst'"), 3, nullptr, nullptr),
              quarn::report_answer_retry);
    platform::BoxRequest box = only_box();
    EXPECT_EQ(box.caption, "class quarn::io::Failure");
    EXPECT_EQ(box.text, "can't open 'car.obst'\n\n");

    platform::clear_shown_boxes();
    (void)quarn::report_exception(quarn::Exception(), 0, nullptr, "x");
    EXPECT_EQ(only_box().text, "class quarn::Exception\n\nx");
}

// A box nobody can see (no desktop, no dialog helper) once left no trace:
// its text and the answer taken went nowhere. The log keeps both.
TEST_F(ReportBox, EveryBoxIsLoggedWithTheAnswerAndAFailedOneSaysSo)
{
    answer_with(BoxAnswer::ignore);
    EXPECT_EQ(quarn::report_error("It broke.", "Race", 7, nullptr, "extra"), quarn::report_answer_ignore);
    platform::headless::refuse_boxes(1);
    EXPECT_EQ(quarn::report_error("Again.", "Race", 7, nullptr, nullptr), quarn::report_answer_retry);
    platform::headless::refuse_boxes(0);
    const std::string pad(std::string("[box] error: ").size(), ' ');
    EXPECT_EQ(log_text(), "[box] error: message box \"Race\":\n" + pad + "It broke.\n" + pad + "extra\n" + pad +
                              "answered Ignore\n"
                              "[box] error: message box \"Race\":\n" +
                              pad + "Again.\n" + pad +
                              "could not be shown (headless: the box was refused); answered Retry\n");
    // Only the shown one reached the desktop.
    EXPECT_EQ(platform::shown_boxes().size(), 1u);
}

} // namespace
