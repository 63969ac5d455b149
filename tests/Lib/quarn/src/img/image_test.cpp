#include "ImgTestImages.h"
#include "ImgTestModel.h"

#include "img/img.h"
#include "quarn/Allocator.h"
#include "tests/Lib/quarn/src/quarn/counting_allocator.h"
#include "quarn/Exception.h"

#include <gtest/gtest.h>

using namespace quarn::g;
using img_test::GuardedImage;

namespace {

TEST(Rect, IntersectionKeepsTheCornerOfAnEmptyResult)
{
    Rect a { 0, 0, 10, 10 };
    EXPECT_EQ(a.intersected({ 20, 20, 30, 30 }), (Rect { 20, 20, 20, 20 }));
    EXPECT_EQ(a.intersected({ 5, -5, 15, 5 }), (Rect { 5, 0, 10, 5 }));
    EXPECT_TRUE(a.intersected({ 20, 20, 30, 30 }).empty());
    EXPECT_EQ(a.width(), 10);
    EXPECT_TRUE((Rect { 2, 2, 2, 5 }).empty());
}

TEST(Image, GetPixelByFormatAndOutsideTheImage)
{
    GuardedImage x8888(2, 2, PelFmt(format_id::rgbx8888));
    x8888.set_value(1, 1, 0x12345678);
    EXPECT_EQ(x8888.image().get_pixel(1, 1), 0x00345678u);
    GuardedImage a8888(2, 2, PelFmt(format_id::rgba8888));
    a8888.set_value(0, 1, 0x12345678);
    EXPECT_EQ(a8888.image().get_pixel(0, 1), 0x12345678u);
    GuardedImage rgb(3, 1, PelFmt(format_id::rgb888), 0);
    rgb.set_value(2, 0, 0x00ABCDEF);
    EXPECT_EQ(rgb.image().get_pixel(2, 0), 0x00ABCDEFu);
    GuardedImage p8(2, 1, PelFmt(format_id::pal8));
    p8.set_value(1, 0, 0xC7);
    EXPECT_EQ(p8.image().get_pixel(1, 0), 0xC7u);
    for (uint32_t id : { format_id::rgb565, format_id::rgbx5551, format_id::rgba4444 }) {
        GuardedImage img(2, 2, PelFmt(id));
        img.set_value(1, 0, 0xBEEF);
        EXPECT_EQ(img.image().get_pixel(1, 0), 0xBEEFu);
    }
    for (uint32_t id : { format_id::raw16, format_id::raw32, format_id::none }) {
        GuardedImage img(2, 2, PelFmt(id));
        img.set_value(0, 0, 0xFFFF);
        EXPECT_EQ(img.image().get_pixel(0, 0), 0u);
    }
    EXPECT_EQ(x8888.image().get_pixel(-1, 0), 0u);
    EXPECT_EQ(x8888.image().get_pixel(2, 0), 0u);
    EXPECT_EQ(x8888.image().get_pixel(0, 2), 0u);
    EXPECT_TRUE(x8888.untouched_outside());
}

TEST(Image, OpaqueRectBoundsTheNonKeyPixels)
{
    GuardedImage img(8, 9, PelFmt(format_id::rgb565));
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 8; ++x)
            img.set_value(x, y, 0xF81F);
    img.image().set_color_key(0xF81F);
    Rect out { 1, 2, 3, 4 };
    img.image().get_opaque_rect(out);
    EXPECT_EQ(out, (Rect { 0, 0, 0, 0 }));
    img.set_value(3, 5, 0x1234);
    img.image().get_opaque_rect(out);
    EXPECT_EQ(out, (Rect { 3, 5, 4, 6 }));
    img.set_value(6, 1, 0);
    img.image().get_opaque_rect(out);
    EXPECT_EQ(out, (Rect { 3, 1, 7, 6 }));
    // The stored key pixel counts also with the key switched off.
    img.image().clear_color_key();
    img.image().get_opaque_rect(out);
    EXPECT_EQ(out, (Rect { 3, 1, 7, 6 }));
}

TEST(Image, OpaqueRectIgnoresXBitsOnlyWhereTheFormatHasThem)
{
    for (uint32_t id : { format_id::rgbx5551, format_id::rgba5551 }) {
        GuardedImage img(4, 4, PelFmt(id));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                img.set_value(x, y, 0x0421);
        img.set_value(2, 2, 0x8421);
        img.image().set_color_key(0x0421);
        Rect out;
        img.image().get_opaque_rect(out);
        EXPECT_EQ(out, id == format_id::rgbx5551 ? Rect {} : (Rect { 2, 2, 3, 3 })) << id;
    }
    GuardedImage x8888(3, 3, PelFmt(format_id::rgbx8888));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            x8888.set_value(x, y, uint32_t(x + y) << 24 | 0x00102030);
    x8888.image().set_color_key(0x00102030);
    Rect out { 9, 9, 9, 9 };
    x8888.image().get_opaque_rect(out);
    EXPECT_EQ(out, Rect {});
    // No comparison for the empty format: out is left as it was.
    GuardedImage none(3, 3, PelFmt(format_id::none));
    out = { 9, 9, 9, 9 };
    none.image().get_opaque_rect(out);
    EXPECT_EQ(out, (Rect { 9, 9, 9, 9 }));
}

TEST(ImageRow, NegativePitchReadsRowsUpwards)
{
    uint16_t memory[3 * 2] = { 0x0001, 0x0002, 0x0011, 0x0012, 0x0021, 0x0022 };
    // Top row at the highest address.
    ImageRow img(2, 3, PelFmt(format_id::rgb565), reinterpret_cast<uint8_t*>(memory + 4), -4);
    EXPECT_EQ(img.get_pixel(0, 0), 0x0021u);
    EXPECT_EQ(img.get_pixel(1, 1), 0x0012u);
    EXPECT_EQ(img.get_pixel(0, 2), 0x0001u);
    Image::Lock lock(img, nullptr, lock_mode::read);
    EXPECT_EQ(lock.row(1), lock.pixels - 4);
    EXPECT_FALSE(img.owns_pixels());
}

TEST(ImageRow, CreateAllocatesAndResetsTheClipWhenClipping)
{
    ImageRow img;
    img.create(5, 3, PelFmt(format_id::rgb888));
    EXPECT_EQ(img.pitch(), 15);
    EXPECT_TRUE(img.owns_pixels());
    Rect whole;
    img.get_rect(whole);
    EXPECT_EQ(whole, (Rect { 0, 0, 5, 3 }));

    img.set_clip_rect({ 1, 1, 2, 2 });
    img.create(7, 4, PelFmt(format_id::rgb565));
    EXPECT_EQ(img.clip_rect(), (Rect { 0, 0, 7, 4 }));
    img.clear_clip();
    img.create(2, 2, PelFmt(format_id::rgb565));
    EXPECT_EQ(img.clip_rect(), (Rect { 0, 0, 7, 4 }));

    img.set_color_key(1);
    img.create(2, 2, PelFmt(format_id::rgb565));
    EXPECT_FALSE(img.has_color_key());
}

TEST(ImageRow, CreateRefusesSizesItCannotAddress)
{
    ImageRow img;
    EXPECT_THROW(img.create(-1, 4, PelFmt(format_id::rgb565)), std::exception);
    EXPECT_THROW(img.create(0x7FFFFFFF, 1, PelFmt(format_id::rgba8888)), std::exception);
    EXPECT_THROW(img.create(1, 1, PelFmt(12)), std::exception);
    img.create(0, 0, PelFmt(format_id::rgb565));
    EXPECT_EQ(img.width(), 0);
}

TEST(ImageRow, SizeFailuresAreReportedLibraryExceptions)
{
    ImageRow img;
    try {
        img.create(-1, 1, PelFmt(format_id::rgb565));
        FAIL() << "no exception";
    } catch (const quarn::Exception& e) {
        EXPECT_STREQ(e.what(), "image size out of range");
    }
    const quarn::ThrowOrigin origin = quarn::last_throw_origin();
    EXPECT_STREQ(origin.file, "\\Lib\\quarn\\src\\img\\Image");
    ASSERT_NE(origin.function, nullptr);
    EXPECT_NE(std::string(origin.function).find("create"), std::string::npos);
    try {
        img.fill(0);
    } catch (const quarn::Exception&) {
        ADD_FAILURE() << "an empty image has nothing to fill";
    }
    img.create(1, 1, PelFmt(format_id::pal8));
    EXPECT_THROW(img.fill(0), quarn::Exception);
}


TEST(ImageRow, PixelsAndPalettesComeFromTheProcessWideAllocator)
{
    CountingAllocator counting;
    quarn::Allocator::current(&counting);
    {
        ImageRow img;
        img.create(4, 4, PelFmt(format_id::rgb565));
        EXPECT_EQ(counting.allocations, 1);
        Palette palette;
        const uint8_t quads[8] = { 1, 2, 3, 4, 5, 6, 7, 8 };
        palette.set_rgba(quads, 2);
        img.create(2, 2, PelFmt(format_id::pal8, &palette));
        // The entries, then the image's own palette copy (record and entries) and
        // its pixels.
        EXPECT_EQ(counting.allocations, 5);
        EXPECT_EQ(counting.frees, 1);
    }
    EXPECT_EQ(counting.frees, counting.allocations);

    counting.refuse = true;
    ImageRow img;
    try {
        img.create(8, 8, PelFmt(format_id::rgba8888));
        FAIL() << "no exception";
    } catch (const quarn::Exception& e) {
        EXPECT_STREQ(e.what(), "Allocator: Memory allocation failed.");
    }
    EXPECT_EQ(img.pixels(), nullptr);
    counting.refuse = false;
}

TEST(ImageRow, CloneCopiesEveryPixelIncludingKeyedOnes)
{
    std::mt19937 random(7);
    for (uint32_t id = 1; id <= 11; ++id) {
        GuardedImage source(5, 4, PelFmt(id), 2, id % 2 == 0);
        source.randomise(random);
        source.set_value(1, 1, 0x0101);
        source.image().set_color_key(0x0101);
        source.image().set_clip_rect({ 0, 0, 1, 1 });
        auto clone = source.image().clone();
        auto& copy = static_cast<ImageRow&>(*clone);
        EXPECT_EQ(copy.format().id(), id);
        EXPECT_FALSE(copy.has_color_key());
        EXPECT_FALSE(copy.clipping());
        for (int y = 0; y < 4; ++y) {
            const uint8_t* row = copy.pixels() + y * copy.pitch();
            EXPECT_EQ(0, std::memcmp(row, source.pixel(0, y), 5 * bytes_per_pixel(id))) << id;
        }
    }
}

TEST(Image, ColourKeyFromPixelAndFromColour)
{
    ImageRow img;
    img.create(1, 1, PelFmt(format_id::rgb565));
    img.set_color_key(0xF800);
    EXPECT_TRUE(img.has_color_key());
    EXPECT_EQ(img.key_pixel(), 0xF800u);
    EXPECT_EQ(img.key_colour(), 0x00FF0000u);
    img.set_color_key_rgb(0x00FE0102);
    EXPECT_EQ(img.key_pixel(), 0xF800u);
    EXPECT_EQ(img.key_colour(), 0x00FE0102u);
    img.clear_color_key();
    EXPECT_FALSE(img.has_color_key());
    EXPECT_EQ(img.key_pixel(), 0xF800u);

    const uint8_t quads[] = { 0, 0, 0, 255, 0, 0, 250, 255 };
    Palette palette;
    palette.set_rgba(quads, 2);
    ImageRow pal;
    pal.create(1, 1, PelFmt(format_id::pal8, &palette));
    pal.set_color_key_rgb(0x00FF0000);
    EXPECT_EQ(pal.key_pixel(), 1u);
    EXPECT_EQ(pal.key_colour(), 0x00FF0000u);
    pal.set_color_key(1);
    EXPECT_EQ(pal.key_colour(), 0x00FA0000u);
    pal.set_color_key(0x1FF);
    EXPECT_EQ(pal.key_colour(), 0u);
}

} // namespace
