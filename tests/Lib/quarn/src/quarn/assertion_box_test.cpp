#include "quarn/IoFailure.h"
#include "quarn/ReportBox.h"

#include "box_test_support.h"

#include <string>

namespace {

using platform::BoxAnswer;

constexpr const char* press_text = "\nPress 'Abort'  to stop program execution\n"
                                   "Press 'Retry'  to debug program\n"
                                   "Press 'Ignore' to continue program execution\n";

const quarn::ThrowOrigin stream_origin{"\\Lib\\quarn\\src\\quarn\\stream", 61, "quarn::io::Stream::throw_failure_"};

class AssertionBox : public quarn_test::BoxTest {};

TEST_F(AssertionBox, ShowsWhereTheThrowHappensBelowTheLog)
{
    quarn::open_entry(quarn::io::log_error) << "short read" << std::endl;
    answer_with(BoxAnswer::ignore);
    EXPECT_EQ(quarn::show_assertion_message(stream_origin, "i/o error"), 1);
    platform::BoxRequest box = only_box();
    EXPECT_EQ(box.caption, "Assertion failed!");
    EXPECT_EQ(box.buttons, platform::BoxButtons::abort_retry_ignore);
    EXPECT_EQ(box.default_button, 1);
    EXPECT_EQ(box.icon, platform::BoxIcon::error);
    EXPECT_EQ(box.owner, nullptr); // no window in a headless run
    EXPECT_EQ(box.text, "i/o error\n\n" + log_heading() + "[quarn.io] error: short read\n\n" +
                            "File:     \\Lib\\quarn\\src\\quarn\\stream\n"
                            "Line:     61\n"
                            "Function: quarn::io::Stream::throw_failure_\n" +
                            press_text);
}

TEST_F(AssertionBox, LeavesOutTheMissingPartsOfTheOrigin)
{
    quarn::default_log_stream()->file_buf()->set_file(nullptr, 0);
    (void)quarn::show_assertion_message({}, "a");
    (void)quarn::show_assertion_message({"", 0, ""}, nullptr);
    auto boxes = platform::shown_boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, std::string("a\n\n") + press_text);
    EXPECT_EQ(boxes[1].text, std::string("Function: \n") + press_text);
}

TEST_F(AssertionBox, AnswersDebugContinueOrStop)
{
    const std::pair<BoxAnswer, int> cases[] = {{BoxAnswer::retry, 0}, {BoxAnswer::ignore, 1}, {BoxAnswer::abort, 2}};
    for (auto [pressed, answer] : cases) {
        answer_with(pressed);
        EXPECT_EQ(quarn::show_assertion_message(stream_origin, "x"), answer);
    }
    // A box that cannot be shown stops; the next assertion still gets a box.
    platform::set_box_policy([](const platform::BoxRequest&) -> BoxAnswer { throw 1; });
    EXPECT_EQ(quarn::show_assertion_message(stream_origin, "x"), 2);
    answer_with(BoxAnswer::ignore);
    EXPECT_EQ(quarn::show_assertion_message(stream_origin, "x"), 1);
    EXPECT_EQ(platform::shown_boxes().size(), 5u);
}

TEST_F(AssertionBox, AnAssertionWhileTheBoxIsOpenIsOnlyLogged)
{
    int inner_answer = -1;
    platform::set_box_policy([&](const platform::BoxRequest&) {
        inner_answer = quarn::show_assertion_message({"\\Lib\\y", 3, "quarn::y"}, "inner");
        return BoxAnswer::abort;
    });
    EXPECT_EQ(quarn::show_assertion_message(stream_origin, "outer"), 2);
    EXPECT_EQ(inner_answer, 1);
    EXPECT_EQ(platform::shown_boxes().size(), 1u);
    const std::string blanks(std::string("[assertion] error: ").size(), ' ');
    // The nested one only logged; then the outer box itself, as every box is.
    const std::string nested = "[assertion] error: Nested failed assertion: \n" + blanks + "    \\Lib\\y(3) : quarn::y : inner\n";
    const std::string log = log_text();
    EXPECT_EQ(log.substr(0, nested.size()), nested);
    EXPECT_EQ(log.substr(nested.size()).rfind("[box] error: message box \"Assertion failed!\":\n", 0), 0u) << log;

    // The box closed, so the next assertion opens one again.
    answer_with(BoxAnswer::ignore);
    EXPECT_EQ(quarn::show_assertion_message(stream_origin, "again"), 1);
    EXPECT_EQ(platform::shown_boxes().size(), 2u);
}

TEST_F(AssertionBox, APendingQuitIsDeliveredAfterTheBox)
{
    int code = 0;
    while (platform::take_pending_quit(code)) {
    }
    platform::post_quit(7);
    bool quit_seen_by_box = true;
    platform::set_box_policy([&](const platform::BoxRequest&) {
        int c = 0;
        quit_seen_by_box = platform::take_pending_quit(c);
        return BoxAnswer::ignore;
    });
    EXPECT_EQ(quarn::show_assertion_message(stream_origin, "x"), 1);
    EXPECT_FALSE(quit_seen_by_box);
    ASSERT_TRUE(platform::take_pending_quit(code));
    EXPECT_EQ(code, 7);

    // No quit pending before: none after.
    EXPECT_EQ(quarn::show_assertion_message(stream_origin, "x"), 1);
    EXPECT_FALSE(platform::take_pending_quit(code));
}

TEST_F(AssertionBox, LibraryThrowsAskThroughItWhenSwitchedOn)
{
    answer_with(BoxAnswer::ignore);
    auto throw_failure = [] {
        quarn::report_and_throw(stream_origin, quarn::io::Failure("disk full"));
    };
    EXPECT_THROW(throw_failure(), quarn::io::Failure);
    EXPECT_TRUE(platform::shown_boxes().empty()) << "the switch is off at start";

    quarn::set_assertion_box_enabled(true);
    EXPECT_THROW(throw_failure(), quarn::io::Failure);
    platform::BoxRequest box = only_box();
    EXPECT_EQ(box.caption, "Assertion failed!");
    EXPECT_EQ(box.text.rfind("disk full\n\n", 0), 0u);
    EXPECT_NE(box.text.find("Line:     61\n"), std::string::npos);

    answer_with(BoxAnswer::retry);
    EXPECT_TRUE(quarn::report_throw(stream_origin, quarn::io::Failure("disk full")));

    // A library throw inside the box's own code does not open a second box.
    platform::clear_shown_boxes();
    platform::set_box_policy([&](const platform::BoxRequest&) {
        EXPECT_THROW(throw_failure(), quarn::io::Failure);
        return BoxAnswer::ignore;
    });
    EXPECT_FALSE(quarn::report_throw(stream_origin, quarn::io::Failure("outer")));
    EXPECT_EQ(platform::shown_boxes().size(), 1u);
    EXPECT_NE(log_text().find("[assertion] error: Nested failed assertion: \n"), std::string::npos);
}

} // namespace
