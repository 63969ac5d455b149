#include "platform/headless.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using platform::BoxAnswer;
using platform::BoxButtons;
using platform::BoxRequest;

class HeadlessBoxTest : public testing::Test {
protected:
    void SetUp() override
    {
        platform::set_box_policy(nullptr);
        platform::clear_shown_boxes();
        unsetenv("QUARN_BOX_ANSWER");
    }
    void TearDown() override { SetUp(); }
};

TEST_F(HeadlessBoxTest, AnswersWithTheDefaultButtonAndRecordsTheBox)
{
    BoxRequest request{.caption = "Title", .text = "Body", .buttons = BoxButtons::abort_retry_ignore, .default_button = 2};
    EXPECT_EQ(platform::message_box(request), BoxAnswer::ignore);
    request.default_button = 1;
    EXPECT_EQ(platform::message_box(request), BoxAnswer::retry);
    request.default_button = 0;
    EXPECT_EQ(platform::message_box(request), BoxAnswer::abort);

    auto boxes = platform::shown_boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].caption, "Title");
    EXPECT_EQ(boxes[0].text, "Body");
}

TEST_F(HeadlessBoxTest, PolicyDecidesTheAnswer)
{
    platform::set_box_policy([](const BoxRequest& r) {
        return r.text == "retry me" ? BoxAnswer::retry : BoxAnswer::cancel;
    });
    EXPECT_EQ(platform::message_box({.text = "retry me", .buttons = BoxButtons::retry_cancel}), BoxAnswer::retry);
    EXPECT_EQ(platform::message_box({.text = "other", .buttons = BoxButtons::retry_cancel}), BoxAnswer::cancel);
}

TEST_F(HeadlessBoxTest, EnvironmentAnswerIsUsedOnlyWhenTheBoxOffersIt)
{
    setenv("QUARN_BOX_ANSWER", "ignore", 1);
    EXPECT_EQ(platform::message_box({.buttons = BoxButtons::abort_retry_ignore}), BoxAnswer::ignore);
    EXPECT_EQ(platform::message_box({.buttons = BoxButtons::ok}), BoxAnswer::ok);
    setenv("QUARN_BOX_ANSWER", "nonsense", 1);
    EXPECT_EQ(platform::message_box({.buttons = BoxButtons::retry_cancel}), BoxAnswer::retry);
}

TEST(BoxAnswerWords, ParseKnownWordsOnly)
{
    BoxAnswer a = BoxAnswer::ok;
    EXPECT_TRUE(platform::parse_box_answer("abort", a));
    EXPECT_EQ(a, BoxAnswer::abort);
    EXPECT_FALSE(platform::parse_box_answer("Abort", a));
    EXPECT_FALSE(platform::parse_box_answer("", a));
}

TEST(HeadlessWindows, QuitPostedDuringABoxIsDeliveredOnce)
{
    int code = 0;
    EXPECT_FALSE(platform::take_pending_quit(code));
    platform::post_quit(7);
    EXPECT_TRUE(platform::take_pending_quit(code));
    EXPECT_EQ(code, 7);
    EXPECT_FALSE(platform::take_pending_quit(code));
    EXPECT_EQ(platform::active_window(), nullptr);
    int owner = 0;
    EXPECT_EQ(platform::last_active_popup(&owner), &owner);
}

} // namespace

namespace {

// Every box is copied to stderr; one the desktop cannot show answers with
// its default button and says so there, instead of vanishing.
TEST_F(HeadlessBoxTest, BoxesGoToStderrAndARefusedOneTakesItsDefault)
{
    testing::internal::CaptureStderr();
    platform::headless::refuse_boxes(1);
    const platform::BoxOutcome refused = platform::show_message_box(
        {.caption = "Title", .text = "Body", .buttons = BoxButtons::abort_retry_ignore, .default_button = 1});
    const BoxAnswer shown = platform::message_box({.caption = "Next", .text = "Text", .buttons = BoxButtons::ok});
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(refused.shown);
    EXPECT_EQ(refused.answer, BoxAnswer::retry);
    EXPECT_EQ(refused.failure, "headless: the box was refused");
    EXPECT_EQ(shown, BoxAnswer::ok);
    EXPECT_EQ(said, "[message box] Title\nBody\n"
                    "[message box] could not be shown (headless: the box was refused); answered Retry\n"
                    "[message box] Next\nText\n");
    ASSERT_EQ(platform::shown_boxes().size(), 1u);
    EXPECT_EQ(platform::shown_boxes()[0].caption, "Next");
}

} // namespace
