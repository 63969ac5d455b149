// Every row span (Spans.h), at every level this processor runs, against the
// generic kernel: random pictures of every width from 1 to 67 (each
// alignment of the vector blocks and each tail length), a few heights and
// offsets, sources whose alpha comes in runs of clear, opaque and mixed
// pixels (so whole blocks are skipped, copied and mixed).
#include "ImgTestImages.h"
#include "ImgTestOps.h"

#include "img/Dispatch.h"
#include "img/Spans.h"
#include "img/img.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

using namespace quarn::g;
using img_test::GuardedImage;

namespace {

enum class Family { assign, draw, alpha_k };

struct FastPath {
    Family family;
    uint32_t target;
    uint32_t source;
    uint32_t k; // the weight of alpha_k
    Span SpanSet::* span;
};

constexpr uint32_t rgb565 = format_id::rgb565, rgbx = format_id::rgbx8888, rgba = format_id::rgba8888;

const FastPath fast_paths[] = {
    { Family::assign, rgb565, rgba, 0, &SpanSet::convert_8888_to_565 },
    { Family::assign, rgb565, rgbx, 0, &SpanSet::convert_8888_to_565 },
    { Family::assign, rgbx, format_id::rgb888, 0, &SpanSet::copy_888_to_8888 },
    { Family::assign, rgbx, rgb565, 0, &SpanSet::widen_565_to_x888 },
    { Family::assign, rgba, rgb565, 0, &SpanSet::widen_565_to_8888 },
    { Family::draw, rgb565, rgba, 0, &SpanSet::draw_8888_onto_565 },
    { Family::draw, rgbx, rgba, 0, &SpanSet::draw_8888_onto_8888 },
    { Family::draw, rgba, rgba, 0, &SpanSet::draw_8888_onto_8888 },
    { Family::alpha_k, rgb565, rgba, 77, &SpanSet::mix_8888_onto_565 },
    { Family::alpha_k, rgb565, rgbx, 256, &SpanSet::mix_8888_onto_565 },
    { Family::alpha_k, rgb565, rgbx, 255, &SpanSet::convert_8888_to_565 },
    { Family::alpha_k, rgbx, rgbx, 77, &SpanSet::mix_8888_onto_8888 },
    { Family::alpha_k, rgbx, rgba, 1, &SpanSet::mix_8888_onto_8888 },
    { Family::alpha_k, rgba, rgbx, 256, &SpanSet::mix_8888_onto_8888 },
    { Family::alpha_k, rgba, rgba, 200, &SpanSet::mix_8888_onto_8888 },
    { Family::alpha_k, rgbx, rgb565, 77, &SpanSet::mix_565_onto_8888 },
    { Family::alpha_k, rgba, rgb565, 256, &SpanSet::mix_565_onto_8888 },
    { Family::alpha_k, rgba, rgb565, 255, &SpanSet::widen_565_to_8888 },
    { Family::alpha_k, rgb565, rgb565, 77, &SpanSet::approach_565 },
    { Family::alpha_k, rgb565, rgb565, 255, &SpanSet::approach_565 },
};

void run(const FastPath& path, Image& target, int32_t x, int32_t y, const Image& source, const Rect* rect)
{
    if (path.family == Family::assign)
        target.assign(x, y, source, rect);
    else if (path.family == Family::draw)
        img_test::draw(target, x, y, source, rect);
    else
        img_test::blend(path.k, target, x, y, source, rect);
}

// Random colours; the alpha byte of 32-bit pixels in runs of 0, 255 and
// random values.
void randomise_in_runs(GuardedImage& image, std::mt19937& random)
{
    image.randomise(random);
    if (image.image().format().bytes_per_pixel() != 4)
        return;
    int32_t left = 0;
    uint32_t kind = 0;
    for (int32_t y = 0; y < image.height(); ++y)
        for (int32_t x = 0; x < image.width(); ++x) {
            if (left-- == 0) {
                left = int32_t(random() % 24);
                kind = random() % 3;
            }
            const uint32_t v = image.value(x, y) & 0x00FFFFFF;
            const uint32_t a = kind == 0 ? 0 : kind == 1 ? 255 : random() & 0xFF;
            image.set_value(x, y, v | a << 24);
        }
}

std::string level_name(SpanLevel level)
{
    return level == SpanLevel::avx2 ? "avx2" : level == SpanLevel::sse2 ? "sse2" : "none";
}

TEST(Spans, EveryFastPathMatchesTheGenericPathAtEveryWidth)
{
    std::mt19937 random(67);
    const SpanLevel best = best_span_level();
    int compared = 0;
    for (SpanLevel level : { SpanLevel::none, SpanLevel::sse2, SpanLevel::avx2 }) {
        if (level > best)
            continue;
        set_span_level(level);
        ASSERT_EQ(span_level(), level);
        for (const FastPath& path : fast_paths) {
            // Every level above none has every span.
            EXPECT_EQ(spans().*path.span != nullptr, level != SpanLevel::none);
            for (int32_t width = 1; width <= 67; ++width) {
                for (int32_t height : { 1, 3 }) {
                    SCOPED_TRACE(level_name(level) + " family " + std::to_string(int(path.family)) + " "
                        + std::to_string(path.source) + " onto " + std::to_string(path.target) + " k "
                        + std::to_string(path.k) + " width " + std::to_string(width) + " height "
                        + std::to_string(height));
                    // The offsets move both rows against the vector blocks.
                    const int32_t sx = width % 5, tx = (width + height) % 4;
                    GuardedImage source(width + sx, height, PelFmt(path.source), 1, height == 3);
                    randomise_in_runs(source, random);
                    GuardedImage fast(width + tx + 1, height + 1, PelFmt(path.target), 3);
                    fast.randomise(random);
                    GuardedImage slow(width + tx + 1, height + 1, PelFmt(path.target), 3);
                    slow.image().assign(0, 0, fast.image());
                    const Rect rect { sx, 0, sx + width, height };
                    run(path, fast.image(), tx, 1, source.image(), &rect);
                    force_generic_path(true);
                    run(path, slow.image(), tx, 1, source.image(), &rect);
                    force_generic_path(false);
                    ASSERT_EQ(fast.pixel_bytes(), slow.pixel_bytes());
                    ASSERT_TRUE(fast.untouched_outside());
                    ++compared;
                }
            }
        }
        // A picture blended onto itself one pixel further on reads, pixel
        // by pixel, what it has just written; spans do not run there.
        GuardedImage fast(40, 2, PelFmt(rgbx), 0);
        fast.randomise(random);
        GuardedImage slow(40, 2, PelFmt(rgbx), 0);
        slow.image().assign(0, 0, fast.image());
        const Rect rect { 0, 0, 39, 2 };
        img_test::blend(100, fast.image(), 1, 0, fast.image(), &rect);
        force_generic_path(true);
        img_test::blend(100, slow.image(), 1, 0, slow.image(), &rect);
        force_generic_path(false);
        EXPECT_EQ(fast.pixel_bytes(), slow.pixel_bytes()) << level_name(level);
    }
    set_span_level(best);
    EXPECT_EQ(compared, int(std::size(fast_paths)) * 67 * 2 * (int(best) + 1));
}

} // namespace
