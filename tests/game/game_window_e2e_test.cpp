// The whole game, headless, around its window: switching to full screen and
// back, and a report box answered while the game runs.
#include "game/game.h"

#include "engine/app/app_internal.h"
#include "platform/headless.h"
#include "platform/message_box.h"
#include "platform/platform.h"
#include "tests/game/game_run.h"
#include "tests/support/file_size_limit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using platform::headless::InputEvent;
using platform::headless::InputKind;

class GameWindow : public game_test::GameRun {
protected:
    GameWindow() : GameRun("quarn_game_window_") {}

    void SetUp() override
    {
        GameRun::SetUp();
        g_app = new gaCTy;
        g_app->Init();
    }

    void Frames(int n)
    {
        for (int i = 0; i < n; ++i)
            Frame();
    }

    // Presses and releases a key (with Alt held around it when asked).
    void Press(uint8_t key, bool alt = false)
    {
        std::vector<InputEvent> events;
        if (alt)
            events.push_back({ .kind = InputKind::key_down, .key = platform::vk::lmenu });
        events.push_back({ .kind = InputKind::key_down, .key = key });
        events.push_back({ .at_ms = 16, .kind = InputKind::key_up, .key = key });
        if (alt)
            events.push_back({ .at_ms = 16, .kind = InputKind::key_up, .key = platform::vk::lmenu });
        platform::headless::feed_input(events);
        Frames(4);
    }

    std::vector<uint32_t> Shown() const
    {
        const platform::PixelView frame = platform::window_frame(g_app->window);
        std::vector<uint32_t> out;
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x)
                out.push_back(platform::read_pixel(frame, x, y) & 0xFFFFFF);
        return out;
    }
};

// The share of pels two frames of one size hold alike: no channel differs
// by more than a 16-bit screen's step, as full screen runs at 16 bits and
// a window at the desktop's 32.
double alike(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    size_t same = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        bool close = true;
        for (int shift = 0; shift < 24; shift += 8)
            close = close && std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF)) <= 8;
        same += close;
    }
    return double(same) / double(a.size());
}

TEST_F(GameWindow, AltEnterToFullScreenAndBackShowsTheWholePicture)
{
    ASSERT_NE(g_app->window, nullptr);
    Frames(10);
    const std::vector<uint32_t> before = Shown();
    ASSERT_EQ(before.size(), 800u * 600u);

    // Only the clock's digits change from frame to frame; all the rest of
    // the picture (track, texts, buttons, car) must come back.
    Press(platform::vk::return_key, true);
    ASSERT_TRUE(platform::is_full_screen(g_app->window));
    EXPECT_EQ(g_app->cfg->GetInt("FULL_SCREEN"), 1);
    EXPECT_GT(alike(Shown(), before), 0.97) << "in full screen";

    Press(platform::vk::return_key, true);
    ASSERT_FALSE(platform::is_full_screen(g_app->window));
    EXPECT_EQ(g_app->cfg->GetInt("FULL_SCREEN"), 0);
    EXPECT_GT(alike(Shown(), before), 0.97) << "back in a window";
}

TEST_F(GameWindow, AFailedScreenshotsReportLeavesTheWindowShownAndPlaying)
{
    ASSERT_NE(g_app->window, nullptr);
    Frames(4);
    {
        // Far below the picture's size: the write fails as on a full disk.
        const test_support::FileSizeLimit full(4096);
        ASSERT_TRUE(full.set());
        Press(platform::vk::f5);
    }
    EXPECT_FALSE(fs::exists("Quarn Race_0.bmp"));
    EXPECT_FALSE(fs::exists("Quarn Race_0.bmp.tmp~"));
    ASSERT_FALSE(platform::shown_boxes().empty()) << "the failed write is reported";
    // With its reason: the player can make room.
    EXPECT_NE(platform::shown_boxes().back().text.find("Can't write to file 'Quarn Race_0.bmp': File too large"),
              std::string::npos)
        << platform::shown_boxes().back().text;
    Frames(4);
    EXPECT_TRUE(platform::is_window_visible(g_app->window));
    EXPECT_FALSE(platform::is_minimised(g_app->window));
    EXPECT_TRUE(g_app->IsUsable()) << "the window is active again";
    platform::headless::reset_display_counters();
    Frames(4);
    EXPECT_GE(platform::headless::display_counters().shows, 4u) << "and the game goes on drawing";
}

// A link at the temporary name had the picture written where it led, and
// a link leading nowhere at a picture's name was taken for a free number
// and replaced. Both are left as they are, and the picture goes elsewhere.
TEST_F(GameWindow, ScreenshotsWriteThroughNoLinkAndReplaceNone)
{
    std::ofstream("mine.txt") << "keep";
    fs::create_symlink("mine.txt", "Quarn Race_0.bmp.tmp~");
    Press(platform::vk::f5);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status("Quarn Race_0.bmp")));
    EXPECT_EQ(fs::file_size("mine.txt"), 4u);
    fs::create_symlink("gone.bmp", "Quarn Race_1.bmp");
    Press(platform::vk::f5);
    EXPECT_TRUE(fs::is_symlink("Quarn Race_1.bmp"));
    EXPECT_FALSE(fs::exists("gone.bmp"));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status("Quarn Race_2.bmp")));
    EXPECT_TRUE(platform::shown_boxes().empty());
}

} // namespace
