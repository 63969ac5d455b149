#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

// A 47x33 gradient in 5:6:5: odd width, so every row needs padding.
struct Gradient {
    Gradient()
    {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                px[size_t(y * w + x)] = uint16_t(platform::pack_pixel(platform::PixelFormat::rgb565, rgb(x, y)));
        }
    }
    static uint32_t rgb(int x, int y) { return uint32_t(x * 5) << 16 | uint32_t(y * 7) << 8 | uint32_t((x + y) * 3); }
    platform::PixelView view() const { return {px.data(), w * 2, platform::PixelFormat::rgb565, w, h}; }
    static constexpr int w = 47, h = 33;
    std::vector<uint16_t> px = std::vector<uint16_t>(size_t(w * h));
};

TEST(BmpWriter, HeadersDescribeA24BitBottomUpImage)
{
    Gradient g;
    const auto bmp = platform::encode_bmp(g.view());
    const uint32_t row = (47 * 3 + 3) & ~3u;
    ASSERT_EQ(bmp.size(), 54 + row * 33);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(le32(bmp, 2), bmp.size());
    EXPECT_EQ(le32(bmp, 6), 0u);
    EXPECT_EQ(le32(bmp, 10), 54u);
    EXPECT_EQ(le32(bmp, 14), 40u);
    EXPECT_EQ(le32(bmp, 18), 47u);
    EXPECT_EQ(le32(bmp, 22), 33u);
    EXPECT_EQ(le16(bmp, 26), 1);
    EXPECT_EQ(le16(bmp, 28), 24);
    EXPECT_EQ(le32(bmp, 30), 0u);
    EXPECT_EQ(le32(bmp, 34), row * 33);
}

TEST(BmpWriter, PixelsAreStoredBgrBottomRowFirstWithZeroPadding)
{
    Gradient g;
    const auto bmp = platform::encode_bmp(g.view());
    const size_t row = (47 * 3 + 3) & ~3u;
    for (int y = 0; y < 33; ++y) {
        const size_t start = 54 + size_t(32 - y) * row;
        for (int x = 0; x < 47; ++x) {
            const uint32_t want = platform::unpack_pixel(platform::PixelFormat::rgb565,
                                                         platform::pack_pixel(platform::PixelFormat::rgb565, Gradient::rgb(x, y)));
            const size_t at = start + size_t(x) * 3;
            ASSERT_EQ(uint32_t(bmp[at]) | uint32_t(bmp[at + 1]) << 8 | uint32_t(bmp[at + 2]) << 16, want) << x << "," << y;
        }
        for (size_t pad = 47 * 3; pad < row; ++pad)
            ASSERT_EQ(bmp[start + pad], 0);
    }
}

TEST(BmpWriter, WritesTheSameBytesToAFileAndRefusesBadViews)
{
    Gradient g;
    const auto path = std::filesystem::temp_directory_path() / "platform_bmp_writer_test.bmp";
    ASSERT_TRUE(platform::write_bmp(path.string(), g.view()));
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(file, platform::encode_bmp(g.view()));
    std::filesystem::remove(path);

    EXPECT_TRUE(platform::encode_bmp({}).empty());
    platform::PixelView bad = g.view();
    bad.pitch = 10;
    EXPECT_TRUE(platform::encode_bmp(bad).empty());
    EXPECT_FALSE(platform::write_bmp(path.string(), bad));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(platform::write_bmp("/nonexistent-folder/x.bmp", g.view()));
}

} // namespace
