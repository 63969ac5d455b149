#include "AreaModel.h"
#include "ImgTestImages.h"
#include "ImgTestModel.h"
#include "img/AreaResample.h"
#include "img/img.h"

#include <gtest/gtest.h>
#include <random>

using namespace quarn::g;
using img_test::ExpectedPixel;
using img_test::GuardedImage;
using img_test::Picture;

namespace {

enum Mode : uint32_t { clamp = 1, wrap_x = 2, wrap_y = 3, wrap_xy = 4 };

// Runs the library's routine on a source held in memory of exactly its own
// size (so that the sanitizer sees any read outside it) into a target with
// guard bytes around and between its rows.
std::vector<uint32_t> run_area(
    uint32_t mode, bool keyed, uint32_t key, const Picture& src, int32_t width, int32_t height, bool bottom_up = false)
{
    const int32_t bytes = img_test::layout(src.id).bytes;
    const int32_t pitch = src.width * bytes;
    std::vector<uint8_t> memory(size_t(pitch) * size_t(src.height));
    for (int32_t y = 0; y < src.height; ++y)
        for (int32_t x = 0; x < src.width; ++x) {
            const uint32_t v = src.at(x, y);
            const int32_t row = bottom_up ? src.height - 1 - y : y;
            std::memcpy(memory.data() + size_t(row) * size_t(pitch) + size_t(x * bytes), &v, size_t(bytes));
        }
    const uint8_t* first = bottom_up ? memory.data() + size_t(src.height - 1) * size_t(pitch) : memory.data();

    GuardedImage target(width, height, PelFmt(src.id), 5);
    AreaRoutine routine = area_routine(src.id, mode, keyed);
    EXPECT_NE(routine, nullptr);
    routine(target.image().pixels(), target.image().pitch(), width, height, first, bottom_up ? -pitch : pitch,
        src.width, src.height, key);
    EXPECT_TRUE(target.untouched_outside());
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            out.push_back(target.value(x, y));
    return out;
}

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }

TEST(AreaResample, HeldRowEnlargedStopsShortOfTheLastPixel)
{
    // [A, B] to 4: extent 1, left edges 0, 0.25, 0.5, 0.75.
    const Picture row { format_id::rgbx8888, 2, 1, { rgb(100, 0, 200), rgb(200, 40, 0) } };
    EXPECT_EQ(run_area(clamp, false, 0, row, 4, 1),
        (std::vector<uint32_t> { rgb(100, 0, 200), rgb(125, 10, 150), rgb(150, 20, 100), rgb(175, 30, 50) }));
}

TEST(AreaResample, WrappingRowEnlargedBlendsTheLastPixelWithTheFirst)
{
    // [A, B] to 4 in mode 4: extent 2, left edges 0, 0.5, 1, 1.5.
    const Picture row { format_id::rgb888, 2, 1, { rgb(100, 0, 200), rgb(200, 40, 0) } };
    const std::vector<uint32_t> expected { rgb(100, 0, 200), rgb(150, 20, 100), rgb(200, 40, 0), rgb(150, 20, 100) };
    EXPECT_EQ(run_area(wrap_xy, false, 0, row, 4, 1), expected);
    EXPECT_EQ(run_area(wrap_x, false, 0, row, 4, 1), expected);
}

TEST(AreaResample, ReducedRowAveragesFractionalFootprints)
{
    // [P0, P1, P2] to 2: mean(P0, P1), then mean(0.5 P1 + 0.5 P2, P2).
    const Picture row { format_id::rgbx8888, 3, 1, { rgb(10, 0, 0), rgb(21, 100, 4), rgb(40, 200, 8) } };
    EXPECT_EQ(run_area(clamp, false, 0, row, 2, 1), (std::vector<uint32_t> { rgb(15, 50, 2), rgb(35, 175, 7) }));
}

TEST(AreaResample, WholeRatiosAverageBlocksInEveryMode)
{
    Picture src { format_id::rgb565, 4, 4, {} };
    for (uint32_t i = 0; i < 16; ++i)
        src.pixels.push_back(i << 11 | (2 * i) << 5 | (31 - i)); // red i, green 2i, blue 31 - i
    auto block = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        const uint32_t r = (a + b + c + d) / 4;
        return r << 11 | (2 * (a + b + c + d) / 4) << 5 | (31 * 4 - a - b - c - d) / 4;
    };
    const std::vector<uint32_t> expected { block(0, 1, 4, 5), block(2, 3, 6, 7), block(8, 9, 12, 13),
        block(10, 11, 14, 15) };
    for (uint32_t mode : { clamp, wrap_x, wrap_y, wrap_xy })
        EXPECT_EQ(run_area(mode, false, 0, src, 2, 2), expected) << mode;

    // A ratio of 4 in x and 2 in y.
    EXPECT_EQ(
        run_area(clamp, false, 0, src, 1, 2), (std::vector<uint32_t> { block(0, 2, 5, 7), block(8, 10, 13, 15) }));
    // The same size copies.
    EXPECT_EQ(run_area(clamp, false, 0, src, 4, 4), src.pixels);
}

TEST(AreaResample, SameWidthKeepsColumnsOnlyOnAWrappingAxis)
{
    const Picture src { format_id::rgbx8888, 3, 1, { rgb(0, 0, 0), rgb(90, 0, 0), rgb(180, 0, 0) } };
    const std::vector<uint32_t> copied { rgb(0, 0, 0), rgb(90, 0, 0), rgb(180, 0, 0), rgb(0, 0, 0), rgb(90, 0, 0),
        rgb(180, 0, 0) };
    EXPECT_EQ(run_area(wrap_x, false, 0, src, 3, 2), copied);
    EXPECT_EQ(run_area(wrap_xy, false, 0, src, 3, 2), copied);
    // Held in x, the columns are blended over an extent of 2: the middle
    // pixel starts at 2/3 and is no longer P1.
    const std::vector<uint32_t> held = run_area(clamp, false, 0, src, 3, 2);
    EXPECT_NE(held, copied);
    EXPECT_EQ(held[0], rgb(0, 0, 0));
    EXPECT_LT(held[2], rgb(180, 0, 0));
}

TEST(AreaResample, KeyedFootprints)
{
    const uint32_t key = 0x00FF00FF;
    const uint32_t a = rgb(10, 20, 30), b = rgb(30, 40, 50);
    // 4 x 2 to 2 x 1: the left block is all key, the right one half key.
    const Picture src { format_id::rgbx8888, 4, 2, { key, key | 0x7F000000, a, key, key, key, b, key } };
    EXPECT_EQ(run_area(clamp, true, key, src, 2, 1), (std::vector<uint32_t> { key, rgb(20, 30, 40) }));
    // Without the key the key pixels are averaged like the others.
    EXPECT_NE(run_area(clamp, false, key, src, 2, 1)[1], rgb(20, 30, 40));

    // Enlarged: between a key pixel and a colour the colour stands alone.
    const Picture row { format_id::rgbx8888, 2, 1, { key, a } };
    for (uint32_t v : run_area(clamp, true, key, row, 4, 1))
        EXPECT_EQ(v, a);
}

TEST(AreaResample, OnePixelAxesReadNothingOutside)
{
    std::mt19937 random(7);
    for (uint32_t id = 1; id <= 8; ++id)
        for (uint32_t mode : { clamp, wrap_x, wrap_y, wrap_xy })
            for (auto [sw, sh] : { std::pair { 1, 1 }, { 1, 5 }, { 5, 1 }, { 1, 2 }, { 2, 1 } })
                for (auto [w, h] : { std::pair { 1, 1 }, { 3, 1 }, { 1, 4 }, { 7, 6 }, { 2, 2 } }) {
                    Picture src { id, sw, sh, {} };
                    for (int i = 0; i < sw * sh; ++i)
                        src.pixels.push_back(random() & img_test::pixel_mask(id));
                    const std::vector<uint32_t> got = run_area(mode, false, 0, src, w, h);
                    const auto expected = img_test::AreaModel(
                        src, mode == wrap_x || mode == wrap_xy, mode == wrap_y || mode == wrap_xy, false, 0)
                                              .resample(w, h);
                    for (size_t i = 0; i < got.size(); ++i)
                        ASSERT_TRUE(img_test::matches_model(id, got[i], expected[i], 0))
                            << "format " << id << " mode " << mode << " " << sw << "x" << sh << " to " << w << "x" << h
                            << " pixel " << i;
                }
    // A single pixel fills the whole target.
    const Picture dot { format_id::rgba4444, 1, 1, { 0x9ABC } };
    for (uint32_t v : run_area(clamp, false, 0, dot, 5, 3))
        EXPECT_EQ(v, 0x9ABCu);
}

TEST(AreaResample, BottomUpSourceGivesTheSamePicture)
{
    std::mt19937 random(11);
    Picture src { format_id::rgb888, 5, 7, {} };
    for (int i = 0; i < 35; ++i)
        src.pixels.push_back(random() & 0xFFFFFF);
    for (uint32_t mode : { clamp, wrap_xy })
        EXPECT_EQ(run_area(mode, false, 0, src, 3, 11, true), run_area(mode, false, 0, src, 3, 11)) << mode;
}

// Every format, mode and collector kind on random sizes, against the model.
// Keyed sources draw their pixels from a few colours, one of them the key,
// so that footprints of only key pixels and key neighbours are common.
TEST(AreaResample, MatchesTheLatticeModel)
{
    std::mt19937 random(2024);
    auto size = [&](int32_t max) { return int32_t(random() % uint32_t(max)) + 1; };
    for (uint32_t id = 1; id <= 8; ++id)
        for (uint32_t mode : { clamp, wrap_x, wrap_y, wrap_xy })
            for (bool keyed : { false, true })
                for (int run = 0; run < 25; ++run) {
                    Picture src { id, size(9), size(9), {} };
                    const uint32_t mask = img_test::pixel_mask(id);
                    const uint32_t key = random() & mask;
                    const uint32_t few[3]
                        = { uint32_t(random()) & mask, uint32_t(random()) & mask, uint32_t(random()) & mask };
                    for (int i = 0; i < src.width * src.height; ++i) {
                        uint32_t v = random() & mask;
                        if (keyed)
                            v = random() % 2 ? key ^ (random() & img_test::layout(id).x_bits) : few[random() % 3];
                        src.pixels.push_back(v);
                    }
                    // Whole ratios now and then.
                    int32_t w = size(13), h = size(13);
                    if (run % 5 == 0 && src.width % 2 == 0 && src.height % 2 == 0) {
                        w = src.width / 2;
                        h = src.height / 2;
                    }
                    const std::vector<uint32_t> got = run_area(mode, keyed, key, src, w, h);
                    const std::vector<ExpectedPixel> expected = img_test::AreaModel(
                        src, mode == wrap_x || mode == wrap_xy, mode == wrap_y || mode == wrap_xy, keyed, key)
                                                                    .resample(w, h);
                    for (size_t i = 0; i < got.size(); ++i)
                        ASSERT_TRUE(img_test::matches_model(id, got[i], expected[i], key))
                            << "format " << id << " mode " << mode << (keyed ? " keyed " : " ") << src.width << "x"
                            << src.height << " to " << w << "x" << h << " pixel " << i;
                }
}

} // namespace
