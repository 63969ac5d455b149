#include "ImgTestModel.h"

#include "img/img.h"

#include <gtest/gtest.h>
#include <vector>

using namespace quarn::g;

namespace {

Palette make_palette(std::initializer_list<uint32_t> colours)
{
    std::vector<uint8_t> quads;
    for (uint32_t c : colours)
        for (int i = 0; i < 4; ++i)
            quads.push_back(uint8_t(c >> (8 * i)));
    Palette palette;
    palette.set_rgba(quads.data(), uint32_t(colours.size()));
    return palette;
}

TEST(Palette, GetConvertsEntriesAndBoundsTheIndex)
{
    Palette p = make_palette({ 0x80FF0000, 0xFF00FF00 });
    EXPECT_EQ(p.entry_format(), format_id::rgba8888);
    EXPECT_EQ(p.count(), 2u);
    EXPECT_EQ(p.get(0, format_id::rgba8888), 0x80FF0000u);
    EXPECT_EQ(p.get(0, format_id::rgbx8888), 0x00FF0000u);
    EXPECT_EQ(p.get(1, format_id::rgb565), 0x07E0u);
    EXPECT_EQ(p.get(0, format_id::rgba5551), 0xFC00u);
    EXPECT_EQ(p.get(2, format_id::rgba8888), 0u);
    EXPECT_EQ(p.get(0xFFFFFFFF, format_id::rgba8888), 0u);
    EXPECT_EQ(p.get(0, format_id::pal8), 0u);
}

TEST(Palette, EntriesAsCoversEveryIndexByteAndIsCachedPerFormat)
{
    Palette p = make_palette({ 0xFF0000FF, 0xFFFFFFFF, 0xFF00FF00 });
    const uint8_t* as565 = p.entries_as(format_id::rgb565);
    ASSERT_NE(as565, nullptr);
    auto entry16 = [](const uint8_t* table, int i) { return uint32_t(table[2 * i]) | uint32_t(table[2 * i + 1]) << 8; };
    EXPECT_EQ(entry16(as565, 0), 0x001Fu);
    EXPECT_EQ(entry16(as565, 1), 0xFFFFu);
    EXPECT_EQ(entry16(as565, 2), 0x07E0u);
    // Indexes past the entries read as 0, up to index 255.
    EXPECT_EQ(entry16(as565, 3), 0u);
    EXPECT_EQ(entry16(as565, 255), 0u);
    EXPECT_EQ(p.entries_as(format_id::rgb565), as565);

    const uint8_t* as888 = p.entries_as(format_id::rgb888);
    EXPECT_EQ(as888[3], 0xFF);
    EXPECT_EQ(as888[6 + 1], 0xFF);
    EXPECT_EQ(as888[6 + 0], 0x00);

    // New entries invalidate the cache, also for the same target format.
    const uint8_t quads[] = { 0x00, 0x00, 0xFF, 0xFF };
    p.set_rgba(quads, 1);
    EXPECT_EQ(p.entries_as(format_id::rgb888)[2], 0xFF);
    EXPECT_EQ(p.entries_as(format_id::rgb888)[3 + 2], 0x00);
    Palette other = make_palette({ 0xFF123456 });
    p = other;
    EXPECT_EQ(p.entries_as(format_id::rgb888)[2], 0x12);
}

TEST(Palette, NearestUsesTheThresholdAndTheFirstOfEqualEntries)
{
    Palette p = make_palette({ 0xFF000000, 0xFF640000, 0xFF006400, 0xFF000064 });
    EXPECT_EQ(p.nearest(Rgba8888(0x00640000)), 1u); // exact, alpha ignored
    EXPECT_EQ(p.nearest(Rgba8888(0xFF000060)), 3u);
    // (50, 50, 0) lies at 5000 from black and at 5000 from entries 1 and 2:
    // the earlier one wins.
    EXPECT_EQ(p.nearest(Rgba8888(0xFF323200)), 0u);
    EXPECT_EQ(p.nearest(Rgba8888(0xFF003232)), 0u);

    Palette far = make_palette({ 0xFF000000, 0xFFFFFFFF });
    // (99, 0, 0) is 9801 from black: near enough. (100, 0, 0) is 10000 from
    // black and far from white: nothing wins and the answer is 0.
    EXPECT_EQ(far.nearest(Rgba8888(0xFF630000)), 0u);
    EXPECT_EQ(far.nearest(Rgba8888(0xFFFFFF9C)), 1u); // 99 away from white
    Palette only_white = make_palette({ 0xFF101010, 0xFFFFFFFF });
    EXPECT_EQ(only_white.nearest(Rgba8888(0xFFFFFF9B)), 0u); // 100 away: too far
    EXPECT_EQ(only_white.nearest(Rgba8888(0xFFFFFF9C)), 1u);
    EXPECT_EQ(Palette().nearest(Rgba8888(0)), 0u);
}

TEST(PelFmt, CopiesOwnTheirPaletteAndSelfAssignmentKeepsIt)
{
    Palette borrowed = make_palette({ 0xFF0000FF, 0xFF00FF00 });
    PelFmt fmt(format_id::pal8, &borrowed);
    EXPECT_FALSE(fmt.owns_palette());
    EXPECT_EQ(fmt.convert_to(1, format_id::rgbx8888), 0x0000FF00u);
    EXPECT_EQ(fmt.convert_to(7, format_id::rgbx8888), 0u);
    EXPECT_EQ(fmt.pel_from_rgb(Rgba8888(0x000000F0)), 0u);
    EXPECT_EQ(fmt.pel_from_rgb(Rgba8888(0x0000F000)), 1u);

    PelFmt copy;
    copy = fmt;
    ASSERT_NE(copy.palette(), nullptr);
    EXPECT_NE(copy.palette(), &borrowed);
    EXPECT_TRUE(copy.owns_palette());
    EXPECT_EQ(copy.id(), format_id::pal8);
    Palette* held = copy.palette();
    copy = copy;
    EXPECT_EQ(copy.palette(), held);
    EXPECT_EQ(copy.convert_to(0, format_id::rgb565), 0x001Fu);

    PelFmt copied(copy);
    EXPECT_TRUE(copied.owns_palette());
    copied = PelFmt(format_id::rgb565);
    EXPECT_EQ(copied.palette(), nullptr);
    EXPECT_EQ(copied.pel_from_rgb(Rgba8888(0xFF00FF00)), 0x07E0u);
}

} // namespace
