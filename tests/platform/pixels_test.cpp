#include "platform/platform.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using platform::PixelFormat;

constexpr PixelFormat all_formats[] = {PixelFormat::rgb565, PixelFormat::xrgb1555, PixelFormat::rgb888,
                                       PixelFormat::xrgb8888};

// A buffer of random bytes with a pitch wider than the rows need, so that
// the pitch is honoured rather than assumed.
struct Buffer {
    Buffer(PixelFormat format, int width, int height, uint32_t seed)
        : pitch(width * platform::bytes_per_pixel(format) + 7), bytes(size_t(pitch) * size_t(height))
    {
        std::mt19937 rng(seed);
        for (auto& b : bytes)
            b = uint8_t(rng());
        surface = {bytes.data(), pitch, format, width, height};
    }
    int pitch;
    std::vector<uint8_t> bytes;
    platform::PixelSurface surface;
};

TEST(PlatformPixels, PackAndUnpackKeepTheExtremesAndTheChannelOrder)
{
    for (PixelFormat f : all_formats) {
        SCOPED_TRACE(platform::bits_per_pixel(f));
        for (uint32_t rgb : {0x000000u, 0xFFFFFFu, 0xFF0000u, 0x00FF00u, 0x0000FFu})
            EXPECT_EQ(platform::unpack_pixel(f, platform::pack_pixel(f, rgb)), rgb);
    }
    EXPECT_EQ(platform::pack_pixel(PixelFormat::rgb565, 0xFF8040), 0xFC08u);
    EXPECT_EQ(platform::pack_pixel(PixelFormat::xrgb1555, 0xFF8040), 0x7E08u);
    // Widening repeats the top bits: 5-bit 0x10 is 0x84, 6-bit 0x20 is 0x82.
    EXPECT_EQ(platform::unpack_pixel(PixelFormat::rgb565, 0x8410), 0x848284u);
    EXPECT_EQ(platform::unpack_pixel(PixelFormat::xrgb8888, 0xAB123456), 0x123456u);
    EXPECT_EQ(platform::bytes_per_pixel(PixelFormat::rgb888), 3);
    EXPECT_EQ(platform::bits_per_pixel(PixelFormat::xrgb1555), 15);
}

TEST(PlatformPixels, ValidityChecksPointerSizeAndPitch)
{
    uint16_t px[4] = {};
    EXPECT_TRUE(platform::valid(platform::PixelView{px, 4, PixelFormat::rgb565, 2, 2}));
    EXPECT_FALSE(platform::valid(platform::PixelView{px, 3, PixelFormat::rgb565, 2, 2}));
    EXPECT_FALSE(platform::valid(platform::PixelView{nullptr, 4, PixelFormat::rgb565, 2, 2}));
    EXPECT_FALSE(platform::valid(platform::PixelView{px, 4, PixelFormat::rgb565, -1, 2}));
    EXPECT_TRUE(platform::valid(platform::PixelView{nullptr, 0, PixelFormat::rgb565, 0, 0}));
}

TEST(ConvertPixels, EveryFormatPairMatchesPixelByPixelConversion)
{
    for (PixelFormat from : all_formats) {
        for (PixelFormat to : all_formats) {
            SCOPED_TRACE(testing::Message() << platform::bits_per_pixel(from) << " -> " << platform::bits_per_pixel(to));
            Buffer src(from, 47, 33, 1);
            Buffer dst(to, 47, 33, 2);
            const auto before = dst.bytes;
            const platform::Rect done = platform::convert_pixels(src.surface, {3, 4, 40, 25}, dst.surface, {5, 6});
            EXPECT_EQ(done, (platform::Rect{5, 6, 40, 25}));
            for (int y = 0; y < 33; ++y) {
                for (int x = 0; x < 47; ++x) {
                    const uint32_t got = platform::read_pixel(dst.surface, x, y);
                    if (done.contains({x, y})) {
                        const uint32_t rgb = platform::unpack_pixel(from, platform::read_pixel(src.surface, x - 2, y - 2));
                        ASSERT_EQ(platform::unpack_pixel(to, got), platform::unpack_pixel(to, platform::pack_pixel(to, rgb)))
                            << x << "," << y;
                    } else {
                        // Outside the rectangle nothing changes, padding included.
                        Buffer probe(to, 47, 33, 2);
                        ASSERT_EQ(got, platform::read_pixel(probe.surface, x, y)) << x << "," << y;
                    }
                }
            }
            // The pitch padding after each row is untouched.
            for (int y = 0; y < 33; ++y) {
                for (int b = 47 * platform::bytes_per_pixel(to); b < dst.pitch; ++b)
                    ASSERT_EQ(dst.bytes[size_t(y * dst.pitch + b)], before[size_t(y * dst.pitch + b)]);
            }
        }
    }
}

TEST(ConvertPixels, ClipsAgainstBothBuffersAndMovesTheOtherSide)
{
    Buffer src(PixelFormat::xrgb8888, 10, 10, 3);
    Buffer dst(PixelFormat::xrgb8888, 8, 8, 4);
    // The source rectangle sticks out left and top of the source; the
    // target sticks out right and bottom of the destination.
    platform::Rect done = platform::convert_pixels(src.surface, {-2, -3, 8, 8}, dst.surface, {4, 3});
    EXPECT_EQ(done, (platform::Rect{6, 6, 2, 2}));
    EXPECT_EQ(platform::read_pixel(dst.surface, 6, 6) & 0xFFFFFF, platform::read_pixel(src.surface, 0, 0) & 0xFFFFFF);
    EXPECT_EQ(platform::read_pixel(dst.surface, 7, 7) & 0xFFFFFF, platform::read_pixel(src.surface, 1, 1) & 0xFFFFFF);

    done = platform::convert_pixels(src.surface, {0, 0, 4, 4}, dst.surface, {-2, -1});
    EXPECT_EQ(done, (platform::Rect{0, 0, 2, 3}));
    EXPECT_EQ(platform::read_pixel(dst.surface, 0, 0) & 0xFFFFFF, platform::read_pixel(src.surface, 2, 1) & 0xFFFFFF);

    EXPECT_TRUE(platform::convert_pixels(src.surface, {0, 0, 4, 4}, dst.surface, {8, 0}).empty());
    EXPECT_TRUE(platform::convert_pixels(src.surface, {10, 0, 4, 4}, dst.surface, {0, 0}).empty());
    platform::PixelSurface broken = dst.surface;
    broken.pitch = 1;
    EXPECT_TRUE(platform::convert_pixels(src.surface, {0, 0, 4, 4}, broken, {0, 0}).empty());
}

} // namespace
