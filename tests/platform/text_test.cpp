#include "platform/platform.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using platform::PixelFormat;

struct Canvas {
    Canvas(int w, int h, PixelFormat f = PixelFormat::xrgb8888, uint32_t fill = 0x123456)
        : bytes(size_t(w * h * platform::bytes_per_pixel(f))), surface{bytes.data(), w * platform::bytes_per_pixel(f), f, w, h}
    {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                platform::write_pixel(surface, x, y, platform::pack_pixel(f, fill));
        }
    }
    uint32_t rgb(int x, int y) const { return platform::unpack_pixel(surface.format, platform::read_pixel(surface, x, y)); }
    std::vector<uint8_t> bytes;
    platform::PixelSurface surface;
};

bool lit(unsigned char c, int col, int row)
{
    return col < 5 && row < 7 && (platform::font_glyph(c)[row] >> (4 - col) & 1);
}

TEST(Font, EveryPrintableCharacterHasItsOwnGlyph)
{
    std::set<std::vector<uint8_t>> seen;
    for (int c = 32; c <= 126; ++c) {
        const uint8_t* g = platform::font_glyph(static_cast<unsigned char>(c));
        EXPECT_TRUE(seen.insert(std::vector<uint8_t>(g, g + 7)).second) << "glyph of '" << char(c) << "' repeats another";
        for (int row = 0; row < 7; ++row)
            EXPECT_EQ(g[row] & ~0x1F, 0);
    }
    // Bytes without a glyph share the box, which is no printable glyph.
    EXPECT_EQ(platform::font_glyph(0), platform::font_glyph(200));
    EXPECT_FALSE(seen.contains(std::vector<uint8_t>(platform::font_glyph(0), platform::font_glyph(0) + 7)));
}

TEST(Font, DigitsHaveInkAndTheSpaceHasNone)
{
    for (char c : std::string("0123456789.= _VM")) {
        int ink = 0;
        for (int row = 0; row < 7; ++row)
            ink += __builtin_popcount(platform::font_glyph(static_cast<unsigned char>(c))[row]);
        if (c == ' ')
            EXPECT_EQ(ink, 0);
        else
            EXPECT_GE(ink, 3) << c;
    }
}

TEST(DrawText, DrawsTheGlyphCellsWithInkAndOpaquePaper)
{
    Canvas canvas(40, 12);
    const auto touched = platform::draw_text(canvas.surface, {2, 3}, "8A", {.color = 0xFFFFFF, .background = 0x000080});
    EXPECT_EQ(touched, (platform::Rect{2, 3, 12, 8}));
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 40; ++x) {
            uint32_t want = 0x123456;
            if (touched.contains({x, y})) {
                const int col = (x - 2) % 6, row = y - 3;
                want = lit((x - 2) / 6 == 0 ? '8' : 'A', col, row) ? 0xFFFFFF : 0x000080;
            }
            ASSERT_EQ(canvas.rgb(x, y), want) << x << "," << y;
        }
    }
}

TEST(DrawText, TransparentTextKeepsThePaperAndScalingDoublesEachDot)
{
    Canvas canvas(20, 20, PixelFormat::rgb565, 0x0000FF);
    platform::draw_text(canvas.surface, {0, 0}, "1", {.color = 0xFF0000, .background = std::nullopt, .scale = 2});
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(canvas.rgb(x, y), lit('1', x / 2, y / 2) ? 0xFF0000u : 0x0000FFu) << x << "," << y;
    }
    EXPECT_EQ(platform::text_extent("12", 2), (platform::Size{24, 16}));
    EXPECT_EQ(platform::text_extent("", 1), (platform::Size{0, 0}));
}

TEST(DrawText, ClipsAtEveryEdgeAndDrawsUnknownBytesAsBoxes)
{
    Canvas canvas(10, 6);
    // Starts left of and above the surface and runs past its right edge.
    const auto touched = platform::draw_text(canvas.surface, {-4, -2}, "\x01\x01\x01", {.color = 0xFFFFFF, .background = 0});
    EXPECT_EQ(touched, (platform::Rect{0, 0, 10, 6}));
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 10; ++x) {
            const int fx = x + 4, fy = y + 2;
            ASSERT_EQ(canvas.rgb(x, y), lit(1, fx % 6, fy) ? 0xFFFFFFu : 0u) << x << "," << y;
        }
    }
    EXPECT_TRUE(platform::draw_text(canvas.surface, {10, 0}, "x").empty());
    EXPECT_TRUE(platform::draw_text(canvas.surface, {-12, 0}, "xy").empty());
    EXPECT_TRUE(platform::draw_text(canvas.surface, {0, 0}, "").empty());
}

} // namespace
