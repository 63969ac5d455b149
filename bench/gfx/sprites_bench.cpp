// An 800 x 600 R5G6B5 frame of a full-screen background and 20 moving
// 32 x 32 colour-keyed sprites, three ways: our sprite list redrawing only
// its dirty cells, our sprite list redrawing the whole screen, and SDL2's
// software blitter composing the whole frame (SDL_BlitSurface with a colour
// key), the outside reference. Then one 1 x 1 sprite draw beside one 1 x 1
// SDL_BlitSurface.
//
// Run with --benchmark_format=csv for a table to keep beside the machine's
// name.
#include "engine/blit/blit.h"
#include "engine/gfx/gfx.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <vector>

namespace {

constexpr int kW = 800, kH = 600, kSprites = 20, kSide = 32;
constexpr uint16_t kKey = 0xF81F;

// Where sprite i is in frame f: each crosses the screen on its own line.
SDL_Rect place(int i, int frame)
{
    const int x = (i * 97 + frame * (2 + i % 5)) % (kW + kSide) - kSide;
    const int y = (i * 53 + frame * (1 + i % 3)) % (kH + kSide) - kSide;
    return SDL_Rect { x, y, kSide, kSide };
}

uint16_t sprite_pel(int i, int x, int y)
{
    const int dx = x - kSide / 2, dy = y - kSide / 2;
    return dx * dx + dy * dy > 15 * 15 ? kKey : uint16_t(i * 2311 + x * 37 + y);
}

uint16_t background_pel(int x, int y) { return uint16_t(x * 5 + y * 3); }

struct OurScene {
    imgRowCTy back, bg;
    std::array<imgRowCTy, kSprites> images;
    std::array<sprImgCTy, kSprites + 1> sprites;
    sprsCTy list;

    OurScene()
    {
        gfxInit();
        const pelFmtCTy fmt(pel_FMT_R5G6B5);
        back.SetSize(kW, kH, &fmt);
        bg.SetSize(kW, kH, &fmt);
        auto* p = reinterpret_cast<uint16_t*>(bg.pels);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                p[y * kW + x] = background_pel(x, y);
        list.SetScrSize(kW, kH);
        sprsCTy::Add(&list, &sprites[kSprites]);
        sprites[kSprites].SetImage(&bg);
        sprites[kSprites].Show();
        for (int i = 0; i < kSprites; ++i) {
            images[i].SetSize(kSide, kSide, &fmt);
            auto* s = reinterpret_cast<uint16_t*>(images[i].pels);
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x)
                    s[y * kSide + x] = sprite_pel(i, x, y);
            images[i].SetColorKeyPel(kKey);
            sprsCTy::Add(&list, &sprites[i]);
            sprites[i].SetImage(&images[i]);
            sprites[i].SetZ(i);
            sprites[i].Show();
        }
        list.Draw(&back);
    }
    void Move(int frame)
    {
        for (int i = 0; i < kSprites; ++i) {
            const SDL_Rect r = place(i, frame);
            sprites[i].SetPos(r.x, r.y);
        }
    }
};

void BM_SpriteListDirtyFrame(benchmark::State& state)
{
    OurScene scene;
    int frame = 0;
    for (auto _ : state) {
        scene.Move(++frame);
        scene.list.Draw(&scene.back);
        benchmark::ClobberMemory();
    }
}

void BM_SpriteListFullFrame(benchmark::State& state)
{
    OurScene scene;
    int frame = 0;
    for (auto _ : state) {
        scene.Move(++frame);
        scene.list.DrawRect(&scene.back, 0, 0, nullptr);
        benchmark::ClobberMemory();
    }
}

using SurfacePtr = std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)>;

SurfacePtr surface(int w, int h) { return SurfacePtr(SDL_CreateRGBSurfaceWithFormat(0, w, h, 16, SDL_PIXELFORMAT_RGB565), SDL_FreeSurface); }

void BM_Sdl2FullFrame(benchmark::State& state)
{
    SurfacePtr back = surface(kW, kH), bg = surface(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            static_cast<uint16_t*>(bg->pixels)[y * bg->pitch / 2 + x] = background_pel(x, y);
    std::vector<SurfacePtr> sprites;
    for (int i = 0; i < kSprites; ++i) {
        sprites.push_back(surface(kSide, kSide));
        SDL_Surface* s = sprites.back().get();
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                static_cast<uint16_t*>(s->pixels)[y * s->pitch / 2 + x] = sprite_pel(i, x, y);
        SDL_SetColorKey(s, SDL_TRUE, kKey);
    }
    int frame = 0;
    for (auto _ : state) {
        ++frame;
        SDL_BlitSurface(bg.get(), nullptr, back.get(), nullptr);
        // Back to front, as the list draws.
        for (int i = kSprites - 1; i >= 0; --i) {
            SDL_Rect r = place(i, frame);
            SDL_BlitSurface(sprites[size_t(i)].get(), nullptr, back.get(), &r);
        }
        benchmark::ClobberMemory();
    }
}

void BM_Sprite1x1Draw(benchmark::State& state)
{
    OurScene scene;
    imgRowCTy one;
    const pelFmtCTy fmt(pel_FMT_R5G6B5);
    one.SetSize(1, 1, &fmt);
    one.Fill(0x1234, nullptr);
    sprImgCTy s;
    s.SetImage(&one);
    const rectTy clip { 0, 0, 1, 1 };
    int frame = 0;
    for (auto _ : state) {
        ++frame;
        s.SetDrawTarget(&scene.back, frame % kW, 7, &clip);
        s.Draw();
        benchmark::ClobberMemory();
    }
}

void BM_Sdl21x1Blit(benchmark::State& state)
{
    SurfacePtr back = surface(kW, kH), one = surface(1, 1);
    int frame = 0;
    for (auto _ : state) {
        ++frame;
        SDL_Rect r { frame % kW, 7, 1, 1 };
        SDL_BlitSurface(one.get(), nullptr, back.get(), &r);
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(BM_SpriteListDirtyFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpriteListFullFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sdl2FullFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sprite1x1Draw);
BENCHMARK(BM_Sdl21x1Blit);
