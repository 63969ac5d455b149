// The window procedure's message table, through real messages where the
// platform makes them.
#include "app_test_support.h"

#include "platform/headless.h"

namespace {

using platform::headless::InputKind;
namespace vk = platform::vk;

class WndProcTest : public AppTest {
protected:
    gaCTy& StartActive(const std::string& config)
    {
        WriteConfig(config);
        gaCTy& app = Start();
        app.Pump(); // takes the activation
        EXPECT_EQ(app.active, 1u);
        return app;
    }
    void AltEnter(gaCTy& app)
    {
        platform::headless::feed_input({{.kind = InputKind::key_down, .key = vk::lmenu},
                                        {.kind = InputKind::key_down, .key = vk::return_key},
                                        {.kind = InputKind::key_up, .key = vk::return_key},
                                        {.kind = InputKind::key_up, .key = vk::lmenu}});
        app.Pump();
    }
};

TEST_F(WndProcTest, AltEnterSwitchesBetweenWindowAndFullScreen)
{
    gaCTy& app = StartActive("ENABLE_ALT_ENTER = 1\nFULL_SCREEN = 1\n");
    EXPECT_FALSE(platform::window_caption(app.window));
    EXPECT_TRUE(platform::window_topmost(app.window));
    EXPECT_FALSE(platform::cursor_visible()); // hidden once the device was full screen

    AltEnter(app);
    EXPECT_EQ(app.cfg->GetInt("FULL_SCREEN"), 0);
    EXPECT_EQ(testGame.setModeFlags.back(), GA_DISPLAY_VID_MEM);
    EXPECT_TRUE(platform::window_caption(app.window));
    EXPECT_FALSE(platform::window_topmost(app.window));

    AltEnter(app);
    EXPECT_EQ(app.cfg->GetInt("FULL_SCREEN"), 1);
    EXPECT_EQ(testGame.setModeFlags.back(), GA_DISPLAY_FULL_SCREEN | GA_DISPLAY_VID_MEM);
    EXPECT_FALSE(platform::cursor_visible());
    EXPECT_EQ(testGame.setModeFlags.size(), 3u);
}

TEST_F(WndProcTest, AltEnterWithoutTheKeyChangesNothingButIsSwallowed)
{
    gaCTy& app = StartActive("");
    AltEnter(app);
    EXPECT_EQ(app.cfg->GetInt("FULL_SCREEN"), 0);
    EXPECT_EQ(testGame.setModeFlags.size(), 1u); // only the creation
    EXPECT_EQ(app.WndProc(app.window, GA_WM_SYSKEYUP, vk::menu, 0), 0);
}

TEST_F(WndProcTest, GameHookAboveZeroBypassesTheFramework)
{
    gaCTy& app = StartActive("");
    testGame.onMessage = [](uint32_t) { return 1; };
    (void)app.WndProc(app.window, GA_WM_CLOSE, 0, 0);
    EXPECT_EQ(app.quit, 0u);
    testGame.onMessage = [](uint32_t) { return 0; };
    EXPECT_EQ(app.WndProc(app.window, GA_WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(app.quit, 1u);
    EXPECT_EQ(app.WndProc(app.window, GA_WM_ERASEBKGND, 0, 0), 1);
}

TEST_F(WndProcTest, ActivationAndTheMouseDriveTheCursorAndTheGrid)
{
    gaCTy& app = StartActive("");
    scrBuildRects(); // whatever start-up marked
    platform::headless::feed_input({{.kind = InputKind::mouse_move, .position = {300, 300}}});
    app.Pump();
    EXPECT_EQ(gaTracking, 1);
    EXPECT_FALSE(platform::cursor_visible());

    platform::headless::feed_input({{.kind = InputKind::deactivate}});
    app.Pump();
    EXPECT_EQ(app.active, 0u);
    EXPECT_EQ(gaTracking, 0);
    EXPECT_TRUE(platform::cursor_visible());

    // A paint in the background marks the grid and copies nothing.
    testGame.copied.clear();
    platform::headless::feed_input({{.kind = InputKind::expose}});
    app.Pump();
    EXPECT_TRUE(testGame.copied.empty());

    testGame.calls.clear();
    platform::headless::feed_input({{.kind = InputKind::activate}});
    app.Pump();
    // The mixer hears of the activation before the game does.
    EXPECT_EQ(testGame.calls, (std::vector<std::string>{"sndActivateApp(1)", "GameActivate"}));
    scrBuildRects();
    ASSERT_EQ(scrRectCount(), 1u);
    EXPECT_EQ(scrRects()[0].w, 640);
    EXPECT_EQ(scrRects()[0].h, 480);
}

} // namespace
