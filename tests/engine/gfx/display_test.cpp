// The display device, its surfaces and the overlay on the headless backend,
// with the real reporter: reports show as (recorded) boxes, and error
// frames take them without a box, as in the program.
#include "display_test_support.h"

namespace {

using namespace display_test;

TEST_F(DisplayDevice, ModeFlagsPickTheChainTheDepthAndTheClipper)
{
    struct Case {
        uint32_t flags;
        int32_t bpp;
        bool full, chain, clipper;
        uint32_t format;
    };
    const Case cases[] = {
        {g_FLIP, 16, true, true, false, pel_FMT_R5G6B5},               // 4 implies full screen
        {g_FLIP | g_CLIPPER, 15, true, true, true, pel_FMT_X1R5G5B5},
        {g_FULL_SCREEN, 24, true, false, false, pel_FMT_R8G8B8},
        {0, 16, false, false, true, pel_FMT_X8R8G8B8},                 // the desktop's depth, whatever is asked
        {g_VIDEO_MEMORY, 8, false, false, true, pel_FMT_X8R8G8B8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        ASSERT_EQ(gCreate(window_, c.flags, 64, 48, c.bpp), 0);
        EXPECT_EQ(platform::is_full_screen(window_), c.full);
        EXPECT_EQ(bool(device().flags & g_FULL_SCREEN), c.full);
        EXPECT_EQ(device().back->ownsSurface == 0, c.chain);
        EXPECT_EQ(device().clipper, c.clipper);
        EXPECT_EQ(device().primary->pelFmt.format, c.format);
        EXPECT_EQ(device().back->pelFmt.format, c.format);
        EXPECT_EQ(gMode.ready, 1u);
        EXPECT_EQ(gMode.textColor, 0xFFFFFFu);
        EXPECT_FALSE(device().modes.empty());
        gRelease();
        gRelease(); // the second does nothing
        EXPECT_EQ(gMode.device, nullptr);
        EXPECT_EQ(gDisplay, nullptr);
        EXPECT_FALSE(platform::is_full_screen(window_));
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(DisplayDevice, AVideoMemoryBackSurfaceFallsBackQuietlyAndFailuresAreReportedNotReady)
{
    hl::set_video_memory(64 * 48 * 4 + 100); // the primary fits, the back surface does not
    ASSERT_EQ(gCreate(window_, g_VIDEO_MEMORY, 64, 48, 16), 0);
    EXPECT_EQ(device().back->surface->desc().caps & dsp::caps::system_memory, dsp::caps::system_memory);
    EXPECT_TRUE(boxes().empty());
    gRelease();

    // Neither memory: the failure is reported and the device is not ready.
    hl::fail_display_call(hl::DisplayCall::create_system, dsp::out_of_memory, 1);
    hl::fail_display_call(hl::DisplayCall::create_video, dsp::out_of_video_memory, 5);
    EXPECT_EQ(gCreate(window_, g_VIDEO_MEMORY, 64, 48, 16), gResultCode(dsp::out_of_memory));
    EXPECT_EQ(gMode.ready, 0u);
    EXPECT_EQ(gMode.device, nullptr);
    EXPECT_EQ(gPresent(), gERR_UNSUPPORTED);
    ASSERT_FALSE(boxes().empty());
    EXPECT_NE(boxes()[0].find("There is not enough memory for the display call."), std::string::npos);
}

TEST_F(DisplayDevice, ScreenFormatFollowsThePrimary)
{
    struct Case {
        int depth;
        uint32_t flags;
        int32_t bpp;
        uint32_t bits, bytes, redMask, redShift, greenLoss;
    };
    const Case cases[] = {
        {15, 0, 16, 16, 2, 0x7C00, 10, 3}, // a 5:5:5 desktop
        {16, 0, 0, 16, 2, 0xF800, 11, 2},
        {32, 0, 16, 32, 4, 0xF800, 11, 2}, // 32 bits keep the 5:6:5 masks
        {32, g_FULL_SCREEN, 15, 16, 2, 0x7C00, 10, 3},
        {16, g_FULL_SCREEN, 24, 24, 3, 0xF800, 11, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth * 100 + c.bpp);
        hl::set_display_depth(c.depth);
        ASSERT_EQ(gCreate(window_, c.flags, 64, 48, c.bpp), 0);
        EXPECT_EQ(gScrFmt.bits, c.bits);
        EXPECT_EQ(gScrFmt.bytes, c.bytes);
        EXPECT_EQ(gScrFmt.redMask, c.redMask);
        EXPECT_EQ(gScrFmt.redShift, c.redShift);
        EXPECT_EQ(gScrFmt.greenLoss, c.greenLoss);
        gRelease();
    }
}

TEST_F(DisplayDevice, PixelFormatCodesFromTheirDescriptions)
{
    using namespace dsp::format_flags;
    struct Case {
        dsp::FormatInfo info;
        uint32_t code;
    };
    const Case cases[] = {
        {{rgb | palette_8, 8, 0, 0, 0}, pel_FMT_P8},
        {{palette_2, 2, 0, 0, 0}, pel_FMT_P8},
        {{0, 32, 0, 0, 0}, 0},
        {{rgb, 32, 0xFF0000, 0xFF00, 0xFF}, pel_FMT_X8R8G8B8},
        {{rgb, 24, 0xFF0000, 0xFF00, 0xFF}, pel_FMT_R8G8B8},
        {{rgb, 16, 0xF800, 0x07E0, 0x1F}, pel_FMT_R5G6B5},
        {{rgb, 16, 0x7C00, 0x03E0, 0x1F}, pel_FMT_X1R5G5B5},
        {{rgb, 16, 0x0F00, 0x00F0, 0x0F}, 0},
        {{rgb, 8, 0xE0, 0x1C, 0x03}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gPelFmtOf(c.info), c.code) << c.info.flags << " " << c.info.bits;
}

TEST_F(DisplayDevice, PresentCopiesTheBackSurfaceOrFlips)
{
    for (const uint32_t flags : {0u, uint32_t(g_FLIP)}) {
        ASSERT_EQ(gCreate(window_, flags, 64, 48, 16), 0);
        const rectTy box {5, 6, 7, 8};
        device().back->Fill(0x00ABCDEF & (flags ? 0xFFFF : 0xFFFFFF), &box);
        EXPECT_EQ(pel(*device().primary, 5, 6), 0u);
        EXPECT_EQ(gPresent(), 0);
        EXPECT_EQ(pel(*device().primary, 5, 6), flags ? 0xCDEFu : 0xABCDEFu);
        EXPECT_EQ(pel(*device().primary, 4, 6), 0u);
        EXPECT_EQ(hl::display_counters().flips, flags ? 1u : 0u);
        gRelease();
        hl::reset_display_counters();
    }
}

TEST_F(DisplayDevice, LostSurfacesAreRestoredRefilledAndRetriedWithoutAReport)
{
    ASSERT_EQ(gCreate(window_, 0, 64, 48, 16), 0);
    imgRowCTy source;
    pelFmtCTy format(pel_FMT_X8R8G8B8);
    source.SetSize(8, 8, &format);
    source.Fill(0x00112233, nullptr);
    gSurfDxdCTy sprite;
    ASSERT_EQ(sprite.CreateOffscreen(8, 8, 1), 0);
    sprite.SetRestoreImage(&source, nullptr, 0, 0);
    source.Draw(&sprite, 0, 0, nullptr);

    // Lost under a lock: restored, refilled from its source, locked again.
    hl::lose_display_surfaces();
    sprite.Lock(nullptr, img_LOCK_READ);
    ASSERT_NE(sprite.lockPtr, nullptr);
    EXPECT_EQ(*static_cast<uint32_t*>(sprite.lockPtr) & 0xFFFFFF, 0x112233u);
    sprite.Unlock();

    // Lost under a blit: the source and the destination come back, the
    // blit goes through.
    hl::lose_display_surfaces();
    sprite.Draw(device().back, 10, 10, nullptr);
    EXPECT_EQ(pel(*device().back, 17, 17), 0x112233u);
    // The primary comes back when it is presented to.
    EXPECT_TRUE(device().primary->surface->is_lost());
    EXPECT_EQ(gPresent(), 0);
    EXPECT_FALSE(device().primary->surface->is_lost());
    EXPECT_EQ(pel(*device().primary, 17, 17), 0x112233u);

    // Busy twice, then done.
    hl::fail_display_call(hl::DisplayCall::fill, dsp::still_drawing, 2);
    device().back->Fill(0x445566, nullptr);
    EXPECT_EQ(pel(*device().back, 0, 0), 0x445566u);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(DisplayDevice, EachRestoreKindRefillsALostSurface)
{
    ASSERT_EQ(gCreate(window_, g_FULL_SCREEN, 64, 48, 16), 0);
    auto lose_and_restore = [](gSurfDxdCTy& s) {
        hl::lose_display_surfaces();
        EXPECT_EQ(pel(s, 0, 0), 0xA5A5u); // nothing of the old picture is left
        EXPECT_EQ(s.Restore(), 1);
    };

    // 1: an 8-bit BMP through its colour table, and a 24-bit one.
    const std::string bmp8 = write_file("restore8.bmp",
        bmp_file(4, 8, {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF}, {{2, 1, 0, 3}, {3, 3, 0, 0}}));
    const std::string bmp24 = write_file("restore24.bmp", bmp_file(2, 24, {}, {{0, 0, 255, 255, 0, 0}}));
    gSurfDxdCTy s8, s24;
    ASSERT_EQ(s8.CreateOffscreen(4, 2, 0), 0);
    ASSERT_EQ(s24.CreateOffscreen(2, 1, 0), 0);
    s8.SetRestoreBmp(bmp8.c_str(), 0, 0, 4, 2);
    s24.SetRestoreBmp(bmp24.c_str(), 0, 0, 2, 1);
    lose_and_restore(s8);
    EXPECT_EQ(pel(s8, 0, 0), 0x001Fu); // index 2: 0x000000FF, blue
    EXPECT_EQ(pel(s8, 1, 0), 0x07E0u);
    EXPECT_EQ(pel(s8, 2, 0), 0xF800u);
    EXPECT_EQ(pel(s8, 3, 0), 0xFFFFu);
    EXPECT_EQ(pel(s8, 0, 1), 0xFFFFu);
    lose_and_restore(s24);
    EXPECT_EQ(pel(s24, 0, 0), 0xF800u); // bytes B, G, R
    EXPECT_EQ(pel(s24, 1, 0), 0x001Fu);

    // 2: a sprite-set frame placed at minus its hot spot, rows of a fill,
    // a skip and a literal.
    const std::string frames = write_file("restore.spr", sprite_set(1, 0, 3, {{0xC3, 9}, {0x01, 0x82, 4, 5}}));
    gSurfDxdCTy sf;
    ASSERT_EQ(sf.CreateOffscreen(3, 2, 0), 0);
    sf.Fill(0, nullptr);
    sf.SetRestoreFrame(frames.c_str(), 0);
    auto palette = [](uint32_t i) { return gRgbToScr(i | (255 - i) << 8 | (i * 7 & 0xFF) << 16); };
    lose_and_restore(sf);
    EXPECT_EQ(pel(sf, 0, 0), palette(9));
    EXPECT_EQ(pel(sf, 1, 0), palette(9));
    EXPECT_EQ(pel(sf, 0, 1), palette(4));
    EXPECT_EQ(pel(sf, 1, 1), palette(5));

    // 4: a scaled image, drawn as the software draws it directly.
    imgRowCTy source;
    pelFmtCTy format(pel_FMT_X8R8G8B8);
    source.SetSize(4, 4, &format);
    for (int i = 0; i < 16; ++i) {
        const rectTy p {i % 4, i / 4, 1, 1};
        source.Fill(uint32_t(i) * 0x00101010u, &p);
    }
    gSurfDxdCTy scaled, direct;
    ASSERT_EQ(scaled.CreateOffscreen(8, 8, 0), 0);
    ASSERT_EQ(direct.CreateOffscreen(8, 8, 0), 0);
    scaled.SetRestoreScaled(&source, 2.0f, 2.0f, 0);
    lose_and_restore(scaled);
    EXPECT_EQ(direct.Restore(), 1);
    const rectTy whole {0, 0, 8, 8};
    source.DrawEx(&direct, 0, 0, &whole,
                  imgDrawPrmCTy {.op = img_OP_SCALED, .scaled = 1, .scaleX = 2.0f, .scaleY = 2.0f});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(pel(scaled, x, y), pel(direct, x, y)) << x << "," << y;
    EXPECT_EQ(pel(scaled, 7, 7), 0xF79Eu); // 0xF0F0F0 in 5:6:5
    EXPECT_TRUE(boxes().empty());
    for (const auto& f : {bmp8, bmp24, frames})
        std::filesystem::remove(f);
}

TEST_F(DisplayDevice, FailuresGiveUpBoundedAndLeaveNoLockToDrawThrough)
{
    ASSERT_EQ(gCreate(window_, 0, 64, 48, 16), 0);
    gSurfDxdCTy& back = *device().back;

    // A call that keeps failing: one report, a bounded number of tries.
    hl::fail_display_call(hl::DisplayCall::lock, dsp::generic_failure, 1000);
    back.Lock(nullptr, img_LOCK_RW);
    EXPECT_EQ(back.lockPtr, nullptr);
    EXPECT_EQ(boxes().size(), 1u);
    EXPECT_EQ(hl::display_counters().locks, 0u);
    hl::clear_display_faults();

    // A restore that fails: no lock, and a software draw onto it draws
    // nothing instead of writing through a null pointer.
    imgRowCTy source;
    pelFmtCTy format(pel_FMT_X8R8G8B8);
    source.SetSize(4, 4, &format);
    source.Fill(0x00FFFFFF, nullptr);
    back.Fill(0, nullptr);
    hl::lose_display_surfaces();
    hl::fail_display_call(hl::DisplayCall::restore, dsp::wrong_mode, 1000);
    source.DrawEx(&back, 0, 0, nullptr, imgDrawPrmCTy {.op = img_OP_ALPHA, .alpha = 128});
    EXPECT_EQ(back.lockPtr, nullptr);
    // A primary is never made anew: the restore ends there.
    hl::clear_display_faults();
    hl::fail_display_call(hl::DisplayCall::restore, dsp::wrong_mode, 1);
    EXPECT_EQ(device().primary->Restore(), 0);
    // Another surface is, in system memory once video memory is short.
    hl::fail_display_call(hl::DisplayCall::restore, dsp::wrong_mode, 1);
    hl::set_video_memory(0);
    gSurfDxdCTy off;
    ASSERT_EQ(off.CreateOffscreen(4, 4, 0), 0);
    hl::lose_display_surfaces();
    hl::fail_display_call(hl::DisplayCall::restore, dsp::wrong_mode, 1);
    EXPECT_EQ(off.Restore(), 1);
    EXPECT_FALSE(off.surface->is_lost());
}

TEST_F(DisplayDevice, SurfaceDrawsKeysStretchesClonesAndLocks)
{
    ASSERT_EQ(gCreate(window_, 0, 64, 48, 16), 0);
    gSurfDxdCTy src;
    ASSERT_EQ(src.CreateOffscreen(8, 8, 0), 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const rectTy p {x, y, 1, 1};
            src.Fill(uint32_t(x * 16 + y * 1024), &p);
        }
    src.Draw(device().back, 0, 0, nullptr);
    EXPECT_EQ(hl::display_counters().keyed_blts, 0u);
    src.SetColorKeyPel(0);
    src.Draw(device().back, 0, 0, nullptr);
    EXPECT_EQ(hl::display_counters().keyed_blts, 1u);

    // A scaled draw: the display cannot stretch, so the software draws,
    // exactly as the software path does on its own.
    gSurfDxdCTy a, b;
    ASSERT_EQ(a.CreateOffscreen(24, 24, 0), 0);
    ASSERT_EQ(b.CreateOffscreen(24, 24, 0), 0);
    a.Fill(0x777777, nullptr);
    b.Fill(0x777777, nullptr);
    const imgDrawPrmCTy twice {.op = img_OP_SCALED, .scaled = 1, .scaleX = 2.0f, .scaleY = 2.0f};
    const rectTy scaledWhole {0, 0, 16, 16};
    src.keyFlag = 0;
    src.DrawEx(&a, 3, 3, &scaledWhole, twice);
    src.imgCTy::DrawEx(&b, 3, 3, &scaledWhole, twice);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x)
            ASSERT_EQ(pel(a, x, y), pel(b, x, y)) << x << "," << y;
    EXPECT_EQ(pel(a, 3 + 15, 3 + 15), uint32_t(7 * 16 + 7 * 1024));

    EXPECT_EQ(src.Clone(), nullptr);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_NE(boxes()[0].find("Support is currently not available."), std::string::npos);
    EXPECT_EQ(platform::shown_boxes()[0].owner, window_); // the display's box hook names the owner

    const rectTy first {1, 2, 3, 3}, second {5, 5, 1, 1};
    src.Lock(&first, img_LOCK_RW);
    void* bits = src.lockPtr;
    src.Lock(&second, img_LOCK_RW);
    EXPECT_EQ(src.lockPtr, bits);
    EXPECT_EQ(*static_cast<uint32_t*>(bits) & 0xFFFFFF, uint32_t(1 * 16 + 2 * 1024));
    src.Unlock();
}

TEST_F(DisplayDevice, OverlayTextChangesOnTheTwelfthCallAndLandsInItsColour)
{
    platform::ManualClock clock;
    platform::set_clock_source(&clock);
    ASSERT_EQ(gCreate(window_, 0, 64, 48, 16), 0);
    gSurfDxdCTy& back = *device().back;
    std::vector<std::string> texts;
    for (int call = 1; call <= 23; ++call) {
        clock.advance_ms(20);
        gDrawFps(10, 10);
        texts.push_back(gFps.text);
    }
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(texts[size_t(i)], "") << i;
    // 11 frames over 220 ms: 50.0 per second; the primary (64 x 48 x 4
    // bytes) is in video memory, the back surface in system memory.
    EXPECT_EQ(texts[11], "  22    50.0  V_M = 12288");
    EXPECT_EQ(texts[21], texts[11]);
    EXPECT_EQ(texts[22], texts[11]);

    // White text over black at (10, 10); a text of 128 characters or more
    // draws nothing.
    back.Fill(0x123456, nullptr);
    gTextOut(10, 10, "%s", "8");
    int white = 0, black = 0;
    for (int y = 10; y < 18; ++y)
        for (int x = 10; x < 16; ++x) {
            white += pel(back, x, y) == 0xFFFFFFu;
            black += pel(back, x, y) == 0u;
        }
    EXPECT_GT(white, 8);
    EXPECT_GT(black, 8);
    EXPECT_EQ(pel(back, 9, 9), 0x123456u);
    back.Fill(0x123456, nullptr);
    gTextOut(10, 10, "%s", std::string(128, 'x').c_str());
    EXPECT_EQ(pel(back, 10, 10), 0x123456u);
    EXPECT_EQ(pel(back, 12, 12), 0x123456u);
}

TEST_F(DisplayDevice, ResultTextsAreRegisteredForEveryCode)
{
    ASSERT_EQ(gCreate(window_, 0, 64, 48, 16), 0);
    const auto* records = static_cast<const errMsgTy*>(gDDMessages.records);
    int count = 0;
    for (const errMsgTy* r = records; r->code != 0; ++r, ++count) {
        EXPECT_EQ(r->flags, ERR_LEVEL_ERROR);
        char buffer[512];
        EXPECT_STREQ(errLookupMessage(buffer, sizeof buffer, nullptr, r->code, 0, nullptr), r->text);
    }
    EXPECT_EQ(count, g_DD_MESSAGE_COUNT);
    char buffer[512];
    EXPECT_STREQ(errLookupMessage(buffer, sizeof buffer, nullptr, int32_t(0x8876021C), 0, nullptr),
                 "Informs DirectDraw that the previous Blt which is transfering information to or from this Surface "
                 "is incomplete.");
}

} // namespace
