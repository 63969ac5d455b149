// Pictures written by an outside encoder, ImageMagick's convert, decode to
// the pixels it was given: TGA exactly, JPEG exactly as libjpeg's own
// decode of the same file and close to the pixels before encoding. Skipped
// where convert is missing or cannot write these formats.
//
// The TGA files are written with a top-left origin (descriptor bit 5), the
// picture's top row first, and decode the right way up. (convert's
// bottom-left files are no reference: it writes the same rows in the same
// order and only clears the bit, taking the origin as a display hint.)
#include "DecoderFixtures.h"
#include "JpegFixtures.h"
#include "tests/Lib/quarn/src/quarn/scratch_dir.h"

#include "img/img.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <random>

using namespace quarn::g;

namespace {

constexpr int width = 31, height = 17;

// R, G, B, A bytes, top row first; alpha varies only in the pictures that
// keep it.
std::vector<uint8_t> picture_rgba()
{
    std::mt19937 random(8);
    std::vector<uint8_t> out;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool flat = (x / 6 + y / 4) % 2 == 0;
            out.push_back(uint8_t(flat ? 200 : x * 8));
            out.push_back(uint8_t(flat ? 30 : y * 15));
            out.push_back(uint8_t(flat ? 90 : random() % 256));
            out.push_back(uint8_t(flat ? 255 : 40 + (x * y) % 200));
        }
    return out;
}

std::string netpbm(const std::vector<uint8_t>& rgba, bool alpha)
{
    std::string out = alpha ? "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height)
            + "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                            : "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (size_t i = 0; i < rgba.size(); i += 4)
        out.append(reinterpret_cast<const char*>(&rgba[i]), alpha ? 4 : 3);
    return out;
}

// Runs convert; false when it is missing or produced nothing.
bool convert(const quarn_test::ScratchDir& dir, const std::string& args, const std::string& output)
{
    const std::string command = "convert " + args + " > /dev/null 2>&1";
    return std::system(command.c_str()) == 0 && std::filesystem::exists(dir / output)
        && std::filesystem::file_size(dir / output) > 0;
}

std::vector<uint8_t> decoded(ImageDecoderI& decoder, const std::string& bytes)
{
    img_test::MemoryStream stream(bytes);
    ImageRow image;
    decoder.load(stream.in, image);
    EXPECT_EQ(image.width(), width);
    EXPECT_EQ(image.height(), height);
    return img_test::image_bytes(image);
}

TEST(DecoderCrossCheck, TgaWrittenByImageMagick)
{
    quarn_test::ScratchDir dir;
    const std::vector<uint8_t> rgba = picture_rgba();
    dir.write("in.ppm", netpbm(rgba, false));
    dir.write("in.pam", netpbm(rgba, true));
    const std::string in = dir / "in.ppm", in_alpha = dir / "in.pam";
    struct Case {
        std::string args, output;
        bool alpha;
    };
    const Case cases[] = {
        { in + " -orient TopLeft -compress None " + (dir / "plain.tga"), "plain.tga", false },
        { in + " -orient TopLeft -compress RLE " + (dir / "rle.tga"), "rle.tga", false },
        { in_alpha + " -orient TopLeft -compress RLE " + (dir / "alpha.tga"), "alpha.tga", true },
    };
    for (const Case& c : cases) {
        if (!convert(dir, c.args, c.output))
            GTEST_SKIP() << "ImageMagick's convert is not available";
        const std::string file = dir.read(c.output);
        ASSERT_GE(file.size(), 18u);
        ASSERT_EQ(file[17] & 0x20, 0x20) << "not a top-left file";
        std::vector<uint8_t> expected;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = &rgba[size_t(y * width + x) * 4];
                expected.insert(expected.end(), { p[2], p[1], p[0] });
                if (c.alpha)
                    expected.push_back(p[3]);
            }
        TgaDecoder tga;
        EXPECT_EQ(decoded(tga, file), expected) << c.output;
    }
}

TEST(DecoderCrossCheck, JpegWrittenByImageMagick)
{
    quarn_test::ScratchDir dir;
    const std::vector<uint8_t> rgba = picture_rgba();
    dir.write("in.ppm", netpbm(rgba, false));
    if (!convert(dir, (dir / "in.ppm") + " -quality 98 -sampling-factor 1x1 " + (dir / "out.jpg"), "out.jpg"))
        GTEST_SKIP() << "ImageMagick's convert is not available";
    const std::string file = dir.read("out.jpg");
    JpgDecoder jpg;
    const std::vector<uint8_t> ours = decoded(jpg, file);

    std::vector<uint8_t> reference = img_test::jpeg_reference(file);
    for (size_t i = 0; i + 2 < reference.size(); i += 3)
        std::swap(reference[i], reference[i + 2]);
    EXPECT_EQ(ours, reference);

    int worst = 0;
    long total = 0;
    for (size_t p = 0; p < size_t(width) * height; ++p)
        for (int c = 0; c < 3; ++c) {
            const int difference = std::abs(int(ours[p * 3 + c]) - int(rgba[p * 4 + 2 - c]));
            worst = std::max(worst, difference);
            total += difference;
        }
    EXPECT_LE(worst, 48);
    EXPECT_LE(double(total) / (width * height * 3), 4.0);
}

} // namespace
