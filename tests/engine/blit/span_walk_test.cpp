// The fast walks against the plain walks they stand in for, on random
// pictures of every width from 1 to 67 (so every register alignment and
// tail), runs of every kind and length, random rectangles, constants and
// destination contents: the alpha-image span walks (every selection that has
// them, at every span level this processor runs) and the RLE8
// copies through a lookup table (every group, key, direction). The
// destination rows are wider than the rectangle, so a walk that wrote past
// a row's pels would differ there too.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/blit/alpha_rules.h"
#include "engine/blit/alpha_span.h"
#include "engine/blit/alpha_walk.h"
#include "engine/blit/blit_span.h"
#include "engine/blit/rle8_walk.h"

namespace {

struct Selection {
    uint32_t stored, fmt;
    bool pm;
    uint32_t op;
    alphaRowFnTy plain;
};

template <class S, class D, bool Pm, alphaOpTy Op>
Selection Plain() {
    return {S::code, D::code, Pm, Op, &alphaPlainWalk<S, D, alphaRule<Op, Pm, S, D>>};
}

template <class S, class D>
std::vector<Selection> SelectionsOf() {
    return {Plain<S, D, false, alpha_OP_COPY>(),     Plain<S, D, false, alpha_OP_ADD>(),
            Plain<S, D, false, alpha_OP_BLEND>(),    Plain<S, D, false, alpha_OP_BLENDALPHA>(),
            Plain<S, D, true, alpha_OP_COPY>(),      Plain<S, D, true, alpha_OP_ADD>(),
            Plain<S, D, true, alpha_OP_BLEND>(),     Plain<S, D, true, alpha_OP_BLENDALPHA>()};
}

// Runs of random kinds, lengths 1 to 40, colours and alpha bytes (1 to 254
// translucent, one of them 255 - 1 premultiplied).
std::unique_ptr<imgAlpha> RandomImage(std::mt19937& rng, int32_t w, int32_t h, uint32_t stored, bool pm) {
    std::vector<uint32_t> pels;
    while (pels.size() < size_t(w) * size_t(h)) {
        const uint32_t kind = rng() % 3, len = 1 + rng() % 40;
        for (uint32_t i = 0; i < len; ++i) {
            const uint32_t a = kind == 0 ? 0 : kind == 2 ? 255 : 1 + rng() % 254;
            pels.push_back(a << 24 | (rng() & 0xFFFFFF));
        }
    }
    pels.resize(size_t(w) * size_t(h));
    auto img = std::make_unique<imgAlpha>();
    img->colorFmt = stored;
    img->premultiplied = pm ? 1 : 0;
    img->SetSize(w, h, nullptr);
    (void)img->Lock(nullptr, img_LOCK_WRITE);
    std::memcpy(img->lockPtr, pels.data(), pels.size() * 4);
    img->Unlock();
    return img;
}

TEST(AlphaSpan, EverySpanWalkDrawsAsThePlainWalk) {
    gfxInit();
    std::vector<int> levels;
    for (int level = 1; level <= bltMaxSpanLevel(); ++level) levels.push_back(level);
    std::vector<Selection> selections = SelectionsOf<alphaSrcR5G6B5, alphaDstR5G6B5>();
    for (auto more : {SelectionsOf<alphaSrcX8R8G8B8, alphaDstX8R8G8B8>(), SelectionsOf<alphaSrcR8G8B8, alphaDstR5G6B5>(),
                      SelectionsOf<alphaSrcR8G8B8, alphaDstX8R8G8B8>()})
        selections.insert(selections.end(), more.begin(), more.end());

    std::mt19937 rng(22);
    size_t walks = 0;
    for (const Selection& sel : selections) {
        const bool has = alphaSpanHas(sel.fmt, sel.pm, sel.op, sel.stored);
        for (int level : levels) {
            const alphaRowFnTy span = alphaSpanFn(level, sel.fmt, sel.pm, false, sel.op, sel.stored);
            ASSERT_EQ(span != nullptr, has) << sel.stored << " onto " << sel.fmt << " pm " << sel.pm << " op " << sel.op;
            if (!span) continue;
            ++walks;
            const size_t bpp = pelBytes[sel.fmt];
            for (int32_t w = 1; w <= 67; ++w)
                for (int trial = 0; trial < 3; ++trial) {
                    const int32_t h = 1 + int32_t(rng() % 4);
                    auto img = RandomImage(rng, w, h, sel.stored, sel.pm);
                    alphaArgsTy a;
                    a.src = img.get();
                    // The whole picture first, then random rectangles.
                    a.r.x = trial == 0 ? 0 : int32_t(rng() % uint32_t(w));
                    a.r.y = trial == 0 ? 0 : int32_t(rng() % uint32_t(h));
                    a.r.w = trial == 0 ? w : 1 + int32_t(rng() % uint32_t(w - a.r.x));
                    a.r.h = trial == 0 ? h : 1 + int32_t(rng() % uint32_t(h - a.r.y));
                    a.pitch = a.r.w + int32_t(rng() % 20);
                    a.c = trial == 0 ? 256 : trial == 1 ? int32_t(rng() % 257) : int32_t(rng() % 256);
                    std::vector<uint8_t> want(size_t(a.pitch) * size_t(a.r.h) * bpp);
                    for (auto& b : want) b = uint8_t(rng());
                    std::vector<uint8_t> got = want;
                    a.dst = want.data();
                    sel.plain(a);
                    a.dst = got.data();
                    span(a);
                    ASSERT_EQ(got, want) << "stored " << sel.stored << " onto " << sel.fmt << " pm " << sel.pm << " op " << sel.op << " level "
                                         << level << " width " << w << " rect " << a.r.x << "," << a.r.y << ","
                                         << a.r.w << "," << a.r.h << " c " << a.c;
                }
        }
    }
    // Every straight op and the premultiplied blends; no Add of R8G8B8
    // onto R5G6B5.
    EXPECT_EQ(walks, 23 * levels.size());
    // No span walk for scaled draws or stored colours in another format.
    EXPECT_EQ(alphaSpanFn(1, pel_FMT_R5G6B5, false, true, alpha_OP_BLEND, pel_FMT_R5G6B5), nullptr);
    EXPECT_EQ(alphaSpanFn(1, pel_FMT_R5G6B5, false, false, alpha_OP_BLEND, pel_FMT_X8R8G8B8), nullptr);
    EXPECT_EQ(alphaSpanFn(0, pel_FMT_R5G6B5, false, false, alpha_OP_BLEND, pel_FMT_R5G6B5), nullptr);
}

struct Rle8Walks {
    uint32_t group;
    bool key;
    int dir;
    rle8WalkFnTy plain, lut;
};

template <class G, bool Key, int Dir>
Rle8Walks Rle8Of() {
    return {G::code, Key, Dir, &rle8PlainWalk<G, bltDoCopy, Key, false, Dir>, &rle8LutWalk<G, Key, Dir>};
}

TEST(Rle8Lut, EveryLookupCopyDrawsAsThePlainWalk) {
    gfxInit();
    const Rle8Walks walks[] = {
        Rle8Of<bltFmtR8G8B8, false, 1>(),   Rle8Of<bltFmtR8G8B8, true, 1>(),   Rle8Of<bltFmtR8G8B8, true, -1>(),
        Rle8Of<bltFmtX8R8G8B8, false, 1>(), Rle8Of<bltFmtX8R8G8B8, true, 1>(), Rle8Of<bltFmtX8R8G8B8, true, -1>(),
        Rle8Of<bltFmtR5G6B5, false, 1>(),   Rle8Of<bltFmtR5G6B5, true, 1>(),   Rle8Of<bltFmtR5G6B5, true, -1>(),
        Rle8Of<bltFmtR5G6B5, false, -1>(),
    };
    std::mt19937 rng(8);
    palCTy pal;
    for (const Rle8Walks& walk : walks) {
        const size_t bpp = pelBytes[walk.group];
        for (int32_t w = 1; w <= 67; ++w)
            for (int trial = 0; trial < 2; ++trial) {
                // Runs of the image key (coded as skips), of one index
                // (fills) and of random ones (literals), indices past the
                // table's end included.
                const int32_t h = 1 + int32_t(rng() % 4);
                std::vector<uint8_t> pels;
                while (pels.size() < size_t(w) * size_t(h)) {
                    const uint32_t kind = rng() % 3, len = 1 + rng() % 70, one = rng() % 40;
                    for (uint32_t i = 0; i < len; ++i)
                        pels.push_back(uint8_t(kind == 0 ? 0 : kind == 1 ? one : rng() % 40));
                }
                imgRle8CTy img;
                pelFmtCTy f(pel_FMT_P8, &pal);
                img.SetSize(w, h, &f);
                (void)img.SetColorKeyPel(0);
                (void)img.Lock(nullptr, 0);
                std::memcpy(img.lockPtr, pels.data(), size_t(w) * size_t(h));
                img.Unlock();
                if (img.box.w < 1) continue;
                // A table of 30 entries, two of them the key colour.
                std::vector<uint8_t> table(40 * bpp);
                for (auto& b : table) b = uint8_t(rng());
                std::memcpy(&table[7 * bpp], &table[5 * bpp], bpp);
                rle8ArgsTy a;
                a.src = &img;
                a.table = table.data();
                a.tableCount = 30;
                std::memcpy(&a.key, &table[5 * bpp], bpp);
                a.r.x = trial == 0 ? 0 : int32_t(rng() % uint32_t(img.box.w));
                a.r.y = trial == 0 ? 0 : int32_t(rng() % uint32_t(img.box.h));
                a.r.w = img.box.w - a.r.x;
                a.r.h = img.box.h - a.r.y;
                const int32_t pitch = a.r.w + int32_t(rng() % 9);
                a.dstPitch = ptrdiff_t(pitch) * ptrdiff_t(bpp);
                std::vector<uint8_t> want(size_t(pitch) * size_t(a.r.h) * bpp);
                for (auto& b : want) b = uint8_t(rng());
                std::vector<uint8_t> got = want;
                a.dst = want.data();
                walk.plain(a);
                a.dst = got.data();
                walk.lut(a);
                ASSERT_EQ(got, want) << "group " << walk.group << " key " << walk.key << " dir " << walk.dir
                                     << " width " << w << " rect " << a.r.x << "," << a.r.y << "," << a.r.w << ","
                                     << a.r.h;
            }
    }
}

}  // namespace
