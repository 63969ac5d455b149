#include "AreaModel.h"
#include "ImgTestModel.h"
#include "img/Resize.h"
#include "img/img.h"

#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include <sstream>

using namespace quarn::g;
using img_test::Picture;

namespace {

// A row image whose new pixels hold a poison pattern instead of whatever
// the allocation returned, so that a pixel left unwritten, or read before it
// is written, shows.
class PoisonedRow : public ImageRow {
public:
    void alloc_pixels() override
    {
        ImageRow::alloc_pixels();
        if (pixels())
            std::memset(pixels(), 0xAB, size_t(height()) * size_t(pitch()));
    }
};

void load(Image& image, const Picture& picture)
{
    image.create(picture.width, picture.height, PelFmt(picture.id));
    Image::Lock lock(image, nullptr, lock_mode::target);
    const size_t bytes = image.format().bytes_per_pixel();
    for (int32_t y = 0; y < picture.height; ++y)
        for (int32_t x = 0; x < picture.width; ++x) {
            const uint32_t v = picture.at(x, y);
            std::memcpy(lock.row(y) + size_t(x) * bytes, &v, bytes);
        }
}

std::vector<uint32_t> values(const Image& image)
{
    Image::Lock lock(image, nullptr, lock_mode::read);
    const size_t bytes = image.format().bytes_per_pixel();
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < image.height(); ++y)
        for (int32_t x = 0; x < image.width(); ++x) {
            uint32_t v = 0;
            std::memcpy(&v, lock.row(y) + size_t(x) * bytes, bytes);
            out.push_back(v);
        }
    return out;
}

Picture random_picture(std::mt19937& random, uint32_t id, int32_t width, int32_t height)
{
    Picture p { id, width, height, {} };
    const uint32_t mask = bytes_per_pixel(id) == 4 ? 0xFFFFFFFF : (1u << (8 * bytes_per_pixel(id))) - 1;
    for (int32_t i = 0; i < width * height; ++i)
        p.pixels.push_back(uint32_t(random()) & mask);
    return p;
}

TEST(ResizeNearest, HalvingTakesEveryOtherPixelFromTheCentre)
{
    Picture src { format_id::rgb565, 8, 8, {} };
    for (uint32_t i = 0; i < 64; ++i)
        src.pixels.push_back(i);
    PoisonedRow img;
    load(img, src);
    img.resize(4, 4, ResizeNearest);
    std::vector<uint32_t> expected;
    for (uint32_t row : { 1, 3, 5, 7 })
        for (uint32_t column : { 1, 3, 5, 7 })
            expected.push_back(row * 8 + column);
    EXPECT_EQ(values(img), expected);
}

TEST(ResizeNearest, EnlargingTwoPixelsToFive)
{
    for (uint32_t id : { format_id::rgb888, format_id::rgbx8888, format_id::rgba4444, format_id::pal8 }) {
        PoisonedRow img;
        load(img, { id, 2, 1, { 0x11, 0x22 } });
        img.resize(5, 1, ResizeNearest);
        EXPECT_EQ(values(img), (std::vector<uint32_t> { 0x11, 0x11, 0x11, 0x22, 0x22 })) << id;
    }
}

TEST(ResizeNearest, KeyPixelsAreCopiedAndTheKeyIsKept)
{
    PoisonedRow img;
    load(img, { format_id::rgbx8888, 2, 2, { 0x00FF00FF, 1, 2, 0x00FF00FF } });
    img.set_color_key(0x00FF00FF);
    img.resize(4, 4, ResizeNearest);
    EXPECT_EQ(values(img),
        (std::vector<uint32_t> { 0x00FF00FF, 0x00FF00FF, 1, 1, 0x00FF00FF, 0x00FF00FF, 1, 1, 2, 2, 0x00FF00FF,
            0x00FF00FF, 2, 2, 0x00FF00FF, 0x00FF00FF }));
    EXPECT_TRUE(img.has_color_key());
    EXPECT_EQ(img.key_pixel(), 0x00FF00FFu);
}

TEST(Resize, SameSizeChangesNothing)
{
    Palette palette;
    const uint8_t quads[8] = { 1, 2, 3, 4, 5, 6, 7, 8 };
    palette.set_rgba(quads, 2);
    for (const PelFmt& fmt :
        { PelFmt(format_id::rgb565), PelFmt(format_id::pal8, &palette), PelFmt(format_id::raw16) }) {
        ImageRow img;
        img.create(3, 2, fmt);
        const uint8_t* before = img.pixels();
        img.resize(3, 2, ResizeAreaClamp);
        EXPECT_EQ(img.pixels(), before);
        // A zero-sized image asked for its own size is no failure either.
        ImageRow empty;
        EXPECT_NO_THROW(empty.resize(0, 0, ResizeAreaClamp));
    }
}

TEST(Resize, PaletteImagesScaleByNearestNeighbourAndKeepTheirPalette)
{
    Palette palette;
    const uint8_t quads[12] = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 };
    palette.set_rgba(quads, 3);
    for (ResizeMode mode : { ResizeNearest, ResizeAreaClamp, ResizeAreaWrapX, ResizeAreaWrapY, ResizeAreaWrapXY }) {
        PoisonedRow img;
        img.create(2, 1, PelFmt(format_id::pal8, &palette));
        {
            Image::Lock lock(img, nullptr, lock_mode::target);
            lock.pixels[0] = 0;
            lock.pixels[1] = 2;
        }
        img.set_color_key(2);
        img.resize(5, 2, mode);
        EXPECT_EQ(values(img), (std::vector<uint32_t> { 0, 0, 0, 2, 2, 0, 0, 0, 2, 2 })) << mode;
        ASSERT_NE(img.format().palette(), nullptr);
        EXPECT_NE(img.format().palette(), &palette);
        EXPECT_EQ(img.format().palette()->count(), 3u);
        EXPECT_EQ(std::memcmp(img.format().palette()->entries(), quads, 12), 0);
        EXPECT_TRUE(img.has_color_key());
        EXPECT_EQ(img.key_pixel(), 2u);
    }
}

TEST(Resize, FormatsAndModesWithoutResamplingLeaveZeroedPixels)
{
    std::mt19937 random(3);
    for (uint32_t id : { format_id::raw16, format_id::raw32 }) {
        PoisonedRow img;
        load(img, { id, 2, 2, { 1, 2, 3, 4 } });
        img.resize(5, 3, ResizeNearest);
        EXPECT_EQ(img.width(), 5);
        EXPECT_EQ(img.height(), 3);
        EXPECT_EQ(img.format().id(), id);
        EXPECT_EQ(values(img), std::vector<uint32_t>(15, 0u)) << id;
    }
    PoisonedRow img;
    load(img, random_picture(random, format_id::rgb565, 4, 4));
    img.resize(3, 3, ResizeMode(5));
    EXPECT_EQ(values(img), std::vector<uint32_t>(9, 0u));
}

TEST(Resize, SizesOutsideTheFixedPointRangeAreRefused)
{
    PoisonedRow img;
    load(img, { format_id::rgb565, 2, 2, { 1, 2, 3, 4 } });
    const uint8_t* before = img.pixels();
    for (ResizeMode mode : { ResizeNearest, ResizeAreaClamp, ResizeAreaWrapXY }) {
        for (auto [w, h] : { std::pair { 0, 2 }, { 2, 0 }, { 0, 0 }, { -1, 3 }, { 32768, 1 }, { 1, 32768 } }) {
            EXPECT_THROW(img.resize(w, h, mode), std::exception) << w << "x" << h;
            EXPECT_EQ(img.width(), 2);
            EXPECT_EQ(img.height(), 2);
            EXPECT_EQ(img.pixels(), before);
        }
    }
    EXPECT_EQ(values(img), (std::vector<uint32_t> { 1, 2, 3, 4 }));

    // An empty picture has nothing to sample from.
    PoisonedRow empty;
    empty.create(0, 3, PelFmt(format_id::rgb565));
    EXPECT_THROW(empty.resize(4, 4, ResizeNearest), std::exception);
    EXPECT_THROW(empty.resize(4, 4, ResizeAreaClamp), std::exception);

    // Beyond the range as a source.
    ImageRow wide;
    wide.create(32768, 1, PelFmt(format_id::rgb565));
    EXPECT_THROW(wide.resize(2, 1, ResizeAreaClamp), std::exception);
}

TEST(Resize, LargestSizesStillResample)
{
    for (ResizeMode mode : { ResizeNearest, ResizeAreaClamp, ResizeAreaWrapXY }) {
        PoisonedRow img;
        load(img, { format_id::rgba8888, 1, 1, { 0x80402010 } });
        img.resize(32767, 2, mode);
        EXPECT_EQ(values(img), std::vector<uint32_t>(2 * 32767, 0x80402010u)) << mode;
        img.resize(3, 1, mode);
        EXPECT_EQ(values(img), std::vector<uint32_t>(3, 0x80402010u)) << mode;
    }
}

TEST(Resize, AreaModesKeepTheKeyAndItsFootprints)
{
    const uint32_t key = 0x7C1F; // Rgbx5551 magenta
    PoisonedRow img;
    load(img, { format_id::rgbx5551, 4, 2, { key, key | 0x8000, 0x0008, key, key, key, 0x0018, key } });
    img.set_color_key(key);
    img.resize(2, 1, ResizeAreaClamp);
    EXPECT_EQ(values(img), (std::vector<uint32_t> { key, 0x0010 }));
    EXPECT_TRUE(img.has_color_key());
    EXPECT_EQ(img.key_pixel(), key);
}

TEST(Resize, WrappingBothWaysTakesAnRgba8888KeyAsOpaque)
{
    const Picture src { format_id::rgba8888, 2, 2, { 0xFFFF00FF, 0xFFFF00FF, 0xFF000010, 0xFF000010 } };
    PoisonedRow wrapped, held;
    load(wrapped, src);
    load(held, src);
    wrapped.set_color_key(0x00FF00FF);
    held.set_color_key(0x00FF00FF);
    wrapped.resize(2, 1, ResizeAreaWrapXY);
    held.resize(2, 1, ResizeAreaClamp);
    // Wrapping both ways the opaque magenta counts as key and is left out.
    EXPECT_EQ(values(wrapped), (std::vector<uint32_t> { 0xFF000010, 0xFF000010 }));
    // Held, the key has alpha 0 and the opaque magenta is a colour.
    EXPECT_EQ(values(held), (std::vector<uint32_t> { 0xFF7F0087, 0xFF7F0087 }));
}

// Every format and mode on random pictures: the resized image matches the
// lattice model (nearest neighbour: the source pixel under each centre),
// and resizing in place gives what resizing a separate copy gives, so the
// in-place resize reads only its copy, never its own new pixels.
TEST(Resize, InPlaceMatchesTheModelAndASeparateSource)
{
    std::mt19937 random(99);
    auto size = [&] { return int32_t(random() % 11) + 1; };
    for (uint32_t id = 1; id <= 9; ++id)
        for (ResizeMode mode : { ResizeNearest, ResizeAreaClamp, ResizeAreaWrapX, ResizeAreaWrapY, ResizeAreaWrapXY })
            for (bool keyed : { false, true })
                for (int run = 0; run < 6; ++run) {
                    const Picture src = random_picture(random, id, size(), size());
                    int32_t w = size(), h = size();
                    if (w == src.width && h == src.height)
                        ++w;
                    const uint32_t key = src.pixels[0];

                    PoisonedRow in_place, copy, separate;
                    load(in_place, src);
                    load(copy, src);
                    if (keyed) {
                        in_place.set_color_key(key);
                        copy.set_color_key(key);
                    }
                    in_place.resize(w, h, mode);
                    separate.resize_from(copy, w, h, mode);
                    const std::vector<uint32_t> got = values(in_place);
                    ASSERT_EQ(got, values(separate));
                    EXPECT_EQ(in_place.has_color_key(), keyed);

                    std::ostringstream where;
                    where << "format " << id << " mode " << mode << (keyed ? " keyed " : " ") << src.width << "x"
                          << src.height << " to " << w << "x" << h;
                    if (mode == ResizeNearest || id == format_id::pal8) {
                        const int32_t step_x = (src.width << 16) / w, step_y = (src.height << 16) / h;
                        for (int32_t j = 0; j < h; ++j)
                            for (int32_t i = 0; i < w; ++i)
                                ASSERT_EQ(got[size_t(j * w + i)],
                                    src.at((step_x / 2 + i * step_x) >> 16, (step_y / 2 + j * step_y) >> 16))
                                    << where.str();
                        continue;
                    }
                    const bool wrap_x = mode == ResizeAreaWrapX || mode == ResizeAreaWrapXY;
                    const bool wrap_y = mode == ResizeAreaWrapY || mode == ResizeAreaWrapXY;
                    const uint32_t model_key
                        = mode == ResizeAreaWrapXY && id == format_id::rgba8888 ? key | 0xFF000000 : key;
                    const auto expected = img_test::AreaModel(src, wrap_x, wrap_y, keyed, model_key).resample(w, h);
                    for (size_t i = 0; i < got.size(); ++i)
                        ASSERT_TRUE(img_test::matches_model(id, got[i], expected[i], model_key))
                            << where.str() << " pixel " << i;
                }
}

TEST(Resize, ResizeFromAnotherImageOfTheSameSizeCopiesIt)
{
    std::mt19937 random(5);
    for (uint32_t id : { format_id::rgb888, format_id::pal8, format_id::raw32 }) {
        ImageRow source;
        load(source, random_picture(random, id, 3, 4));
        source.set_color_key(values(source)[0]);
        PoisonedRow target;
        target.resize_from(source, 3, 4, ResizeAreaClamp);
        EXPECT_EQ(values(target), values(source)) << id;
        EXPECT_TRUE(target.has_color_key());
        EXPECT_EQ(target.key_pixel(), source.key_pixel());
    }
}

} // namespace
