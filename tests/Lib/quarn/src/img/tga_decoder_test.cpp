#include "DecoderFixtures.h"
#include "ImgTestImages.h"
#include "TgaWriter.h"
#include "tests/Lib/quarn/src/quarn/scratch_dir.h"
#include "tests/Lib/quarn/src/quarn/zip_fixtures.h"

#include "img/Formats.h"
#include "img/img.h"
#include "quarn/IoFailure.h"
#include "quarn/ZipFormat.h"

#include <gtest/gtest.h>
#include <random>

using namespace quarn::g;
using img_test::MemoryStream;
using img_test::Tga;
using img_test::tga_file;
using img_test::thrown_text;

namespace {

std::string random_bytes(std::mt19937& random, size_t n)
{
    std::string out(n, '\0');
    for (char& c : out)
        c = char(random());
    return out;
}

// Pixels with runs in them, so that run-length files hold both packet kinds.
std::string patchy_bytes(std::mt19937& random, size_t pixels, size_t bytes)
{
    std::string out;
    while (out.size() < pixels * bytes) {
        const std::string pixel = random_bytes(random, bytes);
        const size_t repeat = random() % 3 == 0 ? 1 + random() % 200 : 1;
        for (size_t i = 0; i < repeat; ++i)
            out += pixel;
    }
    out.resize(pixels * bytes);
    return out;
}

// Image row y of a picture whose rows are stored bottom-up in file order.
std::string file_row(const std::string& pixels, int width, int height, int y, size_t bytes)
{
    return pixels.substr(size_t(height - 1 - y) * width * bytes, width * bytes);
}

std::vector<uint8_t> flipped(const std::string& pixels, int width, int height, size_t bytes)
{
    std::vector<uint8_t> out;
    for (int y = 0; y < height; ++y) {
        const std::string row = file_row(pixels, width, height, y, bytes);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<uint8_t> load_bytes(const std::string& file, ImageRow& image)
{
    MemoryStream stream(file);
    TgaDecoder tga;
    tga.load(stream.in, image);
    return img_test::image_bytes(image);
}

TEST(TgaDecoder, TrueColourPlainAndRunLengthDecodeBottomUp)
{
    std::mt19937 random(11);
    for (uint8_t type : { 2, 10 })
        for (uint8_t depth : { 24, 32 }) {
            const size_t bytes = depth / 8;
            Tga t { .type = type, .depth = depth, .width = 37, .height = 13 };
            t.pixels = patchy_bytes(random, 37 * 13, bytes);
            ImageRow image;
            const auto decoded = load_bytes(tga_file(t), image);
            EXPECT_EQ(image.format().id(), depth == 32 ? format_id::rgba8888 : format_id::rgb888);
            EXPECT_EQ(image.width(), 37);
            EXPECT_EQ(image.height(), 13);
            EXPECT_EQ(decoded, flipped(t.pixels, 37, 13, bytes)) << int(type) << " " << int(depth);
        }
}

TEST(TgaDecoder, TopLeftOriginFilesKeepTheirRowOrder)
{
    // Descriptor bit 5 set (with 8 alpha bits for 32-bit pictures, as
    // image editors write them): the first row in the file is the top one,
    // through the row copy and through conversion alike.
    std::mt19937 random(13);
    for (uint8_t type : { 2, 10 })
        for (uint8_t depth : { 24, 32 }) {
            const size_t bytes = depth / 8;
            Tga t { .type = type, .depth = depth, .width = 9, .height = 5 };
            t.descriptor = uint8_t(0x20 | (depth == 32 ? 8 : 0));
            t.pixels = patchy_bytes(random, 9 * 5, bytes);
            ImageRow image;
            const auto decoded = load_bytes(tga_file(t), image);
            EXPECT_EQ(decoded, std::vector<uint8_t>(t.pixels.begin(), t.pixels.end())) << int(type) << int(depth);

            MemoryStream stream(tga_file(t));
            TgaDecoder tga;
            tga.open(stream.in);
            ImageRow converted;
            converted.create(9, 5, PelFmt(format_id::rgb565));
            tga.read(converted, ResizeNearest);
            const PelFmt source(depth == 32 ? format_id::rgba8888 : format_id::rgb888);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 9; ++x)
                    EXPECT_EQ(converted.get_pixel(x, y), convert_pixel(source.id(), image.get_pixel(x, y), format_id::rgb565));
        }
}

TEST(TgaDecoder, SixteenBitPixelsExpandByShifting)
{
    for (uint8_t type : { 2, 10 }) {
        // 0x7FFF, 0x8000 (only the ignored bit), 0x7C00 red, 0x001F blue.
        Tga t { .type = type, .depth = 16, .width = 4, .height = 1 };
        t.pixels = std::string("\xFF\x7F\x00\x80\x00\x7C\x1F\x00", 8);
        ImageRow image;
        const auto decoded = load_bytes(tga_file(t), image);
        EXPECT_EQ(image.format().id(), format_id::rgb888);
        const std::vector<uint8_t> expected { 0xF8, 0xF8, 0xF8, 0, 0, 0, 0, 0, 0xF8, 0xF8, 0, 0 };
        EXPECT_EQ(decoded, expected);
    }
}

TEST(TgaDecoder, EightBitPicturesAreGreyOrMappedPal8)
{
    // A grey picture without a map: 256 opaque greys.
    Tga grey { .type = 3, .depth = 8, .width = 3, .height = 2 };
    grey.pixels = std::string("\x00\xC8\xFF\x01\x02\x03", 6);
    ImageRow image;
    EXPECT_EQ(load_bytes(tga_file(grey), image), flipped(grey.pixels, 3, 2, 1));
    ASSERT_NE(image.format().palette(), nullptr);
    EXPECT_EQ(image.format().palette()->count(), 256u);
    EXPECT_EQ(image.format().palette()->get(200, format_id::rgba8888), 0xFFC8C8C8u);

    // A 16-bit map starting at index 250: entries land from there on; the
    // ones past 255 and before 250 do not exist.
    Tga mapped { .type = 9, .depth = 8, .width = 2, .height = 2 };
    mapped.map_type = 1;
    mapped.map_first = 250;
    mapped.map_length = 8;
    mapped.map_bits = 16;
    for (uint32_t i = 0; i < 8; ++i)
        mapped.map += std::string { char(0x1F), char(i) }; // blue full, green and red from i
    mapped.pixels = std::string("\xFA\xFB\xFF\x00", 4);
    ImageRow pal;
    EXPECT_EQ(load_bytes(tga_file(mapped), pal), flipped(mapped.pixels, 2, 2, 1));
    const Palette* palette = pal.format().palette();
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(palette->count(), 256u);
    EXPECT_EQ(palette->get(250, format_id::rgba8888), 0xFF0000F8u);
    EXPECT_EQ(palette->get(251, format_id::rgba8888), 0xFF0040F8u);
    EXPECT_EQ(palette->get(255, format_id::rgba8888), 0xFF0840F8u);
    EXPECT_EQ(palette->get(0, format_id::rgba8888), 0u);

    // Converting into a colour target goes through the palette, also for
    // indexes that the map does not cover.
    ImageRow colour;
    colour.create(2, 2, PelFmt(format_id::rgba8888));
    MemoryStream stream(tga_file(mapped));
    TgaDecoder tga;
    tga.open(stream.in);
    tga.read(colour, ResizeNearest);
    EXPECT_EQ(colour.get_pixel(0, 0), 0xFF0840F8u); // the file's second row: index 255
    EXPECT_EQ(colour.get_pixel(1, 0), 0u); // index 0
    EXPECT_EQ(colour.get_pixel(0, 1), 0xFF0000F8u); // index 250
}

TEST(TgaDecoder, IdFieldAndColourMapsOfAnyEntrySizeAreSkipped)
{
    std::mt19937 random(5);
    for (uint8_t map_bits : { 15, 24, 32 }) {
        Tga t { .type = 2, .depth = 24, .width = 5, .height = 3 };
        t.id = "hello";
        t.map_type = 1;
        t.map_length = 7;
        t.map_bits = map_bits;
        t.map = random_bytes(random, 7 * ((map_bits + 7) / 8));
        t.pixels = random_bytes(random, 5 * 3 * 3);
        ImageRow image;
        EXPECT_EQ(load_bytes(tga_file(t), image), flipped(t.pixels, 5, 3, 3)) << int(map_bits);
    }
    // A 24-bit map of an 8-bit picture is read as B, G, R.
    Tga t { .type = 1, .depth = 8, .width = 1, .height = 1 };
    t.id = std::string(255, 'x');
    t.map_type = 1;
    t.map_length = 2;
    t.map_bits = 24;
    t.map = "\x01\x02\x03\x04\x05\x06";
    t.pixels = "\x01";
    ImageRow image;
    load_bytes(tga_file(t), image);
    EXPECT_EQ(image.format().palette()->count(), 2u);
    EXPECT_EQ(image.format().palette()->get(1, format_id::rgba8888), 0xFF060504u);
}

TEST(TgaDecoder, RunLengthPacketsRepeatCrossRowsAndStopAtTheEnd)
{
    // 3 x 3 pixels of 24 bits: a run of 4 (0x83) crossing the first row,
    // a literal packet of 3 (0x02), then a run of 5 of which 2 fit.
    std::string file = tga_file(Tga { .type = 10, .depth = 24, .width = 3, .height = 3 });
    file += std::string("\x83\x01\x02\x03", 4);
    file += std::string("\x02\x10\x11\x12\x20\x21\x22\x30\x31\x32", 10);
    file += std::string("\x84\x40\x41\x42", 4);
    ImageRow image;
    const auto decoded = load_bytes(file, image);
    const std::string file_order = std::string("\x01\x02\x03\x01\x02\x03\x01\x02\x03", 9) // bottom row
        + std::string("\x01\x02\x03\x10\x11\x12\x20\x21\x22", 9)
        + std::string("\x30\x31\x32\x40\x41\x42\x40\x41\x42", 9); // top row
    EXPECT_EQ(decoded, flipped(file_order, 3, 3, 3));
}

TEST(TgaDecoder, RefusesUnknownTypesDepthsAndEmptyPictures)
{
    auto open_text = [](const Tga& t) {
        MemoryStream stream(tga_file(t));
        TgaDecoder tga;
        const std::string text = thrown_text([&] { tga.open(stream.in); });
        EXPECT_FALSE(tga.is_open());
        return text;
    };
    EXPECT_EQ(open_text(Tga { .type = 11, .depth = 8, .width = 1, .height = 1, .pixels = "\x01" }),
        "Unknown TGA Image Type");
    const quarn::ThrowOrigin origin = quarn::last_throw_origin();
    EXPECT_STREQ(origin.file, "\\Lib\\quarn\\src\\img\\TgaDecoder");
    EXPECT_EQ(open_text(Tga { .type = 0, .depth = 24, .width = 1, .height = 1 }), "Unknown TGA Image Type");
    for (uint8_t depth : { 0, 1, 4, 15, 31, 33, 255 })
        EXPECT_EQ(open_text(Tga { .type = 2, .depth = depth, .width = 2, .height = 2, .pixels = std::string(32, 'p') }),
            "Unsupported TGA pixel depth")
            << int(depth);
    EXPECT_EQ(open_text(Tga { .type = 2, .depth = 24, .width = 0, .height = 5 }), "TGA picture has no pixels");
    Tga bad_map { .type = 1, .depth = 8, .width = 1, .height = 1, .pixels = "\x00" };
    bad_map.map_length = 1;
    bad_map.map_bits = 8;
    bad_map.map = "\x01";
    EXPECT_EQ(open_text(bad_map), "Unsupported TGA colour map entry size");
}

TEST(TgaDecoder, ShortFilesFailThroughTheStreamOrAsTruncated)
{
    std::mt19937 random(3);
    for (uint8_t type : { 2, 10 }) {
        Tga t { .type = type, .depth = 32, .width = 20, .height = 20 };
        t.pixels = patchy_bytes(random, 400, 4);
        const std::string file = tga_file(t);
        for (size_t cut : { size_t(0), size_t(10), size_t(18), file.size() / 2, file.size() - 1 }) {
            const std::string part = file.substr(0, cut);
            // Under the default mask the stream throws its own failure.
            MemoryStream strict(part);
            TgaDecoder tga;
            EXPECT_THROW(tga.open(strict.in), quarn::io::Failure) << cut;
            EXPECT_FALSE(tga.is_open());
            // With a mask that lets failures pass, the decoder refuses.
            MemoryStream lenient(part, 0);
            const std::string text = thrown_text([&] { tga.open(lenient.in); });
            // A cut header reads as zeros after the cut.
            const char* expected = cut < 3 ? "Unknown TGA Image Type"
                : cut < 18                 ? "Unsupported TGA pixel depth"
                                           : "TGA file is truncated";
            EXPECT_EQ(text, expected) << cut;
        }
    }
}

TEST(TgaDecoder, HugeHeadersCostOnlyWhatTheFileHolds)
{
    // 65535 x 65535 x 4 bytes is past the cap; 16384 x 16384 x 3 is not, but
    // the file holds a few bytes, so memory grows only as far as the data.
    EXPECT_EQ(thrown_text([] {
        MemoryStream stream(tga_file(Tga { .type = 2, .depth = 32, .width = 65535, .height = 65535 }));
        TgaDecoder().load(stream.in, *std::make_unique<ImageRow>());
    }),
        "the TGA picture is 65535 x 65535 pels of 4 bytes, more than 1073741824 bytes");

    for (uint8_t type : { 2, 10 }) {
        Tga t { .type = type, .depth = 24, .width = 16384, .height = 16384 };
        t.pixels = std::string(3000, '\x07');
        img_test::PeakAllocator peak;
        MemoryStream stream(tga_file(t), 0);
        TgaDecoder tga;
        EXPECT_EQ(thrown_text([&] { tga.open(stream.in); }), "TGA file is truncated");
        EXPECT_LE(peak.largest, size_t(1) << 21);
    }
}

TEST(TgaDecoder, TheSizeCapCountsDecodedBytes)
{
    // 16-bit pixels are stored in 2 bytes and decoded into 3: the cap
    // (2^30 bytes) holds for the 3. Pictures within it fail only as
    // truncated, since each file holds just its header.
    struct Case {
        uint8_t depth;
        uint16_t width, height;
        const char* expected;
    };
    const Case cases[] = {
        // 786 MB stored, 1180 MB decoded
        { 16, 65535, 6000, "the TGA picture is 65535 x 6000 pels of 3 bytes, more than 1073741824 bytes" },
        { 24, 65535, 6000, "the TGA picture is 65535 x 6000 pels of 3 bytes, more than 1073741824 bytes" },
        { 16, 16384, 16384, "TGA file is truncated" }, // 805 MB decoded
        { 32, 16384, 16384, "TGA file is truncated" }, // exactly at the cap
    };
    for (const Case& c : cases) {
        MemoryStream stream(tga_file(Tga { .type = 2, .depth = c.depth, .width = c.width, .height = c.height }), 0);
        TgaDecoder tga;
        EXPECT_EQ(thrown_text([&] { tga.open(stream.in); }), c.expected)
            << int(c.depth) << " bits, " << c.width << " x " << c.height;
    }
}

TEST(TgaDecoder, LoadFileReadsFilesAndArchiveMembers)
{
    std::mt19937 random(21);
    Tga t { .type = 10, .depth = 32, .width = 30, .height = 20 };
    t.pixels = patchy_bytes(random, 600, 4);
    const std::string file = tga_file(t);
    quarn_test::ScratchDir dir;
    dir.write("loose.tga", file);
    quarn_test::write_zip(dir / "pics.zip", { { "inside.tga", file } });
    quarn::io::ZipFormat zip;

    for (const std::string& name : { dir / "loose.tga", dir / "pics/inside.tga" }) {
        ImageRow image;
        TgaDecoder tga;
        tga.load_file(name.c_str(), image);
        EXPECT_EQ(img_test::image_bytes(image), flipped(t.pixels, 30, 20, 4)) << name;
        EXPECT_FALSE(tga.is_open());
    }
    ImageRow image;
    EXPECT_THROW(TgaDecoder().load_file((dir / "missing.tga").c_str(), image), quarn::io::Failure);
}

class TgaRead : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::mt19937 random(9);
        file_.pixels = random_bytes(random, 6 * 4 * 3);
        stream_ = std::make_unique<MemoryStream>(tga_file(file_));
        tga_.open(stream_->in);
    }

    // Picture pixel (x, y) as 0x00RRGGBB.
    uint32_t picture(int x, int y) const
    {
        const std::string row = file_row(file_.pixels, 6, 4, y, 3);
        return uint8_t(row[x * 3]) | uint8_t(row[x * 3 + 1]) << 8 | uint32_t(uint8_t(row[x * 3 + 2])) << 16;
    }

    Tga file_ { .type = 2, .depth = 24, .width = 6, .height = 4 };
    std::unique_ptr<MemoryStream> stream_;
    TgaDecoder tga_;
};

TEST_F(TgaRead, SameFormatCopiesRowsIntoTheTargetRectangleOnly)
{
    img_test::GuardedImage target(9, 7, PelFmt(format_id::rgb888), 2, true);
    target.image().fill(0x0055AA);
    const Rect source { 1, 1, 5, 4 };
    const Rect where { 3, 2, 7, 5 };
    tga_.read(&source, target.image(), &where, ResizeAreaClamp);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) {
            const bool inside = x >= 3 && x < 7 && y >= 2 && y < 5;
            EXPECT_EQ(target.image().get_pixel(x, y), inside ? picture(x - 2, y - 1) : 0x0055AAu) << x << "," << y;
        }
    EXPECT_TRUE(target.untouched_outside());
}

TEST_F(TgaRead, TargetRectanglesReachingOutsideAreClipped)
{
    for (bool same_format : { true, false }) {
        img_test::GuardedImage target(4, 3, PelFmt(same_format ? format_id::rgb888 : format_id::rgbx8888));
        target.image().fill(0);
        const Rect where { -2, -1, 4, 3 };
        tga_.read(nullptr, target.image(), &where, ResizeNearest);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(target.image().get_pixel(x, y), picture(x + 2, y + 1));
        EXPECT_TRUE(target.untouched_outside());

        // Wholly outside: nothing is written.
        const Rect away { 10, 10, 16, 14 };
        tga_.read(nullptr, target.image(), &away, ResizeNearest);
        EXPECT_TRUE(target.untouched_outside());
    }
}

TEST_F(TgaRead, OtherFormatsConvertAndOtherSizesScale)
{
    ImageRow rgb565;
    rgb565.create(6, 4, PelFmt(format_id::rgb565));
    tga_.read(rgb565, ResizeAreaClamp);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(rgb565.get_pixel(x, y), convert_pixel(format_id::rgb888, picture(x, y), format_id::rgb565));

    // Doubling in nearest mode repeats each pixel twice each way.
    ImageRow doubled;
    doubled.create(12, 8, PelFmt(format_id::rgb888));
    tga_.read(doubled, ResizeNearest);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_EQ(doubled.get_pixel(x, y), picture(x / 2, y / 2));

    // Halving with area averaging takes the mean of each 2 x 2 block.
    ImageRow halved;
    halved.create(3, 2, PelFmt(format_id::rgb888));
    tga_.read(halved, ResizeAreaClamp);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int shift : { 0, 8, 16 }) {
                uint32_t sum = 0;
                for (int i = 0; i < 4; ++i)
                    sum += picture(x * 2 + i % 2, y * 2 + i / 2) >> shift & 0xFF;
                EXPECT_EQ(halved.get_pixel(x, y) >> shift & 0xFF, sum / 4) << x << "," << y;
            }
}

TEST_F(TgaRead, RefusesSourcesOutsideThePictureAndClosedDecoders)
{
    ImageRow target;
    target.create(6, 4, PelFmt(format_id::rgb888));
    for (Rect bad : { Rect { -1, 0, 3, 3 }, Rect { 0, 0, 7, 4 }, Rect { 0, 2, 6, 5 } })
        EXPECT_EQ(thrown_text([&] { tga_.read(&bad, target, nullptr, ResizeNearest); }),
            "source rectangle outside the picture");
    const Rect huge { -2000000000, 0, 2000000000, 4 };
    EXPECT_EQ(thrown_text([&] { tga_.read(nullptr, target, &huge, ResizeNearest); }), "target rectangle out of range");
    const Rect wide { 0, 0, 40000, 4 };
    EXPECT_EQ(thrown_text([&] { tga_.read(nullptr, target, &wide, ResizeNearest); }), "resize size out of range");
    const Rect empty { 2, 2, 2, 3 };
    tga_.read(&empty, target, nullptr, ResizeNearest);

    tga_.close();
    ImageDecoderI::Info info;
    tga_.info(info);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(thrown_text([&] { tga_.read(target, ResizeNearest); }), "image decoder is not open");

    // Opened again, it reads again.
    MemoryStream again(tga_file(file_));
    tga_.open(again.in);
    tga_.read(target, ResizeNearest);
    EXPECT_EQ(target.get_pixel(5, 3), picture(5, 3));
}

} // namespace
