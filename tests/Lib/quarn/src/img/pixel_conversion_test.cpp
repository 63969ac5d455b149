#include "ImgTestModel.h"

#include "img/img.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace quarn::g;
using img_test::layout;
using img_test::model_convert;
using img_test::model_fields;

namespace {

// Source values worth converting: every value of a 16-bit format; for the
// 8-bit-channel formats every value of each channel with the others varied.
std::vector<uint32_t> source_values(uint32_t id)
{
    std::vector<uint32_t> values;
    if (layout(id).bytes == 2) {
        for (uint32_t v = 0; v < 65536; ++v)
            values.push_back(v);
        return values;
    }
    std::mt19937 random(id);
    for (int shift : { 0, 8, 16, 24 }) {
        for (uint32_t v = 0; v < 256; ++v)
            values.push_back((random() & ~(0xFFu << shift)) | v << shift);
    }
    for (auto& v : values)
        if (id == 1)
            v &= 0x00FFFFFF;
    return values;
}

TEST(PixelConversion, ByIdMatchesTheRoundingRuleForEveryPair)
{
    for (uint32_t s = 1; s <= 8; ++s) {
        const auto values = source_values(s);
        for (uint32_t t = 1; t <= 8; ++t) {
            int failures = 0;
            for (uint32_t v : values) {
                const uint32_t got = convert_pixel(s, v, t);
                const uint32_t want = model_convert(s, v, t);
                if (got != want && failures++ < 3)
                    ADD_FAILURE() << "convert " << s << "->" << t << " of 0x" << std::hex << v << ": 0x" << got
                                  << " want 0x" << want;
            }
        }
    }
}

TEST(PixelConversion, StructAssignmentKeepsTheTargetsXBits)
{
    img_test::for_each_pixel_type([](auto target_type) {
        using T = decltype(target_type);
        img_test::for_each_pixel_type([](auto source_type) {
            using S = decltype(source_type);
            if constexpr (!std::is_same_v<T, S>) {
                for (uint32_t v : source_values(S::id)) {
                    // A target whose every bit is set shows which bits the
                    // assignment leaves alone.
                    T t(0xFFFFFFFF);
                    t = S(v);
                    const uint32_t want = model_fields(S::id, v, T::id) | (T::x_bits & img_test::pixel_mask(T::id));
                    ASSERT_EQ(t.word(), want) << S::id << "->" << T::id << " of " << v;
                }
            }
        });
    });
}

TEST(PixelConversion, ExamplesOfTheFormatTable)
{
    EXPECT_EQ(convert_pixel(format_id::rgb565, 0xFFFF, format_id::rgb888), 0x00FFFFFFu);
    EXPECT_EQ(convert_pixel(format_id::rgb565, 0xFFFF, format_id::rgba8888), 0xFFFFFFFFu);
    EXPECT_EQ(convert_pixel(format_id::rgb565, 0x07E0, format_id::rgbx8888), 0x0000FF00u);
    EXPECT_EQ(convert_pixel(format_id::rgbx5551, 0x7C00, format_id::rgba8888), 0xFFFF0000u);
    EXPECT_EQ(convert_pixel(format_id::rgba5551, 0x7C00, format_id::rgba8888), 0x00FF0000u);
    EXPECT_EQ(convert_pixel(format_id::rgb565, 0x001F, format_id::rgbx4444), 0x000Fu);
    EXPECT_EQ(convert_pixel(format_id::rgb565, 0x001F, format_id::rgba4444), 0xF00Fu);
    EXPECT_EQ(convert_pixel(format_id::rgba8888, 0x7F000000, format_id::rgba5551) >> 15, 0u);
    EXPECT_EQ(convert_pixel(format_id::rgba8888, 0x80000000, format_id::rgba5551) >> 15, 1u);
    EXPECT_EQ((convert_pixel(format_id::rgbx8888, 0x0000FF00, format_id::rgba5551) >> 5) & 31, 31u);
    // 5 -> 8 bits runs 0, 8, 16, 25, 33, ..., 247, 255; 6 -> 5 is v >> 1.
    const uint8_t blue5to8[] = { 0, 8, 16, 25, 33 };
    for (uint32_t v = 0; v < 5; ++v)
        EXPECT_EQ(convert_pixel(format_id::rgb565, v, format_id::rgb888), blue5to8[v]);
    EXPECT_EQ(convert_pixel(format_id::rgb565, 30, format_id::rgb888), 247u);
    for (uint32_t g = 0; g < 64; ++g)
        EXPECT_EQ((convert_pixel(format_id::rgb565, g << 5, format_id::rgbx5551) >> 5) & 31, g >> 1);
}

TEST(PixelConversion, SameFormatAndUnhandledIds)
{
    EXPECT_EQ(convert_pixel(format_id::rgbx8888, 0x12345678, format_id::rgbx8888), 0x00345678u);
    EXPECT_EQ(convert_pixel(format_id::rgba8888, 0x12345678, format_id::rgba8888), 0x12345678u);
    EXPECT_EQ(convert_pixel(format_id::rgbx5551, 0xFFFF, format_id::rgbx5551), 0xFFFFu);
    EXPECT_EQ(convert_pixel(format_id::rgbx4444, 0xF123, format_id::rgbx4444), 0xF123u);
    for (uint32_t bad : { 0u, 9u, 10u, 11u, 12u, 1000u }) {
        EXPECT_EQ(convert_pixel(format_id::rgb565, 0xFFFF, bad), 0u);
        EXPECT_EQ(convert_pixel(bad, 0xFFFF, format_id::rgb565), 0u);
        EXPECT_EQ(PelFmt(bad).convert_to(0xFFFF, format_id::rgbx8888), 0u);
        EXPECT_EQ(PelFmt(bad).pel_from_rgb(Rgba8888(0xFFFFFFFF)), 0u);
    }
    // The x bits of a by-value result are 0, of an Rgb888 result there are none.
    EXPECT_EQ(convert_pixel(format_id::rgba8888, 0xFF000000, format_id::rgbx8888), 0u);
    EXPECT_EQ(convert_pixel(format_id::rgba4444, 0xF000, format_id::rgbx4444), 0u);
}

TEST(PixelFormats, BytesPerPixel)
{
    const size_t expected[] = { 4, 3, 4, 4, 2, 2, 2, 2, 2, 1, 2, 4 };
    for (uint32_t id = 0; id < 12; ++id)
        EXPECT_EQ(bytes_per_pixel(id), expected[id]) << id;
    EXPECT_EQ(bytes_per_pixel(12), 0u);
}

} // namespace
