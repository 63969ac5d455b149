// Every per-pel function of every op and channel-type pair against formulas
// written out here on unpacked channels, plus the stated edge cases.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "engine/blit/blit.h"

namespace {

enum ChType { kRGB, k565, kX555, kA555 };

// A pel of any channel type in one u32: RGB as bytes B, G, R, X in the low 32
// bits, the 16-bit types in the low 16 bits.
struct Chan { int b, g, r; };

Chan OpenRef(ChType t, uint32_t v) {
    switch (t) {
    case kRGB: return {int(v & 255), int((v >> 8) & 255), int((v >> 16) & 255)};
    case k565: return {int(v & 31) * 8, int((v >> 5) & 63) * 4, int((v >> 11) & 31) * 8};
    default: return {int(v & 31) * 8, int((v >> 5) & 31) * 8, int((v >> 10) & 31) * 8};
    }
}

uint32_t CloseRef(ChType t, uint32_t old, Chan c) {
    switch (t) {
    case kRGB: return (old & 0xFF000000u) | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b);
    case k565: return uint32_t(c.r / 8) << 11 | uint32_t(c.g / 4) << 5 | uint32_t(c.b / 8);
    default: return (old & 0x8000u) | uint32_t(c.r / 8) << 10 | uint32_t(c.g / 8) << 5 | uint32_t(c.b / 8);
    }
}

int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

int OpRef(uint32_t op, int d, int s) {
    switch (op) {
    case img_OP_MODULATE: return d * s / 256;
    case img_OP_MODULATE2X: return Clamp(d * s / 128);
    case img_OP_MODULATE4X: return Clamp(d * s / 64);
    case img_OP_ADD: return Clamp(d + s);
    case img_OP_ADDSIGNED: return Clamp(d + s - 128);
    case img_OP_ADDSIGNED2X: return Clamp((d + s) * 2 - 256);
    case img_OP_SUBTRACT: return Clamp(d - s);
    case img_OP_ADDSMOOTH: return Clamp(d + (256 - d) * s / 256);
    }
    return -1;
}

uint32_t ArithRef(uint32_t op, ChType st, ChType dt, uint32_t d, uint32_t s) {
    Chan dc = OpenRef(dt, d), sc = OpenRef(st, s);
    return CloseRef(dt, d, {OpRef(op, dc.b, sc.b), OpRef(op, dc.g, sc.g), OpRef(op, dc.r, sc.r)});
}

// Field widths of a channel type (blue, green, red).
void Widths(ChType t, int w[3]) {
    w[0] = t == kRGB ? 8 : 5;
    w[1] = t == kRGB ? 8 : t == k565 ? 6 : 5;
    w[2] = w[0];
}

uint32_t AlphaRef(ChType st, ChType dt, uint32_t d, uint32_t s, int a) {
    if (dt == kRGB) {
        Chan dc = OpenRef(dt, d), sc = OpenRef(st, s);
        auto f = [a](int dv, int sv) { return dv * (256 - a) / 256 + sv * a / 256; };
        return CloseRef(dt, d, {f(dc.b, sc.b), f(dc.g, sc.g), f(dc.r, sc.r)});
    }
    // Source fields brought to the destination's widths, written out per case.
    int dw[3];
    Widths(dt, dw);
    Chan sc = OpenRef(st, s);
    int sf[3] = {sc.b >> 3, sc.g >> (8 - dw[1]), sc.r >> 3};
    if (st != kRGB) {
        int sw[3];
        Widths(st, sw);
        int g = (st == k565) ? int((s >> 5) & 63) : int((s >> 5) & 31);
        if (sw[1] == 6 && dw[1] == 5) g >>= 1;
        if (sw[1] == 5 && dw[1] == 6) g <<= 1;
        sf[1] = g;
    }
    int df[3] = {int(d & 31), int((d >> 5) & (dw[1] == 6 ? 63 : 31)), int((d >> (dw[1] == 6 ? 11 : 10)) & 31)};
    int o[3];
    for (int i = 0; i < 3; ++i) o[i] = df[i] * (256 - a) / 256 + sf[i] * a / 256;
    if (dt == k565) return uint32_t(o[2] << 11 | o[1] << 5 | o[0]);
    return (d & 0x8000u) | uint32_t(o[2] << 10 | o[1] << 5 | o[0]);
}

uint32_t FadeAddRef(ChType st, ChType dt, uint32_t d, uint32_t s, int c) {
    Chan dc = OpenRef(dt, d), sc = OpenRef(st, s);
    auto f = [c](int dv, int sv) { return Clamp(dv * (256 - c) / 256 + sv); };
    return CloseRef(dt, d, {f(dc.b, sc.b), f(dc.g, sc.g), f(dc.r, sc.r)});
}

template <class Ch> constexpr ChType kType = kRGB;
template <> constexpr ChType kType<pelChR5G6B5> = k565;
template <> constexpr ChType kType<pelChX1R5G5B5> = kX555;
template <> constexpr ChType kType<pelChA1R5G5B5> = kA555;

uint32_t Mask(ChType t) { return t == kRGB ? 0xFFFFFFFFu : 0xFFFFu; }

using ArithFn = void (*)(void*, const void*);

template <class S, class D>
void CheckPair(std::mt19937& rng) {
    constexpr ChType st = kType<S>, dt = kType<D>;
    SCOPED_TRACE(testing::Message() << "src type " << st << " dst type " << dt);
    const std::pair<uint32_t, ArithFn> ops[] = {
        {img_OP_MODULATE, pelArith<pelOpModulate, S, D>},       {img_OP_MODULATE2X, pelArith<pelOpModulate2x, S, D>},
        {img_OP_MODULATE4X, pelArith<pelOpModulate4x, S, D>},   {img_OP_ADD, pelArith<pelOpAdd, S, D>},
        {img_OP_ADDSIGNED, pelArith<pelOpAddSigned, S, D>},     {img_OP_ADDSIGNED2X, pelArith<pelOpAddSigned2x, S, D>},
        {img_OP_SUBTRACT, pelArith<pelOpSubtract, S, D>},       {img_OP_ADDSMOOTH, pelArith<pelOpAddSmooth, S, D>},
    };
    for (int i = 0; i < 4000; ++i) {
        const uint32_t s = rng() & Mask(st), d0 = rng() & Mask(dt);
        const int a = int(rng() % 257);
        for (auto [op, fn] : ops) {
            uint32_t d = d0;
            fn(&d, &s);
            ASSERT_EQ(d, ArithRef(op, st, dt, d0, s)) << "op " << op << " d " << d0 << " s " << s;
        }
        uint32_t d = d0;
        pelAlpha<S, D>(&d, &s, uint32_t(a));
        ASSERT_EQ(d, AlphaRef(st, dt, d0, s, a)) << "alpha " << a << " d " << d0 << " s " << s;
        d = d0;
        pelFadeAdd<S, D>(&d, &s, uint32_t(a));
        ASSERT_EQ(d, FadeAddRef(st, dt, d0, s, a)) << "fade " << a << " d " << d0 << " s " << s;
    }
}

template <class S>
void CheckSource(std::mt19937& rng) {
    CheckPair<S, pelChRGB>(rng);
    CheckPair<S, pelChR5G6B5>(rng);
    CheckPair<S, pelChX1R5G5B5>(rng);
    CheckPair<S, pelChA1R5G5B5>(rng);
}

TEST(PelOps, EveryOpAndTypePairMatchesTheChannelFormulas) {
    std::mt19937 rng(1234);
    CheckSource<pelChRGB>(rng);
    CheckSource<pelChR5G6B5>(rng);
    CheckSource<pelChX1R5G5B5>(rng);
    CheckSource<pelChA1R5G5B5>(rng);
}

TEST(PelOps, Sub565MatchesTheWidenedSubtractAndNeverBorrows) {
    std::mt19937 rng(99);
    for (int i = 0; i < 20000; ++i) {
        uint16_t s = uint16_t(rng()), d = uint16_t(rng()), d0 = d;
        pelSubtract_R5G6B5_R5G6B5(&d, &s);
        ASSERT_EQ(d, ArithRef(img_OP_SUBTRACT, k565, k565, d0, s));
    }
    uint16_t d = 0x0800, s = 0x0001;
    pelSub565(&d, &s);
    EXPECT_EQ(d, 0x0800);
}

TEST(PelOps, ChannelEdgeCases) {
    // Black added leaves every type unchanged, A1R5G5B5 bit 15 included.
    uint32_t black = 0;
    uint16_t a555 = 0xFFFF;
    pelAdd_RGB_A1R5G5B5(&a555, &black);
    EXPECT_EQ(a555, 0xFFFF);
    uint8_t d[4] = {100, 200, 30, 77};
    const uint8_t s[4] = {128, 20, 10, 0};
    pelAddSigned_RGB_RGB(d, s);
    EXPECT_EQ(d[0], 100); EXPECT_EQ(d[1], 92); EXPECT_EQ(d[2], 0); EXPECT_EQ(d[3], 77);
    EXPECT_EQ(pelOpModulate2x::Apply(200, 255), 255u);
    EXPECT_EQ(pelOpModulate::Apply(255, 255), 254u);
    EXPECT_EQ(pelOpAddSigned2x::Apply(64, 64), 0u);
    EXPECT_EQ(pelOpAddSigned2x::Apply(200, 200), 255u);
    EXPECT_EQ(pelOpAddSmooth::Apply(255, 17), 255u);
    EXPECT_EQ(pelOpAddSmooth::Apply(0, 17), 17u);
    // Widening without replication: white modulation darkens a full 565 pel.
    uint16_t p565 = 0xFFFF;
    const uint8_t white[3] = {255, 255, 255};
    pelModulate_RGB_R5G6B5(&p565, white);
    EXPECT_EQ(p565, (30 << 11) | (62 << 5) | 30);
}

TEST(PelOps, AlphaAndFadeAddEnds) {
    const uint8_t s[4] = {10, 130, 250, 9};
    uint8_t d[4] = {1, 2, 3, 44};
    pelAlpha_RGB_RGB(d, s, 256);
    EXPECT_EQ(d[0], 10); EXPECT_EQ(d[1], 130); EXPECT_EQ(d[2], 250); EXPECT_EQ(d[3], 44);
    uint16_t p = 0x1234, p0 = p;
    pelAlpha_RGB_R5G6B5(&p, s, 0);
    EXPECT_EQ(p, p0);
    pelAlpha_RGB_R5G6B5(&p, s, 256);
    EXPECT_EQ(p, (250 >> 3) << 11 | (130 >> 2) << 5 | (10 >> 3));
    uint8_t e[4] = {255, 255, 255, 0};
    const uint8_t z[4] = {0, 0, 0, 0};
    pelAlpha_RGB_RGB(e, z, 128);
    EXPECT_EQ(e[0], 127);
    uint8_t f[4] = {200, 100, 50, 0};
    pelFadeAdd_RGB_RGB(f, s, 256);
    EXPECT_EQ(f[0], 10); EXPECT_EQ(f[1], 130); EXPECT_EQ(f[2], 250);
    uint8_t g[4] = {200, 100, 50, 0}, h[4] = {200, 100, 50, 0};
    pelFadeAdd_RGB_RGB(g, s, 0);
    pelAdd_RGB_RGB(h, s);
    EXPECT_EQ(0, std::memcmp(g, h, 4));
    // Rounded once: a = 128, d = 1, s = 1 keeps 1 where the two-term form gives 0.
    uint32_t one = 0x00010101u, dd = 0x00010101u;
    pelAlphaOnce<pelChRGB>(&dd, &one, 128);
    EXPECT_EQ(dd, 0x00010101u);
    pelAlpha_RGB_RGB(&dd, &one, 128);
    EXPECT_EQ(dd, 0u);
    // R5G6B5 fields: source 0, destination 31, a = 128 gives 15 (floored shift).
    uint16_t q = 31, zero = 0;
    pelAlphaOnce<pelChR5G6B5>(&q, &zero, 128);
    EXPECT_EQ(q, 15);
}

TEST(PelOps, StoresAndCopyConversion) {
    const uint8_t bgr[4] = {255, 128, 0, 127};
    uint16_t a = 0, b = 0, c = 0;
    pelSet1555(&a, bgr);
    pelSet1555Alt(&b, bgr);
    EXPECT_EQ(a, 0x8000 | (16 << 5) | 31);
    EXPECT_EQ(a, b);
    pelSet1555A(&c, bgr);
    EXPECT_EQ(c, (16 << 5) | 31);
    // 32-bit alpha 127 clears bit 15 of A1R5G5B5, 128 sets it; X1R5G5B5 keeps its own.
    uint8_t src[4] = {8, 16, 24, 127};
    uint16_t da = 0xFFFF, dx = 0x8000;
    bltCopyPel<bltFmtX8R8G8B8, bltFmtA1R5G5B5>(reinterpret_cast<uint8_t*>(&da), src);
    EXPECT_EQ(da & 0x8000, 0);
    bltCopyPel<bltFmtX8R8G8B8, bltFmtX1R5G5B5>(reinterpret_cast<uint8_t*>(&dx), src);
    EXPECT_EQ(dx, 0x8000 | (3 << 10) | (2 << 5) | 1);
    src[3] = 128;
    bltCopyPel<bltFmtX8R8G8B8, bltFmtA1R5G5B5>(reinterpret_cast<uint8_t*>(&da), src);
    EXPECT_EQ(da & 0x8000, 0x8000);
    // 24-bit into 32-bit writes 255; A1R5G5B5 into 32-bit writes 0 or 255.
    uint8_t d32[4] = {0, 0, 0, 9};
    bltCopyPel<bltFmtR8G8B8, bltFmtX8R8G8B8>(d32, src);
    EXPECT_EQ(d32[3], 255);
    uint16_t clear = 0x7FFF;
    bltCopyPel<bltFmtA1R5G5B5, bltFmtX8R8G8B8>(d32, reinterpret_cast<uint8_t*>(&clear));
    EXPECT_EQ(d32[3], 0);
    EXPECT_EQ(d32[0], 248);
    // White into R5G6B5 is all ones; 5:5:5 green becomes its five bits << 1.
    uint16_t w = 0, x555 = 0x03E0;
    const uint8_t white[3] = {255, 255, 255};
    bltCopyPel<bltFmtR8G8B8, bltFmtR5G6B5>(reinterpret_cast<uint8_t*>(&w), white);
    EXPECT_EQ(w, 0xFFFF);
    bltCopyPel<bltFmtX1R5G5B5, bltFmtR5G6B5>(reinterpret_cast<uint8_t*>(&w), reinterpret_cast<uint8_t*>(&x555));
    EXPECT_EQ(w, 62 << 5);
    // Same 16-bit format copies the word, bit 15 included.
    uint16_t xs = 0x8123, xd = 0;
    bltCopyPel<bltFmtX1R5G5B5, bltFmtX1R5G5B5>(reinterpret_cast<uint8_t*>(&xd), reinterpret_cast<uint8_t*>(&xs));
    EXPECT_EQ(xd, 0x8123);
}

}  // namespace
