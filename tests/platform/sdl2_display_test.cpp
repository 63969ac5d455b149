// The display on the SDL2 backend: the primary goes through a streaming
// texture and comes back through the renderer. On SDL's dummy driver
// always (failing where it does not start); in a real window only when
// QUARN_SDL_SMOKE=1 is set and a display is there (scripts/run-tests.sh
// starts Xvfb for it).
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
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
        // Unless told otherwise, the software renderer: a display without
        // a GPU (Xvfb) has nothing better, and there Mesa's GL drawable
        // keeps the window's old size after a switch to full screen when no
        // window manager runs.
        set_renderer_ = !std::getenv("SDL_RENDER_DRIVER");
        if (set_renderer_)
            setenv("SDL_RENDER_DRIVER", "software", 1);
        platform::shutdown();
        platform::use_backend(platform::BackendKind::sdl2);
        if (platform::backend_kind() != platform::BackendKind::sdl2) {
            // The dummy driver needs nothing from the machine.
            if (!smoke_)
                FAIL() << platform::backend_error_text();
            GTEST_SKIP() << "SDL cannot start here: " << platform::backend_error_text();
        }
    }
    void TearDown() override
    {
        display_.reset();
        platform::shutdown();
        unsetenv("SDL_VIDEODRIVER");
        if (set_renderer_)
            unsetenv("SDL_RENDER_DRIVER");
        platform::use_backend(platform::BackendKind::headless);
    }

    // Opens a 160x120 window with a 16-bit display (windowed at the
    // desktop's format, or full screen at 16 bits), draws four quadrants in
    // pure colours, takes the messages (which pushes the frame once), reads
    // the window back and compares the quadrants' centres, scaled to the
    // window's size in full screen.
    void show_and_compare(bool full_screen)
    {
        window_ = platform::create_window({.title = "display smoke", .client = {160, 120}, .position = {40, 40}});
        ASSERT_NE(window_, nullptr) << platform::backend_error_text();
        platform::show_window(window_, platform::ShowCommand::show_normal);
        ASSERT_EQ(dsp::Display::open(window_, display_), dsp::ok);
        if (full_screen) {
            ASSERT_EQ(display_->set_full_screen(160, 120, 16), dsp::ok);
        }
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
        // The quadrants' centres, scaled to the output in full screen: the
        // frame fills its height (or width), centred.
        auto shows_quadrants = [&](const std::vector<uint32_t>& pixels, platform::Size size) {
            if (size.width < 160 || size.height < 120)
                return false;
            const double scale = std::min(size.width / 160.0, size.height / 120.0);
            const int left = int((size.width - 160 * scale) / 2), top = int((size.height - 120 * scale) / 2);
            for (int q = 0; q < 4; ++q) {
                const int x = left + int(((q % 2) * 80 + 40) * scale), y = top + int(((q / 2) * 60 + 30) * scale);
                if ((pixels[size_t(y * size.width + x)] & 0xFFFFFF) != colours[q])
                    return false;
            }
            return true;
        };
        std::vector<uint32_t> pixels;
        platform::Size size;
        // The desktop answers a switch to full screen in its own time; once
        // the window has its new size the frame is shown again, scaled.
        bool shown = false;
        for (int turn = 0; turn < 200 && !shown; ++turn) {
            platform::Message m;
            while (platform::peek_message(m)) {
            }
            ASSERT_TRUE(dsp::read_back(window_, pixels, size)) << platform::backend_error_text();
            shown = shows_quadrants(pixels, size) && (!full_screen || size != platform::Size{160, 120});
            if (!shown)
                platform::sleep_ms(10);
        }
        EXPECT_TRUE(shown) << "read back " << size.width << "x" << size.height;
        if (!full_screen) {
            EXPECT_EQ(size, (platform::Size{160, 120}));
        }
    }

    bool smoke_ = false;
    bool set_renderer_ = false;
    platform::WindowHandle window_ = nullptr;
    std::unique_ptr<dsp::Display> display_;
};

TEST_F(Sdl2Display, DummyDriverShowsThePrimaryThroughItsTexture)
{
    if (smoke_)
        GTEST_SKIP() << "the dummy driver's test";
    show_and_compare(false);
}

TEST_F(Sdl2Display, SmokeRealWindowShowsThePrimary)
{
    if (!smoke_)
        GTEST_SKIP() << "opens a real window: set QUARN_SDL_SMOKE=1 with a display";
    show_and_compare(false);
}

TEST_F(Sdl2Display, SmokeFullScreenScalesThePrimaryToTheDesktop)
{
    if (!smoke_)
        GTEST_SKIP() << "opens a real window: set QUARN_SDL_SMOKE=1 with a display";
    show_and_compare(true);
}

} // namespace
