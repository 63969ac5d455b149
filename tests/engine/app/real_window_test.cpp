// The program's window with the real display device: on the headless
// backend always, and on the SDL2 backend under a display on request:
//   QUARN_SDL_SMOKE=1 SDL_AUDIODRIVER=dummy xvfb-run -a
//       tests/engine/app/test_engine_app --gtest_filter='RealWindow.*'
#include "app_test_support.h"

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// True when the frame the window shows has a lit pel in the area of the
// frame-rate overlay.
bool overlay_shown(platform::WindowHandle window)
{
    const platform::PixelView frame = platform::window_frame(window);
    for (int y = 10; y < 30 && y < frame.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(frame.row(y));
        for (int x = 10; x < 410 && x < frame.width; ++x)
            if (row[x] & 0xFFFFFF)
                return true;
    }
    return false;
}

// Start-up, a frame with the overlay, Alt+Enter to full screen and back,
// and a close request, all through the main loop.
void run_window_script()
{
    const auto startDir = std::filesystem::current_path(); // start-up moves to the data folder's
    const auto root = std::filesystem::temp_directory_path() / ("quarn_app_xvfb_" + std::to_string(std::rand()));
    std::filesystem::create_directories(root / "DATA");
    std::ofstream(root / "race.cfg") << "ENABLE_ALT_ENTER = 1\n";
    gaExePath = (root / "race").string();
    testGame = TestGame{};
    gaEngine = gaEngineDefaults();

    std::vector<std::string> seen;
    int frames = 0;
    testGame.onFrame = [&] {
        platform::WindowHandle w = g_app->window;
        const auto alt_enter = [&] { platform::post_message(w, platform::msg::sys_key_up, platform::vk::return_key); };
        if (++frames > 3000) {
            g_app->quit = 1; // give up; the expectations below tell what was missing
        } else if (seen.empty() && overlay_shown(w)) {
            seen.push_back("frame shown");
            alt_enter();
        } else if (seen.size() == 1 && platform::is_full_screen(w)) {
            seen.push_back("full screen");
            alt_enter();
        } else if (seen.size() == 2 && !platform::is_full_screen(w)) {
            seen.push_back("windowed");
            platform::post_message(w, platform::msg::close);
        }
        return 0;
    };
    g_app = new gaCTy;
    g_app->Init();
    if (g_app->window) {
        g_app->Run();
        EXPECT_EQ(seen, (std::vector<std::string>{"frame shown", "full screen", "windowed"}));
        EXPECT_EQ(g_app->quit, 1u);
        EXPECT_FALSE(platform::is_window_visible(g_app->window));
        EXPECT_EQ(g_app->cfg->GetInt("FULL_SCREEN"), 0);
    } else {
        ADD_FAILURE() << "no window";
    }
    delete g_app;

    gaExePath.clear();
    std::filesystem::current_path(startDir);
    std::filesystem::remove_all(root);
}

TEST(RealWindow, HeadlessDisplayShowsAFrameGoesFullScreenAndBackAndCloses)
{
    platform::shutdown();
    platform::use_backend(platform::BackendKind::headless);
    run_window_script();
    platform::shutdown();
}

TEST(RealWindow, Sdl2WindowUnderADisplayDoesTheSame)
{
    if (!std::getenv("QUARN_SDL_SMOKE"))
        GTEST_SKIP() << "set QUARN_SDL_SMOKE=1 with a display to open the real window";
    platform::shutdown();
    platform::use_backend(platform::BackendKind::sdl2);
    if (platform::backend_kind() != platform::BackendKind::sdl2)
        GTEST_SKIP() << "SDL cannot start here: " << platform::backend_error_text();
    // A box would open on the display and wait for a person there: the
    // policy answers it instead, and the run fails naming it.
    platform::clear_shown_boxes();
    platform::set_box_policy([](const platform::BoxRequest&) { return platform::BoxAnswer::ignore; });
    run_window_script();
    platform::set_box_policy(nullptr);
    platform::shutdown();
    std::string boxes;
    for (const platform::BoxRequest& box : platform::shown_boxes())
        boxes += box.caption + ": " + box.text + "\n";
    EXPECT_EQ(boxes, "") << "boxes during the run";
    platform::use_backend(platform::BackendKind::headless);
}

} // namespace
