#include "DecoderFixtures.h"
#include "ImgTestImages.h"
#include "JpegFixtures.h"
#include "tests/Lib/quarn/src/quarn/scratch_dir.h"
#include "tests/Lib/quarn/src/quarn/zip_fixtures.h"

#include "img/Formats.h"
#include "img/img.h"
#include "quarn/IArcStream.h"
#include "quarn/IoFailure.h"
#include "quarn/ZipFormat.h"

#include <gtest/gtest.h>
#include <random>

using namespace quarn::g;
using img_test::MemoryStream;
using img_test::thrown_text;

namespace {

std::vector<uint8_t> swapped(std::vector<uint8_t> rgb)
{
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        std::swap(rgb[i], rgb[i + 2]);
    return rgb;
}

std::vector<uint8_t> noise_rgb(int width, int height, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> out(size_t(width) * height * 3);
    for (uint8_t& b : out)
        b = uint8_t(random());
    return out;
}

std::vector<uint8_t> decode(JpgDecoder& jpg, const Rect* source = nullptr)
{
    ImageDecoderI::Info info;
    jpg.info(info);
    ImageRow image;
    image.create(source ? source->x1 - source->x0 : info.width, source ? source->y1 - source->y0 : info.height,
        info.format);
    jpg.read(source, image, nullptr, ResizeAreaClamp);
    return img_test::image_bytes(image);
}

TEST(JpgDecoder, ColourPicturesComeOutAsBgrPixelsOfLibjpegsDecode)
{
    for (bool progressive : { false, true }) {
        const std::string file = img_test::jpeg_file(47, 33, img_test::gradient_rgb(47, 33), 90, 3, progressive);
        MemoryStream stream(file);
        JpgDecoder jpg;
        ImageRow image;
        jpg.load(stream.in, image);
        EXPECT_FALSE(jpg.is_open());
        EXPECT_EQ(image.width(), 47);
        EXPECT_EQ(image.height(), 33);
        EXPECT_EQ(image.format().id(), format_id::rgb888);
        EXPECT_EQ(img_test::image_bytes(image), swapped(img_test::jpeg_reference(file)));
    }

    // Pure red: red is the third byte of each pixel.
    std::vector<uint8_t> red;
    for (int i = 0; i < 16 * 16; ++i)
        red.insert(red.end(), { 255, 0, 0 });
    MemoryStream stream(img_test::jpeg_file(16, 16, red));
    JpgDecoder jpg;
    ImageRow image;
    jpg.load(stream.in, image);
    const auto bytes = img_test::image_bytes(image);
    EXPECT_GT(bytes[2], 245);
    EXPECT_LT(bytes[0], 10);
    EXPECT_LT(bytes[1], 10);
}

TEST(JpgDecoder, GreyPicturesAreConvertedToColour)
{
    std::vector<uint8_t> grey(20 * 10);
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = uint8_t(i);
    const std::string file = img_test::jpeg_file(20, 10, grey, 90, 1);
    MemoryStream stream(file);
    JpgDecoder jpg;
    ImageRow image;
    jpg.load(stream.in, image);
    EXPECT_EQ(image.format().id(), format_id::rgb888);
    EXPECT_EQ(img_test::image_bytes(image), swapped(img_test::jpeg_reference(file)));
}

TEST(JpgDecoder, ReadingTheSameOpenDecoderAgainGivesTheSamePixels)
{
    // Large enough for many fills of the source buffer, and with bytes after
    // the end-of-image marker (as many files have), so that the first decode
    // leaves bytes in the source buffer and the stream at its end.
    const std::string file = img_test::jpeg_file(160, 120, noise_rgb(160, 120, 1), 95) + std::string(300, 'z');
    ASSERT_GT(file.size(), 5 * 4096u);
    const auto expected = swapped(img_test::jpeg_reference(file));
    quarn_test::ScratchDir dir;
    dir.write("noise.jpg", file);

    MemoryStream memory(file);
    quarn::io::IArcStream disk;
    disk.set_flags(disk.flags() | quarn::io::Stream::raw_open);
    disk.open((dir / "noise.jpg").c_str());
    for (quarn::io::IStream* in : { &memory.in, static_cast<quarn::io::IStream*>(&disk) }) {
        JpgDecoder jpg;
        jpg.open(*in);
        EXPECT_EQ(decode(jpg), expected);
        EXPECT_EQ(decode(jpg), expected);
        const Rect part { 10, 20, 50, 21 };
        const auto row = decode(jpg, &part);
        EXPECT_EQ(row, std::vector<uint8_t>(expected.begin() + (20 * 160 + 10) * 3, expected.begin() + (20 * 160 + 50) * 3));
        EXPECT_EQ(decode(jpg), expected);
    }
}

TEST(JpgDecoder, ReadsConvertScaleAndClipLikeEveryDecoder)
{
    const std::string file = img_test::jpeg_file(24, 16, img_test::gradient_rgb(24, 16));
    const auto bgr = swapped(img_test::jpeg_reference(file));
    auto pixel = [&](int x, int y) {
        const uint8_t* p = &bgr[size_t(y * 24 + x) * 3];
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    };
    MemoryStream stream(file);
    JpgDecoder jpg;
    jpg.open(stream.in);

    ImageRow rgb565;
    rgb565.create(24, 16, PelFmt(format_id::rgb565));
    jpg.read(rgb565, ResizeNearest);
    EXPECT_EQ(rgb565.get_pixel(5, 7), convert_pixel(format_id::rgb888, pixel(5, 7), format_id::rgb565));
    EXPECT_EQ(rgb565.get_pixel(23, 15), convert_pixel(format_id::rgb888, pixel(23, 15), format_id::rgb565));

    ImageRow doubled;
    doubled.create(48, 32, PelFmt(format_id::rgb888));
    jpg.read(doubled, ResizeNearest);
    for (int y = 0; y < 32; y += 5)
        for (int x = 0; x < 48; x += 3)
            EXPECT_EQ(doubled.get_pixel(x, y), pixel(x / 2, y / 2));

    // A part of the picture into a rectangle reaching past the target's
    // corner, same format: clipped, nothing outside written.
    img_test::GuardedImage target(10, 8, PelFmt(format_id::rgb888), 1, true);
    target.image().fill(0x123456);
    const Rect source { 4, 2, 16, 12 };
    const Rect where { 3, -2, 15, 8 };
    jpg.read(&source, target.image(), &where, ResizeNearest);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(target.image().get_pixel(x, y), x < 3 ? 0x123456u : pixel(x + 1, y + 4)) << x << "," << y;
    EXPECT_TRUE(target.untouched_outside());
}

TEST(JpgDecoder, DamagedInputGivesLibjpegsTextsAndClosesTheDecoder)
{
    const std::string file = img_test::jpeg_file(64, 64, noise_rgb(64, 64, 2), 90);
    for (uint32_t mask : { quarn::io::Stream::default_exceptions, 0u }) {
        // Cut in the entropy-coded data: the header reads, the decode ends.
        MemoryStream cut(file.substr(0, file.size() / 2), mask);
        JpgDecoder jpg;
        jpg.open(cut.in);
        ImageRow image;
        image.create(64, 64, PelFmt(format_id::rgb888));
        EXPECT_EQ(thrown_text([&] { jpg.read(image, ResizeNearest); }), "Premature end of JPEG file");
        const quarn::ThrowOrigin origin = quarn::last_throw_origin();
        EXPECT_STREQ(origin.file, "\\Lib\\quarn\\src\\img\\JpgDecoder");
        EXPECT_STREQ(origin.function, "quarn::g::JpgDecoder::JpgEmitMessage");
        // The record died with the failure: no second use of it.
        EXPECT_FALSE(jpg.is_open());
        EXPECT_EQ(thrown_text([&] { jpg.read(image, ResizeNearest); }), "image decoder is not open");
        jpg.close();

        // Cut in the header.
        MemoryStream header(file.substr(0, 100), mask);
        EXPECT_EQ(thrown_text([&] { jpg.open(header.in); }), "Premature end of JPEG file");
        EXPECT_FALSE(jpg.is_open());

        MemoryStream empty("", mask);
        EXPECT_EQ(thrown_text([&] { jpg.open(empty.in); }), "Empty input file");
        EXPECT_STREQ(quarn::last_throw_origin().function, "quarn::g::JpgDecoder::JpgErrCatch");

        MemoryStream gif("GIF89a....", mask);
        EXPECT_EQ(thrown_text([&] { jpg.open(gif.in); }), "Not a JPEG file: starts with 0x47 0x49");

        // The decoder is still good for the next picture.
        MemoryStream whole(file, mask);
        jpg.open(whole.in);
        jpg.read(image, ResizeNearest);
        EXPECT_EQ(img_test::image_bytes(image), swapped(img_test::jpeg_reference(file)));
    }
}

TEST(JpgDecoder, HugeFrameHeadersAreRefusedBeforeAnyAllocation)
{
    // 65000 x 65000 x 3 bytes is about 12.7 GB from a file under 1 KB; the
    // pictures that are not square show that the width is said first.
    const uint16_t sizes[][2] = { { 65000, 65000 }, { 30000, 20000 }, { 20000, 30000 } };
    for (bool progressive : { false, true }) {
        const std::string small = img_test::jpeg_file(16, 16, noise_rgb(16, 16, 4), 90, 3, progressive);
        JpgDecoder jpg;
        for (const auto [width, height] : sizes) {
            img_test::PeakAllocator peak;
            MemoryStream stream(img_test::with_frame_size(small, width, height));
            ImageRow image;
            EXPECT_EQ(thrown_text([&] { jpg.load(stream.in, image); }),
                "the JPEG picture is " + std::to_string(width) + " x " + std::to_string(height)
                    + " pels of 3 bytes, more than 1073741824 bytes")
                << progressive;
            EXPECT_FALSE(jpg.is_open());
            EXPECT_EQ(image.width(), 0);
            EXPECT_LT(peak.largest, size_t(1) << 20);
        }
        // Just under the cap the header is accepted.
        MemoryStream under(img_test::with_frame_size(small, 18000, 19000));
        jpg.open(under.in);
        ImageDecoderI::Info info;
        jpg.info(info);
        EXPECT_EQ(info.width, 18000);
        EXPECT_EQ(info.height, 19000);
    }
}

TEST(JpgDecoder, StreamFailuresPassThroughLibjpegAsTheStreamsOwn)
{
    const std::string file = img_test::jpeg_file(64, 64, noise_rgb(64, 64, 3), 90);
    MemoryStream stream(file);
    JpgDecoder jpg;
    jpg.open(stream.in);
    stream.buf.throw_on_read = true;
    ImageRow image;
    image.create(64, 64, PelFmt(format_id::rgb888));
    try {
        jpg.read(image, ResizeNearest);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "read failed");
    }
    EXPECT_FALSE(jpg.is_open());
    EXPECT_TRUE(stream.in.state() & quarn::io::Stream::bad);

    // A stream that cannot go back cannot be read twice.
    quarn_test::ForwardBuf forward(file);
    quarn::io::IStream once(&forward);
    jpg.open(once);
    jpg.read(image, ResizeNearest);
    EXPECT_EQ(thrown_text([&] { jpg.read(image, ResizeNearest); }), "JPEG stream cannot be rewound");
}

TEST(JpgDecoder, ArchiveMembersDecodeOnceAndRefuseToRewind)
{
    const std::string file = img_test::jpeg_file(160, 120, noise_rgb(160, 120, 4), 95);
    quarn_test::ScratchDir dir;
    quarn_test::write_zip(dir / "data.zip", { { "bkg.jpg", file } });
    quarn::io::ZipFormat zip;
    const std::string name = dir / "data/bkg.jpg";

    ImageRow loaded;
    JpgDecoder().load_file(name.c_str(), loaded);
    EXPECT_EQ(img_test::image_bytes(loaded), swapped(img_test::jpeg_reference(file)));

    quarn::io::IArcStream member;
    member.set_flags(member.flags() | quarn::io::Stream::raw_open);
    member.open(name.c_str());
    JpgDecoder jpg;
    jpg.open(member);
    ImageRow image;
    image.create(160, 120, PelFmt(format_id::rgb888));
    jpg.read(image, ResizeNearest);
    EXPECT_EQ(thrown_text([&] { jpg.read(image, ResizeNearest); }), "NOT IMPLEMENTED");
}

} // namespace
