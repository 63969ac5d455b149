// The row loops of the blitter on an 800x600 frame, each timed side by side
// with an outside reference doing the same work on the same bytes: memcpy
// for the plain copy, pixman's SRC for the format conversions, pixman's OVER
// for the opacity blend and SDL2's colour-key blit (no RLE) for the keyed
// copy. Every iteration times ours and the reference back to back; the
// counters give the best frame of each in GPix/s and "ratio", the
// reference's best time over ours (above 1: ours is faster). Run with
// --benchmark_repetitions=9 --benchmark_report_aggregates_only=true on a
// shared machine and read the medians.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "engine/blit/blit.h"

namespace {

constexpr int32_t kW = 800, kH = 600;
constexpr uint16_t kKey565 = 0xF81F;

struct Img {
    std::vector<uint8_t> buf;
    imgRowCTy img;
    explicit Img(uint32_t fmt, uint8_t fill = 0x5A) : buf(size_t(kW) * kH * pelBytes[fmt], fill) {
        img.pelFmt.format = fmt;
        img.width = kW;
        img.height = kH;
        img.pitch = kW;
        img.lockPtr = buf.data();
    }
    ~Img() { img.lockPtr = nullptr; }
};

// Random pels; with `keyed` about half of them the key, either pel by pel
// (noise) or in runs of 1 to 32 pels (sprite-like edges).
void Randomise(Img& im, bool keyed, bool runs) {
    std::mt19937 rng(7);
    const size_t pel = pelBytes[im.img.pelFmt.format];
    bool inKey = false;
    uint32_t left = 0;
    for (size_t i = 0; i + pel <= im.buf.size(); i += pel) {
        uint32_t v = rng();
        if (keyed) {
            if (!runs) inKey = rng() & 1;
            else if (left-- == 0) { inKey = !inKey; left = rng() % 32; }
            if (inKey) v = kKey565;
            else if (uint16_t(v) == kKey565) v ^= 1;
        }
        std::memcpy(&im.buf[i], &v, pel);
    }
}

using Clock = std::chrono::steady_clock;

// Times ours and the reference back to back each iteration and reports the
// best frame of each.
template <class Ours, class Ref>
void SideBySide(benchmark::State& state, Ours&& ours, Ref&& ref) {
    double bestOurs = 1e30, bestRef = 1e30;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        ours();
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        ref();
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        bestOurs = std::min(bestOurs, std::chrono::duration<double>(t1 - t0).count());
        bestRef = std::min(bestRef, std::chrono::duration<double>(t2 - t1).count());
    }
    const double pels = double(kW) * kH;
    state.counters["ours_GPix/s"] = pels / bestOurs * 1e-9;
    state.counters["ref_GPix/s"] = pels / bestRef * 1e-9;
    state.counters["ratio"] = bestRef / bestOurs;
}

struct Draw {
    Img src, dst;
    rectTy rect{0, 0, kW, kH};
    bltArgsTy a;
    uint32_t op, flags;
    Draw(uint32_t op_, uint32_t flags_, uint32_t srcFmt, uint32_t dstFmt) : src(srcFmt), dst(dstFmt), op(op_), flags(flags_) {
        a.src = &src.img;
        a.dst = &dst.img;
        a.rect = &rect;
        a.value = 128;
        a.key = kKey565;
    }
    void operator()() { bltRun(op, flags, a); }
};

pixman_format_code_t PixmanFmt(uint32_t fmt) { return fmt == pel_FMT_R5G6B5 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8; }

void CopyVsMemcpy(benchmark::State& state) {
    Draw ours(blt_OP_COPY, 0, pel_FMT_R5G6B5, pel_FMT_R5G6B5);
    Randomise(ours.src, false, false);
    std::vector<uint8_t> ref(ours.dst.buf.size());
    SideBySide(state, ours, [&] { std::memcpy(ref.data(), ours.src.buf.data(), ref.size()); });
}

// pixman widens R5G6B5 by replicating the top bits into the low ones where
// we shift in zeros; the work per pel is the same.
void CopyVsPixmanSrc(benchmark::State& state, uint32_t srcFmt, uint32_t dstFmt) {
    Draw ours(blt_OP_COPY, 0, srcFmt, dstFmt);
    Randomise(ours.src, false, false);
    std::vector<uint8_t> target(ours.dst.buf.size());
    pixman_image_t* s = pixman_image_create_bits(PixmanFmt(srcFmt), kW, kH, reinterpret_cast<uint32_t*>(ours.src.buf.data()),
                                                 kW * int(pelBytes[srcFmt]));
    pixman_image_t* d = pixman_image_create_bits(PixmanFmt(dstFmt), kW, kH, reinterpret_cast<uint32_t*>(target.data()),
                                                 kW * int(pelBytes[dstFmt]));
    SideBySide(state, ours, [&] { pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, kW, kH); });
    pixman_image_unref(s);
    pixman_image_unref(d);
}

// Our opacity blend of an opaque X8R8G8B8 frame at 128/256 against pixman's
// OVER of the same pels at the same opacity: either the x8r8g8b8 frame
// through a solid mask, or an a8r8g8b8 frame whose pels carry the opacity
// (premultiplied), so that no pel is a fully transparent or opaque shortcut.
void AlphaVsPixmanOver(benchmark::State& state, bool solidMask) {
    Draw ours(blt_OP_ALPHA, 0, pel_FMT_X8R8G8B8, pel_FMT_X8R8G8B8);
    Randomise(ours.src, false, false);
    Randomise(ours.dst, false, false);
    std::vector<uint32_t> srcPels(size_t(kW) * kH), target(size_t(kW) * kH);
    std::memcpy(target.data(), ours.dst.buf.data(), target.size() * 4);
    std::memcpy(srcPels.data(), ours.src.buf.data(), srcPels.size() * 4);
    if (!solidMask)
        for (uint32_t& p : srcPels) {
            uint32_t v = 0x80000000u;
            for (int c = 0; c < 24; c += 8) v |= (((p >> c) & 255) * 128 / 255) << c;
            p = v;
        }
    pixman_image_t* s = pixman_image_create_bits(solidMask ? PIXMAN_x8r8g8b8 : PIXMAN_a8r8g8b8, kW, kH, srcPels.data(), kW * 4);
    pixman_image_t* d = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, target.data(), kW * 4);
    const pixman_color_t half{0, 0, 0, 0x8000};
    pixman_image_t* m = solidMask ? pixman_image_create_solid_fill(&half) : nullptr;
    SideBySide(state, ours, [&] { pixman_image_composite32(PIXMAN_OP_OVER, s, m, d, 0, 0, 0, 0, 0, 0, kW, kH); });
    if (m) pixman_image_unref(m);
    pixman_image_unref(s);
    pixman_image_unref(d);
}

// R5G6B5 onto R5G6B5 with about half the source pels the colour key, against
// SDL_BlitSurface of the same pels with SDL_SetColorKey and RLE off.
void KeyVsSdl2(benchmark::State& state, bool runs) {
    Draw ours(blt_OP_COPY, blt_KEY, pel_FMT_R5G6B5, pel_FMT_R5G6B5);
    Randomise(ours.src, true, runs);
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(ours.src.buf.data(), kW, kH, 16, kW * 2, SDL_PIXELFORMAT_RGB565);
    SDL_Surface* d = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 16, SDL_PIXELFORMAT_RGB565);
    SDL_SetColorKey(s, SDL_TRUE, kKey565);
    SDL_SetSurfaceRLE(s, 0);
    SideBySide(state, ours, [&] { SDL_BlitSurface(s, nullptr, d, nullptr); });
    SDL_FreeSurface(s);
    SDL_FreeSurface(d);
}

// The row loops alone, and the untuned generic path for scale.
void Run(benchmark::State& state, uint32_t op, uint32_t srcFmt, uint32_t dstFmt, bool generic) {
    Draw ours(op, 0, srcFmt, dstFmt);
    bltForceGeneric(generic);
    for (auto _ : state) {
        ours();
        benchmark::ClobberMemory();
    }
    bltForceGeneric(false);
    state.SetItemsProcessed(int64_t(state.iterations()) * kW * kH);
}

}  // namespace

BENCHMARK(CopyVsMemcpy)->Name("copy_r5g6b5_to_r5g6b5_vs_memcpy");
BENCHMARK_CAPTURE(CopyVsPixmanSrc, r5g6b5_to_x8r8g8b8, pel_FMT_R5G6B5, pel_FMT_X8R8G8B8)->Name("copy_r5g6b5_to_x8r8g8b8_vs_pixman_src");
BENCHMARK_CAPTURE(CopyVsPixmanSrc, x8r8g8b8_to_r5g6b5, pel_FMT_X8R8G8B8, pel_FMT_R5G6B5)->Name("copy_x8r8g8b8_to_r5g6b5_vs_pixman_src");
BENCHMARK_CAPTURE(KeyVsSdl2, noise, false)->Name("keyed_copy_r5g6b5_half_noise_vs_sdl2");
BENCHMARK_CAPTURE(KeyVsSdl2, runs, true)->Name("keyed_copy_r5g6b5_half_runs_vs_sdl2");
BENCHMARK_CAPTURE(AlphaVsPixmanOver, solid, true)->Name("alpha_x8r8g8b8_to_x8r8g8b8_vs_pixman_over_solid_mask");
BENCHMARK_CAPTURE(AlphaVsPixmanOver, argb, false)->Name("alpha_x8r8g8b8_to_x8r8g8b8_vs_pixman_over_a8r8g8b8");
BENCHMARK_CAPTURE(Run, alpha_r5g6b5_to_r5g6b5, blt_OP_ALPHA, pel_FMT_R5G6B5, pel_FMT_R5G6B5, false);
BENCHMARK_CAPTURE(Run, alpha_r5g6b5_to_x8r8g8b8, blt_OP_ALPHA, pel_FMT_R5G6B5, pel_FMT_X8R8G8B8, false);
BENCHMARK_CAPTURE(Run, alpha_x8r8g8b8_to_r5g6b5, blt_OP_ALPHA, pel_FMT_X8R8G8B8, pel_FMT_R5G6B5, false);
BENCHMARK_CAPTURE(Run, add_r5g6b5_to_r5g6b5, blt_OP_ADD, pel_FMT_R5G6B5, pel_FMT_R5G6B5, false);
BENCHMARK_CAPTURE(Run, add_x8r8g8b8_to_x8r8g8b8, blt_OP_ADD, pel_FMT_X8R8G8B8, pel_FMT_X8R8G8B8, false);
BENCHMARK_CAPTURE(Run, generic_alpha_x8r8g8b8_to_x8r8g8b8, blt_OP_ALPHA, pel_FMT_X8R8G8B8, pel_FMT_X8R8G8B8, true);
