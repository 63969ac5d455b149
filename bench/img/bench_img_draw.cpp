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
// Run with --benchmark_format=csv for a table to keep beside the machine's
// name.
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

void set_counters(benchmark::State& state)
{
    state.SetItemsProcessed(int64_t(state.iterations()) * width * height);
    state.counters["Mpixel/s"] = benchmark::Counter(double(width) * height * double(state.iterations()) / 1e6,
        benchmark::Counter::kIsRate);
}

// Arguments: target index, source kind.
void BM_quarn_draw(benchmark::State& state)
{
    const Target& t = targets[state.range(0)];
    auto source_pixels = make_source(SourceKind(state.range(1)));
    auto target_words = make_target_words(t);
    quarn::g::ImageRow source(width, height, quarn::g::PelFmt(quarn::g::format_id::rgba8888),
        reinterpret_cast<uint8_t*>(source_pixels.data()), width * 4);
    quarn::g::ImageRow target(width, height, quarn::g::PelFmt(t.id), reinterpret_cast<uint8_t*>(target_words.data()),
        width * t.bytes);
    const quarn::g::Rect whole { 0, 0, width, height };
    for (auto _ : state) {
        quarn::g::Op* op = target.context().new_draw();
        target.apply_binary(whole, source, &whole, static_cast<quarn::g::BOp&>(*op));
        quarn::g::ImageContext::destroy(op);
        benchmark::DoNotOptimize(target_words.data());
        benchmark::ClobberMemory();
    }
    set_counters(state);
}

void BM_pixman_over(benchmark::State& state)
{
    const Target& t = targets[state.range(0)];
    auto source_pixels = make_source(SourceKind(state.range(1)));
    auto target_words = make_target_words(t);
    pixman_image_t* source
        = pixman_image_create_bits(PIXMAN_a8r8g8b8, width, height, source_pixels.data(), width * 4);
    pixman_image_t* target
        = pixman_image_create_bits(t.pixman_format, width, height, target_words.data(), width * t.bytes);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, source, nullptr, target, 0, 0, 0, 0, 0, 0, width, height);
        benchmark::DoNotOptimize(target_words.data());
        benchmark::ClobberMemory();
    }
    pixman_image_unref(source);
    pixman_image_unref(target);
    set_counters(state);
}

// Argument: target index.
void BM_quarn_alpha_k(benchmark::State& state)
{
    const Target& t = targets[state.range(0)];
    auto source_pixels = make_source(SourceKind::noise);
    auto target_words = make_target_words(t);
    quarn::g::ImageRow source(width, height, quarn::g::PelFmt(quarn::g::format_id::rgbx8888),
        reinterpret_cast<uint8_t*>(source_pixels.data()), width * 4);
    quarn::g::ImageRow target(width, height, quarn::g::PelFmt(t.id), reinterpret_cast<uint8_t*>(target_words.data()),
        width * t.bytes);
    const quarn::g::Rect whole { 0, 0, width, height };
    for (auto _ : state) {
        quarn::g::Op* op = target.context().new_alpha_k(128);
        target.apply_binary(whole, source, &whole, static_cast<quarn::g::BOp&>(*op));
        quarn::g::ImageContext::destroy(op);
        benchmark::DoNotOptimize(target_words.data());
        benchmark::ClobberMemory();
    }
    set_counters(state);
}

void BM_pixman_over_solid_mask(benchmark::State& state)
{
    const Target& t = targets[state.range(0)];
    auto source_pixels = make_source(SourceKind::noise);
    auto target_words = make_target_words(t);
    pixman_image_t* source
        = pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, source_pixels.data(), width * 4);
    pixman_image_t* target
        = pixman_image_create_bits(t.pixman_format, width, height, target_words.data(), width * t.bytes);
    const pixman_color_t half { 0, 0, 0, 0x8080 };
    pixman_image_t* mask = pixman_image_create_solid_fill(&half);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, source, mask, target, 0, 0, 0, 0, 0, 0, width, height);
        benchmark::DoNotOptimize(target_words.data());
        benchmark::ClobberMemory();
    }
    pixman_image_unref(mask);
    pixman_image_unref(source);
    pixman_image_unref(target);
    set_counters(state);
}

void arguments(benchmark::internal::Benchmark* b)
{
    b->ArgNames({ "target", "source" });
    for (int target = 0; target < 2; ++target)
        for (int source = 0; source < 2; ++source)
            b->Args({ target, source });
}

} // namespace

BENCHMARK(BM_quarn_draw)->Apply(arguments);
BENCHMARK(BM_pixman_over)->Apply(arguments);
BENCHMARK(BM_quarn_alpha_k)->ArgName("target")->DenseRange(0, 1);
BENCHMARK(BM_pixman_over_solid_mask)->ArgName("target")->DenseRange(0, 1);
