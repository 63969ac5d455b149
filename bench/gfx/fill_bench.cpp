// imgCTy::Fill of a whole 800 x 600 row image in each pel size, beside the
// standard library filling the same bytes: std::fill_n over the pel type
// for 8-, 16- and 32-bit pels, and for 24-bit pels (which no standard call
// fills) a plain loop storing three bytes per pel.
//
// Run with --benchmark_format=csv for a table to keep beside the machine's
// name.
#include "engine/gfx/gfx.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int width = 800;
constexpr int height = 600;

void set_counters(benchmark::State& state, size_t bytes)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.counters["pels/s"] = benchmark::Counter(double(width) * height, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Fill(benchmark::State& state)
{
    const auto format = static_cast<uint32_t>(state.range(0));
    imgRowCTy img;
    pelFmtCTy fmt(format);
    img.SetSize(width, height, &fmt);
    uint32_t pel = 0x12345678;
    for (auto _ : state) {
        img.Fill(pel++, nullptr);
        benchmark::DoNotOptimize(img.pels);
        benchmark::ClobberMemory();
    }
    set_counters(state, img.BodySize());
}

template <class Pel>
void BM_StdFill(benchmark::State& state)
{
    std::vector<Pel> pels(size_t(width) * height);
    uint32_t pel = 0x12345678;
    for (auto _ : state) {
        std::fill_n(pels.data(), pels.size(), static_cast<Pel>(pel++));
        benchmark::DoNotOptimize(pels.data());
        benchmark::ClobberMemory();
    }
    set_counters(state, pels.size() * sizeof(Pel));
}

void BM_PlainFill24(benchmark::State& state)
{
    std::vector<uint8_t> pels(size_t(width) * height * 3);
    uint32_t pel = 0x12345678;
    for (auto _ : state) {
        const auto b = uint8_t(pel), g = uint8_t(pel >> 8), r = uint8_t(pel >> 16);
        for (size_t i = 0; i < pels.size(); i += 3) {
            pels[i] = b;
            pels[i + 1] = g;
            pels[i + 2] = r;
        }
        ++pel;
        benchmark::DoNotOptimize(pels.data());
        benchmark::ClobberMemory();
    }
    set_counters(state, pels.size());
}

} // namespace

BENCHMARK(BM_Fill)->Arg(pel_FMT_P8)->ArgName("P8");
BENCHMARK(BM_StdFill<uint8_t>)->Name("std::fill_n/u8");
BENCHMARK(BM_Fill)->Arg(pel_FMT_R5G6B5)->ArgName("R5G6B5");
BENCHMARK(BM_StdFill<uint16_t>)->Name("std::fill_n/u16");
BENCHMARK(BM_Fill)->Arg(pel_FMT_R8G8B8)->ArgName("R8G8B8");
BENCHMARK(BM_PlainFill24)->Name("plain_loop/24bit");
BENCHMARK(BM_Fill)->Arg(pel_FMT_X8R8G8B8)->ArgName("X8R8G8B8");
BENCHMARK(BM_StdFill<uint32_t>)->Name("std::fill_n/u32");
