// Writes the seed corpora of the img_tga_decoder and img_jpg_decoder fuzz
// targets. Not a test: run it by hand when the decoders' inputs change,
//
//     QUARN_SEED_DIR=fuzz/corpus test_img_decoders
//         --gtest_also_run_disabled_tests --gtest_filter='*WriteDecoderFuzzSeeds*'
//
// then minimise the corpora with the fuzzer's -merge=1. Each seed is a file
// followed by 12 control bytes (fuzz/img_decoders/DecoderFuzz.h), which
// the decoders ignore after the picture.
#include "JpegFixtures.h"
#include "TgaWriter.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using img_test::Tga;

void put(const std::filesystem::path& dir, const std::string& name, const std::string& control, const std::string& file)
{
    std::filesystem::create_directories(dir);
    ASSERT_EQ(control.size(), 12u);
    std::ofstream(dir / name, std::ios::binary) << file << control;
}

std::string pixels(size_t n, uint32_t seed)
{
    std::string out;
    for (size_t i = 0; i < n; ++i)
        out += char((i / 3 + seed) * 37 % 251 < 120 ? 7 : (i * seed) % 256);
    return out;
}

TEST(FuzzSeeds, DISABLED_WriteDecoderFuzzSeeds)
{
    const char* root = std::getenv("QUARN_SEED_DIR");
    ASSERT_NE(root, nullptr) << "set QUARN_SEED_DIR";
    const std::filesystem::path tga = std::filesystem::path(root) / "img_tga_decoder";
    const std::filesystem::path jpg = std::filesystem::path(root) / "img_jpg_decoder";

    // Control: target format, width, height, mode, then the rectangles.
    const std::string same { '\x01', '\x07', '\x05', '\x00', '\x01', '\x01', '\x05', '\x04', '\x02', '\x02', 0, 0 };
    const std::string to565_area { '\x04', '\x0F', '\x09', '\x01', '\x00', '\x00', '\x07', '\x05', '\xFC', '\x04', 0, 0 };
    const std::string to8888_wrap { '\x03', '\x03', '\x02', '\x04', '\x02', '\x01', '\x03', '\x03', '\x00', '\x00', 0, 0 };
    const std::string pal_lenient { '\xC9', '\x05', '\x05', '\x00', '\x00', '\x00', '\x02', '\x02', '\x01', '\x01', 0, 0 };

    put(tga, "rgb24_plain", same, img_test::tga_file(Tga { .type = 2, .depth = 24, .width = 7, .height = 5, .pixels = pixels(105, 1) }));
    put(tga, "rgba32_rle", to565_area,
        img_test::tga_file(Tga { .type = 10, .depth = 32, .width = 8, .height = 6, .pixels = pixels(192, 2) }));
    put(tga, "rgb16_rle", to8888_wrap,
        img_test::tga_file(Tga { .type = 10, .depth = 16, .width = 5, .height = 3, .pixels = pixels(30, 3) }));
    Tga mapped { .type = 9, .depth = 8, .width = 4, .height = 4, .id = "id", .map_type = 1, .map_first = 2,
        .map_length = 3, .map_bits = 24, .map = "abcdefghi", .pixels = pixels(16, 4) };
    put(tga, "pal8_map_rle", pal_lenient, img_test::tga_file(mapped));
    put(tga, "grey8", same, img_test::tga_file(Tga { .type = 3, .depth = 8, .width = 3, .height = 3, .pixels = pixels(9, 5) }));
    Tga map16 = mapped;
    map16.type = 1;
    map16.map_bits = 16;
    map16.map = "abcdef";
    put(tga, "pal8_map16", to565_area, img_test::tga_file(map16));

    std::vector<uint8_t> rgb = img_test::gradient_rgb(16, 8);
    put(jpg, "baseline", same, img_test::jpeg_file(16, 8, rgb, 50));
    put(jpg, "progressive", to565_area, img_test::jpeg_file(16, 8, rgb, 50, 3, true));
    std::vector<uint8_t> grey(8 * 8, 100);
    put(jpg, "grey", to8888_wrap, img_test::jpeg_file(8, 8, grey, 50, 1));
    const std::string whole = img_test::jpeg_file(16, 8, rgb, 50);
    put(jpg, "truncated", pal_lenient, whole.substr(0, whole.size() * 2 / 3));
}

} // namespace
