// A keyed 8-bit sprite sheet (discs on a transparent field, about half of
// the pels transparent) drawn onto an 800x600 R5G6B5 screen three ways: as
// an RLE8 image from its coded rows, as a plain keyed 8-bit image through
// the blitter's palette rows, and by SDL2's RLE colour-key blit of the same
// picture (an 8-bit surface with SDL_SetColorKey and SDL_RLEACCEL).
//
// SDL2 runs first; our two draws then print their speed against it as the
// counter x_sdl2 (its processor time per frame over ours, from the fastest
// repetition of each: above 1 is faster). Run with --benchmark_format=csv for
// a table to keep beside the machine's name.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/blit/blit.h"

namespace {

constexpr int kW = 800, kH = 600, kCell = 50;
constexpr uint8_t kKey = 0;

const std::vector<uint8_t>& Picture() {
    static const std::vector<uint8_t> pels = [] {
        std::vector<uint8_t> p(size_t(kW) * kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const int dx = x % kCell - kCell / 2, dy = y % kCell - kCell / 2;
                p[size_t(y) * kW + size_t(x)] = dx * dx + dy * dy < 20 * 20 ? uint8_t(1 + (x + y) % 255) : kKey;
            }
        return p;
    }();
    return pels;
}

// The fastest processor time per frame seen for a benchmark.
double& Best(const std::string& name) {
    static std::map<std::string, double> best;
    return best.try_emplace(name, 1e30).first->second;
}

// Runs the frame loop, timing it in processor time, and keeps the best.
template <class Frame>
void Frames(benchmark::State& state, const std::string& name, Frame frame) {
    const std::clock_t start = std::clock();
    for (auto _ : state) {
        frame();
        benchmark::ClobberMemory();
    }
    const double per = double(std::clock() - start) / CLOCKS_PER_SEC / double(state.iterations());
    double& best = Best(name);
    if (per < best) best = per;
    state.SetItemsProcessed(state.iterations() * kW * kH);
}

uint32_t Colour(uint32_t i) { return (i * 0x9E3779B1u) & 0xFFFFFF; }

std::unique_ptr<palCTy> Palette() {
    std::vector<uint32_t> colours(256);
    for (uint32_t i = 0; i < 256; ++i) colours[i] = Colour(i);
    auto pal = std::make_unique<palCTy>();
    pal->Set(colours.data(), 256);
    return pal;
}

template <class Img>
void Fill(Img& img, palCTy* pal) {
    pelFmtCTy f(pel_FMT_P8, pal);
    img.SetSize(kW, kH, &f);
    (void)img.SetColorKeyPel(kKey);
    (void)img.Lock(nullptr, img_LOCK_WRITE);
    for (int y = 0; y < kH; ++y)
        std::memcpy(static_cast<uint8_t*>(img.lockPtr) + size_t(y) * size_t(img.pitch), Picture().data() + size_t(y) * kW,
                    kW);
    img.Unlock();
}

template <class Img>
void DrawLoop(benchmark::State& state, const std::string& name) {
    gfxInit();
    auto pal = Palette();
    Img src;
    Fill(src, pal.get());
    imgRowCTy screen;
    const pelFmtCTy fmt(pel_FMT_R5G6B5);
    screen.SetSize(kW, kH, &fmt);
    screen.Fill(0x4210, nullptr);
    const imgDrawPrmCTy prm;
    // The whole picture: the RLE8 image's stored box (its opaque part), the
    // plain image's every pel.
    Frames(state, name, [&] { src.DrawEx(&screen, 0, 0, nullptr, prm); });
    state.counters["x_sdl2"] = Best("sdl2") / Best(name);
}

void BM_Rle8Draw(benchmark::State& state) { DrawLoop<imgRle8CTy>(state, "rle8"); }
void BM_BlitKeyedDraw(benchmark::State& state) { DrawLoop<imgRowCTy>(state, "keyed"); }

void BM_Sdl2RleColourKey(benchmark::State& state) {
    SDL_Surface* src = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 8, SDL_PIXELFORMAT_INDEX8);
    SDL_Color colours[256];
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t c = Colour(i);
        colours[i] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255};
    }
    SDL_SetPaletteColors(src->format->palette, colours, 0, 256);
    for (int y = 0; y < kH; ++y)
        std::memcpy(static_cast<uint8_t*>(src->pixels) + size_t(y) * size_t(src->pitch),
                    Picture().data() + size_t(y) * kW, kW);
    SDL_SetColorKey(src, SDL_TRUE | SDL_RLEACCEL, kKey);
    SDL_Surface* dst = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 16, SDL_PIXELFORMAT_RGB565);
    Frames(state, "sdl2", [&] { SDL_BlitSurface(src, nullptr, dst, nullptr); });
    SDL_FreeSurface(src);
    SDL_FreeSurface(dst);
}

}  // namespace

BENCHMARK(BM_Sdl2RleColourKey)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rle8Draw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlitKeyedDraw)->Unit(benchmark::kMicrosecond);
