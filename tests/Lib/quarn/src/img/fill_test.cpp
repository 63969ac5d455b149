#include "ImgTestImages.h"
#include "ImgTestModel.h"

#include "img/Dispatch.h"
#include "img/Fill.h"
#include "img/img.h"

#include <gtest/gtest.h>
#include <random>

using namespace quarn::g;
using img_test::GuardedImage;

namespace {

TEST(Fill, Rgb888RepeatsThreeBytesAndWritesNothingPastARow)
{
    for (int width = 1; width <= 9; ++width) {
        GuardedImage img(width, 3, PelFmt(format_id::rgb888), 1);
        img.image().fill(0x77112233);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = img.pixel(x, y);
                EXPECT_EQ(p[0], 0x33);
                EXPECT_EQ(p[1], 0x22);
                EXPECT_EQ(p[2], 0x11);
            }
        EXPECT_TRUE(img.untouched_outside()) << width;
    }
}

TEST(Fill, SixteenBitRowsOfOddAndEvenWidths)
{
    for (int width = 1; width <= 9; ++width) {
        for (bool bottom_up : { false, true }) {
            GuardedImage img(width, 4, PelFmt(format_id::rgb565), width % 3, bottom_up);
            img.image().fill(0xABCD1234);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < width; ++x)
                    EXPECT_EQ(img.value(x, y), 0x1234u);
            EXPECT_TRUE(img.untouched_outside()) << width;
        }
    }
}

TEST(Fill, WordFormatsWriteTheWholeValueAndIgnoreTheKey)
{
    GuardedImage img(3, 2, PelFmt(format_id::rgbx8888));
    img.image().set_color_key(0x00123456);
    img.image().fill(0xFF123456);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(img.value(x, y), 0xFF123456u);
    EXPECT_TRUE(img.image().has_color_key());
    EXPECT_TRUE(img.untouched_outside());
}

TEST(Fill, RectanglesAreClippedToTheImage)
{
    GuardedImage img(6, 5, PelFmt(format_id::rgba4444), 2);
    const Rect empty { 2, 2, 2, 5 };
    img.image().fill(0x1111, &empty);
    EXPECT_EQ(img.image().locks, 0);
    const Rect part { 4, -3, 100, 2 };
    img.image().fill(0x2222, &part);
    const Rect outside { -10, -10, -1, 100 };
    img.image().fill(0x3333, &outside);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(img.value(x, y), x >= 4 && y < 2 ? 0x2222u : 0xA5A5u);
    EXPECT_TRUE(img.untouched_outside());

    GuardedImage whole(3, 2, PelFmt(format_id::rgb888));
    const Rect everything { INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX };
    whole.image().fill(0x010203, &everything);
    EXPECT_EQ(whole.value(2, 1), 0x010203u);
    EXPECT_TRUE(whole.untouched_outside());

    img.image().set_clip_rect({ 1, 1, 3, 3 });
    img.image().fill(0x4444);
    EXPECT_EQ(img.value(1, 1), 0x4444u);
    EXPECT_EQ(img.value(2, 2), 0x4444u);
    EXPECT_EQ(img.value(0, 0), 0xA5A5u);
    EXPECT_EQ(img.value(3, 3), 0xA5A5u);
}

TEST(Fill, IndexAndRawTargetsThrowBeforeLocking)
{
    const uint8_t quads[] = { 1, 2, 3, 4 };
    Palette palette;
    palette.set_rgba(quads, 1);
    const PelFmt formats[] = { PelFmt(format_id::pal8), PelFmt(format_id::pal8, &palette),
        PelFmt(format_id::rgb565, &palette), PelFmt(format_id::raw16), PelFmt(format_id::raw32) };
    for (const PelFmt& fmt : formats) {
        GuardedImage img(4, 4, fmt);
        EXPECT_TRUE(img_test::throws_not_implemented([&] { img.image().fill(0); })) << fmt.id();
        EXPECT_EQ(img.image().locks, 0);
        EXPECT_TRUE(img.untouched_outside());
    }
    GuardedImage none(4, 4, PelFmt(format_id::none));
    none.image().fill(0);
    EXPECT_EQ(none.image().locks, 0);
    EXPECT_TRUE(none.untouched_outside());
}

TEST(Fill, EveryTableRowMatchesTheGenericPath)
{
    std::mt19937 random(3);
    int rows = 0;
    for (uint32_t id = 1; id <= 8; ++id) {
        const FormatSlot slot = slot_of_format_id(id);
        ASSERT_EQ(fill_table().cell(slot).action, Action::run) << fill_table().row_name(slot);
        ++rows;
        for (int width : { 1, 2, 7, 64 }) {
            const uint32_t value = uint32_t(random());
            const Rect rect { 1, 1, width, 3 };
            GuardedImage fast(width, 4, PelFmt(id), 1);
            GuardedImage slow(width, 4, PelFmt(id), 1);
            fast.image().fill(value, &rect);
            force_generic_path(true);
            slow.image().fill(value, &rect);
            force_generic_path(false);
            EXPECT_EQ(fast.pixel_bytes(), slow.pixel_bytes()) << fill_table().row_name(slot);
            EXPECT_TRUE(fast.untouched_outside());
        }
    }
    EXPECT_EQ(rows, 8);
}

} // namespace
