// An 800x600 alpha image drawn with imgAlpha::Draw (Blend) onto an R5G6B5
// and an X8R8G8B8 screen, beside pixman's OVER of the same pels (a8r8g8b8,
// premultiplied as pixman wants them) and SDL2's RLE-accelerated alpha blit
// (an ARGB8888 surface with SDL_SetSurfaceRLE) onto the same screens. The
// picture is a field of anti-aliased discs: transparent around them, a rim of
// translucent pels and opaque insides, as a sprite sheet is.
//
// The references run first; each of our draws then prints its speed against
// each reference on the same screen format, as counters x_pixman and x_sdl2
// (a reference's processor time per frame over ours: above 1 is faster),
// from the fastest repetition of each. Run with --benchmark_format=csv for a
// table to keep beside the machine's name.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/blit/blit.h"
// Internal, as in the tests: the span level, to set beside each other the
// plain walk and the SSE2 and AVX2 span walks.
#include "engine/blit/blit_span.h"

namespace {

constexpr int kW = 800, kH = 600, kCell = 50;

// The fastest processor time per frame seen for a (benchmark, screen format).
double& Best(const std::string& name, int64_t fmt) {
    static std::map<std::pair<std::string, int64_t>, double> best;
    auto [it, fresh] = best.try_emplace({name, fmt}, 1e30);
    (void)fresh;
    return it->second;
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
    double& best = Best(name, state.range(0));
    if (per < best) best = per;
    state.SetItemsProcessed(state.iterations() * kW * kH);
}

// A8R8G8B8, straight alpha.
const std::vector<uint32_t>& Picture() {
    static const std::vector<uint32_t> pels = [] {
        std::vector<uint32_t> p(size_t(kW) * kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const double dx = x % kCell - kCell / 2.0 + 0.5, dy = y % kCell - kCell / 2.0 + 0.5;
                const double edge = 18.0 - std::sqrt(dx * dx + dy * dy);  // > 0 inside
                const uint32_t a = edge >= 1.0 ? 255 : edge <= -1.0 ? 0 : uint32_t((edge + 1.0) * 127.5);
                const uint32_t colour = uint32_t(x * 255 / kW) << 16 | uint32_t(y * 255 / kH) << 8 | 0x60;
                p[size_t(y) * kW + size_t(x)] = a << 24 | colour;
            }
        return p;
    }();
    return pels;
}

std::unique_ptr<imgAlpha> AlphaImage(uint32_t stored) {
    auto img = std::make_unique<imgAlpha>();
    img->colorFmt = stored;
    img->SetSize(kW, kH, nullptr);
    (void)img->Lock(nullptr, img_LOCK_WRITE);
    std::memcpy(img->lockPtr, Picture().data(), Picture().size() * 4);
    img->Unlock();
    return img;
}

// Our draw at span level range(1) (0 the plain walk, 1 SSE2, 2 AVX2), with
// stored colours in the screen's own precision (range(2) 0) or as R8G8B8
// (1, as the data tool writes them).
void BM_AlphaDraw(benchmark::State& state) {
    const uint32_t dstFmt = uint32_t(state.range(0));
    if (bltSetSpanLevel(int(state.range(1))) != state.range(1)) {
        state.SkipWithError("span level not available on this processor");
        return;
    }
    gfxInit();
    auto src = AlphaImage(state.range(2) ? pel_FMT_R8G8B8 : dstFmt);
    imgRowCTy screen;
    const pelFmtCTy fmt(dstFmt);
    screen.SetSize(kW, kH, &fmt);
    screen.Fill(0x4210, nullptr);
    const rectTy all{0, 0, kW, kH};
    const std::string name = "ours" + std::to_string(state.range(1)) + "/" + std::to_string(state.range(2));
    Frames(state, name, [&] { src->Draw(&screen, 0, 0, &all); });
    bltSetSpanLevel(bltMaxSpanLevel());
    const double ours = Best(name, state.range(0));
    state.counters["x_pixman"] = Best("pixman", state.range(0)) / ours;
    state.counters["x_sdl2"] = Best("sdl2", state.range(0)) / ours;
}

void BM_PixmanOver(benchmark::State& state) {
    const bool r565 = state.range(0) == pel_FMT_R5G6B5;
    std::vector<uint32_t> premultiplied(Picture().size());
    for (size_t i = 0; i < premultiplied.size(); ++i) {
        const uint32_t p = Picture()[i], a = p >> 24;
        uint32_t v = a << 24;
        for (int c = 0; c < 24; c += 8) v |= (((p >> c) & 255) * a / 255) << c;
        premultiplied[i] = v;
    }
    std::vector<uint32_t> target(size_t(kW) * kH, 0x42104210u);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, premultiplied.data(), kW * 4);
    pixman_image_t* dst = pixman_image_create_bits(r565 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8, kW, kH, target.data(),
                                                   kW * (r565 ? 2 : 4));
    Frames(state, "pixman",
           [&] { pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH); });
    pixman_image_unref(src);
    pixman_image_unref(dst);
}

void BM_Sdl2RleBlit(benchmark::State& state) {
    const bool r565 = state.range(0) == pel_FMT_R5G6B5;
    SDL_Surface* src = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 32, SDL_PIXELFORMAT_ARGB8888);
    for (int y = 0; y < kH; ++y)
        std::memcpy(static_cast<uint8_t*>(src->pixels) + size_t(y) * size_t(src->pitch),
                    Picture().data() + size_t(y) * kW, size_t(kW) * 4);
    SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_BLEND);
    SDL_SetSurfaceRLE(src, 1);
    SDL_Surface* dst = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, r565 ? 16 : 32,
                                                      r565 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888);
    Frames(state, "sdl2", [&] { SDL_BlitSurface(src, nullptr, dst, nullptr); });
    SDL_FreeSurface(src);
    SDL_FreeSurface(dst);
}

}  // namespace

// The first argument is the screen's pel format: 4 R5G6B5, 2 X8R8G8B8. Ours last,
// so that its ratios see both references.
BENCHMARK(BM_PixmanOver)->Arg(pel_FMT_R5G6B5)->Arg(pel_FMT_X8R8G8B8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sdl2RleBlit)->Arg(pel_FMT_R5G6B5)->Arg(pel_FMT_X8R8G8B8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AlphaDraw)
    ->ArgsProduct({{pel_FMT_R5G6B5, pel_FMT_X8R8G8B8}, {0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
