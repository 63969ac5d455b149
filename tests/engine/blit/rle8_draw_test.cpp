// RLE8 draws against a reference model: the image decoded to a plain
// palettised image and drawn by the blitter's generic path. Pels that the
// coded rows skip keep the destination (and its depth) as it was.
#include <gtest/gtest.h>

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
    ASSERT_EQ(count, 232u);
    for (size_t i = 0; i < count; ++i) {
        const rle8RowTy& row = rows[i];
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

}  // namespace
