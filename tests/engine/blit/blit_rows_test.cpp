// Every row of the dispatch table against the generic path on seeded random
// images (one CRC over all rows, pixman blitters-test style), then direct
// checks of keys, depth order, scaling, row stepping and the table itself.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "engine/blit/blit.h"
#include "engine/blit/blit_rows.h"

namespace {

// An image whose lock pointer addresses a test-owned buffer with a pitch
// wider than the rectangle, as a lock of a part of a bigger image leaves it.
struct TestImg {
    std::vector<uint8_t> buf;
    imgRowCTy img;
    TestImg(uint32_t fmt, int32_t w, int32_t h, int32_t pitch) {
        img.pelFmt.format = fmt;
        img.width = w;
        img.height = h;
        img.pitch = pitch;
        buf.assign(size_t(pitch) * size_t(h) * pelBytes[fmt] + 16, 0);
        img.lockPtr = buf.data();
    }
    ~TestImg() { img.lockPtr = nullptr; }
    TestImg(const TestImg& o) : TestImg(o.img.pelFmt.format, o.img.width, o.img.height, o.img.pitch) { buf = o.buf; img.lockPtr = buf.data(); }
};

uint32_t Crc32(uint32_t crc, const std::vector<uint8_t>& v) {
    crc = ~crc;
    for (uint8_t b : v) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// Source pels come from a small set that includes the key (and its
// near-misses), so keyed-out and drawn pels both occur; depths share a small
// range, so greater, equal and smaller depths all occur.
void FillSource(TestImg& t, std::mt19937& rng, uint32_t key) {
    const uint32_t bytes = pelBytes[t.img.pelFmt.format];
    for (size_t i = 0; i + bytes <= t.buf.size(); i += bytes) {
        uint32_t v = rng();
        switch (rng() % 4) {
        case 0: v = key; break;
        case 1: v = key ^ (1u << (rng() % (bytes * 8))); break;
        default: break;
        }
        std::memcpy(&t.buf[i], &v, bytes);
    }
}

void FillRandom(TestImg& t, std::mt19937& rng, uint32_t mod = 0) {
    for (size_t i = 0; i + 4 <= t.buf.size(); i += 4) {
        uint32_t v = mod ? uint32_t(int32_t(rng() % mod) - int32_t(mod / 2)) : rng();
        std::memcpy(&t.buf[i], &v, 4);
    }
}

// Runs each row and the generic path on copies of the same random images and
// folds both results into CRCs; palette rows get a random table of 200
// entries, so some indices lie beyond it.
void CheckRows(const bltRowTy* rows, size_t n, bool pal, uint32_t seed) {
    std::mt19937 rng(seed);
    uint32_t crcRows = 0, crcGeneric = 0;
    std::vector<uint8_t> table(200 * 4);
    for (size_t r = 0; r < n; ++r) {
        const bltRowTy& row = rows[r];
        SCOPED_TRACE(bltRowName(row));
        for (int round = 0; round < 3; ++round) {
            const int32_t w = 1 + int32_t(rng() % 23), h = 1 + int32_t(rng() % 9);
            rectTy rect{0, 0, w, h};
            bltArgsTy a;
            const uint32_t key = rng();
            const bool scaled = row.flags & blt_SCALED;
            float scales[] = {1.0f, 2.0f, 0.5f, 1.5f, 0.75f};
            a.scaleX = scaled ? scales[rng() % 5] : 1.0f;
            a.scaleY = scaled ? scales[rng() % 5] : 1.0f;
            if (scaled) { rect.x = int32_t(rng() % 7); rect.y = int32_t(rng() % 5); }
            // Big enough for every sampled source pel.
            const int32_t sw = int32_t(((uint64_t(rect.x + w) * bltStep(a.scaleX)) >> 16) + 2 + rng() % 5);
            const int32_t sh = int32_t(((uint64_t(rect.y + h) * bltStep(a.scaleY)) >> 16) + 2);
            uint32_t dstFmt = row.dst == pel_FMT_X8R8G8B8 && (rng() & 1) ? pel_FMT_A8R8G8B8 : row.dst;
            if (pal && row.dst == pel_FMT_X1R5G5B5 && (rng() & 1)) dstFmt = pel_FMT_A1R5G5B5;
            const uint32_t srcFmt = row.src == pel_FMT_X8R8G8B8 && (rng() & 1) ? pel_FMT_A8R8G8B8 : row.src;
            TestImg src(pal ? pel_FMT_P8 : srcFmt, sw, sh, sw), dst(dstFmt, w, h, w + int32_t(rng() % 4));
            TestImg map(pel_FMT_P8, w, h, w + int32_t(rng() % 5));
            TestImg sz(pel_FMT_Z32, w, h, w + int32_t(rng() % 3)), dz(pel_FMT_Z32, w, h, w + int32_t(rng() % 6));
            a.key = pelBytes[pal ? row.dst : srcFmt] == 2 ? key & 0xFFFF : key;
            if (pal) {
                for (auto& b : table) b = uint8_t(rng());
                // Some entries equal the key, so keyed indices occur.
                for (int k = 0; k < 40; ++k) std::memcpy(&table[(rng() % 200) * pelBytes[row.dst]], &a.key, pelBytes[row.dst]);
                a.table = table.data();
                a.tableCount = 200;
                FillRandom(src, rng);
            } else {
                FillSource(src, rng, a.key);
            }
            FillRandom(dst, rng);
            FillRandom(map, rng);
            FillRandom(sz, rng, 7);
            FillRandom(dz, rng, 7);
            TestImg dst2(dst), dz2(dz);
            a.value = rng() % 257;
            a.src = &src.img;
            a.rect = &rect;
            a.alphaMap = &map.img;
            a.srcDepth = &sz.img;
            bltArgsTy b = a;
            a.dst = &dst.img;
            a.dstDepth = &dz.img;
            b.dst = &dst2.img;
            b.dstDepth = &dz2.img;
            row.fn(a);
            bltGeneric(row.op, row.flags, b);
            ASSERT_EQ(dst.buf, dst2.buf) << "round " << round;
            ASSERT_EQ(dz.buf, dz2.buf) << "round " << round;
            crcRows = Crc32(Crc32(crcRows, dst.buf), dz.buf);
            crcGeneric = Crc32(Crc32(crcGeneric, dst2.buf), dz2.buf);
        }
    }
    EXPECT_EQ(crcRows, crcGeneric);
}

TEST(BlitRows, EveryRowMatchesTheGenericPath) {
    size_t n = 0;
    const bltRowTy* rows = bltRows(&n);
    CheckRows(rows, n, false, 20261207);
}

TEST(BlitRows, EveryPaletteRowMatchesTheGenericPath) {
    size_t n = 0;
    const bltRowTy* rows = bltPalRows(&n);
    EXPECT_EQ(n, 4u * 48u);
    CheckRows(rows, n, true, 77);
    EXPECT_EQ(bltRowName(rows[n - 1]), "bltPalAddSmoothDepth_X1R5G5B5");
    EXPECT_EQ(bltFindPalRow(blt_OP_ADD, pel_FMT_A1R5G5B5, blt_KEY), bltFindPalRow(blt_OP_ADD, pel_FMT_X1R5G5B5, blt_KEY));
    EXPECT_EQ(bltFindPalRow(blt_OP_ADD, pel_FMT_P8, 0), nullptr);
}

TEST(BlitRows, TableHasOneNamedRowPerCombination) {
    size_t n = 0;
    const bltRowTy* rows = bltRows(&n);
    EXPECT_EQ(n, 5u * 5u * 48u);
    std::set<std::string> names;
    for (size_t i = 0; i < n; ++i) {
        names.insert(bltRowName(rows[i]));
        EXPECT_EQ(bltFindRow(rows[i].op, rows[i].src, rows[i].dst, rows[i].flags), &rows[i]);
    }
    EXPECT_EQ(names.size(), n);
    EXPECT_EQ(bltRowName(rows[0]), "bltScaledCopyKey_R8G8B8_R8G8B8");
    EXPECT_TRUE(names.count("bltAddSmoothKeyDepth_A1R5G5B5_X8R8G8B8"));
    // Formats 2 and 3 share rows; palettes, depth formats, scaled ops other
    // than Copy/Alpha/Add and depth without Copy/arith have none.
    EXPECT_EQ(bltFindRow(blt_OP_ADD, pel_FMT_A8R8G8B8, pel_FMT_A8R8G8B8, 0),
              bltFindRow(blt_OP_ADD, pel_FMT_X8R8G8B8, pel_FMT_X8R8G8B8, 0));
    EXPECT_EQ(bltFindRow(blt_OP_COPY, pel_FMT_P8, pel_FMT_R5G6B5, 0), nullptr);
    EXPECT_EQ(bltFindRow(blt_OP_COPY, pel_FMT_R5G6B5, pel_FMT_Z32, 0), nullptr);
    EXPECT_EQ(bltFindRow(blt_OP_MODULATE, pel_FMT_R5G6B5, pel_FMT_R5G6B5, blt_SCALED), nullptr);
    EXPECT_EQ(bltFindRow(blt_OP_ALPHA, pel_FMT_R5G6B5, pel_FMT_R5G6B5, blt_DEPTH), nullptr);
    EXPECT_EQ(bltFindRow(blt_OP_COUNT, pel_FMT_R5G6B5, pel_FMT_R5G6B5, 0), nullptr);
}

TEST(BlitRows, KeysCompareTheSourcesOwnBits) {
    rectTy rect{0, 0, 2, 1};
    // R8G8B8: three bytes; the fourth byte of the carrying u32 is ignored.
    TestImg s24(pel_FMT_R8G8B8, 2, 1, 2), d32(pel_FMT_X8R8G8B8, 2, 1, 2);
    const uint8_t px[6] = {1, 2, 3, 1, 2, 4};
    std::memcpy(s24.buf.data(), px, 6);
    bltArgsTy a;
    a.src = &s24.img; a.dst = &d32.img; a.rect = &rect; a.key = 0xEE030201u;
    bltRun(blt_OP_COPY, blt_KEY, a);
    EXPECT_EQ(d32.buf[0], 0);
    EXPECT_EQ(d32.buf[4], 1);
    EXPECT_EQ(d32.buf[7], 255);
    // X8R8G8B8: the fourth byte counts.
    TestImg s32(pel_FMT_X8R8G8B8, 2, 1, 2), e32(pel_FMT_X8R8G8B8, 2, 1, 2);
    const uint32_t p32[2] = {0x00112233u, 0xFF112233u};
    std::memcpy(s32.buf.data(), p32, 8);
    a.src = &s32.img; a.dst = &e32.img; a.key = 0xFF112233u;
    bltRun(blt_OP_COPY, blt_KEY, a);
    uint32_t out[2];
    std::memcpy(out, e32.buf.data(), 8);
    EXPECT_EQ(out[0], 0x00112233u);
    EXPECT_EQ(out[1], 0u);
    // X1R5G5B5: bit 15 takes no part; A1R5G5B5: it does.
    const uint16_t p16[2] = {0x1234, 0x9234};
    for (uint32_t fmt : {pel_FMT_X1R5G5B5, pel_FMT_A1R5G5B5}) {
        TestImg s16(fmt, 2, 1, 2), d16(pel_FMT_R5G6B5, 2, 1, 2);
        std::memcpy(s16.buf.data(), p16, 4);
        a.src = &s16.img; a.dst = &d16.img; a.key = 0x9234;
        bltRun(blt_OP_COPY, blt_KEY, a);
        uint16_t o[2];
        std::memcpy(o, d16.buf.data(), 4);
        EXPECT_EQ(o[0], fmt == pel_FMT_X1R5G5B5 ? 0 : 0x2454) << fmt;  // fields of 0x1234, green << 1
        EXPECT_EQ(o[1], 0);
    }
}

TEST(BlitRows, DepthComesBeforeTheKey) {
    rectTy rect{0, 0, 4, 1};
    TestImg s(pel_FMT_R5G6B5, 4, 1, 4), d(pel_FMT_R5G6B5, 4, 1, 4), sz(pel_FMT_Z32, 4, 1, 4), dz(pel_FMT_Z32, 4, 1, 4);
    const uint16_t sp[4] = {7, 7, 9, 9};      // 7 is the key
    const int32_t szv[4] = {5, 1, 1, -3};
    const int32_t dzv[4] = {2, 3, 1, -8};
    std::memcpy(s.buf.data(), sp, 8);
    std::memcpy(sz.buf.data(), szv, 16);
    std::memcpy(dz.buf.data(), dzv, 16);
    bltArgsTy a;
    a.src = &s.img; a.dst = &d.img; a.srcDepth = &sz.img; a.dstDepth = &dz.img; a.rect = &rect; a.key = 7;
    bltRun(blt_OP_COPY, blt_KEY | blt_DEPTH, a);
    uint16_t o[4];
    int32_t z[4];
    std::memcpy(o, d.buf.data(), 8);
    std::memcpy(z, dz.buf.data(), 16);
    // Keyed out but deeper: depth raised, pel kept. Equal depth: nothing.
    EXPECT_EQ(z[0], 5); EXPECT_EQ(o[0], 0);
    EXPECT_EQ(z[1], 3); EXPECT_EQ(o[1], 0);
    EXPECT_EQ(z[2], 1); EXPECT_EQ(o[2], 0);
    EXPECT_EQ(z[3], -3); EXPECT_EQ(o[3], 9);
}

TEST(BlitRows, ScaledSamplingAndRowSteps) {
    // Source row y holds pels 100*y + x.
    TestImg s(pel_FMT_X8R8G8B8, 40, 10, 40);
    for (uint32_t y = 0; y < 10; ++y)
        for (uint32_t x = 0; x < 40; ++x) {
            uint32_t v = 100 * y + x;
            std::memcpy(&s.buf[(y * 40 + x) * 4], &v, 4);
        }
    auto run = [&](float sc, int32_t x0, int32_t y0) {
        TestImg d(pel_FMT_X8R8G8B8, 4, 2, 6);
        rectTy rect{x0, y0, 4, 2};
        bltArgsTy a;
        a.src = &s.img; a.dst = &d.img; a.rect = &rect; a.scaleX = a.scaleY = sc;
        bltRun(blt_OP_COPY, blt_SCALED, a);
        std::vector<uint32_t> o(12);
        std::memcpy(o.data(), d.buf.data(), 48);
        return o;
    };
    EXPECT_EQ(bltStep(1.0f), 65536u);
    EXPECT_EQ(bltStep(2.0f), 32768u);
    EXPECT_EQ(bltStep(0.5f), 131072u);
    auto o = run(2.0f, 10, 0);
    EXPECT_EQ(std::vector<uint32_t>(o.begin(), o.begin() + 4), (std::vector<uint32_t>{5, 5, 6, 6}));
    EXPECT_EQ(std::vector<uint32_t>(o.begin() + 6, o.begin() + 10), (std::vector<uint32_t>{5, 5, 6, 6}));
    o = run(0.5f, 0, 1);
    EXPECT_EQ(std::vector<uint32_t>(o.begin(), o.begin() + 4), (std::vector<uint32_t>{200, 202, 204, 206}));
    EXPECT_EQ(std::vector<uint32_t>(o.begin() + 6, o.begin() + 10), (std::vector<uint32_t>{400, 402, 404, 406}));
    EXPECT_EQ(o[4], 0u);  // beyond w in the wider pitch: untouched
}

TEST(BlitRows, EmptyRectanglesAndMissingRowsDrawNothing) {
    TestImg s(pel_FMT_R8G8B8, 3, 3, 3), d(pel_FMT_R5G6B5, 3, 3, 3);
    std::fill(s.buf.begin(), s.buf.end(), 0xFF);
    bltArgsTy a;
    a.src = &s.img; a.dst = &d.img;
    for (rectTy rect : {rectTy{0, 0, 0, 3}, rectTy{0, 0, 3, 0}, rectTy{0, 0, -1, 3}, rectTy{0, 0, 3, -2}}) {
        a.rect = &rect;
        bltRun(blt_OP_COPY, 0, a);
        bltRun(blt_OP_COPY, blt_SCALED, a);
    }
    rectTy whole{0, 0, 3, 3};
    a.rect = &whole;
    bltRun(blt_OP_MODULATE, blt_SCALED, a);  // no such row
    for (uint8_t b : d.buf) ASSERT_EQ(b, 0);
    bltRun(blt_OP_COPY, 0, a);
    EXPECT_EQ(d.buf[0], 0xFF);
    // The forced generic path draws the same and also nothing without a row.
    TestImg d2(pel_FMT_R5G6B5, 3, 3, 3);
    a.dst = &d2.img;
    bltForceGeneric(true);
    bltRun(blt_OP_MODULATE, blt_SCALED, a);
    for (uint8_t b : d2.buf) ASSERT_EQ(b, 0);
    bltRun(blt_OP_COPY, 0, a);
    bltForceGeneric(false);
    EXPECT_EQ(d.buf, d2.buf);
}

}  // namespace

TEST(BlitRows, ScaledStepsAreTheTruncatedQuotientOfTheScale) {
    // 65536 / scale of the single-precision scale, truncated: 0.8f is a
    // little above 0.8, so its step is 81919, not 81920.
    struct Case { float scale; uint32_t step; std::vector<uint32_t> columns; };
    const Case cases[] = {
        {0.1f, 655359u, {0, 9, 19, 29, 39}},
        {0.2f, 327679u, {0, 4, 9, 14, 19, 24, 29, 34, 39}},
        {0.4f, 163839u, {0, 2, 4, 7, 9, 12, 14, 17, 19, 22, 24, 27}},
        {0.8f, 81919u, {0, 1, 2, 3, 4, 6, 7, 8, 9, 11}},
        {1.5f, 43690u, {0, 0, 1, 1, 2, 3, 3, 4, 5, 5}},
    };
    TestImg s(pel_FMT_X8R8G8B8, 400, 1, 400);
    for (uint32_t x = 0; x < 400; ++x) std::memcpy(&s.buf[x * 4], &x, 4);
    for (const Case& c : cases) {
        EXPECT_EQ(bltStep(c.scale), c.step) << c.scale;
        const int32_t n = int32_t(c.columns.size());
        TestImg d(pel_FMT_X8R8G8B8, n, 1, n);
        rectTy rect{0, 0, n, 1};
        bltArgsTy a;
        a.src = &s.img; a.dst = &d.img; a.rect = &rect; a.scaleX = c.scale; a.scaleY = 1.0f;
        bltRun(blt_OP_COPY, blt_SCALED, a);
        std::vector<uint32_t> got(c.columns.size());
        std::memcpy(got.data(), d.buf.data(), got.size() * 4);
        EXPECT_EQ(got, c.columns) << c.scale;
    }
}
