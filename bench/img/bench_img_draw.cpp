// Drawing an 800 x 600 Rgba8888 picture by its own alpha onto Rgb565 and
// Rgbx8888 targets, beside pixman's OVER composite of the same bytes
// (a8r8g8b8 onto r5g6b5 and x8r8g8b8). pixman reads its source as
// premultiplied and we do not, so the two results differ; the work per
// pixel (read both, weigh by alpha, write back) is the same.
//
// Two sources: "sprite", a disc that is opaque inside, clear outside and
// soft at its rim, as pictures usually are; and "noise", every pixel with a
// random alpha, the worst case for the per-pixel branches.
//
// Beside it, the constant-alpha blend at K = 128 of an opaque Rgbx8888
// picture onto the same targets, against pixman's OVER of x8r8g8b8 through
// a solid mask of alpha 128.
//
// Ours and pixman's run side by side in one benchmark (SideBySide.h):
// x_ref is pixman's time over ours. The last argument is the span level
// (2 the best the processor has, 1 SSE2, 0 the pixel loops alone).
//
// Run with --benchmark_format=csv for a table to keep beside the machine's
// name.
#include "SideBySide.h"

#include "img/img.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int width = 800;
constexpr int height = 600;

enum class SourceKind { sprite, noise };

std::vector<uint32_t> make_source(SourceKind kind)
{
    std::vector<uint32_t> pixels(size_t(width) * height);
    std::mt19937 random(42);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t alpha;
            if (kind == SourceKind::noise) {
                alpha = random() & 0xFF;
            } else {
                const double d = std::hypot(x - width / 2.0, y - height / 2.0);
                alpha = uint32_t(std::clamp((280.0 - d) * 8.0, 0.0, 255.0));
            }
            pixels[size_t(y) * width + x] = alpha << 24 | (random() & 0x00FFFFFF);
        }
    return pixels;
}

struct Target {
    uint32_t id;
    pixman_format_code_t pixman_format;
    int bytes;
};

const Target targets[] = {
    { quarn::g::format_id::rgb565, PIXMAN_r5g6b5, 2 },
    { quarn::g::format_id::rgbx8888, PIXMAN_x8r8g8b8, 4 },
};

std::vector<uint32_t> make_target_words(const Target& t)
{
    // Whole 32-bit words, so the memory suits pixman's alignment.
    std::vector<uint32_t> words(size_t(width) * height * size_t(t.bytes) / 4);
    std::mt19937 random(7);
    for (auto& w : words)
        w = random();
    return words;
}

// Arguments: target index, source kind, span level.
void BM_draw_vs_pixman(benchmark::State& state)
{
    img_bench::SpanLevelScope level(state, state.range(2));
    const Target& t = targets[state.range(0)];
    auto source_pixels = make_source(SourceKind(state.range(1)));
    auto ours_words = make_target_words(t);
    auto pixman_words = ours_words;
    quarn::g::ImageRow source(width, height, quarn::g::PelFmt(quarn::g::format_id::rgba8888),
        reinterpret_cast<uint8_t*>(source_pixels.data()), width * 4);
    quarn::g::ImageRow target(width, height, quarn::g::PelFmt(t.id), reinterpret_cast<uint8_t*>(ours_words.data()),
        width * t.bytes);
    pixman_image_t* pixman_source
        = pixman_image_create_bits(PIXMAN_a8r8g8b8, width, height, source_pixels.data(), width * 4);
    pixman_image_t* pixman_target
        = pixman_image_create_bits(t.pixman_format, width, height, pixman_words.data(), width * t.bytes);
    const quarn::g::Rect whole { 0, 0, width, height };
    img_bench::side_by_side(
        state, int64_t(width) * height,
        [&] {
            quarn::g::Op* op = target.context().new_draw();
            target.apply_binary(whole, source, &whole, static_cast<quarn::g::BOp&>(*op));
            quarn::g::ImageContext::destroy(op);
        },
        [&] {
            pixman_image_composite32(
                PIXMAN_OP_OVER, pixman_source, nullptr, pixman_target, 0, 0, 0, 0, 0, 0, width, height);
        });
    pixman_image_unref(pixman_source);
    pixman_image_unref(pixman_target);
}

// Arguments: target index, span level.
void BM_alpha_k_vs_pixman(benchmark::State& state)
{
    img_bench::SpanLevelScope level(state, state.range(1));
    const Target& t = targets[state.range(0)];
    auto source_pixels = make_source(SourceKind::noise);
    auto ours_words = make_target_words(t);
    auto pixman_words = ours_words;
    quarn::g::ImageRow source(width, height, quarn::g::PelFmt(quarn::g::format_id::rgbx8888),
        reinterpret_cast<uint8_t*>(source_pixels.data()), width * 4);
    quarn::g::ImageRow target(width, height, quarn::g::PelFmt(t.id), reinterpret_cast<uint8_t*>(ours_words.data()),
        width * t.bytes);
    pixman_image_t* pixman_source
        = pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, source_pixels.data(), width * 4);
    pixman_image_t* pixman_target
        = pixman_image_create_bits(t.pixman_format, width, height, pixman_words.data(), width * t.bytes);
    const pixman_color_t half { 0, 0, 0, 0x8080 };
    pixman_image_t* mask = pixman_image_create_solid_fill(&half);
    const quarn::g::Rect whole { 0, 0, width, height };
    img_bench::side_by_side(
        state, int64_t(width) * height,
        [&] {
            quarn::g::Op* op = target.context().new_alpha_k(128);
            target.apply_binary(whole, source, &whole, static_cast<quarn::g::BOp&>(*op));
            quarn::g::ImageContext::destroy(op);
        },
        [&] {
            pixman_image_composite32(
                PIXMAN_OP_OVER, pixman_source, mask, pixman_target, 0, 0, 0, 0, 0, 0, width, height);
        });
    pixman_image_unref(mask);
    pixman_image_unref(pixman_source);
    pixman_image_unref(pixman_target);
}

void draw_arguments(benchmark::internal::Benchmark* b)
{
    b->ArgNames({ "target", "source", "spans" });
    for (int target = 0; target < 2; ++target)
        for (int source = 0; source < 2; ++source)
            for (int level : { 2, 1, 0 })
                b->Args({ target, source, level });
}

void alpha_k_arguments(benchmark::internal::Benchmark* b)
{
    b->ArgNames({ "target", "spans" });
    for (int target = 0; target < 2; ++target)
        for (int level : { 2, 1, 0 })
            b->Args({ target, level });
}

} // namespace

BENCHMARK(BM_draw_vs_pixman)->Apply(draw_arguments)->UseManualTime();
BENCHMARK(BM_alpha_k_vs_pixman)->Apply(alpha_k_arguments)->UseManualTime();
