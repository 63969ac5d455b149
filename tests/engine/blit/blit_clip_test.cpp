// Draws reaching outside either picture, for every draw family: a draw must
// come out as the union of its one-pel draws (each wholly inside both
// pictures or wholly dropped), and read and write nothing outside either
// picture. Row images are views into a frame of guard pels, so that a read
// past the source shows in the destination and a write past the
// destination in its frame. The cases one-pel draws cannot tell apart have
// their own tables, each against a reference drawn another way: draws onto
// their own pels, auxiliary images of every kind, and scaled draws at the
// end of their picture.
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

// A palette of `size` colours, the i-th being i * step.
void SetRamp(palCTy& pal, uint32_t size, uint32_t step) {
    std::vector<uint32_t> colours(size);
    for (uint32_t i = 0; i < size; ++i) colours[i] = i * step;
    pal.Set(colours.data(), size);
}

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
        {"rectangle and place at i32's far ends", 10, 8, {INT32_MIN, 0, 4, 3}, INT32_MAX, 0, false},
    };
    palCTy pal;
    SetRamp(pal, 200, 0x010203u);
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
        // Keyed out in its first column and row: its box starts at (1, 1).
        imgRle8CTy boxed;
        boxed.SetSize(p.srcW, p.srcH, &p8);
        (void)boxed.SetColorKeyPel(0);
        (void)boxed.Lock(nullptr, 0);
        for (int32_t i = 0; i < p.srcW * p.srcH; ++i)
            static_cast<uint8_t*>(boxed.lockPtr)[i] = i % p.srcW && i >= p.srcW ? uint8_t(1 + i % 150) : 0;
        boxed.Unlock();
        auto exMirror = [](imgRle8CTy* src, uint32_t op, float scale) {
            return [=](imgCTy* dst, int32_t x, int32_t y, const rectTy& r) {
                imgDrawPrmCTy prm;
                prm.op = op;
                prm.scaleX = scale;
                prm.scaleY = scale * 0.75f;
                src->DrawExMirrorH(dst, x, y, &r, prm);
            };
        };
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
            {"RLE8 mirrored, with parameters", pel_FMT_R5G6B5, 1, exMirror(&rle, img_OP_SUBTRACT, 1)},
            {"RLE8 scaled, mirrored", pel_FMT_X8R8G8B8, 2, exMirror(&rle, img_OP_SCALED, 2)},
            {"RLE8 boxed", pel_FMT_R8G8B8, 1, ex(&boxed, img_OP_COPY, 1)},
            {"RLE8 boxed, scaled", pel_FMT_X8R8G8B8, 1.5f, ex(&boxed, img_OP_SCALED, 1.5f)},
            {"RLE8 boxed, mirrored", pel_FMT_R8G8B8, 1,
             [&](imgCTy* d, int32_t x, int32_t y, const rectTy& r) { boxed.DrawMirrorH(d, x, y, &r); }},
            {"RLE8 boxed, scaled, mirrored", pel_FMT_R5G6B5, 1.5f, exMirror(&boxed, img_OP_SCALED, 1.5f)},
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

namespace {

// w x h pels of `fmt`, pel i of bytes from rng; a P8 image takes `pal`.
void Randomise(imgRowCTy* img, uint32_t fmt, int32_t w, int32_t h, uint32_t seed, palCTy* pal = nullptr) {
    const pelFmtCTy f(fmt, pal);
    img->SetSize(w, h, &f);
    std::mt19937 rng(seed);
    for (size_t i = 0; i < img->BodySize(); ++i) img->pels[i] = uint8_t(rng() % 200 + 20);
}

std::vector<uint8_t> Pels(imgRowCTy& img) { return {img.pels, img.pels + img.BodySize()}; }

}  // namespace

// A draw onto its own picture (or onto pels it shares) draws the picture as
// it was: as the same draw from a copy taken before.
TEST(BlitClip, DrawsOntoTheirOwnPelsDrawThePictureAsItWas) {
    gfxInit();
    palCTy pal;
    SetRamp(pal, 256, 0x010305u);
    struct Row {
        const char* name;
        uint32_t fmt;
        int32_t w, h;
        rectTy r;
        int32_t x, y;
        uint32_t op, scaled;
        float scale;
        bool keyed = false;
    };
    const Row rows[] = {
        {"copy, overlapping to the right", pel_FMT_X8R8G8B8, 4, 1, {0, 0, 4, 1}, 2, 0, img_OP_COPY, 0, 1},
        {"copy, overlapping up and left", pel_FMT_R5G6B5, 9, 7, {2, 2, 6, 5}, -1, -1, img_OP_COPY, 0, 1},
        {"colour key, overlapping down", pel_FMT_R8G8B8, 8, 8, {0, 0, 8, 6}, 0, 2, img_OP_COPY, 0, 1, true},
        {"alpha, overlapping to the right", pel_FMT_X8R8G8B8, 8, 3, {0, 0, 8, 3}, 3, 0, img_OP_ALPHA, 0, 1},
        {"scaled copy of a quarter onto it", pel_FMT_X8R8G8B8, 16, 16, {8, 8, 8, 8}, 0, 0, img_OP_SCALED, 0, 1},
        {"scaled up, over the top left", pel_FMT_X8R8G8B8, 16, 16, {0, 0, 16, 16}, 0, 0, img_OP_SCALED, 0, 2},
        {"scaled alpha, shrunk", pel_FMT_R5G6B5, 12, 10, {0, 0, 6, 5}, 3, 2, img_OP_ALPHA, 1, 0.5f},
        {"index copy, overlapping", pel_FMT_P8, 7, 5, {0, 0, 7, 5}, 1, 1, img_OP_COPY, 0, 1},
        {"scaled index copy", pel_FMT_P8, 8, 8, {2, 2, 8, 8}, 0, 0, img_OP_SCALED, 0, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        imgRowCTy img, was, want;
        palCTy* p = row.fmt == pel_FMT_P8 ? &pal : nullptr;
        Randomise(&img, row.fmt, row.w, row.h, 11, p);
        Randomise(&was, row.fmt, row.w, row.h, 11, p);
        Randomise(&want, row.fmt, row.w, row.h, 11, p);
        if (row.keyed) {
            uint32_t key = 0;
            std::memcpy(&key, img.pels, pelSize(row.fmt));
            for (imgRowCTy* i : {&img, &was}) (void)i->SetColorKeyPel(key);
        }
        imgDrawPrmCTy prm;
        prm.op = row.op;
        prm.scaled = row.scaled;
        prm.alpha = 90;
        prm.scaleX = prm.scaleY = row.scale;
        img.DrawEx(&img, row.x, row.y, &row.r, prm);
        was.DrawEx(&want, row.x, row.y, &row.r, prm);
        EXPECT_TRUE(Pels(img) == Pels(want));
    }
    // Two row images over one block of pels: a view drawn onto the block.
    Framed block(pel_FMT_R5G6B5, kW, kH, 12), copy(pel_FMT_R5G6B5, kW, kH, 12);
    imgRowCTy was;
    Randomise(&was, pel_FMT_R5G6B5, kW, kH, 0);
    (void)copy.view.Lock(nullptr, 1);
    for (int32_t y = 0; y < kH; ++y)
        std::memcpy(was.pels + size_t(y) * kW * 2, copy.view.pels + size_t(y) * copy.view.rowPitch * 2, kW * 2);
    copy.view.Unlock();
    block.view.Draw(&block.frame, 6, 7, nullptr);
    was.Draw(&copy.frame, 6, 7, nullptr);
    EXPECT_TRUE(block.Bytes() == copy.Bytes()) << "a view drawn onto its own block";
    // A destination that is also the draw's source depth image or alpha map
    // draws as with a copy of it taken before, read at the source rectangle
    // as any auxiliary image; an alpha map a byte a pel, whatever its
    // format (an RLE8 source reads none).
    struct AuxRow {
        const char* name;
        bool rle;  // an RLE8 source, else a row image
        bool map;  // the destination is the alpha map, else the depth image
        uint32_t op;
        rectTy r;
        int32_t x, y;
        bool boxed = false;  // the RLE8 picture keyed out in its first row and column
    };
    const AuxRow auxRows[] = {
        {"a destination that is its depth image", false, false, img_OP_COPY, {0, 0, 3, 3}, 5, 4},
        {"a destination that is its depth image, off its corner", false, false, img_OP_COPY, {1, 2, 3, 2}, 4, 5},
        {"a destination that is its alpha map, off its corner", false, true, img_OP_ALPHAMAP, {1, 1, 3, 3}, 4, 3},
        {"RLE8, a destination that is its depth image", true, false, img_OP_COPY, {1, 2, 3, 2}, 4, 5},
        {"RLE8, a destination that is its alpha map", true, true, img_OP_COPY, {1, 1, 3, 3}, 4, 3},
        {"RLE8 boxed at (1, 1), a destination that is its depth image", true, false, img_OP_COPY, {2, 1, 2, 3}, 4, 5,
         true},
    };
    imgRle8CTy rle;
    const pelFmtCTy p8(pel_FMT_P8, &pal);
    rle.SetSize(4, 4, &p8);
    (void)rle.Lock(nullptr, 0);
    for (int32_t i = 0; i < 16; ++i) static_cast<uint8_t*>(rle.lockPtr)[i] = uint8_t(1 + 7 * i);
    rle.Unlock();
    imgRle8CTy boxed;
    boxed.SetSize(4, 4, &p8);
    (void)boxed.SetColorKeyPel(0);
    (void)boxed.Lock(nullptr, 0);
    for (int32_t i = 0; i < 16; ++i) static_cast<uint8_t*>(boxed.lockPtr)[i] = i % 4 && i >= 4 ? uint8_t(1 + 7 * i) : 0;
    boxed.Unlock();
    ASSERT_TRUE(boxed.box.x == 1 && boxed.box.y == 1) << "the keyed picture's box starts at (1, 1)";
    for (const AuxRow& row : auxRows) {
        imgRowCTy rowSrc, dst, auxCopy, dstWant, dz, dzWant;
        Randomise(&rowSrc, pel_FMT_X8R8G8B8, 4, 4, 13);
        imgCTy* src = !row.rle ? static_cast<imgCTy*>(&rowSrc) : row.boxed ? &boxed : &rle;
        for (imgRowCTy* i : {&dst, &auxCopy, &dstWant}) Randomise(i, pel_FMT_X8R8G8B8, 8, 8, 14);
        for (imgRowCTy* i : {&dz, &dzWant}) Randomise(i, pel_FMT_Z32, 4, 4, 15);
        imgDrawPrmCTy prm;
        prm.op = row.op;
        auto use = [&](imgRowCTy* aux, imgRowCTy* depth) {
            (row.map ? prm.alphaMap : prm.srcDepth) = aux;
            prm.dstDepth = row.map ? nullptr : depth;
        };
        use(&dst, &dz);
        src->DrawEx(&dst, row.x, row.y, &row.r, prm);
        use(&auxCopy, &dzWant);
        src->DrawEx(&dstWant, row.x, row.y, &row.r, prm);
        EXPECT_TRUE(Pels(dst) == Pels(dstWant) && Pels(dz) == Pels(dzWant)) << row.name;
    }
}

namespace {

enum class Role { map, srcDepth, dstDepth };

// An auxiliary image of a kind holding w x h pels of `words` (the low byte
// each for one-byte pels), and its row image twin of the same pels.
struct Aux {
    imgRowCTy twin;
    imgRowCTy row;
    imgRle8CTy rle;
    imgAlpha alpha;
    imgCTy* img = nullptr;
    Aux(uint32_t kind, Role role, int32_t w, int32_t h, palCTy* pal, uint32_t seed) {
        std::mt19937 rng(seed);
        std::vector<uint32_t> words(size_t(w) * size_t(h));
        for (uint32_t& v : words) v = 0xFF000000u | (rng() & 0xFFFFFF);
        const uint32_t fmt = kind == img_KIND_ALPHA  ? pel_FMT_A8R8G8B8
                             : kind == img_KIND_RLE8 ? pel_FMT_P8
                             : role == Role::map     ? pel_FMT_P8
                                                     : pel_FMT_Z32;
        const pelFmtCTy f(fmt, fmt == pel_FMT_P8 ? pal : nullptr);
        twin.SetSize(w, h, &f);
        const size_t b = pelSize(fmt);
        for (size_t i = 0; i < words.size(); ++i) std::memcpy(twin.pels + i * b, &words[i], b);
        if (kind == img_KIND_ROW) {
            row.SetSize(w, h, &f);
            std::memcpy(row.pels, twin.pels, twin.BodySize());
            img = &row;
        } else if (kind == img_KIND_RLE8) {
            rle.SetSize(w, h, &f);
            (void)rle.Lock(nullptr, 0);
            std::memcpy(rle.lockPtr, twin.pels, twin.BodySize());
            rle.Unlock();
            img = &rle;
        } else {
            alpha.SetSize(w, h, nullptr);
            (void)alpha.Lock(nullptr, img_LOCK_WRITE);
            std::memcpy(alpha.lockPtr, twin.pels, twin.BodySize());
            alpha.Unlock();
            img = &alpha;
        }
    }
};

// An image that counts its locks.
struct CountedLocks : imgRowCTy {
    int locks = 0;
    int32_t Lock(const rectTy* r, uint32_t mode) override {
        ++locks;
        return imgRowCTy::Lock(r, mode);
    }
};

}  // namespace

// An alpha map or depth image of any kind is read only where its lock
// points and only when w x h pels lie there: a draw with it equals the draw
// with a row image of the same pels (which refuses what lies outside it).
TEST(BlitClip, AuxiliaryImagesOfEveryKindAreReadOnlyInsideThem) {
    gfxInit();
    palCTy pal;
    SetRamp(pal, 256, 0x010305u);
    const pelFmtCTy p8(pel_FMT_P8, &pal);
    imgRle8CTy rleSrc;
    rleSrc.SetSize(8, 8, &p8);
    (void)rleSrc.Lock(nullptr, 0);
    for (int32_t i = 0; i < 64; ++i) static_cast<uint8_t*>(rleSrc.lockPtr)[i] = uint8_t(7 + 3 * i);
    rleSrc.Unlock();
    imgRowCTy rowSrc;
    Randomise(&rowSrc, pel_FMT_X8R8G8B8, 8, 8, 21);
    struct Row {
        const char* name;
        bool rleSource;
        Role role;
        uint32_t kind;
        int32_t auxSide;
        rectTy r;
    };
    constexpr rectTy lowerRight{4, 4, 4, 4}, upperLeft{0, 0, 4, 4}, middle{2, 2, 4, 4};
    const Row rows[] = {
        {"map, RLE8, past it", false, Role::map, img_KIND_RLE8, 4, lowerRight},
        {"map, RLE8, inside it", false, Role::map, img_KIND_RLE8, 4, upperLeft},
        {"map, alpha image, its middle", false, Role::map, img_KIND_ALPHA, 8, middle},
        {"source depth, RLE8 (one-byte pels)", false, Role::srcDepth, img_KIND_RLE8, 8, middle},
        {"source depth, alpha image, past it", false, Role::srcDepth, img_KIND_ALPHA, 4, lowerRight},
        {"destination depth, row image, past it", false, Role::dstDepth, img_KIND_ROW, 4, lowerRight},
        {"destination depth, alpha image, past it", false, Role::dstDepth, img_KIND_ALPHA, 4, lowerRight},
        {"destination depth, alpha image, inside it", false, Role::dstDepth, img_KIND_ALPHA, 4, upperLeft},
        {"RLE8 source, destination depth, alpha image, past it", true, Role::dstDepth, img_KIND_ALPHA, 4,
         lowerRight},
        {"RLE8 source, source depth, alpha image, its middle", true, Role::srcDepth, img_KIND_ALPHA, 8, middle},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Aux aux(row.kind, row.role, row.auxSide, row.auxSide, &pal, 31);
        imgRowCTy got, want, otherGot, otherWant;
        Randomise(&got, pel_FMT_R5G6B5, 16, 12, 41);
        Randomise(&want, pel_FMT_R5G6B5, 16, 12, 41);
        // The partner of a depth image under test: a row image of the
        // source's size, of depths about the aux images' words.
        for (imgRowCTy* d : {&otherGot, &otherWant}) {
            Randomise(d, pel_FMT_Z32, 8, 8, 51);
            for (size_t i = 0; i < d->BodySize(); i += 4) d->pels[i + 3] = uint8_t(0xF0 + d->pels[i] % 32);
        }
        auto draw = [&](imgCTy* dst, imgCTy* under, imgCTy* other) {
            imgDrawPrmCTy prm;
            prm.op = row.role == Role::map ? img_OP_ALPHAMAP : img_OP_COPY;
            prm.alphaMap = row.role == Role::map ? under : nullptr;
            prm.srcDepth = row.role == Role::srcDepth ? under : row.role == Role::dstDepth ? other : nullptr;
            prm.dstDepth = row.role == Role::dstDepth ? under : row.role == Role::srcDepth ? other : nullptr;
            imgCTy* src = row.rleSource ? static_cast<imgCTy*>(&rleSrc) : &rowSrc;
            src->DrawEx(dst, 3, 2, &row.r, prm);
        };
        draw(&got, aux.img, &otherGot);
        draw(&want, &aux.twin, &otherWant);
        EXPECT_TRUE(Pels(got) == Pels(want)) << "the draw differs from the one with a row image of its pels";
    }
}

// A draw with nothing left to draw locks none of its auxiliary images,
// wherever its rectangle lies.
TEST(BlitClip, DrawsWithNothingLeftLockNoAuxiliaryImage) {
    gfxInit();
    palCTy pal;
    const uint32_t colour = 0x123456;
    pal.Set(&colour, 1);
    const pelFmtCTy p8(pel_FMT_P8, &pal);
    imgRle8CTy rle;
    rle.SetSize(4, 4, &p8);
    imgRowCTy row, dst;
    Randomise(&row, pel_FMT_X8R8G8B8, 4, 4, 61);
    Randomise(&dst, pel_FMT_X8R8G8B8, 8, 8, 62);
    const std::pair<const char*, imgCTy*> sources[] = {{"row image", &row}, {"RLE8", &rle}};
    for (const auto& [name, src] : sources) {
        SCOPED_TRACE(name);
        CountedLocks map, srcDepth, dstDepth;
        Randomise(&map, pel_FMT_P8, 20000, 1, 63);
        Randomise(&srcDepth, pel_FMT_Z32, 20000, 1, 64);
        Randomise(&dstDepth, pel_FMT_Z32, 20000, 1, 65);
        imgDrawPrmCTy prm;
        prm.srcDepth = &srcDepth;
        prm.dstDepth = &dstDepth;
        prm.alphaMap = &map;
        const rectTy r{0, INT32_MIN, 1, 1};
        src->DrawEx(&dst, 0, 0, &r, prm);
        EXPECT_EQ(map.locks + srcDepth.locks + dstDepth.locks, 0);
    }
}

namespace {

// `pels` (w x h, b bytes each) in the top left of a (w + 3) x (h + 3)
// picture whose other pels are all `pad` bytes.
std::vector<uint8_t> Padded(const std::vector<uint8_t>& pels, int32_t w, int32_t h, size_t b, uint8_t pad) {
    std::vector<uint8_t> out(size_t(w + 3) * size_t(h + 3) * b, pad);
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(&out[size_t(y) * size_t(w + 3) * b], &pels[size_t(y) * size_t(w) * b], size_t(w) * b);
    return out;
}

}  // namespace

// A scaled draw shows what the same draw of a larger picture shows where
// that one reads the smaller picture's pels, and nothing where it reads
// past them: the larger picture, drawn with two different margins, tells
// which pels those are without the clip's own arithmetic.
TEST(BlitClip, ScaledDrawsShowWhatALargerPictureShowsCutToTheirOwn) {
    gfxInit();
    palCTy pal;
    SetRamp(pal, 256, 0x030107u);
    enum class Kind { row, alpha, rle8 };
    struct Row {
        const char* name;
        Kind kind;
        uint32_t srcFmt, dstFmt, op, scaled;
        float scale;
        int32_t w, h;
    };
    const Row rows[] = {
        {"scaled copy, by 2", Kind::row, pel_FMT_X8R8G8B8, pel_FMT_X8R8G8B8, img_OP_SCALED, 0, 2, 5, 4},
        {"scaled copy, by 3", Kind::row, pel_FMT_R8G8B8, pel_FMT_R5G6B5, img_OP_SCALED, 0, 3, 4, 3},
        {"scaled alpha, shrunk", Kind::row, pel_FMT_R5G6B5, pel_FMT_R5G6B5, img_OP_ALPHA, 1, 0.5f, 11, 9},
        {"scaled index copy, by 3", Kind::row, pel_FMT_P8, pel_FMT_P8, img_OP_SCALED, 0, 3, 4, 3},
        {"alpha image, by 2", Kind::alpha, pel_FMT_A8R8G8B8, pel_FMT_X8R8G8B8, img_OP_SCALED, 0, 2, 5, 4},
        {"RLE8, by 1.5", Kind::rle8, pel_FMT_P8, pel_FMT_R5G6B5, img_OP_SCALED, 0, 1.5f, 7, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        palCTy* srcPal = row.srcFmt == pel_FMT_P8 ? &pal : nullptr;
        palCTy* dstPal = row.dstFmt == pel_FMT_P8 ? &pal : nullptr;
        const size_t b = pelSize(row.srcFmt);
        std::vector<uint8_t> pels(size_t(row.w) * size_t(row.h) * b);
        std::mt19937 rng(71);
        for (uint8_t& v : pels) v = uint8_t(rng() % 200 + 30);
        if (row.kind == Kind::alpha)
            for (size_t i = 3; i < pels.size(); i += 4) pels[i] = 0xFF;
        // The picture as the kind's image: row images inside guard pels.
        auto make = [&](const std::vector<uint8_t>& p, int32_t w, int32_t h, Framed* framed, imgAlpha* alpha,
                        imgRle8CTy* rle) -> imgCTy* {
            const pelFmtCTy f(row.srcFmt, srcPal);
            if (row.kind == Kind::row) {
                for (int32_t y = 0; y < h; ++y)
                    std::memcpy(framed->view.pels + size_t(y) * framed->view.rowPitch * b, &p[size_t(y * w) * b],
                                size_t(w) * b);
                return &framed->view;
            }
            imgCTy* img = row.kind == Kind::alpha ? static_cast<imgCTy*>(alpha) : rle;
            if (row.kind == Kind::alpha) alpha->SetSize(w, h, nullptr);
            else rle->SetSize(w, h, &f);
            (void)img->Lock(nullptr, img_LOCK_WRITE);
            std::memcpy(img->lockPtr, p.data(), p.size());
            img->Unlock();
            return img;
        };
        Framed smallFrame(row.srcFmt, row.w, row.h, 1, srcPal), frameA(row.srcFmt, row.w + 3, row.h + 3, 1, srcPal),
            frameB(row.srcFmt, row.w + 3, row.h + 3, 1, srcPal);
        imgAlpha alphaS, alphaA, alphaB;
        imgRle8CTy rleS, rleA, rleB;
        const std::vector<uint8_t> padA = Padded(pels, row.w, row.h, b, 0x11);
        const std::vector<uint8_t> padB = Padded(pels, row.w, row.h, b, 0xEE);
        imgCTy* s = make(pels, row.w, row.h, &smallFrame, &alphaS, &rleS);
        imgCTy* a = make(padA, row.w + 3, row.h + 3, &frameA, &alphaA, &rleA);
        imgCTy* bigB = make(padB, row.w + 3, row.h + 3, &frameB, &alphaB, &rleB);
        imgDrawPrmCTy prm;
        prm.op = row.op;
        prm.scaled = row.scaled;
        prm.alpha = 120;
        prm.scaleX = prm.scaleY = row.scale;
        const rectTy all{0, 0, INT32_MAX, INT32_MAX};
        Framed got(row.dstFmt, kW, kH, 7, dstPal), withA(row.dstFmt, kW, kH, 7, dstPal),
            withB(row.dstFmt, kW, kH, 7, dstPal);
        const std::vector<uint8_t> before = got.Bytes();
        s->DrawEx(&got.view, 1, 1, &all, prm);
        a->DrawEx(&withA.view, 1, 1, &all, prm);
        bigB->DrawEx(&withB.view, 1, 1, &all, prm);
        const std::vector<uint8_t> g = got.Bytes(), da = withA.Bytes(), db = withB.Bytes();
        std::vector<uint8_t> want(before);
        const size_t db8 = pelSize(row.dstFmt);
        for (size_t i = 0; i < want.size(); i += db8)
            if (std::equal(&da[i], &da[i] + db8, &db[i])) std::memcpy(&want[i], &da[i], db8);
        EXPECT_TRUE(g == want) << "the draw differs from the larger picture's, cut";
        EXPECT_TRUE(g != before) << "the draw shows";
    }
}
