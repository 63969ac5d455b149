// The fast forms of the walks against the generic path: the vector spans of
// every instruction level the processor runs, the memcpy rows and the masked
// pel loops the compiler vectorises. Every unscaled row between R5G6B5 and
// X8R8G8B8 (copy, alpha, alpha map, fade-add and the arithmetic ops, keyed
// and not, with and without depth) runs on random rows of widths 1 to 67
// placed at every offset within a register, so each block count and tail
// occurs; so do the palette rows onto those formats.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/blit/blit.h"
#include "engine/blit/blit_span.h"

namespace {

struct Buf {
    std::vector<uint8_t> bytes;
    imgRowCTy img;
    // w x h pels of `fmt` at pel offset `skew` into the buffer, pitch w + 3.
    Buf(uint32_t fmt, int32_t w, int32_t h, int32_t skew, std::mt19937& rng) {
        const size_t pel = pelBytes[fmt];
        bytes.resize((size_t(w + 3) * size_t(h) + size_t(skew)) * pel);
        for (auto& b : bytes) b = uint8_t(rng());
        img.pelFmt.format = fmt;
        img.width = w;
        img.height = h;
        img.pitch = w + 3;
        img.lockPtr = bytes.data() + size_t(skew) * pel;
    }
    ~Buf() { img.lockPtr = nullptr; }
};

// About half the source pels are the key; the rest are random.
void KeyHalf(Buf& b, uint32_t key, std::mt19937& rng) {
    const size_t pel = pelBytes[b.img.pelFmt.format];
    for (size_t i = 0; i + pel <= b.bytes.size(); i += pel)
        if (rng() & 1) std::memcpy(&b.bytes[i], &key, pel);
}

// Depths 0 to 3, so nearer, equal and farther pels all occur.
void SmallDepths(Buf& b) {
    for (size_t i = 0; i + 4 <= b.bytes.size(); i += 4) {
        const uint32_t v = b.bytes[i] & 3u;
        std::memcpy(&b.bytes[i], &v, 4);
    }
}

TEST(BlitSpans, EveryLevelMatchesTheGenericPathAtEveryWidthAndOffset) {
    size_t n = 0, palN = 0;
    const bltRowTy* rows = bltRows(&n);
    const bltRowTy* palRows = bltPalRows(&palN);
    std::mt19937 rng(22);
    const uint32_t values[] = {0, 1, 127, 128, 255, 256, 300};
    std::vector<uint8_t> table(200 * 4);
    const auto game = [](uint32_t f) { return f == pel_FMT_R5G6B5 || f == pel_FMT_X8R8G8B8; };
    const auto check = [&](const bltRowTy& row, bool pal) {
        SCOPED_TRACE(bltRowName(row));
        for (int32_t w = 1; w <= 67; ++w) {
            const int32_t h = 2;
            const uint32_t srcFmt = pal ? pel_FMT_P8 : row.src == pel_FMT_X8R8G8B8 && (w & 1) ? pel_FMT_A8R8G8B8 : row.src;
            const uint32_t pelFmt = pal ? row.dst : srcFmt;  // the format the key and the drawn pels have
            Buf src(srcFmt, w, h, w % 8, rng), dst(row.dst, w, h, (w / 8) % 8, rng);
            Buf ref(row.dst, w, h, (w / 8) % 8, rng);
            Buf map(pel_FMT_P8, w, h, w % 5, rng), sz(pel_FMT_Z32, w, h, 0, rng), dz(pel_FMT_Z32, w, h, 1, rng);
            SmallDepths(sz);
            SmallDepths(dz);
            Buf dzRef(pel_FMT_Z32, w, h, 1, rng);
            ref.bytes = dst.bytes;
            dzRef.bytes = dz.bytes;
            const uint32_t key = pelBytes[pelFmt] == 2 ? rng() & 0xFFFF : rng();
            bltArgsTy a;
            if (pal) {
                // A palette of 200 entries (so some indices lie beyond it), a
                // fifth of them the key; now and then one without entries.
                for (auto& b : table) b = uint8_t(rng());
                for (int k = 0; k < 40; ++k) std::memcpy(&table[(rng() % 200) * pelBytes[pelFmt]], &key, pelBytes[pelFmt]);
                a.table = table.data();
                a.tableCount = w % 9 == 0 ? 0 : 200;
            } else if (row.flags & blt_KEY) {
                KeyHalf(src, key, rng);
            }
            const rectTy rect{0, 0, w, h};
            a.src = &src.img;
            a.rect = &rect;
            a.key = key;
            a.value = values[size_t(w) % std::size(values)];
            a.alphaMap = &map.img;
            a.srcDepth = &sz.img;
            bltArgsTy b = a;
            a.dst = &dst.img;
            a.dstDepth = &dz.img;
            b.dst = &ref.img;
            b.dstDepth = &dzRef.img;
            row.fn(a);
            bltGeneric(row.op, row.flags, b);
            ASSERT_EQ(dst.bytes, ref.bytes) << "width " << w << " value " << a.value;
            ASSERT_EQ(dz.bytes, dzRef.bytes) << "width " << w;
        }
    };
    for (int level = 0; level <= bltMaxSpanLevel(); ++level) {
        ASSERT_EQ(bltSetSpanLevel(level), level);
        SCOPED_TRACE(bltSpans().name);
        for (size_t r = 0; r < n; ++r)
            if (game(rows[r].src) && game(rows[r].dst) && !(rows[r].flags & blt_SCALED)) check(rows[r], false);
    }
    bltSetSpanLevel(bltMaxSpanLevel());
    for (size_t r = 0; r < palN; ++r)
        if (game(palRows[r].dst) && !(palRows[r].flags & blt_SCALED)) check(palRows[r], true);
}

TEST(BlitSpans, TheProcessorsBestSetIsInUseAndHasTheHotSpans) {
    EXPECT_EQ(&bltSpans(), &bltSpans());
    if (bltMaxSpanLevel() == 0) GTEST_SKIP() << "no vector spans on this processor";
    EXPECT_NE(bltSpans().fn[blt_SPAN_COPY_565_8888][0], nullptr);
    EXPECT_NE(bltSpans().fn[blt_SPAN_COPY_565_565][1], nullptr);
    EXPECT_NE(bltSpans().fn[blt_SPAN_ALPHA_8888][1], nullptr);
    EXPECT_EQ(bltSetSpanLevel(99), bltMaxSpanLevel());
    EXPECT_EQ(bltSetSpanLevel(-1), 0);
    EXPECT_STREQ(bltSpans().name, "scalar");
    bltSetSpanLevel(bltMaxSpanLevel());
}

}  // namespace
