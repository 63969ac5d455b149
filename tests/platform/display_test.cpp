// The display's surfaces on the headless backend: blits against a plain
// per-pixel model, locks, losses and injected faults, the once-per-turn
// push of the primary, video memory and device-context output.
#include "platform/headless.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

namespace dsp = platform::display;
namespace hl = platform::headless;
using platform::PixelFormat;
using platform::Rect;

class Display : public testing::Test {
protected:
    void SetUp() override
    {
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
        hl::clear_display_faults();
        hl::reset_display_counters();
        window_ = platform::create_window({.client = {40, 30}});
        ASSERT_NE(window_, nullptr);
        ASSERT_EQ(dsp::Display::open(window_, display_), dsp::ok);
    }
    void TearDown() override
    {
        display_.reset();
        hl::clear_display_faults();
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
    }
    std::unique_ptr<dsp::Surface> offscreen(int w, int h, uint32_t memory = dsp::caps::system_memory)
    {
        std::unique_ptr<dsp::Surface> s;
        EXPECT_EQ(display_->create_offscreen(w, h, memory, s), dsp::ok);
        return s;
    }

    platform::WindowHandle window_ = nullptr;
    std::unique_ptr<dsp::Display> display_;
};

// Raw pixel of a surface at (x, y), read through a lock.
uint32_t pixel(dsp::Surface& s, int x, int y)
{
    return platform::read_pixel(s.view(), x, y);
}

void scribble(dsp::Surface& s, std::mt19937& rng)
{
    dsp::Locked l;
    ASSERT_EQ(s.lock(l), dsp::ok);
    const auto d = s.desc();
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width * platform::bytes_per_pixel(d.format); ++x)
            l.bits[y * l.pitch + x] = uint8_t(rng() & 3); // few values, so keys hit often
    ASSERT_EQ(s.unlock(), dsp::ok);
}

TEST_F(Display, KeyedAndPlainBlitsMatchAPerPixelModelInEveryFormat)
{
    std::mt19937 rng(7);
    for (const int bits : {15, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        ASSERT_EQ(display_->set_full_screen(40, 30, bits), dsp::ok);
        auto src = offscreen(23, 17);
        auto dst = offscreen(31, 19);
        const uint32_t mask = bits == 15 ? 0x7FFF : bits == 16 ? 0xFFFF : 0xFFFFFF;
        for (int round = 0; round < 60; ++round) {
            scribble(*src, rng);
            scribble(*dst, rng);
            const bool keyed = round % 2;
            // The key's spare bits differ from the pixels': only colour bits count.
            const uint32_t key = uint32_t(rng() & 0x0303) | (bits == 15 ? 0x8000 : bits == 32 ? 0xFF000000 : 0);
            ASSERT_EQ(src->set_src_key(key), dsp::ok);
            const int w = 1 + int(rng() % 23), h = 1 + int(rng() % 17);
            const Rect from{int(rng() % (24 - w)), int(rng() % (18 - h)), w, h};
            // Now and then the target reaches past the destination.
            const Rect to{int(rng() % unsigned(34 - w)), int(rng() % unsigned(22 - h)), w, h};
            if (to.right() > 31 || to.bottom() > 19) {
                EXPECT_EQ(dst->blt(to, src.get(), from, 0), dsp::invalid_rect);
                continue;
            }
            std::vector<uint32_t> expect(31 * 19);
            for (int y = 0; y < 19; ++y)
                for (int x = 0; x < 31; ++x)
                    expect[size_t(y * 31 + x)] = pixel(*dst, x, y);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint32_t p = pixel(*src, from.x + x, from.y + y);
                    if (!keyed || (p & mask) != (key & mask))
                        expect[size_t((to.y + y) * 31 + to.x + x)] = p;
                }
            ASSERT_EQ(dst->blt(to, src.get(), from, keyed ? dsp::blt_key_src : 0), dsp::ok);
            for (int y = 0; y < 19; ++y)
                for (int x = 0; x < 31; ++x)
                    ASSERT_EQ(pixel(*dst, x, y), expect[size_t(y * 31 + x)]) << x << "," << y << " round " << round;
        }
        // A blit that would have to stretch is refused and draws nothing.
        EXPECT_EQ(dst->blt({0, 0, 4, 4}, src.get(), {0, 0, 2, 2}, 0), dsp::no_stretch);
    }
}

TEST_F(Display, PrimaryBlitsAreClippedToTheWindowOnlyWithTheClip)
{
    std::unique_ptr<dsp::Surface> primary;
    ASSERT_EQ(display_->create_primary(0, dsp::caps::video_memory, primary), dsp::ok);
    auto src = offscreen(40, 30);
    ASSERT_EQ(src->fill(nullptr, 0x123456), dsp::ok);
    EXPECT_EQ(primary->blt({30, 20, 20, 20}, src.get(), {0, 0, 20, 20}, 0), dsp::invalid_rect);
    EXPECT_EQ(pixel(*primary, 35, 25), 0u);
    ASSERT_EQ(display_->set_window_clip(*primary, true), dsp::ok);
    ASSERT_EQ(primary->blt({30, 20, 20, 20}, src.get(), {0, 0, 20, 20}, 0), dsp::ok);
    EXPECT_EQ(pixel(*primary, 39, 29), 0x123456u);
    EXPECT_EQ(pixel(*primary, 29, 29), 0u);
}

TEST_F(Display, LockPitchesHoldWholePixelsAndASecondLockIsRefused)
{
    for (const int bits : {15, 16, 24, 32}) {
        ASSERT_EQ(display_->set_full_screen(40, 30, bits), dsp::ok);
        auto s = offscreen(7, 3);
        dsp::Locked first, second;
        ASSERT_EQ(s->lock(first), dsp::ok);
        const int bpp = platform::bytes_per_pixel(s->desc().format);
        EXPECT_GE(first.pitch, 7 * bpp);
        EXPECT_EQ(first.pitch % 4, 0);
        EXPECT_EQ(first.pitch % bpp, 0) << bits;
        EXPECT_EQ(s->lock(second), dsp::generic_failure);
        EXPECT_EQ(second.bits, nullptr);
        EXPECT_EQ(s->unlock(), dsp::ok);
    }
}

TEST_F(Display, LostSurfacesAnswerLostUntilRestoredAndChainsComeBackWithTheirPrimary)
{
    ASSERT_EQ(display_->set_full_screen(40, 30, 16), dsp::ok);
    std::unique_ptr<dsp::Surface> primary;
    ASSERT_EQ(display_->create_primary(2, dsp::caps::video_memory, primary), dsp::ok);
    dsp::Surface* back = primary->attached_back();
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->fill(nullptr, 0xBEEF), dsp::ok);

    hl::lose_display_surfaces();
    dsp::Locked l;
    EXPECT_EQ(back->lock(l), dsp::surface_lost);
    EXPECT_EQ(primary->flip(), dsp::surface_lost);
    EXPECT_EQ(back->restore(), dsp::implicit_surface);
    EXPECT_TRUE(back->is_lost());
    EXPECT_EQ(primary->restore(), dsp::ok);
    EXPECT_FALSE(back->is_lost());

    ASSERT_EQ(back->fill(nullptr, 0xBEEF), dsp::ok);
    ASSERT_EQ(primary->flip(), dsp::ok);
    EXPECT_EQ(pixel(*primary, 39, 29), 0xBEEFu);
    EXPECT_EQ(hl::display_counters().flips, 1u);

    // Injected faults answer for as many calls as asked; an injected loss
    // really loses the surface.
    hl::fail_display_call(hl::DisplayCall::fill, dsp::still_drawing, 2);
    EXPECT_EQ(back->fill(nullptr, 1), dsp::still_drawing);
    EXPECT_EQ(back->fill(nullptr, 1), dsp::still_drawing);
    EXPECT_EQ(back->fill(nullptr, 1), dsp::ok);
    hl::fail_display_call(hl::DisplayCall::lock, dsp::surface_lost, 1);
    EXPECT_EQ(primary->lock(l), dsp::surface_lost);
    EXPECT_TRUE(primary->is_lost());
}

TEST_F(Display, ThePrimaryIsShownOncePerLoopTurnAndReadBackAsDrawn)
{
    ASSERT_EQ(display_->set_full_screen(40, 30, 16), dsp::ok);
    std::unique_ptr<dsp::Surface> primary;
    ASSERT_EQ(display_->create_primary(0, dsp::caps::system_memory, primary), dsp::ok);
    platform::Message m;
    while (platform::peek_message(m)) {
    }
    hl::reset_display_counters();
    ASSERT_EQ(primary->fill(nullptr, 0xF800), dsp::ok);
    const Rect corner{0, 0, 10, 10};
    ASSERT_EQ(primary->fill(&corner, 0x001F), dsp::ok);
    EXPECT_EQ(hl::display_counters().shows, 0u);
    (void)platform::peek_message(m);
    (void)platform::peek_message(m);
    EXPECT_EQ(hl::display_counters().shows, 1u);

    std::vector<uint32_t> pixels;
    platform::Size size;
    ASSERT_TRUE(dsp::read_back(window_, pixels, size));
    ASSERT_EQ(size, (platform::Size{40, 30}));
    EXPECT_EQ(pixels[0] & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(pixels[size_t(29 * 40 + 39)] & 0xFFFFFF, 0xFF0000u);
}

TEST_F(Display, VideoMemoryIsTheBudgetLessTheVideoSurfaces)
{
    ASSERT_EQ(display_->set_full_screen(40, 30, 16), dsp::ok);
    hl::set_video_memory(2000);
    display_.reset();
    ASSERT_EQ(dsp::Display::open(window_, display_), dsp::ok);
    ASSERT_EQ(display_->set_full_screen(40, 30, 16), dsp::ok);
    auto a = offscreen(10, 10, dsp::caps::video_memory); // 10 x 20 bytes
    auto sys = offscreen(100, 100);
    EXPECT_EQ(display_->video_memory().total, 2000u);
    EXPECT_EQ(display_->video_memory().free, 1800u);
    std::unique_ptr<dsp::Surface> big;
    EXPECT_EQ(display_->create_offscreen(40, 30, dsp::caps::video_memory, big), dsp::out_of_video_memory);
    EXPECT_EQ(big, nullptr);
    a.reset();
    EXPECT_EQ(display_->video_memory().free, 2000u);
    hl::set_video_memory(uint64_t(256) << 20);
}

TEST_F(Display, DeviceContextsWriteTextAndBottomUpPictures)
{
    ASSERT_EQ(display_->set_full_screen(40, 30, 32), dsp::ok);
    auto s = offscreen(40, 30);
    dsp::Dc* dc = nullptr;
    ASSERT_EQ(s->get_dc(dc), dsp::ok);
    // Two rows of 2 pixels, stored bottom row first, rows padded to 8 bytes.
    const uint8_t bits[16] = {1, 2, 3, 4, 5, 6, 0, 0, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0, 0};
    dc->set_dibits24(38, 0, 2, 2, bits);
    dc->set_text_color(0x0000FF); // red, as 0x00BBGGRR
    dc->set_bk_transparent(true);
    dc->text_out(10, 10, "I");
    ASSERT_EQ(s->release_dc(dc), dsp::ok);
    EXPECT_EQ(pixel(*s, 38, 0), 0x302010u);
    EXPECT_EQ(pixel(*s, 39, 1), 0x060504u);
    int red = 0;
    for (int y = 10; y < 18; ++y)
        for (int x = 10; x < 16; ++x)
            red += pixel(*s, x, y) == 0xFF0000u;
    EXPECT_GT(red, 4);
    EXPECT_EQ(pixel(*s, 20, 20), 0u);
}

} // namespace
