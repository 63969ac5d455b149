// The SDL2 backend's window under a real display (QUARN_SDL_SMOKE=1, for
// example in Xvfb): where a window lands when placed, and where the
// pointer is over a full-screen window, what full screen shows, and where
// a window's frame lands. The test command runs them on a bare X server and
// again under a window manager that frames windows, where the placement
// tests show whether the frame's border creeps into the stored place or
// its title bar leaves the screen.
#include "platform/platform.h"
#include "platform/scaling.h"
#include "platform/sdl2/sdl2_x11.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class Sdl2Window : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("QUARN_SDL_SMOKE"))
            GTEST_SKIP() << "set QUARN_SDL_SMOKE=1 with a display to open real windows";
        platform::shutdown();
        platform::use_backend(platform::BackendKind::sdl2);
        if (platform::backend_kind() != platform::BackendKind::sdl2)
            GTEST_SKIP() << "SDL cannot start here: " << platform::backend_error_text();
    }
    void TearDown() override
    {
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
    }

    // Takes the window's messages for a while, so that what the desktop
    // does with the window has arrived.
    std::vector<platform::Message> settle(platform::WindowHandle w, int ms)
    {
        std::vector<platform::Message> out;
        for (int t = 0; t < ms; t += 10) {
            platform::Message m;
            while (platform::peek_message(m, w))
                out.push_back(m);
            platform::sleep_ms(10);
        }
        return out;
    }
};

TEST_F(Sdl2Window, SmokeAStoredPlaceComesBackUnchangedStartAfterStart)
{
    platform::Point stored{137, 91};
    for (int start = 0; start < 4; ++start) {
        // As the program starts: made hidden at 0,0, placed, shown.
        auto w = platform::create_window({.title = "placement", .client = {320, 240}, .position = {0, 0}});
        ASSERT_NE(w, nullptr) << platform::backend_error_text();
        platform::set_window_position(w, stored);
        platform::show_window(w, platform::ShowCommand::show);
        platform::focus_window(w);
        settle(w, 500);
        const platform::Point now = platform::normal_window_position(w);
        EXPECT_EQ(platform::window_position(w), now);
        platform::destroy_window(w);
        EXPECT_EQ(now.x, stored.x) << "start " << start;
        EXPECT_EQ(now.y, stored.y) << "start " << start;
        stored = now;
    }
}

TEST_F(Sdl2Window, SmokeThePointerIsFollowedInAWindowAndInFullScreen)
{
    // Real pointer motion comes from outside the program; a warp by the
    // program itself would refresh what it asks about anyway.
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool moves the pointer for this test; it is not installed";
    auto w = platform::create_window({.title = "pointer", .client = {320, 240}, .position = {40, 30}});
    ASSERT_NE(w, nullptr) << platform::backend_error_text();
    platform::show_window(w, platform::ShowCommand::show);
    platform::focus_window(w);
    settle(w, 300);
    const auto move_to = [&](platform::Point at) {
        const std::string move = "xdotool mousemove " + std::to_string(at.x) + " " + std::to_string(at.y);
        EXPECT_EQ(std::system(move.c_str()), 0);
        return settle(w, 150);
    };
    const auto motion_at = [](const std::vector<platform::Message>& seen, platform::Point client) {
        for (const platform::Message& m : seen)
            if (m.id == platform::msg::mouse_move && platform::message_x(m) == client.x &&
                platform::message_y(m) == client.y)
                return true;
        return false;
    };
    // Points over the window as it was placed; in full screen it covers
    // them too.
    const auto follows = [&](const char* mode) {
        for (const platform::Point at : {platform::Point{100, 120}, {137, 131}, {300, 250}, {90, 60}}) {
            const std::vector<platform::Message> seen = move_to(at);
            platform::Point cursor;
            ASSERT_TRUE(platform::cursor_position(cursor));
            EXPECT_EQ(cursor.x, at.x) << mode;
            EXPECT_EQ(cursor.y, at.y) << mode;
            const platform::Point client = platform::screen_to_client(w, at);
            EXPECT_TRUE(motion_at(seen, client)) << mode << ": no motion message at " << client.x << ", " << client.y;
        }
    };
    follows("in a window");

    platform::set_full_screen(w, true);
    settle(w, 300);
    follows("in full screen");
    platform::destroy_window(w);
}

// A window placed at the screen's corner, as on a first start: under a
// window manager that frames it, the title bar once lay above the screen,
// out of reach.
TEST_F(Sdl2Window, SmokeAWindowAtTheCornerHasItsWholeFrameOnTheScreen)
{
    auto w = platform::create_window({.title = "corner", .client = {320, 240}, .position = {0, 0}});
    ASSERT_NE(w, nullptr) << platform::backend_error_text();
    platform::show_window(w, platform::ShowCommand::show);
    settle(w, 500);
    const platform::Rect frame = platform::window_frame_rect(w);
    const platform::Rect area = platform::work_area();
    EXPECT_EQ(platform::intersect(frame, area), frame)
        << "frame at " << frame.x << ", " << frame.y << " size " << frame.width << " x " << frame.height;
    EXPECT_EQ(platform::window_position(w), platform::normal_window_position(w));
    platform::destroy_window(w);
}

// Full screen shows the whole frame, scaled to the screen, with a window
// manager or without one. On a bare X server the window kept its size
// while the frame was drawn for the screen's, so only a cut, enlarged
// corner of it was seen.
TEST_F(Sdl2Window, SmokeFullScreenShowsTheWholeFrame)
{
    const platform::Size client{320, 240};
    auto w = platform::create_window({.title = "full screen", .client = client, .position = {40, 30}});
    ASSERT_NE(w, nullptr) << platform::backend_error_text();
    platform::show_window(w, platform::ShowCommand::show);
    settle(w, 300);
    // A quarter of the frame in each colour.
    constexpr uint32_t colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
    std::vector<uint32_t> frame(size_t(client.width) * client.height);
    for (int y = 0; y < client.height; ++y)
        for (int x = 0; x < client.width; ++x)
            frame[size_t(y) * client.width + x] = colours[(y >= client.height / 2) * 2 + (x >= client.width / 2)];
    const platform::PixelView view{frame.data(), client.width * 4, platform::PixelFormat::xrgb8888, client.width,
                                   client.height};
    platform::set_full_screen(w, true);
    settle(w, 300);
    ASSERT_TRUE(platform::present(w, view, {0, 0, client.width, client.height}, {0, 0}));
    settle(w, 200);
    const platform::Rect shown = platform::letterbox(client, platform::desktop_size());
    for (int q = 0; q < 4; ++q) {
        const int x = shown.x + shown.width / 4 + (q % 2) * shown.width / 2;
        const int y = shown.y + shown.height / 4 + (q / 2) * shown.height / 2;
        uint32_t rgb = 0;
        ASSERT_TRUE(platform::sdl2_impl::screen_pel_for_test(x, y, rgb));
        EXPECT_EQ(rgb, colours[q]) << "quarter " << q << " at " << x << ", " << y;
    }
    platform::set_full_screen(w, false);
    settle(w, 300);
    EXPECT_EQ(platform::window_position(w).x, 40);
    EXPECT_EQ(platform::window_position(w).y, 30);
    platform::destroy_window(w);
}

} // namespace
