// The main loop: frame limit and the end of the loop.
#include "app_test_support.h"

#include "platform/headless.h"

namespace {

TEST_F(AppTest, FrameLimitSleepsForTheRestOfTheFrame)
{
    struct Case {
        int limit, work;
        uint32_t iteration; // milliseconds one iteration takes in all
    };
    const Case cases[] = {{20, 5, 20}, {20, 25, 25}, {20, 20, 20}, {0, 5, 5}};
    for (const Case& c : cases) {
        WriteConfig("FPS_LIMIT = " + std::to_string(c.limit) + "\n");
        testGame.onFrame = [&] {
            clock.advance_ms(uint64_t(c.work));
            g_app->quit = 1;
            return 0;
        };
        gaCTy& app = Start();
        const uint32_t t0 = clock.tick_ms();
        app.Run();
        EXPECT_EQ(clock.tick_ms() - t0, c.iteration) << "limit " << c.limit << ", work " << c.work;
        Stop();
    }
}

TEST_F(AppTest, FrameLimitSurvivesTheClockWrapping)
{
    WriteConfig("FPS_LIMIT = 20\n");
    // 2 ms before the 32-bit millisecond count wraps.
    clock.set((uint64_t(1) << 32) * 1'000'000 - 2'000'000);
    testGame.onFrame = [&] {
        clock.advance_ms(5);
        g_app->quit = 1;
        return 0;
    };
    gaCTy& app = Start();
    const uint64_t t0 = clock.counter();
    app.Run();
    EXPECT_EQ(clock.counter() - t0, 20'000'000u);
}

TEST_F(AppTest, CloseDuringThePumpStillRunsThatFrame)
{
    gaCTy& app = Start();
    platform::headless::feed_input({{.at_ms = 0, .kind = platform::headless::InputKind::close}});
    int frames = 0;
    testGame.onFrame = [&] {
        ++frames;
        return 0;
    };
    app.Run();
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(app.quit, 1u);
    EXPECT_TRUE(platform::is_window(app.window)); // destroyed only by the shut-down
    EXPECT_FALSE(platform::is_window_visible(app.window));
    int code = -1;
    EXPECT_TRUE(platform::take_pending_quit(code)); // the thread message stays queued
    EXPECT_EQ(code, 0);
}

} // namespace
