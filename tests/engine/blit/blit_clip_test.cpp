// Draws reaching outside either picture, for every draw family: a draw must
// come out as the union of its one-pel draws (each wholly inside both
// pictures or wholly dropped), and read and write nothing outside either
// picture. Row images are views into a frame of guard pels, so that a read
// past the source shows in the destination and a write past the
// destination in its frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "engine/blit/blit.h"

namespace {

constexpr int32_t kGuard = 4, kW = 16, kH = 12;

// A w x h picture inside kGuard pels of 0xA5 bytes on every side.
struct Framed {
    imgRowCTy frame, view;
    Framed(uint32_t fmt, int32_t w, int32_t h, uint32_t seed, palCTy* pal = nullptr) {
        const pelFmtCTy f(fmt, pal);
        frame.SetSize(w + 2 * kGuard, h + 2 * kGuard, &f);
        std::memset(frame.pels, 0xA5, frame.BodySize());
        const size_t b = pelSize(fmt);
        view.pelFmt = f;
        view.width = w;
        view.height = h;
        view.rowPitch = frame.rowPitch;
        view.pels = frame.pels + (size_t(kGuard) * frame.rowPitch + kGuard) * b;
        std::mt19937 rng(seed);
        for (int32_t y = 0; y < h; ++y)
            for (size_t i = 0; i < size_t(w) * b; ++i)
                view.pels[size_t(y) * frame.rowPitch * b + i] = uint8_t(rng() % 251);
    }
    std::vector<uint8_t> Bytes() const { return {frame.pels, frame.pels + frame.BodySize()}; }
};

using DrawFn = std::function<void(imgCTy* dst, int32_t x, int32_t y, const rectTy& r)>;

struct Family {
    const char* name;
    uint32_t dstFmt;
    float scale;  // source pels to rectangle units
    DrawFn draw;
};

struct Place {
    const char* name;
    int32_t srcW, srcH;
    rectTy r;  // in source pels
    int32_t x, y;
    bool shows = true;
};

}  // namespace

TEST(BlitClip, DrawsReachingOutsideEitherPictureAreTheUnionOfTheirOnePelDraws) {
    gfxInit();
    const Place places[] = {
        {"source wider", 40, 6, {0, 0, 40, 6}, 0, 3},
        {"source taller", 6, 30, {0, 0, 6, 30}, 5, 0},
        {"source larger", 40, 30, {0, 0, 40, 30}, -3, -2},
        {"partly outside, top left", 10, 8, {0, 0, 10, 8}, -4, -3},
        {"partly outside, bottom right", 10, 8, {0, 0, 10, 8}, 12, 9},
        {"rectangle past the source", 10, 8, {6, 5, 9, 9}, 0, 0},
        {"rectangle before the source", 10, 8, {-3, -2, 6, 5}, 4, 4},
        {"huge rectangle", 10, 8, {-5, -5, INT32_MAX, INT32_MAX}, 2, 1},
        {"place at the i32 edge", 10, 8, {5, 0, 5, 8}, INT32_MAX - 2, 0, false},
    };
    palCTy pal;
    std::vector<uint32_t> colours(200);
    for (uint32_t i = 0; i < colours.size(); ++i) colours[i] = i * 0x010203u;
    pal.Set(colours.data(), uint32_t(colours.size()));
    for (const Place& p : places) {
        // The sources of this place, one per kind of image.
        Framed plain32(pel_FMT_X8R8G8B8, p.srcW, p.srcH, 1), plain24(pel_FMT_R8G8B8, p.srcW, p.srcH, 2),
            plain16(pel_FMT_R5G6B5, p.srcW, p.srcH, 3), index(pel_FMT_P8, p.srcW, p.srcH, 4, &pal),
            map(pel_FMT_P8, p.srcW, p.srcH, 5);
        Framed keyedSrc(pel_FMT_X8R8G8B8, p.srcW, p.srcH, 6);
        for (int32_t i = 0; i < p.srcW * p.srcH; i += 3)
            std::memcpy(keyedSrc.view.pels + (size_t(i / p.srcW) * keyedSrc.view.rowPitch + size_t(i % p.srcW)) * 4,
                        keyedSrc.view.pels, 4);
        keyedSrc.view.keyFlag = 1;
        std::memcpy(&keyedSrc.view.keyColor, keyedSrc.view.pels, 4);
        std::vector<uint32_t> argb(size_t(p.srcW) * size_t(p.srcH));
        for (size_t i = 0; i < argb.size(); ++i)
            argb[i] = (i % 5 ? 0xFF000000u : 0x80000000u) | (uint32_t(i) * 0x0A0B0Cu);
        imgAlpha alpha;
        alpha.SetSize(p.srcW, p.srcH, nullptr);
        (void)alpha.Lock(nullptr, img_LOCK_WRITE);
        std::memcpy(alpha.lockPtr, argb.data(), argb.size() * 4);
        alpha.Unlock();
        imgRle8CTy rle;
        const pelFmtCTy p8(pel_FMT_P8, &pal);
        rle.SetSize(p.srcW, p.srcH, &p8);
        (void)rle.Lock(nullptr, 0);
        for (int32_t i = 0; i < p.srcW * p.srcH; ++i) static_cast<uint8_t*>(rle.lockPtr)[i] = uint8_t(1 + i % 150);
        rle.Unlock();
        auto ex = [](imgCTy* src, uint32_t op, float scale, imgCTy* alphaMap = nullptr, uint32_t scaled = 0) {
            return [=](imgCTy* dst, int32_t x, int32_t y, const rectTy& r) {
                imgDrawPrmCTy prm;
                prm.op = op;
                prm.scaled = scaled;
                prm.alpha = 100;
                prm.scaleX = scale;
                prm.scaleY = scale * 0.75f;
                prm.alphaMap = alphaMap;
                src->DrawEx(dst, x, y, &r, prm);
            };
        };
        const Family families[] = {
            {"copy", pel_FMT_R5G6B5, 1, ex(&plain16.view, img_OP_COPY, 1)},
            {"colour key", pel_FMT_X8R8G8B8, 1, ex(&keyedSrc.view, img_OP_COPY, 1)},
            {"alpha", pel_FMT_R5G6B5, 1, ex(&plain24.view, img_OP_ALPHA, 1)},
            {"alpha map", pel_FMT_X8R8G8B8, 1, ex(&plain32.view, img_OP_ALPHAMAP, 1, &map.view)},
            {"add", pel_FMT_R8G8B8, 1, ex(&plain16.view, img_OP_ADD, 1)},
            {"fade add", pel_FMT_X8R8G8B8, 1, ex(&plain32.view, img_OP_FADEADD, 1)},
            {"palette", pel_FMT_X8R8G8B8, 1, ex(&index.view, img_OP_COPY, 1)},
            {"index copy", pel_FMT_P8, 1, ex(&index.view, img_OP_COPY, 1)},
            {"scaled copy", pel_FMT_X8R8G8B8, 2, ex(&plain32.view, img_OP_SCALED, 2)},
            {"scaled alpha, shrunk", pel_FMT_R5G6B5, 0.5f, ex(&plain16.view, img_OP_ALPHA, 0.5f, nullptr, 1)},
            {"scaled index copy", pel_FMT_P8, 2, ex(&index.view, img_OP_SCALED, 2)},
            {"alpha image", pel_FMT_X8R8G8B8, 1, ex(&alpha, img_OP_BLEND, 1)},
            {"alpha image, scaled", pel_FMT_R5G6B5, 2, ex(&alpha, img_OP_SCALED, 2)},
            {"RLE8", pel_FMT_R5G6B5, 1,
             [&](imgCTy* d, int32_t x, int32_t y, const rectTy& r) { rle.Draw(d, x, y, &r); }},
            {"RLE8 add", pel_FMT_X8R8G8B8, 1, ex(&rle, img_OP_ADD, 1)},
            {"RLE8 mirrored", pel_FMT_R8G8B8, 1,
             [&](imgCTy* d, int32_t x, int32_t y, const rectTy& r) { rle.DrawMirrorH(d, x, y, &r); }},
            {"RLE8 scaled", pel_FMT_X8R8G8B8, 2, ex(&rle, img_OP_SCALED, 2)},
        };
        for (const Family& f : families) {
            SCOPED_TRACE(testing::Message() << f.name << ", " << p.name);
            auto units = [&](int32_t v) {
                return int32_t(std::clamp<int64_t>(int64_t(double(v) * f.scale), INT_MIN, INT_MAX));
            };
            const rectTy r{units(p.r.x), units(p.r.y), units(p.r.w), units(p.r.h)};
            palCTy* dstPal = f.dstFmt == pel_FMT_P8 ? &pal : nullptr;
            Framed got(f.dstFmt, kW, kH, 7, dstPal), want(f.dstFmt, kW, kH, 7, dstPal);
            const std::vector<uint8_t> before = got.Bytes();
            f.draw(&got.view, p.x, p.y, r);
            // Every unit of the rectangle that may land on the frame, drawn
            // on its own: it lands at x + its column, like the whole draw.
            for (int64_t dy = -kGuard; dy < kH + kGuard; ++dy)
                for (int64_t dx = -kGuard; dx < kW + kGuard; ++dx) {
                    const int64_t u = dx - p.x, v = dy - p.y;
                    if (u >= r.x && u < int64_t(r.x) + r.w && v >= r.y && v < int64_t(r.y) + r.h)
                        f.draw(&want.view, p.x, p.y, {int32_t(u), int32_t(v), 1, 1});
                }
            const std::vector<uint8_t> g = got.Bytes(), w = want.Bytes();
            EXPECT_TRUE(g == w) << "the draw differs from its one-pel draws";
            EXPECT_EQ(g != before, p.shows) << "the draw shows";
            const size_t b = pelSize(f.dstFmt), pitch = got.frame.rowPitch * b;
            size_t past = 0;
            for (size_t i = 0; i < g.size(); ++i) {
                const size_t row = i / pitch, col = i % pitch / b;
                const bool inside = row >= size_t(kGuard) && row < size_t(kGuard + kH) && col >= size_t(kGuard) &&
                                    col < size_t(kGuard + kW);
                past += !inside && g[i] != 0xA5;
            }
            EXPECT_EQ(past, 0u) << "bytes written past the destination";
        }
    }
}
