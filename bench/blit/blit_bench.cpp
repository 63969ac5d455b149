// Copies and an alpha blend of an 800x600 image through the row loops, and
// memcpy of the same bytes as the outside reference.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/blit/blit.h"

namespace {

constexpr int32_t kW = 800, kH = 600;

struct Img {
    std::vector<uint8_t> buf;
    imgRowCTy img;
    explicit Img(uint32_t fmt) : buf(size_t(kW) * kH * pelBytes[fmt], 0x5A) {
        img.pelFmt.format = fmt;
        img.width = kW;
        img.height = kH;
        img.pitch = kW;
        img.lockPtr = buf.data();
    }
    ~Img() { img.lockPtr = nullptr; }
};

void Run(benchmark::State& state, uint32_t op, uint32_t srcFmt, uint32_t dstFmt, bool generic) {
    Img src(srcFmt), dst(dstFmt);
    const rectTy rect{0, 0, kW, kH};
    bltArgsTy a;
    a.src = &src.img;
    a.dst = &dst.img;
    a.rect = &rect;
    a.value = 128;
    bltForceGeneric(generic);
    for (auto _ : state) {
        bltRun(op, 0, a);
        benchmark::DoNotOptimize(dst.buf.data());
    }
    bltForceGeneric(false);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(dst.buf.size()));
}

void Memcpy(benchmark::State& state, uint32_t fmt) {
    Img src(fmt), dst(fmt);
    for (auto _ : state) {
        std::memcpy(dst.buf.data(), src.buf.data(), dst.buf.size());
        benchmark::DoNotOptimize(dst.buf.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(dst.buf.size()));
}

}  // namespace

BENCHMARK_CAPTURE(Memcpy, r5g6b5, pel_FMT_R5G6B5);
BENCHMARK_CAPTURE(Run, copy_r5g6b5_to_r5g6b5, blt_OP_COPY, pel_FMT_R5G6B5, pel_FMT_R5G6B5, false);
BENCHMARK_CAPTURE(Memcpy, x8r8g8b8, pel_FMT_X8R8G8B8);
BENCHMARK_CAPTURE(Run, copy_x8r8g8b8_to_x8r8g8b8, blt_OP_COPY, pel_FMT_X8R8G8B8, pel_FMT_X8R8G8B8, false);
BENCHMARK_CAPTURE(Run, copy_r5g6b5_to_x8r8g8b8, blt_OP_COPY, pel_FMT_R5G6B5, pel_FMT_X8R8G8B8, false);
BENCHMARK_CAPTURE(Run, copy_x8r8g8b8_to_r5g6b5, blt_OP_COPY, pel_FMT_X8R8G8B8, pel_FMT_R5G6B5, false);
BENCHMARK_CAPTURE(Run, alpha_r5g6b5_to_x8r8g8b8, blt_OP_ALPHA, pel_FMT_R5G6B5, pel_FMT_X8R8G8B8, false);
BENCHMARK_CAPTURE(Run, alpha_x8r8g8b8_to_r5g6b5, blt_OP_ALPHA, pel_FMT_X8R8G8B8, pel_FMT_R5G6B5, false);
BENCHMARK_CAPTURE(Run, alpha_x8r8g8b8_to_x8r8g8b8, blt_OP_ALPHA, pel_FMT_X8R8G8B8, pel_FMT_X8R8G8B8, false);
BENCHMARK_CAPTURE(Run, generic_alpha_x8r8g8b8_to_x8r8g8b8, blt_OP_ALPHA, pel_FMT_X8R8G8B8, pel_FMT_X8R8G8B8, true);
