// RLE8 draws against a reference model: the image decoded to a plain
// palettised image and drawn by the blitter's generic path. Pels that the
// coded rows skip keep the destination (and its depth) as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/blit/blit.h"

namespace {

constexpr uint32_t kKeyIndex = 3;

struct Pic {
    std::unique_ptr<palCTy> pal = std::make_unique<palCTy>();
    std::unique_ptr<imgRle8CTy> img = std::make_unique<imgRle8CTy>();
    std::vector<uint8_t> pels;  // width x height indices
};

// A random picture: key pels around a random opaque part and for about half
// of the pels inside it, indices up to two past the palette's end, and a
// second index with the key's colour (keyed out inside runs).
Pic MakePic(std::mt19937& rng, bool keyed) {
    Pic p;
    std::vector<uint32_t> colours(16);
    for (auto& c : colours) c = rng() & 0xFFFFFF;
    colours[9] = colours[kKeyIndex];
    p.pal->Set(colours.data(), uint32_t(colours.size()));
    const int32_t w = 4 + int32_t(rng() % 40), h = 2 + int32_t(rng() % 12);
    const int32_t bx = int32_t(rng() % 3), by = int32_t(rng() % 2);
    p.pels.assign(size_t(w) * size_t(h), uint8_t(kKeyIndex));
    for (int32_t y = by; y < h - int32_t(rng() % 2); ++y)
        for (int32_t x = bx; x < w - int32_t(rng() % 3); ++x)
            if (rng() % 2) p.pels[size_t(y) * size_t(w) + size_t(x)] = uint8_t(rng() % 18);
    p.pels[size_t(by) * size_t(w) + size_t(bx)] = 1;  // an opaque box exists
    pelFmtCTy f(pel_FMT_P8, p.pal.get());
    p.img->SetSize(w, h, &f);
    if (keyed) (void)p.img->SetColorKeyPel(kKeyIndex);
    (void)p.img->Lock(nullptr, 0);
    std::memcpy(p.img->lockPtr, p.pels.data(), p.pels.size());
    p.img->Unlock();
    return p;
}

std::unique_ptr<imgRowCTy> RandomImage(std::mt19937& rng, uint32_t fmt, int32_t w, int32_t h) {
    auto img = std::make_unique<imgRowCTy>();
    pelFmtCTy f(fmt);
    img->SetSize(w, h, &f);
    (void)img->Lock(nullptr, 0);
    auto* b = static_cast<uint8_t*>(img->lockPtr);
    const size_t n = size_t(w) * size_t(h) * pelSize(fmt);
    if (fmt == pel_FMT_Z32)
        for (size_t i = 0; i < n; i += 4) { const int32_t z = int32_t(rng() % 5) - 2; std::memcpy(b + i, &z, 4); }
    else
        for (size_t i = 0; i < n; ++i) b[i] = uint8_t(rng());
    img->Unlock();
    return img;
}

std::unique_ptr<imgRowCTy> Clone(const imgRowCTy& img) {
    return std::unique_ptr<imgRowCTy>(static_cast<imgRowCTy*>(const_cast<imgRowCTy&>(img).Clone()));
}

std::vector<uint8_t> Bytes(imgRowCTy& img) {
    (void)img.Lock(nullptr, 1);
    const auto* p = static_cast<const uint8_t*>(img.lockPtr);
    std::vector<uint8_t> out(p, p + img.BodySize());
    img.Unlock();
    return out;
}

// Copies pel (x, y) of `from` into `to` (same size and format).
void Restore(imgRowCTy& to, imgRowCTy& from, int32_t x, int32_t y) {
    const size_t b = pelSize(to.pelFmt.format), at = (size_t(y) * size_t(to.width) + size_t(x)) * b;
    (void)to.Lock(nullptr, 0);
    (void)from.Lock(nullptr, 1);
    std::memcpy(static_cast<uint8_t*>(to.lockPtr) + at, static_cast<uint8_t*>(from.lockPtr) + at, b);
    from.Unlock();
    to.Unlock();
}

uint32_t ImgOpOf(uint32_t bltOp) {
    return bltOp == blt_OP_COPY ? img_OP_COPY : bltOp == blt_OP_ALPHA ? img_OP_ALPHA : bltOp - blt_OP_MODULATE + img_OP_MODULATE;
}

// A case: what the draw is, and the expected pels from the reference model.
struct Expect {
    std::unique_ptr<imgRowCTy> dst, dstDepth;
};

class Rle8Draw : public testing::Test {
protected:
    void SetUp() override { gfxInit(); }
    void TearDown() override { bltForceGeneric(false); }
};

TEST_F(Rle8Draw, EveryTableRowMatchesTheDecodedImageDrawnByTheGenericPath) {
    std::mt19937 rng(20);
    size_t count = 0;
    const rle8RowTy* rows = rle8Rows(&count);
    ASSERT_EQ(count, 240u);
    for (size_t i = 0; i < count; ++i) {
        const rle8RowTy& row = rows[i];
        if (row.flags & rle8_SCALED) continue;  // the next test's
        const bool keyed = row.flags & rle8_KEY, depth = row.flags & rle8_DEPTH, mirror = row.flags & rle8_MIRROR;
        for (int trial = 0; trial < 4; ++trial) {
            SCOPED_TRACE(rle8RowName(row) + " trial " + std::to_string(trial));
            Pic pic = MakePic(rng, keyed);
            imgRle8CTy& img = *pic.img;
            const rectTy box = img.box;
            // Formats 3 and 6 share the rows of 2 and 5.
            uint32_t fmt = row.dst;
            if ((fmt == pel_FMT_X8R8G8B8 || fmt == pel_FMT_X1R5G5B5) && rng() % 2) ++fmt;
            const int32_t W = img.width, H = img.height;
            auto dst = RandomImage(rng, fmt, W + 6, H + 4);
            auto sz = RandomImage(rng, pel_FMT_Z32, W, H), dz = RandomImage(rng, pel_FMT_Z32, W, H);
            // A part of the box: rel is its place in the box.
            const int32_t rw = 1 + int32_t(rng() % uint32_t(box.w)), rh = 1 + int32_t(rng() % uint32_t(box.h));
            const int32_t rx = int32_t(rng() % uint32_t(box.w - rw + 1)), ry = int32_t(rng() % uint32_t(box.h - rh + 1));
            const int32_t x = int32_t(rng() % 4), y = int32_t(rng() % 3);
            imgDrawPrmCTy prm;
            prm.op = ImgOpOf(row.op);
            prm.alpha = int32_t(rng() % 257);
            if (depth) { prm.srcDepth = sz.get(); prm.dstDepth = dz.get(); }

            // The reference: the drawn pels as a plain image, mirrored if
            // the draw is, drawn by the generic path onto copies.
            auto wantDst = Clone(*dst);
            auto wantDz = Clone(*dz);
            auto ref = std::make_unique<imgRowCTy>();
            pelFmtCTy pf(pel_FMT_P8, pic.pal.get());
            ref->SetSize(W, H, &pf);
            if (keyed) (void)ref->SetColorKeyPel(kKeyIndex);
            rectTy s{box.x + rx, box.y + ry, rw, rh};  // source columns drawn
            (void)ref->Lock(nullptr, 0);
            auto* rp = static_cast<uint8_t*>(ref->lockPtr);
            for (int32_t yy = 0; yy < H; ++yy)
                for (int32_t xx = 0; xx < W; ++xx) {
                    // Mirrored: source column s.x + k lands in s.x + w - 1 - k.
                    int32_t from = xx;
                    if (mirror && xx >= s.x && xx < s.x + rw) from = s.x + rw - 1 - (xx - s.x);
                    rp[size_t(yy) * size_t(W) + size_t(xx)] = pic.pels[size_t(yy) * size_t(W) + size_t(from)];
                }
            ref->Unlock();
            imgDrawPrmCTy refPrm = prm;
            if (depth) refPrm.dstDepth = wantDz.get();
            bltForceGeneric(true);
            ref->DrawEx(wantDst.get(), x, y, &s, refPrm);
            bltForceGeneric(false);
            for (int32_t yy = s.y; yy < s.y + rh; ++yy)
                for (int32_t xx = s.x; xx < s.x + rw; ++xx)
                    if (keyed && rp[size_t(yy) * size_t(W) + size_t(xx)] == kKeyIndex) {
                        Restore(*wantDst, *dst, x + xx, y + yy);
                        Restore(*wantDz, *dz, xx, yy);
                    }

            if (mirror) {
                // The caller's rectangle whose mirrored x is s.x.
                const rectTy m{W - rw - s.x + 1, s.y, rw, rh};
                img.DrawExMirrorH(dst.get(), x + s.x - m.x, y, &m, prm);
            } else {
                img.DrawEx(dst.get(), x, y, &s, prm);
            }
            ASSERT_EQ(Bytes(*dst), Bytes(*wantDst));
            ASSERT_EQ(Bytes(*dz), Bytes(*wantDz));
            EXPECT_EQ(dst->lockPtr, nullptr);
        }
    }
}

// The scaled copy against a model on the decoded picture: destination pel
// (i, j) takes the table pel of box pel ((x + i) * stepX >> 16, (y + j) *
// stepY >> 16) unless that pel lies in a skip run; mirrored, column i lands
// in w - 1 - i. The key has no part in it.
TEST_F(Rle8Draw, ScaledCopyMatchesTheSampledPicture) {
    std::mt19937 rng(13);
    const float scales[] = {1.0f, 2.0f, 3.0f, 0.5f, 1.5f, 0.75f};
    for (uint32_t fmt = pel_FMT_R8G8B8; fmt <= pel_FMT_A1R5G5B5; ++fmt)
        for (int trial = 0; trial < 12; ++trial) {
            SCOPED_TRACE("format " + std::to_string(fmt) + " trial " + std::to_string(trial));
            const bool keyed = rng() % 4 != 0, mirror = rng() % 2;
            Pic pic = MakePic(rng, keyed);
            imgRle8CTy& img = *pic.img;
            const rectTy box = img.box;
            const float sx = scales[rng() % 6], sy = scales[rng() % 6];
            uint32_t stepX = 0, stepY = 0;
            ASSERT_TRUE(rle8Step(sx, &stepX) && rle8Step(sy, &stepY));
            // The largest scaled extent whose last pel samples inside the box.
            int32_t sw = 1, sh = 1;
            while ((uint32_t(sw) * stepX >> 16) < uint32_t(box.w)) ++sw;
            while ((uint32_t(sh) * stepY >> 16) < uint32_t(box.h)) ++sh;
            const int32_t rx = int32_t(rng() % uint32_t(sw)), ry = int32_t(rng() % uint32_t(sh));
            const int32_t rw = 1 + int32_t(rng() % uint32_t(sw - rx)), rh = 1 + int32_t(rng() % uint32_t(sh - ry));
            auto dst = RandomImage(rng, fmt, rw + 5, rh + 5);
            auto want = Clone(*dst);
            imgDrawPrmCTy prm;
            prm.op = img_OP_SCALED;
            prm.scaleX = sx;
            prm.scaleY = sy;
            // The caller's rectangle in scaled units: the box's corner scaled
            // plus the part's place in it.
            const double cx = double(box.x) * sx, cy = double(box.y) * sy;
            const rectTy s{int32_t(std::ceil(cx)) + rx, int32_t(std::ceil(cy)) + ry, rw, rh};
            const int32_t relX = int32_t(double(s.x) - cx), relY = int32_t(double(s.y) - cy);
            const int32_t x = 2 - s.x, y = 3 - s.y;  // destination rectangle at (2, 3)
            if (mirror) {
                const rectTy m{int32_t(double(img.width) * sx) - (s.x + rw - 1), s.y, rw, rh};
                // Its mirrored x gives back s.x exactly when the scaled width is whole.
                if (double(img.width) * sx != std::floor(double(img.width) * sx)) continue;
                img.DrawExMirrorH(dst.get(), 2 - m.x, y, &m, prm);
            } else {
                img.DrawEx(dst.get(), x, y, &s, prm);
            }
            const auto* table = static_cast<const uint8_t*>(img.GetPalTbl(fmt));
            const size_t b = pelSize(fmt);
            (void)want->Lock(nullptr, 0);
            auto* wp = static_cast<uint8_t*>(want->lockPtr);
            for (int32_t j = 0; j < rh; ++j)
                for (int32_t i = 0; i < rw; ++i) {
                    const uint32_t col = uint32_t(relX + i) * stepX >> 16, row = uint32_t(relY + j) * stepY >> 16;
                    const uint8_t index = pic.pels[size_t(box.y + int32_t(row)) * size_t(img.width) + size_t(box.x) + col];
                    if ((keyed && index == kKeyIndex) || index >= 16) continue;
                    const int32_t dx = 2 + (mirror ? rw - 1 - i : i);
                    std::memcpy(wp + (size_t(3 + j) * size_t(want->width) + size_t(dx)) * b, table + index * b, b);
                }
            want->Unlock();
            ASSERT_EQ(Bytes(*dst), Bytes(*want));
        }
}

// The entries' rectangles and numbers.
TEST_F(Rle8Draw, EntriesPlaceAndScaleAsSpecified) {
    uint32_t step = 0;
    const struct { float scale; uint32_t step; } steps[] = {{2.0f, 32768}, {3.0f, 21845}, {0.5f, 131072}, {1.0f, 65536}};
    for (const auto& c : steps) {
        ASSERT_TRUE(rle8Step(c.scale, &step));
        EXPECT_EQ(step, c.step);
    }
    EXPECT_FALSE(rle8Step(0.0f, &step));
    EXPECT_FALSE(rle8Step(-1.0f, &step));
    EXPECT_FALSE(rle8Step(std::nanf(""), &step));
    EXPECT_EQ(rle8Alpha(1.0f), 256);
    EXPECT_EQ(rle8Alpha(0.999f), 255);
    EXPECT_EQ(rle8Alpha(0.5f), 128);
    EXPECT_EQ(rle8Alpha(std::nanf("")), 0);
    EXPECT_EQ(rle8Alpha(1e30f), 0);

    // Width 10, box {2, 0, 6, 1}: mirrored with a null rectangle, the
    // destination rectangle starts at x + 3, column 2 lands at x + 8 and
    // column 7 at x + 3.
    palCTy pal;
    std::vector<uint32_t> colours(16);
    for (uint32_t i = 0; i < 16; ++i) colours[i] = i * 0x010101u;
    pal.Set(colours.data(), 16);
    imgRle8CTy img;
    pelFmtCTy f(pel_FMT_P8, &pal);
    img.SetSize(10, 1, &f);
    (void)img.SetColorKeyPel(0);
    (void)img.Lock(nullptr, 0);
    const uint8_t pels[10] = {0, 0, 2, 3, 4, 5, 6, 7, 0, 0};
    std::memcpy(img.lockPtr, pels, 10);
    img.Unlock();
    ASSERT_EQ(img.box.x, 2);
    ASSERT_EQ(img.box.w, 6);
    imgRowCTy dst;
    pelFmtCTy df(pel_FMT_X8R8G8B8);
    dst.SetSize(16, 1, &df);
    dst.FillRgb(0xFFFFFF, nullptr);
    img.DrawMirrorH(&dst, 1, 0, nullptr);
    std::vector<uint32_t> got(16);
    (void)dst.Lock(nullptr, 1);
    std::memcpy(got.data(), dst.lockPtr, 64);
    dst.Unlock();
    for (int32_t c = 0; c < 16; ++c) {
        // Source column s lands at x + W - s = 11 - s.
        const int32_t s = 11 - c;
        const uint32_t want = s >= 2 && s <= 7 ? uint32_t(s) * 0x010101u : 0xFFFFFFu;
        EXPECT_EQ(got[size_t(c)] & 0xFFFFFF, want) << "column " << c;
    }
    // Plain Draw puts column s at x + s; DrawAlpha 1.0 does the same.
    dst.FillRgb(0xFFFFFF, nullptr);
    img.Draw(&dst, 1, 0, nullptr);
    const rectTy all = img.box;
    img.DrawAlpha(&dst, 1, 0, &all, 1.0f);
    (void)dst.Lock(nullptr, 1);
    std::memcpy(got.data(), dst.lockPtr, 64);
    dst.Unlock();
    for (int32_t c = 0; c < 16; ++c) {
        const int32_t s = c - 1;
        const uint32_t want = s >= 2 && s <= 7 ? uint32_t(s) * 0x010101u : 0xFFFFFFu;
        EXPECT_EQ(got[size_t(c)] & 0xFFFFFF, want) << "column " << c;
    }
}

// Width 10, one row, pels 2 to 7 opaque (box {2, 0, 6, 1}), index i of grey
// level i.
struct SmallRle8 {
    palCTy pal;
    imgRle8CTy img;
    SmallRle8() {
        std::vector<uint32_t> colours(16);
        for (uint32_t i = 0; i < 16; ++i) colours[i] = i * 0x010101u;
        pal.Set(colours.data(), 16);
        pelFmtCTy f(pel_FMT_P8, &pal);
        img.SetSize(10, 1, &f);
        (void)img.SetColorKeyPel(0);
        (void)img.Lock(nullptr, 0);
        const uint8_t pels[10] = {0, 0, 2, 3, 4, 5, 6, 7, 0, 0};
        std::memcpy(img.lockPtr, pels, 10);
        img.Unlock();
    }
};

std::unique_ptr<imgRowCTy> Sized(uint32_t fmt, int32_t w, int32_t h, palCTy* pal = nullptr) {
    auto img = std::make_unique<imgRowCTy>();
    pelFmtCTy f(fmt, pal);
    img->SetSize(w, h, &f);
    (void)img->Lock(nullptr, 0);
    std::memset(img->lockPtr, 7, img->BodySize());
    img->Unlock();
    return img;
}

// Each draw refuses a palettised destination with its own text (DrawAlpha
// with Draw's), inside its lock bracket: a destination the caller left
// locked ends unlocked, and DrawEx takes and releases its auxiliary images
// (here locked by the caller, so they end unlocked too).
TEST_F(Rle8Draw, PalettisedDestinationsAreRefusedInsideTheLockBracket) {
    const errStateTy saved = errState;
    static std::vector<std::string> messages;
    messages.clear();
    errState.frames = nullptr;
    errState.mode = 0;
    errState.reportHandler = [] {
        messages.push_back(errState.message ? errState.message : "");
        errState.answer = 0;
    };
    SmallRle8 rle;
    const rectTy box = rle.img.box;
    struct Entry { const char* text; bool auxLocked; void (*draw)(imgRle8CTy&, imgCTy*, const rectTy&, const imgDrawPrmCTy&); };
    const Entry entries[] = {
        {"imgRle8CTy::Draw: This is not impelmetned yet", false,
         [](imgRle8CTy& i, imgCTy* d, const rectTy&, const imgDrawPrmCTy&) { i.Draw(d, 1, 0, nullptr); }},
        {"imgRle8CTy::Draw: This is not impelmetned yet", false,
         [](imgRle8CTy& i, imgCTy* d, const rectTy& b, const imgDrawPrmCTy&) { i.DrawAlpha(d, 1, 0, &b, 0.5f); }},
        {"imgRle8CTy::DrawEx: This is not impelmetned yet", true,
         [](imgRle8CTy& i, imgCTy* d, const rectTy&, const imgDrawPrmCTy& p) { i.DrawEx(d, 1, 0, nullptr, p); }},
        {"imgRle8CTy::DrawMirrorH: This is not impelmetned yet", false,
         [](imgRle8CTy& i, imgCTy* d, const rectTy&, const imgDrawPrmCTy&) { i.DrawMirrorH(d, 1, 0, nullptr); }},
        {"imgRle8CTy::DrawExMirrorH: This is not impelmetned yet", false,
         [](imgRle8CTy& i, imgCTy* d, const rectTy&, const imgDrawPrmCTy& p) { i.DrawExMirrorH(d, 1, 0, nullptr, p); }},
    };
    palCTy destPal;
    const uint32_t grey[2] = {0, 0x808080};
    destPal.Set(grey, 2);
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.text);
        messages.clear();
        auto dst = Sized(pel_FMT_P8, 12, 1, &destPal);
        auto map = Sized(pel_FMT_P8, 10, 1), sz = Sized(pel_FMT_Z32, 10, 1), dz = Sized(pel_FMT_Z32, 10, 1);
        for (imgRowCTy* i : {dst.get(), map.get(), sz.get(), dz.get()}) (void)i->Lock(nullptr, 0);
        imgDrawPrmCTy prm;
        prm.alphaMap = map.get();
        prm.srcDepth = sz.get();
        prm.dstDepth = dz.get();
        e.draw(rle.img, dst.get(), box, prm);
        EXPECT_EQ(messages, std::vector<std::string>{e.text});
        EXPECT_EQ(dst->lockPtr, nullptr);
        for (imgRowCTy* i : {map.get(), sz.get(), dz.get()}) EXPECT_EQ(i->lockPtr != nullptr, !e.auxLocked);
        (void)dst->Lock(nullptr, 1);
        const auto* p = static_cast<const uint8_t*>(dst->lockPtr);
        EXPECT_EQ(std::vector<uint8_t>(p, p + 12), std::vector<uint8_t>(12, 7));
        dst->Unlock();
    }
    errState = saved;
}

// A depth image the caller holds locked at another corner cannot be read at
// the drawn rectangle: the draw goes without the depth test, as with no
// depth images at all.
TEST_F(Rle8Draw, ADepthImageLockedElsewhereDropsTheDepthTest) {
    SmallRle8 rle;
    auto want = Sized(pel_FMT_X8R8G8B8, 12, 1);
    rle.img.DrawEx(want.get(), 1, 0, nullptr, imgDrawPrmCTy{});
    auto got = Sized(pel_FMT_X8R8G8B8, 12, 1);
    auto sz = Sized(pel_FMT_Z32, 10, 1), dz = Sized(pel_FMT_Z32, 10, 1);
    const rectTy last{9, 0, 1, 1};
    (void)dz->Lock(&last, 0);
    imgDrawPrmCTy prm;
    prm.srcDepth = sz.get();
    prm.dstDepth = dz.get();
    rle.img.DrawEx(got.get(), 1, 0, nullptr, prm);
    EXPECT_EQ(dz->lockPtr, nullptr);
    EXPECT_EQ(Bytes(*got), Bytes(*want));
    EXPECT_EQ(Bytes(*dz), std::vector<uint8_t>(40, 7));
}

}  // namespace
