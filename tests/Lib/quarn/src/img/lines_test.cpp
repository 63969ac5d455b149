#include "ImgTestImages.h"
#include "ImgTestModel.h"
#include "ImgTestOps.h"

#include "img/Dispatch.h"
#include "img/Lines.h"
#include "img/img.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <utility>

using namespace quarn::g;
using img_test::GuardedImage;

namespace {

using Pixels = std::set<std::pair<int, int>>;

constexpr uint32_t all_bits = 0xFFFFFFFF;

// An image whose pixels are all 0, so that every pixel written shows.
GuardedImage blank(int w, int h, uint32_t id = format_id::rgb565, bool bottom_up = false)
{
    GuardedImage img(w, h, PelFmt(id), 3, bottom_up);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.set_value(x, y, 0);
    return img;
}

Pixels written(GuardedImage& img)
{
    Pixels out;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.value(x, y) != 0)
                out.insert({ x, y });
    return out;
}

Pixels row(int y, int from, int to)
{
    Pixels out;
    for (int x = from; x <= to; ++x)
        out.insert({ x, y });
    return out;
}

Pixels hline_pixels(int w, int h, int x, int y, int length, uint32_t pattern, const Rect* clip = nullptr)
{
    GuardedImage img = blank(w, h);
    img_test::hline(img.image(), 1, x, y, length, pattern, clip);
    EXPECT_TRUE(img.untouched_outside());
    return written(img);
}

Pixels vline_pixels(int w, int h, int x, int y, int length, uint32_t pattern, const Rect* clip = nullptr)
{
    GuardedImage img = blank(w, h);
    img_test::vline(img.image(), 1, x, y, length, pattern, clip);
    EXPECT_TRUE(img.untouched_outside());
    return written(img);
}

Pixels line_pixels(int w, int h, float x0, float y0, float x1, float y1, const Rect* clip = nullptr)
{
    GuardedImage img = blank(w, h);
    img_test::line(img.image(), 1, x0, y0, x1, y1, clip);
    EXPECT_TRUE(img.untouched_outside());
    return written(img);
}

TEST(Lines, HorizontalAndVerticalExamples)
{
    // Both ends are drawn, either way.
    EXPECT_EQ(hline_pixels(10, 8, 2, 5, 3, all_bits), row(5, 2, 5));
    EXPECT_EQ(hline_pixels(10, 8, 2, 5, -3, all_bits), row(5, 0, 2));
    EXPECT_EQ(hline_pixels(10, 8, 2, 5, 0, all_bits), row(5, 2, 2));
    const Rect clip { 1, 0, 10, 8 };
    EXPECT_EQ(hline_pixels(10, 8, 2, 5, -3, all_bits, &clip), row(5, 1, 2));

    // From (4, 20) upwards by 5: y = 15 (bit 27) to y = 20 (bit 0).
    Pixels column;
    for (int y = 15; y <= 20; ++y)
        column.insert({ 4, y });
    EXPECT_EQ(vline_pixels(8, 24, 4, 20, -5, all_bits), column);
    EXPECT_EQ(vline_pixels(8, 24, 4, 20, -5, 1u << 27), (Pixels { { 4, 15 } }));
    EXPECT_EQ(vline_pixels(8, 24, 4, 20, -5, 1u), (Pixels { { 4, 20 } }));

    // The rightmost column, from above the image down into it.
    Pixels right;
    for (int y = 0; y <= 3; ++y)
        right.insert({ 7, y });
    EXPECT_EQ(vline_pixels(8, 6, 7, -5, 8, all_bits), right);
    // Lines beside the image draw nothing and lock nothing.
    GuardedImage img = blank(8, 6);
    img_test::vline(img.image(), 1, 8, 0, 5, all_bits);
    img_test::hline(img.image(), 1, -20, 6, 40, all_bits);
    img_test::hline(img.image(), 1, 8, 0, 10, all_bits);
    EXPECT_EQ(img.image().locks, 0);
    EXPECT_TRUE(written(img).empty());
}

TEST(Lines, DashPatternsAreAnchoredAtTheStartPoint)
{
    // Clipped at x = 0, the pixel x = 0 still uses bit 10.
    EXPECT_EQ(hline_pixels(12, 2, -10, 0, 20, 1u << 10), (Pixels { { 0, 0 } }));
    // Bit 0 alone: every 32nd pixel from the start point, both ways.
    EXPECT_EQ(hline_pixels(100, 1, 40, 0, 55, 1u), (Pixels { { 40, 0 }, { 72, 0 } }));
    EXPECT_EQ(hline_pixels(100, 1, 80, 0, -70, 1u), (Pixels { { 16, 0 }, { 48, 0 }, { 80, 0 } }));

    // Random lines, patterns and clip rectangles against the rule: a pixel
    // between the ends and inside the clip is written exactly when bit
    // ((position - start) mod 32) is set.
    std::mt19937 random(17);
    auto any = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int i = 0; i < 400; ++i) {
        const bool vertical = i % 2 == 1;
        const int x = any(-80, 80), y = any(-80, 80), length = any(-120, 120);
        const uint32_t pattern = uint32_t(random());
        const Rect clip { any(-5, 40), any(-5, 40), any(0, 70), any(0, 70) };
        const Pixels got = vertical ? vline_pixels(64, 64, x, y, length, pattern, &clip)
                                    : hline_pixels(64, 64, x, y, length, pattern, &clip);
        Pixels want;
        for (int t = std::min(0, length); t <= std::max(0, length); ++t) {
            const int px = vertical ? x : x + t, py = vertical ? y + t : y;
            const bool inside = px >= std::max(0, clip.x0) && px < std::min(64, clip.x1) && py >= std::max(0, clip.y0)
                && py < std::min(64, clip.y1);
            if (inside && (pattern >> (((t % 32) + 32) % 32) & 1))
                want.insert({ px, py });
        }
        ASSERT_EQ(got, want) << (vertical ? "v" : "h") << " from " << x << "," << y << " by " << length;
    }
}

TEST(Lines, SolidLineExamples)
{
    EXPECT_EQ(line_pixels(8, 4, 0.0f, 0.0f, 3.0f, 1.0f), (Pixels { { 0, 0 }, { 1, 0 }, { 2, 0 }, { 3, 1 } }));
    // The first pixel at the truncated start, then ceil(0.5) to ceil(2.5).
    EXPECT_EQ(line_pixels(8, 4, 0.5f, 0.0f, 2.5f, 0.0f), row(0, 0, 3));
    // y-major: one pixel on each of the rows 0 to 10.
    const Pixels steep = line_pixels(6, 14, 1.0f, 0.0f, 2.0f, 10.0f);
    EXPECT_TRUE(steep.count({ 1, 0 }));
    std::set<int> rows;
    for (auto [x, y] : steep) {
        EXPECT_TRUE(x == 1 || x == 2) << x;
        rows.insert(y);
    }
    EXPECT_EQ(rows.size(), 11u);
    EXPECT_EQ(steep.size(), 11u);
    // The ends given the other way round draw the same.
    EXPECT_EQ(line_pixels(8, 4, 3.0f, 1.0f, 0.0f, 0.0f), line_pixels(8, 4, 0.0f, 0.0f, 3.0f, 1.0f));
}

TEST(Lines, SolidLinesAreClippedToTheirRectangle)
{
    // Both ends outside, crossing the image: drawn between the crossings.
    EXPECT_EQ(line_pixels(10, 3, -5.0f, 1.0f, 20.0f, 1.0f), row(1, 0, 9));
    const Pixels diagonal = line_pixels(10, 10, -3.0f, -3.0f, 14.0f, 14.0f);
    Pixels want;
    for (int i = 0; i < 10; ++i)
        want.insert({ i, i });
    EXPECT_EQ(diagonal, want);
    // The clip rectangle of the operation bounds it too.
    const Rect clip { 2, 2, 6, 6 };
    Pixels inner;
    for (int i = 2; i < 6; ++i)
        inner.insert({ i, i });
    EXPECT_EQ(line_pixels(10, 10, -3.0f, -3.0f, 14.0f, 14.0f, &clip), inner);

    // A line that passes the image by draws nothing and locks nothing.
    GuardedImage img = blank(10, 10);
    img_test::line(img.image(), 1, -5.0f, 3.0f, 3.0f, -5.0f);
    img_test::line(img.image(), 1, 12.0f, -3.0f, 12.0f, 30.0f);
    EXPECT_EQ(img.image().locks, 0);
    EXPECT_TRUE(written(img).empty());
}

// Whatever the ends, nothing is written outside the image or outside the
// clip rectangle, in any format and either row order.
TEST(Lines, HugeAndNonFiniteEndsNeverWriteOutside)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float special[] = { 0.0f, 3.5f, -1.0f, 12.0f, 1e9f, -1e9f, 3e38f, -3e38f, inf, -inf, nan, 0.999f, 11.999f };
    const int32_t int_special[] = { 0, 5, -1, 11, 12, 2147483647, -2147483647 - 1, 1 << 30, -(1 << 30) };
    std::mt19937 random(3);
    auto pick = [&](const auto& values) { return values[random() % std::size(values)]; };
    auto coordinate = [&] {
        return random() % 3 == 0 ? pick(special) : std::uniform_real_distribution<float>(-20.0f, 32.0f)(random);
    };
    int lines_drawn = 0;
    for (int i = 0; i < 3000; ++i) {
        const uint32_t id = 1 + uint32_t(i % 8);
        GuardedImage img = blank(12, 9, id, i % 3 == 0);
        const bool clipped = i % 4 == 0;
        const Rect clip { 2, 1, 9, 7 };
        const Rect* rect = clipped ? &clip : nullptr;
        switch (i % 3) {
        case 0:
            img_test::line(img.image(), 0xFFFFFFFF, coordinate(), coordinate(), coordinate(), coordinate(), rect);
            break;
        case 1:
            img_test::hline(img.image(), 0xFFFFFFFF, pick(int_special), pick(int_special), pick(int_special),
                uint32_t(random()), rect);
            break;
        default:
            img_test::vline(img.image(), 0xFFFFFFFF, pick(int_special), pick(int_special), pick(int_special),
                uint32_t(random()), rect);
            break;
        }
        ASSERT_TRUE(img.untouched_outside()) << i;
        const Pixels got = written(img);
        lines_drawn += !got.empty();
        if (clipped) {
            for (auto [x, y] : got)
                ASSERT_TRUE(x >= 2 && x < 9 && y >= 1 && y < 7) << i << ": " << x << "," << y;
        }
    }
    EXPECT_GT(lines_drawn, 300);

    // Lengths that reach past the 32-bit range still clip exactly.
    EXPECT_EQ(hline_pixels(10, 2, 2147483647, 1, -2147483647 - 1, all_bits), row(1, 0, 9));
    EXPECT_EQ(hline_pixels(10, 2, -2147483647 - 1, 1, 2147483647, all_bits), Pixels {});
    EXPECT_EQ(hline_pixels(10, 2, 5, 1, 2147483647, all_bits), row(1, 5, 9));
}

TEST(Lines, PixelValuesAreStoredRawInEveryFormat)
{
    for (uint32_t id = 1; id <= 8; ++id) {
        GuardedImage img = blank(5, 3, id);
        img_test::hline(img.image(), 0x89ABCDEF, 0, 1, 4, all_bits);
        const uint32_t want = 0x89ABCDEF & img_test::pixel_mask(id);
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(img.value(x, 1), want) << id;
        EXPECT_EQ(img.value(0, 0), 0u);
        EXPECT_EQ(img.value(4, 2), 0u);
        EXPECT_TRUE(img.untouched_outside());
    }
    const uint8_t quad[] = { 1, 2, 3, 4 };
    Palette palette;
    palette.set_rgba(quad, 1);
    for (const PelFmt& format : { PelFmt(format_id::pal8), PelFmt(format_id::rgb565, &palette),
             PelFmt(format_id::raw16), PelFmt(format_id::raw32) }) {
        GuardedImage img(4, 4, format);
        EXPECT_TRUE(img_test::throws_not_implemented([&] { img_test::hline(img.image(), 1, 0, 0, 3, all_bits); }));
        EXPECT_TRUE(img_test::throws_not_implemented([&] { img_test::vline(img.image(), 1, 0, 0, 3, all_bits); }));
        EXPECT_TRUE(img_test::throws_not_implemented([&] { img_test::line(img.image(), 1, 0, 0, 3, 3); }));
        EXPECT_EQ(img.image().locks, 0);
    }
    GuardedImage none(4, 4, PelFmt(format_id::none));
    img_test::line(none.image(), 1, 0, 0, 3, 3);
    EXPECT_EQ(none.image().locks, 0);
}

TEST(Lines, EveryTableRowMatchesTheGenericPath)
{
    std::mt19937 random(23);
    auto any = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(random); };
    for (uint32_t id = 1; id <= 8; ++id) {
        for (int i = 0; i < 30; ++i) {
            GuardedImage fast = blank(20, 15, id);
            GuardedImage slow = blank(20, 15, id, true);
            const float ends[4] = { any(-10, 30), any(-10, 25), any(-10, 30), any(-10, 25) };
            const int32_t x = int32_t(random() % 30) - 5, y = int32_t(random() % 25) - 5;
            const int32_t length = int32_t(random() % 50) - 25;
            const uint32_t pattern = uint32_t(random());
            for (bool generic : { false, true }) {
                force_generic_path(generic);
                GuardedImage& img = generic ? slow : fast;
                img_test::line(img.image(), 0x12345678, ends[0], ends[1], ends[2], ends[3]);
                img_test::hline(img.image(), 0x9ABCDEF0, x, y, length, pattern);
                img_test::vline(img.image(), 0x0FEDCBA9, y, x, length, pattern);
            }
            force_generic_path(false);
            EXPECT_EQ(fast.pixel_bytes(), slow.pixel_bytes()) << line_table().row_name(slot_of_format_id(id));
        }
    }
}

} // namespace
