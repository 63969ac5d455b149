// Surfaces found lost by a lock or a draw: the restore refills them with
// draws of its own, and the caller's lock and draw must come out exactly
// as on a surface refilled beforehand.
#include "display_test_support.h"

#include <cstring>

namespace {

using namespace display_test;

enum class Refill { none, bitmap, frame, small_image_at_6_6, drawn_image_part, scaled, drawn_image_scaled };

const char* name_of(Refill r)
{
    switch (r) {
    case Refill::none: return "none";
    case Refill::bitmap: return "bitmap";
    case Refill::frame: return "frame";
    case Refill::small_image_at_6_6: return "small image at (6, 6)";
    case Refill::drawn_image_part: return "part of the drawn image";
    case Refill::scaled: return "scaled image";
    case Refill::drawn_image_scaled: return "the drawn image scaled";
    }
    return "?";
}

class LostSurface : public DisplayDevice {
protected:
    void SetUp() override
    {
        DisplayDevice::SetUp();
        ASSERT_EQ(gCreate(window_, g_FULL_SCREEN, 64, 48, 16), 0);
        std::vector<std::vector<uint8_t>> indexes(8), codes(8);
        for (uint8_t y = 0; y < 8; ++y) {
            codes[y] = {0x88};
            for (uint8_t x = 0; x < 8; ++x) {
                indexes[y].push_back(uint8_t((x + y) % 4));
                codes[y].push_back(uint8_t(16 * y + x));
            }
        }
        bitmap_ = write_file("lost8.bmp", bmp_file(8, 8, {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF}, indexes));
        frames_ = write_file("lost.spr", sprite_set(0, 0, 8, codes));
        fill_distinct(drawn_, 8, 0x00204080);
        fill_distinct(small_, 2, 0x00F0C000);
        fill_distinct(scaled_, 4, 0x00008040);
    }
    void TearDown() override
    {
        std::filesystem::remove(bitmap_);
        std::filesystem::remove(frames_);
        DisplayDevice::TearDown();
    }

    static void fill_distinct(imgRowCTy& image, int side, uint32_t base)
    {
        pelFmtCTy format(pel_FMT_X8R8G8B8);
        image.SetSize(side, side, &format);
        for (int i = 0; i < side * side; ++i) {
            const rectTy p {i % side, i / side, 1, 1};
            image.Fill(base + uint32_t(i) * 0x00030507u, &p);
        }
    }

    void set_restore(gSurfDxdCTy& s, Refill refill)
    {
        const rectTy quarter {0, 0, 4, 4};
        switch (refill) {
        case Refill::none: break;
        case Refill::bitmap: s.SetRestoreBmp(bitmap_.c_str(), 0, 0, 8, 8); break;
        case Refill::frame: s.SetRestoreFrame(frames_.c_str(), 0); break;
        case Refill::small_image_at_6_6: s.SetRestoreImage(&small_, nullptr, 6, 6); break;
        case Refill::drawn_image_part: s.SetRestoreImage(&drawn_, &quarter, 4, 4); break;
        case Refill::scaled: s.SetRestoreScaled(&scaled_, 2.0f, 2.0f, 0); break;
        case Refill::drawn_image_scaled: s.SetRestoreScaled(&drawn_, 2.0f, 2.0f, 0); break;
        }
    }

    static void expect_same_pels(gSurfDxdCTy& got, gSurfDxdCTy& want)
    {
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(pel(got, x, y), pel(want, x, y)) << x << "," << y;
    }

    std::string bitmap_, frames_;
    imgRowCTy drawn_, small_, scaled_;
};

// Every restore kind refills through draws that lock the lost surface
// themselves, under partial and whole rectangles; the reference surface is
// restored first and then locked or drawn onto as usual.
TEST_F(LostSurface, LocksAndDrawsKeepTheCallersRectangleModeAndSource)
{
    const Refill refills[] = {Refill::none,   Refill::bitmap, Refill::frame, Refill::small_image_at_6_6,
                              Refill::drawn_image_part, Refill::scaled, Refill::drawn_image_scaled};
    const rectTy rects[] = {{2, 3, 1, 1}, {5, 1, 3, 6}, {0, 0, 8, 8}};
    for (const Refill refill : refills) {
        for (const rectTy& rect : rects) {
            SCOPED_TRACE(testing::Message() << name_of(refill) << ", rect " << rect.x << "," << rect.y << ","
                                            << rect.w << "," << rect.h);
            gSurfDxdCTy want, got;
            ASSERT_EQ(want.CreateOffscreen(8, 8, 0), 0);
            ASSERT_EQ(got.CreateOffscreen(8, 8, 0), 0);
            set_restore(want, refill);
            set_restore(got, refill);

            // A lock: the caller's rectangle and mode, the pel at its corner.
            hl::lose_display_surfaces();
            ASSERT_EQ(want.Restore(), 1);
            got.Lock(&rect, img_LOCK_READ);
            ASSERT_NE(got.lockPtr, nullptr);
            ASSERT_EQ(pelSize(got.pelFmt.format), 2u);
            const platform::PixelView view = got.surface->view();
            EXPECT_EQ(got.lockPtr, static_cast<uint8_t*>(const_cast<void*>(view.pixels))
                                       + ptrdiff_t(rect.y) * view.pitch + rect.x * 2);
            EXPECT_EQ(got.lockRect.x, rect.x);
            EXPECT_EQ(got.lockRect.y, rect.y);
            EXPECT_EQ(got.lockRect.w, rect.w);
            EXPECT_EQ(got.lockRect.h, rect.h);
            EXPECT_EQ(got.lockMode, img_LOCK_READ);
            uint16_t corner = 0;
            std::memcpy(&corner, got.lockPtr, 2);
            EXPECT_EQ(corner, pel(want, rect.x, rect.y));
            got.Unlock();
            expect_same_pels(got, want);

            // A draw of the rectangle at its own place, also when the draw's
            // source is the one the refill draws from.
            hl::lose_display_surfaces();
            ASSERT_EQ(want.Restore(), 1);
            drawn_.DrawEx(&want, 0, 0, &rect, imgDrawPrmCTy {});
            drawn_.DrawEx(&got, 0, 0, &rect, imgDrawPrmCTy {});
            EXPECT_EQ(drawn_.lockPtr, nullptr);
            EXPECT_EQ(got.lockPtr, nullptr);
            expect_same_pels(got, want);
        }
    }
    EXPECT_TRUE(boxes().empty());
}

} // namespace
