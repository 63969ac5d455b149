#include "img/Collectors.h"

#include <gtest/gtest.h>

using namespace quarn::g;

namespace {

constexpr uint64_t unit = 65536;

TEST(Collectors, MeanIsTruncatedAtTheFormatsOwnDepth)
{
    RGBCollector<Rgb565> c;
    c.add(Rgb565(0xF800));
    c.add(Rgb565(0x0000));
    Rgb565 out;
    EXPECT_EQ(c.get(out).word(), 0x7800u); // red 31 and 0 average to 15
    EXPECT_EQ(c.count(), 0u);

    // After get the next pixel starts from nothing.
    c.add(Rgb565(0x001F));
    EXPECT_EQ(c.get(out).word(), 0x001Fu);

    // Six-bit green keeps its depth: 63 and 0 give 31, not an 8-bit value.
    c.add(Rgb565(0x07E0));
    c.add(Rgb565(0x0000));
    EXPECT_EQ(c.get(out).word(), 31u << 5);
}

TEST(Collectors, LinearSampleKeepsItsFraction)
{
    RGBCollector<Rgb888> c;
    c.add_linear(Rgb888(10), Rgb888(11), 32768);
    EXPECT_EQ(c.sums()[2], 10 * unit + unit / 2);
    EXPECT_EQ(c.count(), 1u);
    Rgb888 out;
    EXPECT_EQ(c.get(out).word(), 10u);

    // Two such samples: the halves add up before the mean is taken.
    c.add_linear(Rgb888(10), Rgb888(11), 32768);
    c.add_linear(Rgb888(10), Rgb888(11), 32768);
    c.add(Rgb888(12));
    EXPECT_EQ(c.get(out).word(), 11u); // (10.5 + 10.5 + 12) / 3
}

TEST(Collectors, BilinearWeighsColumnsThenRows)
{
    RGBCollector<Rgbx8888> c;
    // Red: 0, 100 on top, 200, 40 below; fx 0.25, fy 0.5.
    // top = 25, bottom = 160, sample = 92.5.
    c.add_bilinear(
        Rgbx8888(0x00000000), Rgbx8888(0x00640000), Rgbx8888(0x00C80000), Rgbx8888(0x00280000), 16384, 32768);
    EXPECT_EQ(c.sums()[0], 92 * unit + unit / 2);
    Rgbx8888 out(0xAB000000);
    EXPECT_EQ(c.get(out).word(), 0x005C0000u); // the x byte is written as 0
}

TEST(Collectors, AlphaIsAveragedLikeAnyChannel)
{
    RGBACollector<Rgba5551> c;
    c.add(Rgba5551(0x8000));
    c.add(Rgba5551(0x8000));
    c.add(Rgba5551(0x0000));
    Rgba5551 out;
    EXPECT_EQ(c.get(out).word(), 0u); // one bit comes out 1 only when every sample has it

    RGBACollector<Rgba4444> d;
    d.add(Rgba4444(0xF000));
    d.add(Rgba4444(0x1000));
    Rgba4444 out4;
    EXPECT_EQ(d.get(out4).word(), 0x8000u);

    RGBACollector<Rgba8888> e;
    e.add_linear(Rgba8888(0x00000000), Rgba8888(0xFF000000), 65536 / 4);
    Rgba8888 out8;
    EXPECT_EQ(e.get(out8).word(), 0x3F000000u); // 63.75
}

TEST(Collectors, SumsHoldAWholeLargeImage)
{
    RGBACollector<Rgba8888> c;
    for (int i = 0; i < 32767 * 64; ++i)
        c.add(Rgba8888(0xFFFFFFFF));
    Rgba8888 out;
    EXPECT_EQ(c.get(out).word(), 0xFFFFFFFFu);
}

TEST(CollectorsVoid, KeyComparisonIgnoresOnlyTheXBits)
{
    RGBCollectorVoid<Rgbx8888> x(Rgbx8888(0x00112233));
    EXPECT_TRUE(x.is_key(Rgbx8888(0xFF112233)));
    EXPECT_FALSE(x.is_key(Rgbx8888(0x00112234)));

    RGBACollectorVoid<Rgba8888> a(Rgba8888(0x00112233));
    EXPECT_FALSE(a.is_key(Rgba8888(0xFF112233)));

    RGBCollectorVoid<Rgbx5551> x5(Rgbx5551(0x1234));
    EXPECT_TRUE(x5.is_key(Rgbx5551(0x9234)));
    RGBACollectorVoid<Rgba5551> a5(Rgba5551(0x1234));
    EXPECT_FALSE(a5.is_key(Rgba5551(0x9234)));

    RGBCollectorVoid<Rgbx4444> x4(Rgbx4444(0x0234));
    EXPECT_TRUE(x4.is_key(Rgbx4444(0xF234)));
    EXPECT_FALSE(x4.is_key(Rgbx4444(0x0235)));

    RGBCollectorVoid<Rgb888> b(Rgb888(0x010203));
    EXPECT_TRUE(b.is_key(Rgb888(0x010203)));
    EXPECT_FALSE(b.is_key(Rgb888(0x010303)));
}

TEST(CollectorsVoid, NothingCountedYieldsTheWholeKeyPixel)
{
    RGBCollectorVoid<Rgbx8888> c(Rgbx8888(0x7F00FF00));
    Rgbx8888 out;
    EXPECT_EQ(c.get(out).word(), 0x7F00FF00u); // given nothing

    c.add(Rgbx8888(0x0000FF00)); // key by its colour bits
    c.add_linear(Rgbx8888(0x0000FF00), Rgbx8888(0x0100FF00), 1000);
    c.add_bilinear(Rgbx8888(0x0000FF00), Rgbx8888(0x0000FF00), Rgbx8888(0x0000FF00), Rgbx8888(0x0000FF00), 5, 7);
    EXPECT_EQ(c.count(), 0u);
    EXPECT_EQ(c.get(out).word(), 0x7F00FF00u);

    // Key pixels leave the mean alone.
    c.add(Rgbx8888(0x00000010));
    c.add(Rgbx8888(0x0000FF00));
    c.add(Rgbx8888(0x00000020));
    EXPECT_EQ(c.get(out).word(), 0x00000018u);
}

TEST(CollectorsVoid, LinearSampleGivesAKeyPixelsWeightToItsPartner)
{
    const Rgb565 key(0xF81F);
    RGBCollectorVoid<Rgb565> c(key);
    c.add_linear(key, Rgb565(0x0010), 0); // only b counts, though its weight was 0
    Rgb565 out;
    EXPECT_EQ(c.get(out).word(), 0x0010u);
    c.add_linear(Rgb565(0x0008), key, 65535); // only a counts
    EXPECT_EQ(c.get(out).word(), 0x0008u);
}

TEST(CollectorsVoid, BilinearKeyRules)
{
    const Rgbx8888 key(0x00FF00FF);
    const Rgbx8888 p(0x00000040), q(0x00000080), r(0x00000010);
    RGBCollectorVoid<Rgbx8888> c(key);
    Rgbx8888 out;

    // p00 key, p10 not, fx 1000, fy 0: the top row counts p10 alone.
    c.add_bilinear(key, p, r, r, 1000, 0);
    EXPECT_EQ(c.get(out).word(), 0x40u);
    // The same with fx 0: p10 takes the whole top-row weight although its
    // weight was 0.
    c.add_bilinear(key, p, r, r, 0, 0);
    EXPECT_EQ(c.get(out).word(), 0x40u);
    // p10 key: the top row is p00 alone.
    c.add_bilinear(p, key, r, r, 60000, 0);
    EXPECT_EQ(c.get(out).word(), 0x40u);
    // Top row all key: only the bottom row counts, even at fy 0.
    c.add_bilinear(key, key, p, q, 32768, 0);
    EXPECT_EQ(c.get(out).word(), 0x60u);
    // Bottom row all key: only the top row counts, even at fy 0.75.
    c.add_bilinear(p, q, key, key, 32768, 49152);
    EXPECT_EQ(c.get(out).word(), 0x60u);
    // Bottom-left key: the bottom row is p11 alone; fy 0.5 mixes it with
    // the top row's blend.
    c.add_bilinear(p, p, key, q, 0, 32768);
    EXPECT_EQ(c.get(out).word(), 0x60u);
    // Bottom-right key: the bottom row is p01 alone.
    c.add_bilinear(p, p, q, key, 65535, 32768);
    EXPECT_EQ(c.get(out).word(), 0x60u);
    // Top all key and bottom all key: nothing counted, the key comes out.
    c.add_bilinear(key, key, key, key, 1, 1);
    EXPECT_EQ(c.count(), 0u);
    EXPECT_EQ(c.get(out).word(), key.word());
}

TEST(CollectorsVoid, AlphaFormatsCompareAlphaInTheKey)
{
    const Rgba4444 key(0x0F0F);
    RGBACollectorVoid<Rgba4444> c(key);
    c.add(Rgba4444(0xFF0F)); // differs in alpha only: not key
    c.add(key);
    Rgba4444 out;
    EXPECT_EQ(c.get(out).word(), 0xFF0Fu);
}

} // namespace
