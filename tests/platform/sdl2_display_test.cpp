// The display on the SDL2 backend: the primary goes through a streaming
// texture and comes back through the renderer. On SDL's dummy driver
// always (skipped where SDL cannot start); in a real window only when
// QUARN_SDL_SMOKE=1 is set and a display is there (scripts/run-tests.sh
// starts Xvfb for it).
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

namespace dsp = platform::display;

class Sdl2Display : public testing::Test {
protected:
    void SetUp() override
    {
        smoke_ = std::getenv("QUARN_SDL_SMOKE") != nullptr;
        if (!smoke_)
            setenv("SDL_VIDEODRIVER", "dummy", 1);
        platform::shutdown();
        platform::use_backend(platform::BackendKind::sdl2);
        if (platform::backend_kind() != platform::BackendKind::sdl2)
            GTEST_SKIP() << "SDL cannot start here";
    }
    void TearDown() override
    {
        display_.reset();
        platform::shutdown();
        unsetenv("SDL_VIDEODRIVER");
        platform::use_backend(platform::BackendKind::headless);
    }

    // Opens a 160x120 window with a 16-bit display, draws four quadrants
    // in pure colours, takes the messages once (which pushes the frame),
    // reads the window back and compares the quadrants' centres.
    void show_and_compare()
    {
        window_ = platform::create_window({.title = "display smoke", .client = {160, 120}, .position = {40, 40}});
        ASSERT_NE(window_, nullptr) << platform::backend_error_text();
        platform::show_window(window_, platform::ShowCommand::show_normal);
        ASSERT_EQ(dsp::Display::open(window_, display_), dsp::ok);
        std::unique_ptr<dsp::Surface> primary, back;
        ASSERT_EQ(display_->create_primary(0, dsp::caps::system_memory, primary), dsp::ok);
        ASSERT_EQ(display_->create_offscreen(160, 120, dsp::caps::system_memory, back), dsp::ok);
        const auto format = back->desc().format;
        const uint32_t colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
        for (int q = 0; q < 4; ++q) {
            const platform::Rect r{(q % 2) * 80, (q / 2) * 60, 80, 60};
            ASSERT_EQ(back->fill(&r, platform::pack_pixel(format, colours[q])), dsp::ok);
        }
        ASSERT_EQ(primary->blt({0, 0, 160, 120}, back.get(), {0, 0, 160, 120}, 0), dsp::ok);
        platform::Message m;
        while (platform::peek_message(m)) {
        }
        std::vector<uint32_t> pixels;
        platform::Size size;
        ASSERT_TRUE(dsp::read_back(window_, pixels, size)) << platform::backend_error_text();
        ASSERT_EQ(size, (platform::Size{160, 120}));
        for (int q = 0; q < 4; ++q) {
            const int x = (q % 2) * 80 + 40, y = (q / 2) * 60 + 30;
            EXPECT_EQ(pixels[size_t(y * 160 + x)] & 0xFFFFFF, colours[q]) << "quadrant " << q;
        }
    }

    bool smoke_ = false;
    platform::WindowHandle window_ = nullptr;
    std::unique_ptr<dsp::Display> display_;
};

TEST_F(Sdl2Display, DummyDriverShowsThePrimaryThroughItsTexture)
{
    if (smoke_)
        GTEST_SKIP() << "the dummy driver's test";
    show_and_compare();
}

TEST_F(Sdl2Display, SmokeRealWindowShowsThePrimary)
{
    if (!smoke_)
        GTEST_SKIP() << "opens a real window: set QUARN_SDL_SMOKE=1 with a display";
    show_and_compare();
}

} // namespace
