// Windows and their messages on the headless backend: what the engine's
// main loop and window procedure will see.
#include "platform/backend.h"
#include "platform/headless.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

namespace {

using platform::Message;
using platform::headless::InputEvent;
using platform::headless::InputKind;
namespace msg = platform::msg;
namespace vk = platform::vk;

class HeadlessWindow : public testing::Test {
protected:
    void SetUp() override
    {
        // A fresh backend: no windows, messages or held keys from other tests.
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
        platform::set_clock_source(&clock_);
        window_ = platform::create_window({.title = "Tiny", .client = {640, 480}, .position = {100, 50}});
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override
    {
        platform::shutdown();
        platform::set_clock_source(nullptr);
        platform::use_backend(platform::BackendKind::headless);
    }

    std::vector<Message> drain(platform::WindowHandle filter)
    {
        std::vector<Message> out;
        Message m;
        while (platform::peek_message(m, filter))
            out.push_back(m);
        return out;
    }
    std::vector<uint32_t> ids(const std::vector<Message>& messages)
    {
        std::vector<uint32_t> out;
        for (const auto& m : messages)
            out.push_back(m.id);
        return out;
    }
    void show()
    {
        platform::show_window(window_, platform::ShowCommand::show_normal);
        drain(window_);
        platform::Rect r;
        (void)platform::take_update_rect(window_, r);
    }
    void play(std::vector<InputEvent> events)
    {
        platform::headless::feed_input(events);
    }

    platform::ManualClock clock_{1000};
    platform::WindowHandle window_ = nullptr;
};

TEST_F(HeadlessWindow, ShowingActivatesAndPaintsMinimisingDeactivates)
{
    EXPECT_TRUE(platform::is_window(window_));
    EXPECT_FALSE(platform::is_window_visible(window_));
    EXPECT_EQ(platform::foreground_window(), nullptr);
    EXPECT_TRUE(drain(nullptr).empty());

    platform::show_window(window_, platform::ShowCommand::show_normal);
    EXPECT_TRUE(platform::is_window_visible(window_));
    EXPECT_EQ(platform::foreground_window(), window_);
    EXPECT_EQ(platform::active_window(), window_);
    auto messages = drain(window_);
    ASSERT_EQ(ids(messages), (std::vector<uint32_t>{msg::activate_app, msg::paint}));
    EXPECT_EQ(messages[0].wparam, 1u);
    platform::Rect update;
    ASSERT_TRUE(platform::take_update_rect(window_, update));
    EXPECT_EQ(update, (platform::Rect{0, 0, 640, 480}));
    EXPECT_FALSE(platform::take_update_rect(window_, update));

    platform::show_window(window_, platform::ShowCommand::minimise);
    EXPECT_TRUE(platform::is_minimised(window_));
    EXPECT_EQ(platform::foreground_window(), nullptr);
    messages = drain(window_);
    ASSERT_EQ(ids(messages), (std::vector<uint32_t>{msg::activate_app}));
    EXPECT_EQ(messages[0].wparam, 0u);

    platform::show_window(window_, platform::ShowCommand::restore);
    EXPECT_FALSE(platform::is_minimised(window_));
    EXPECT_EQ(ids(drain(window_)), (std::vector<uint32_t>{msg::activate_app, msg::paint}));

    platform::show_window(window_, platform::ShowCommand::hide);
    EXPECT_FALSE(platform::is_window_visible(window_));
    EXPECT_EQ(platform::foreground_window(), nullptr);
}

TEST_F(HeadlessWindow, PostedMessagesKeepTheirOrderAcrossThreadsAndQuitStaysForTheThread)
{
    show();
    std::thread feeder([&] {
        for (int i = 0; i < 100; ++i)
            EXPECT_TRUE(platform::post_message(window_, 953, 1, 0x44530000 | i));
    });
    feeder.join();
    platform::post_quit(3);
    EXPECT_TRUE(platform::post_message(window_, 0x414));

    const auto messages = drain(window_);
    ASSERT_EQ(messages.size(), 101u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(messages[size_t(i)].id, 953u);
        EXPECT_EQ(messages[size_t(i)].lparam, 0x44530000 | i);
    }
    EXPECT_EQ(messages[100].id, 0x414u);

    // The window filter left the quit message for the thread.
    int code = 0;
    EXPECT_TRUE(platform::take_pending_quit(code));
    EXPECT_EQ(code, 3);
    EXPECT_FALSE(platform::take_pending_quit(code));

    platform::post_quit(4);
    const auto rest = drain(nullptr);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].id, msg::quit);
    EXPECT_EQ(rest[0].window, nullptr);
    EXPECT_EQ(rest[0].wparam, 4u);
}

TEST_F(HeadlessWindow, MessagesOfADestroyedWindowAreDroppedAndItsHandleGoesStale)
{
    show();
    EXPECT_TRUE(platform::post_message(window_, 953));
    platform::destroy_window(window_);
    EXPECT_FALSE(platform::is_window(window_));
    EXPECT_FALSE(platform::post_message(window_, 953));
    EXPECT_TRUE(drain(nullptr).empty());
    // Every call with the stale handle is harmless.
    platform::show_window(window_, platform::ShowCommand::show);
    platform::set_window_title(window_, "x");
    EXPECT_EQ(platform::window_title(window_), "");
    EXPECT_FALSE(platform::present(window_, {}, {}, {}));
    EXPECT_EQ(platform::window_frame(window_).pixels, nullptr);
    EXPECT_EQ(platform::foreground_window(), nullptr);
}

TEST_F(HeadlessWindow, AltEnterArrivesAsSystemKeysAndPlainKeysAsKeys)
{
    show();
    play({{.kind = InputKind::key_down, .key = vk::lmenu},
          {.kind = InputKind::key_down, .key = vk::return_key},
          {.kind = InputKind::key_up, .key = vk::return_key},
          {.kind = InputKind::key_up, .key = vk::lmenu},
          {.kind = InputKind::key_down, .key = vk::left},
          {.kind = InputKind::key_up, .key = vk::left}});
    const auto m = drain(window_);
    ASSERT_EQ(ids(m), (std::vector<uint32_t>{msg::sys_key_down, msg::sys_key_down, msg::sys_key_up, msg::sys_key_up,
                                             msg::key_down, msg::key_up}));
    EXPECT_EQ(m[0].wparam, vk::menu);
    EXPECT_EQ((m[0].lparam >> 16) & 0xFF, vk::lmenu);
    EXPECT_EQ(m[1].wparam, vk::return_key);
    EXPECT_TRUE(m[1].lparam & platform::key_alt_bit);
    EXPECT_FALSE(m[1].lparam & platform::key_release_bit);
    EXPECT_EQ(m[2].wparam, vk::return_key);
    EXPECT_TRUE(m[2].lparam & platform::key_alt_bit);
    EXPECT_TRUE(m[2].lparam & platform::key_release_bit);
    EXPECT_EQ(m[4].wparam, vk::left);
    EXPECT_FALSE(m[4].lparam & platform::key_alt_bit);
    EXPECT_EQ((m[4].lparam >> 16) & 0xFF, 0);

    // Ctrl with Alt (AltGr) types ordinary keys; F10 alone is a system key.
    play({{.kind = InputKind::key_down, .key = vk::rcontrol},
          {.kind = InputKind::key_down, .key = vk::rmenu},
          {.kind = InputKind::key_down, .key = 'Q'},
          {.kind = InputKind::key_up, .key = 'Q'},
          {.kind = InputKind::key_up, .key = vk::rmenu},
          {.kind = InputKind::key_up, .key = vk::rcontrol},
          {.kind = InputKind::key_down, .key = vk::f10}});
    const auto n = drain(window_);
    ASSERT_EQ(n.size(), 7u);
    EXPECT_EQ(n[2].id, msg::key_down);
    EXPECT_EQ(n[2].wparam, uintptr_t('Q'));
    EXPECT_EQ(n[6].id, msg::sys_key_down);
    EXPECT_EQ(n[6].wparam, vk::f10);
}

TEST_F(HeadlessWindow, KeyStateFollowsTheMessagesTakenNotTheEventsFed)
{
    show();
    EXPECT_EQ(platform::key_state(vk::left), 0);
    play({{.kind = InputKind::key_down, .key = vk::left},
          {.kind = InputKind::key_down, .key = vk::left},
          {.kind = InputKind::key_down, .key = vk::rshift}});
    EXPECT_EQ(platform::key_state(vk::left), 0);

    Message m;
    ASSERT_TRUE(platform::peek_message(m, window_));
    EXPECT_EQ(platform::key_state(vk::left), 0x81);
    EXPECT_EQ(platform::key_state(vk::rshift), 0);
    // The repeat says the key was down already and does not flip bit 0.
    ASSERT_TRUE(platform::peek_message(m, window_));
    EXPECT_TRUE(m.lparam & platform::key_was_down_bit);
    EXPECT_EQ(platform::key_state(vk::left), 0x81);
    ASSERT_TRUE(platform::peek_message(m, window_));
    EXPECT_EQ(m.wparam, vk::shift);
    auto keys = platform::keyboard_state();
    EXPECT_EQ(keys[vk::rshift] & 0x80, 0x80);
    EXPECT_EQ(keys[vk::shift] & 0x80, 0x80);
    EXPECT_EQ(keys[vk::lshift] & 0x80, 0);

    play({{.kind = InputKind::key_up, .key = vk::left}, {.kind = InputKind::key_up, .key = vk::rshift}});
    drain(window_);
    keys = platform::keyboard_state();
    EXPECT_EQ(keys[vk::left], 0x01);
    EXPECT_EQ(keys[vk::shift] & 0x80, 0);
    EXPECT_EQ(keys[vk::rshift] & 0x80, 0);
}

TEST_F(HeadlessWindow, ScriptedEventsWaitForTheirTimeAndKeepTheirOrder)
{
    show();
    play({{.at_ms = 100, .kind = InputKind::key_down, .key = 'A'},
          {.at_ms = 50, .kind = InputKind::key_up, .key = 'A'},
          {.at_ms = 200, .kind = InputKind::close}});
    EXPECT_EQ(platform::headless::pending_input(), 3u);
    clock_.advance_ms(99);
    EXPECT_TRUE(drain(window_).empty());
    clock_.advance_ms(1);
    // The release was due earlier but comes after the press it follows.
    EXPECT_EQ(ids(drain(window_)), (std::vector<uint32_t>{msg::key_down, msg::key_up}));
    clock_.advance_ms(100);
    EXPECT_EQ(ids(drain(window_)), (std::vector<uint32_t>{msg::close}));
    EXPECT_EQ(platform::headless::pending_input(), 0u);
    // Close asks; the window stays until the program destroys it.
    EXPECT_TRUE(platform::is_window(window_));
}

TEST_F(HeadlessWindow, LosingTheFocusReleasesHeldKeysAndLaterKeysGoElsewhere)
{
    show();
    play({{.kind = InputKind::key_down, .key = vk::up},
          {.kind = InputKind::deactivate},
          {.kind = InputKind::key_down, .key = vk::down},
          {.kind = InputKind::activate}});
    const auto m = drain(window_);
    ASSERT_EQ(ids(m), (std::vector<uint32_t>{msg::key_down, msg::key_up, msg::activate_app, msg::activate_app}));
    EXPECT_EQ(m[1].wparam, vk::up);
    EXPECT_EQ(m[2].wparam, 0u);
    EXPECT_EQ(m[3].wparam, 1u);
    EXPECT_EQ(platform::key_state(vk::up) & 0x80, 0);
    EXPECT_EQ(platform::key_state(vk::down), 0);
}

} // namespace

namespace {

TEST_F(HeadlessWindow, MouseReportsEnterMoveButtonsAndLeaveInClientCoordinates)
{
    show();
    play({{.kind = InputKind::mouse_move, .position = {110, 60}},
          {.kind = InputKind::button_down, .key = vk::lbutton},
          {.kind = InputKind::mouse_move, .position = {120, 70}},
          {.kind = InputKind::button_up, .key = vk::lbutton},
          {.kind = InputKind::mouse_move, .position = {90, 60}}});
    platform::Point cursor;
    ASSERT_TRUE(platform::cursor_position(cursor));
    EXPECT_EQ(cursor, (platform::Point{90, 60}));

    const auto m = drain(window_);
    ASSERT_EQ(ids(m), (std::vector<uint32_t>{msg::mouse_enter, msg::mouse_move, msg::lbutton_down, msg::mouse_move,
                                             msg::lbutton_up, msg::mouse_leave}));
    EXPECT_EQ(platform::message_x(m[1]), 10);
    EXPECT_EQ(platform::message_y(m[1]), 10);
    EXPECT_EQ(m[2].wparam, platform::mk_lbutton);
    EXPECT_EQ(m[3].wparam, platform::mk_lbutton);
    EXPECT_EQ(platform::message_x(m[3]), 20);
    EXPECT_EQ(m[4].wparam, 0u);
    EXPECT_EQ(platform::key_state(vk::lbutton) & 0x80, 0);
    EXPECT_EQ(platform::screen_to_client(window_, {110, 60}), (platform::Point{10, 10}));
    EXPECT_EQ(platform::client_to_screen(window_, {10, 10}), (platform::Point{110, 60}));
}

TEST_F(HeadlessWindow, ButtonStateIsReadLikeAKey)
{
    show();
    play({{.kind = InputKind::mouse_move, .position = {300, 300}}, {.kind = InputKind::button_down, .key = vk::lbutton}});
    drain(window_);
    EXPECT_EQ(platform::key_state(vk::lbutton) & 0x80, 0x80);
    // A click outside the client area belongs to someone else.
    play({{.kind = InputKind::button_up, .key = vk::lbutton},
          {.kind = InputKind::mouse_move, .position = {5, 5}},
          {.kind = InputKind::button_down, .key = vk::rbutton}});
    EXPECT_EQ(ids(drain(window_)), (std::vector<uint32_t>{msg::lbutton_up, msg::mouse_leave}));
    EXPECT_EQ(platform::key_state(vk::rbutton), 0);
}

TEST_F(HeadlessWindow, PaintComesOnceAfterOtherMessagesWithTheBoundingRectangle)
{
    show();
    const platform::Rect a{10, 10, 20, 20}, b{100, 5, 10, 10};
    platform::invalidate_window(window_, &a);
    EXPECT_TRUE(platform::post_message(window_, 953));
    platform::invalidate_window(window_, &b);
    EXPECT_EQ(ids(drain(window_)), (std::vector<uint32_t>{953, msg::paint}));
    platform::Rect update;
    ASSERT_TRUE(platform::take_update_rect(window_, update));
    EXPECT_EQ(update, (platform::Rect{10, 5, 100, 25}));
    // Off the client area there is nothing to paint.
    const platform::Rect off{700, 0, 10, 10};
    platform::invalidate_window(window_, &off);
    EXPECT_TRUE(drain(window_).empty());
    play({{.kind = InputKind::expose}});
    EXPECT_EQ(ids(drain(window_)), (std::vector<uint32_t>{msg::paint}));
    ASSERT_TRUE(platform::take_update_rect(window_, update));
    EXPECT_EQ(update, (platform::Rect{0, 0, 640, 480}));
}

TEST_F(HeadlessWindow, PlacementSizeTitleAndFrameRectangle)
{
    EXPECT_EQ(platform::window_title(window_), "Tiny");
    platform::set_window_title(window_, "Other");
    EXPECT_EQ(platform::window_title(window_), "Other");
    EXPECT_EQ(platform::client_size(window_), (platform::Size{640, 480}));
    EXPECT_EQ(platform::window_position(window_), (platform::Point{100, 50}));
    const auto frame = platform::window_frame_rect(window_);
    EXPECT_LT(frame.x, 100);
    EXPECT_LT(frame.y, 50);
    EXPECT_GT(frame.width, 640);
    EXPECT_GT(frame.height, 480);
    platform::set_window_caption(window_, false);
    EXPECT_EQ(platform::window_frame_rect(window_), (platform::Rect{100, 50, 640, 480}));

    platform::set_window_position(window_, {7, 8});
    EXPECT_EQ(platform::window_position(window_), (platform::Point{7, 8}));
    EXPECT_EQ(platform::normal_window_position(window_), (platform::Point{7, 8}));

    platform::headless::set_desktop({1280, 1024}, {0, 0, 1280, 994});
    EXPECT_EQ(platform::desktop_size(), (platform::Size{1280, 1024}));
    EXPECT_EQ(platform::work_area(), (platform::Rect{0, 0, 1280, 994}));
}

TEST_F(HeadlessWindow, FullScreenScalesCoordinatesAndRemembersTheWindowedPlace)
{
    show();
    platform::headless::set_desktop({1280, 720}, {0, 0, 1280, 720});
    platform::set_full_screen(window_, true);
    EXPECT_TRUE(platform::is_full_screen(window_));
    EXPECT_EQ(platform::window_position(window_), (platform::Point{0, 0}));
    EXPECT_EQ(platform::client_size(window_), (platform::Size{640, 480}));
    // 640x480 on 1280x720 is scaled by 1.5 to 960x720 with 160-pixel bars.
    EXPECT_EQ(platform::client_to_screen(window_, {0, 0}), (platform::Point{160, 0}));
    EXPECT_EQ(platform::client_to_screen(window_, {100, 100}), (platform::Point{310, 150}));
    EXPECT_EQ(platform::screen_to_client(window_, {310, 150}), (platform::Point{100, 100}));
    EXPECT_LT(platform::screen_to_client(window_, {10, 10}).x, 0);
    EXPECT_EQ(platform::window_frame_rect(window_), (platform::Rect{0, 0, 1280, 720}));

    // Moving while full screen takes effect on the way back.
    platform::set_window_position(window_, {30, 40});
    EXPECT_EQ(platform::window_position(window_), (platform::Point{0, 0}));
    EXPECT_EQ(platform::normal_window_position(window_), (platform::Point{30, 40}));
    platform::set_full_screen(window_, false);
    EXPECT_FALSE(platform::is_full_screen(window_));
    EXPECT_EQ(platform::window_position(window_), (platform::Point{30, 40}));
    // Switching repaints everything.
    EXPECT_EQ(ids(drain(window_)), (std::vector<uint32_t>{msg::paint}));
}

TEST_F(HeadlessWindow, MinimisedWindowKeepsItsNormalPosition)
{
    show();
    platform::show_window(window_, platform::ShowCommand::minimise);
    platform::set_window_position(window_, {5, 6});
    EXPECT_EQ(platform::normal_window_position(window_), (platform::Point{5, 6}));
    EXPECT_EQ(platform::window_position(window_), (platform::Point{100, 50}));
}

// Once the display is gone, the program's last acts (its save, a report
// of the save's failure) ask nothing of it: a box is neither shown nor put
// to a policy, keys and paints are not taken from it, no window is made on
// it, and the desktop's size is not asked. What the program knows of its
// window stays: the place it saves. A backend made afterwards has a
// display again. The program's handler runs once, after the display is
// marked gone, so what it does asks nothing of the display either.
TEST_F(HeadlessWindow, NothingIsAskedOfADisplayThatIsGone)
{
    show();
    platform::headless::set_desktop({1024, 768}, {0, 0, 1024, 768});
    platform::set_window_position(window_, {30, 40});
    platform::set_box_policy([](const platform::BoxRequest&) { return platform::BoxAnswer::abort; });
    platform::clear_shown_boxes();
    static int handled;
    static bool lost_when_handled;
    handled = 0;
    platform::on_display_lost([] {
        ++handled;
        lost_when_handled = platform::display_is_lost();
    });
    platform::display_lost();
    platform::display_lost();
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(lost_when_handled);

    testing::internal::CaptureStderr();
    const platform::BoxOutcome box = platform::show_message_box(
        {.caption = "Error", .text = "Can't write", .buttons = platform::BoxButtons::abort_retry_ignore,
         .unshown_answer = platform::BoxAnswer::ignore});
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(box.shown);
    EXPECT_EQ(box.answer, platform::BoxAnswer::ignore);
    EXPECT_EQ(said, "[message box] Error\nCan't write\n"
                    "[message box] not shown: the display is gone; answered Ignore\n");
    EXPECT_TRUE(platform::shown_boxes().empty());

    play({{.kind = InputKind::key_down, .key = vk::space}});
    platform::hide_window(window_);
    platform::show_window(window_, platform::ShowCommand::show);
    for (const uint32_t id : ids(drain(nullptr)))
        EXPECT_NE(id, msg::key_down);
    EXPECT_EQ(platform::headless::pending_input(), 1u);
    EXPECT_EQ(platform::desktop_size(), (platform::Size{}));
    EXPECT_EQ(platform::create_window({.title = "Another", .client = {64, 48}}), nullptr);
    EXPECT_EQ(platform::backend_error_text(), "the display is gone");
    EXPECT_EQ(platform::normal_window_position(window_), (platform::Point{30, 40}));

    platform::set_box_policy(nullptr);
    platform::on_display_lost(nullptr);
    platform::shutdown();
    platform::use_backend(platform::BackendKind::headless);
    EXPECT_FALSE(platform::display_is_lost());
    EXPECT_TRUE(platform::show_message_box({.text = "back"}).shown);
    EXPECT_NE(platform::desktop_size(), (platform::Size{}));
}

TEST_F(HeadlessWindow, CursorVisibilityIsRemembered)
{
    platform::set_cursor_visible(false);
    EXPECT_FALSE(platform::cursor_visible());
    platform::show_cursor_until_visible();
    EXPECT_TRUE(platform::cursor_visible());
}

TEST_F(HeadlessWindow, CursorCounterShowsOnlyFromZeroUp)
{
    // Hidden twice, shown once: still hidden; the second show crosses zero.
    const std::vector<std::pair<bool, int>> steps = {{false, -1}, {false, -2}, {true, -1}, {true, 0}, {true, 1}, {false, 0}};
    for (auto [show, count] : steps) {
        EXPECT_EQ(platform::show_cursor(show), count);
        EXPECT_EQ(platform::cursor_visible(), count >= 0) << count;
    }
}

TEST_F(HeadlessWindow, PostingWhileTheWindowIsDestroyedLeavesNoMessageForIt)
{
    std::atomic<bool> stop{false};
    std::atomic<int> refused{0};
    std::thread poster([&] {
        while (!stop)
            if (!platform::post_message(window_, msg::user + 1))
                ++refused;
    });
    Message m;
    while (!platform::peek_message(m, window_)) {
    }
    platform::destroy_window(window_);
    while (refused == 0) {
    }
    stop = true;
    poster.join();
    while (platform::peek_message(m))
        EXPECT_NE(m.window, window_);
}

TEST_F(HeadlessWindow, RefusesWindowsWithoutArea)
{
    EXPECT_EQ(platform::create_window({.client = {0, 480}}), nullptr);
    EXPECT_EQ(platform::create_window({.client = {640, -1}}), nullptr);
}

} // namespace
