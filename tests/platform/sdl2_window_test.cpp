// The SDL2 backend's window under a real display (QUARN_SDL_SMOKE=1, for
// example in Xvfb): where a window lands when placed, and where the
// pointer is over a full-screen window. Under a window manager that frames
// windows the placement test shows whether the frame's border creeps into
// the stored place; without one it checks the plain round trip.
#include "platform/platform.h"

#include <gtest/gtest.h>

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
            GTEST_SKIP() << "SDL cannot start here";
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
    // Only a window manager makes the window cover the screen; without one
    // the window stays where it was, and full screen cannot be watched.
    const platform::Point corner{1000, 740};
    if (motion_at(move_to(corner), platform::screen_to_client(w, corner)))
        follows("in full screen");
    else
        std::printf("full screen is not shown here (no window manager): the pointer was checked in a window only\n");
    platform::destroy_window(w);
}

} // namespace
