// The image library's assign and fill on a 800 x 600 picture, beside pixman
// doing the same conversion or fill (PIXMAN_OP_SRC composite, pixman_fill)
// and beside memcpy / memset of the target's bytes, the limit of any copy.
// The generic path (every format decided per pixel) is timed too, to show
// what the per-pair instantiations buy.
//
// The assign goals run side by side with pixman in one benchmark
// (BM_assign_*_vs_pixman, SideBySide.h): x_ref is pixman's time over ours.
// Their argument is the span level (2 the best the processor has, 1 SSE2,
// 0 the pixel loops alone).
#include "SideBySide.h"

#include "img/Dispatch.h"
#include "img/img.h"

#include <benchmark/benchmark.h>
#if QUARN_BENCH_PIXMAN
#include <pixman.h>
#endif

#include <cstring>
#include <random>
#include <vector>

using namespace quarn::g;

namespace {

constexpr int width = 800;
constexpr int height = 600;
constexpr int64_t pixels = int64_t(width) * height;

struct Picture {
    Picture(uint32_t id, uint32_t seed)
        : pitch(int32_t(width * bytes_per_pixel(id)))
        , memory(size_t(pitch) * height)
        , image(width, height, PelFmt(id), memory.data(), pitch)
    {
        std::mt19937 random(seed);
        for (auto& b : memory)
            b = uint8_t(random());
    }
    int32_t pitch;
    std::vector<uint8_t> memory;
    ImageRow image;
};

void count(benchmark::State& state, size_t target_bytes)
{
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * int64_t(target_bytes));
}

void assign_ours(benchmark::State& state, uint32_t target_id, uint32_t source_id, bool generic)
{
    Picture source(source_id, 1);
    Picture target(target_id, 2);
    force_generic_path(generic);
    for (auto _ : state) {
        target.image.assign(0, 0, source.image);
        benchmark::ClobberMemory();
    }
    force_generic_path(false);
    count(state, target.memory.size());
}

void copy_limit(benchmark::State& state, uint32_t target_id, uint32_t source_id)
{
    Picture source(source_id, 1);
    Picture target(target_id, 2);
    const size_t bytes = target.memory.size();
    for (auto _ : state) {
        std::memcpy(target.memory.data(), source.memory.data(), std::min(bytes, source.memory.size()));
        benchmark::ClobberMemory();
    }
    count(state, bytes);
}

#if QUARN_BENCH_PIXMAN
pixman_image_t* pixman_view(Picture& picture, pixman_format_code_t format)
{
    return pixman_image_create_bits(format, width, height, reinterpret_cast<uint32_t*>(picture.memory.data()),
        picture.pitch);
}

void assign_vs_pixman(benchmark::State& state, uint32_t target_id, pixman_format_code_t target_format,
    uint32_t source_id, pixman_format_code_t source_format)
{
    img_bench::SpanLevelScope level(state, state.range(0));
    Picture source(source_id, 1);
    Picture ours(target_id, 2);
    Picture theirs(target_id, 2);
    pixman_image_t* s = pixman_view(source, source_format);
    pixman_image_t* t = pixman_view(theirs, target_format);
    img_bench::side_by_side(
        state, pixels, [&] { ours.image.assign(0, 0, source.image); },
        [&] { pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, t, 0, 0, 0, 0, 0, 0, width, height); });
    pixman_image_unref(s);
    pixman_image_unref(t);
}
#endif

// Rgba8888 -> Rgb565
void BM_assign_rgba8888_to_rgb565(benchmark::State& state)
{
    assign_ours(state, format_id::rgb565, format_id::rgba8888, false);
}
void BM_assign_rgba8888_to_rgb565_generic(benchmark::State& state)
{
    assign_ours(state, format_id::rgb565, format_id::rgba8888, true);
}
void BM_memcpy_rgb565_bytes(benchmark::State& state)
{
    copy_limit(state, format_id::rgb565, format_id::rgba8888);
}
#if QUARN_BENCH_PIXMAN
void BM_assign_rgba8888_to_rgb565_vs_pixman(benchmark::State& state)
{
    assign_vs_pixman(state, format_id::rgb565, PIXMAN_r5g6b5, format_id::rgba8888, PIXMAN_a8r8g8b8);
}
BENCHMARK(BM_assign_rgba8888_to_rgb565_vs_pixman)->ArgName("spans")->Arg(2)->Arg(1)->Arg(0)->UseManualTime();
#endif
BENCHMARK(BM_assign_rgba8888_to_rgb565);
BENCHMARK(BM_assign_rgba8888_to_rgb565_generic);
BENCHMARK(BM_memcpy_rgb565_bytes);

// Rgb888 -> Rgbx8888
void BM_assign_rgb888_to_rgbx8888(benchmark::State& state)
{
    assign_ours(state, format_id::rgbx8888, format_id::rgb888, false);
}
void BM_assign_rgb888_to_rgbx8888_generic(benchmark::State& state)
{
    assign_ours(state, format_id::rgbx8888, format_id::rgb888, true);
}
void BM_memcpy_rgbx8888_bytes(benchmark::State& state)
{
    copy_limit(state, format_id::rgbx8888, format_id::rgb888);
}
#if QUARN_BENCH_PIXMAN
void BM_assign_rgb888_to_rgbx8888_vs_pixman(benchmark::State& state)
{
    assign_vs_pixman(state, format_id::rgbx8888, PIXMAN_x8r8g8b8, format_id::rgb888, PIXMAN_r8g8b8);
}
BENCHMARK(BM_assign_rgb888_to_rgbx8888_vs_pixman)->ArgName("spans")->Arg(2)->Arg(1)->Arg(0)->UseManualTime();
#endif
BENCHMARK(BM_assign_rgb888_to_rgbx8888);
BENCHMARK(BM_assign_rgb888_to_rgbx8888_generic);
BENCHMARK(BM_memcpy_rgbx8888_bytes);

// Rgb565 -> Rgbx8888, the widening the screen's 16-bit pictures take onto a
// 32-bit screen.
#if QUARN_BENCH_PIXMAN
void BM_assign_rgb565_to_rgbx8888_vs_pixman(benchmark::State& state)
{
    assign_vs_pixman(state, format_id::rgbx8888, PIXMAN_x8r8g8b8, format_id::rgb565, PIXMAN_r5g6b5);
}
BENCHMARK(BM_assign_rgb565_to_rgbx8888_vs_pixman)->ArgName("spans")->Arg(2)->Arg(1)->Arg(0)->UseManualTime();
#endif

// Fill of an Rgb565 picture
void fill_ours(benchmark::State& state, bool generic)
{
    Picture target(format_id::rgb565, 2);
    force_generic_path(generic);
    for (auto _ : state) {
        target.image.fill(0x1234);
        benchmark::ClobberMemory();
    }
    force_generic_path(false);
    count(state, target.memory.size());
}
void BM_fill_rgb565(benchmark::State& state)
{
    fill_ours(state, false);
}
void BM_fill_rgb565_generic(benchmark::State& state)
{
    fill_ours(state, true);
}
void BM_memset_rgb565_bytes(benchmark::State& state)
{
    Picture target(format_id::rgb565, 2);
    for (auto _ : state) {
        std::memset(target.memory.data(), 0x34, target.memory.size());
        benchmark::ClobberMemory();
    }
    count(state, target.memory.size());
}
BENCHMARK(BM_fill_rgb565);
BENCHMARK(BM_fill_rgb565_generic);
#if QUARN_BENCH_PIXMAN
void BM_pixman_fill_r5g6b5(benchmark::State& state)
{
    Picture target(format_id::rgb565, 2);
    for (auto _ : state) {
        pixman_fill(reinterpret_cast<uint32_t*>(target.memory.data()), target.pitch / 4, 16, 0, 0, width, height,
            0x1234);
        benchmark::ClobberMemory();
    }
    count(state, target.memory.size());
}
BENCHMARK(BM_pixman_fill_r5g6b5);
#endif
BENCHMARK(BM_memset_rgb565_bytes);

} // namespace
