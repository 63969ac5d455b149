#pragma once
// Per-pel draw operations of the software blitter. Each function combines one
// source pel with one destination pel in place; it knows nothing of images,
// keys or depth, so the row loops (and the RLE8 and alpha-image draws) can
// call it from their innermost loop. Channel types:
//   pelChRGB      first three bytes B, G, R of a 24- or 32-bit pel (a fourth
//                 byte is neither read nor written)
//   pelChR5G6B5   u16, R 11-15, G 5-10, B 0-4
//   pelChX1R5G5B5 u16, R 10-14, G 5-9, B 0-4, bit 15 kept as it is
//   pelChA1R5G5B5 as X1R5G5B5; bit 15 is alpha, also kept by the blends
// 16-bit pels open into 8-bit channels by plain left shifts (no replication of
// high bits into the low ones) and close by plain right shifts (truncation).
#include <algorithm>
#include <bit>
#include <type_traits>
#include <cstdint>
#include <cstring>

// ---------------------------------------------------------------- channels

struct pelChRGB {
    static constexpr uint32_t rBits = 8, gBits = 8, bBits = 8;
    static void Open(const void* p, uint32_t& b, uint32_t& g, uint32_t& r) {
        const auto* q = static_cast<const uint8_t*>(p);
        b = q[0]; g = q[1]; r = q[2];
    }
    static void Close(void* p, uint32_t b, uint32_t g, uint32_t r) {
        auto* q = static_cast<uint8_t*>(p);
        q[0] = uint8_t(b); q[1] = uint8_t(g); q[2] = uint8_t(r);
    }
    // Fields at the channel type's own widths.
    static void Fields(const void* p, uint32_t& b, uint32_t& g, uint32_t& r) { Open(p, b, g, r); }
    static void PutFields(void* p, uint32_t b, uint32_t g, uint32_t r) { Close(p, b, g, r); }
};

// The 16- and 32-bit pels are read and written as little-endian words.
static_assert(std::endian::native == std::endian::little, "pels are little-endian words");

namespace pel_detail {
inline uint16_t Load16(const void* p) { uint16_t v; std::memcpy(&v, p, 2); return v; }
inline void Store16(void* p, uint16_t v) { std::memcpy(p, &v, 2); }
inline uint32_t Load32(const void* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
inline void Store32(void* p, uint32_t v) { std::memcpy(p, &v, 4); }
}  // namespace pel_detail

// The channels of pelChRGB in a 4-byte pel (byte 3 neither read as a channel
// nor changed), moved as one little-endian u32: the same bytes, but whole-word
// loads and stores, which the row loops vectorise where byte stores with a
// gap between them do not.
struct pelChXRGB {
    static constexpr uint32_t rBits = 8, gBits = 8, bBits = 8;
    static void Open(const void* p, uint32_t& b, uint32_t& g, uint32_t& r) {
        const uint32_t v = pel_detail::Load32(p);
        b = v & 255; g = (v >> 8) & 255; r = (v >> 16) & 255;
    }
    static void Close(void* p, uint32_t b, uint32_t g, uint32_t r) {
        const uint32_t top = pel_detail::Load32(p) & 0xFF000000u;
        pel_detail::Store32(p, top | (r & 255) << 16 | (g & 255) << 8 | (b & 255));
    }
    static void Fields(const void* p, uint32_t& b, uint32_t& g, uint32_t& r) { Open(p, b, g, r); }
    static void PutFields(void* p, uint32_t b, uint32_t g, uint32_t r) { Close(p, b, g, r); }
};

struct pelChR5G6B5 {
    static constexpr uint32_t rBits = 5, gBits = 6, bBits = 5;
    static void Fields(const void* p, uint32_t& b, uint32_t& g, uint32_t& r) {
        uint32_t v = pel_detail::Load16(p);
        b = v & 31; g = (v >> 5) & 63; r = v >> 11;
    }
    static void PutFields(void* p, uint32_t b, uint32_t g, uint32_t r) {
        pel_detail::Store16(p, uint16_t((r << 11) | (g << 5) | b));
    }
    static void Open(const void* p, uint32_t& b, uint32_t& g, uint32_t& r) {
        Fields(p, b, g, r); b <<= 3; g <<= 2; r <<= 3;
    }
    static void Close(void* p, uint32_t b, uint32_t g, uint32_t r) { PutFields(p, b >> 3, g >> 2, r >> 3); }
};

struct pelChX1R5G5B5 {
    static constexpr uint32_t rBits = 5, gBits = 5, bBits = 5;
    static void Fields(const void* p, uint32_t& b, uint32_t& g, uint32_t& r) {
        uint32_t v = pel_detail::Load16(p);
        b = v & 31; g = (v >> 5) & 31; r = (v >> 10) & 31;
    }
    // Bit 15 is not a channel: a store keeps it.
    static void PutFields(void* p, uint32_t b, uint32_t g, uint32_t r) {
        uint32_t top = pel_detail::Load16(p) & 0x8000u;
        pel_detail::Store16(p, uint16_t(top | (r << 10) | (g << 5) | b));
    }
    static void Open(const void* p, uint32_t& b, uint32_t& g, uint32_t& r) {
        Fields(p, b, g, r); b <<= 3; g <<= 3; r <<= 3;
    }
    static void Close(void* p, uint32_t b, uint32_t g, uint32_t r) { PutFields(p, b >> 3, g >> 3, r >> 3); }
};

// The alpha bit of a source is ignored and that of a destination kept, so the
// blends see A1R5G5B5 exactly as X1R5G5B5.
struct pelChA1R5G5B5 : pelChX1R5G5B5 {};

// ------------------------------------------------------------- operations

// Channel arithmetic of draw operations 4 to 11, on 8-bit d and s.
struct pelOpModulate    { static uint32_t Apply(uint32_t d, uint32_t s) { return (d * s) >> 8; } };
struct pelOpModulate2x  { static uint32_t Apply(uint32_t d, uint32_t s) { return std::min<uint32_t>((d * s) >> 7, 255); } };
struct pelOpModulate4x  { static uint32_t Apply(uint32_t d, uint32_t s) { return std::min<uint32_t>((d * s) >> 6, 255); } };
struct pelOpAdd         { static uint32_t Apply(uint32_t d, uint32_t s) { return std::min<uint32_t>(d + s, 255); } };
struct pelOpAddSigned {
    static uint32_t Apply(uint32_t d, uint32_t s) { return uint32_t(std::clamp<int32_t>(int32_t(d + s) - 128, 0, 255)); }
};
struct pelOpAddSigned2x {
    static uint32_t Apply(uint32_t d, uint32_t s) { return uint32_t(std::clamp<int32_t>(int32_t(d + s) * 2 - 256, 0, 255)); }
};
struct pelOpSubtract    { static uint32_t Apply(uint32_t d, uint32_t s) { return d > s ? d - s : 0; } };
struct pelOpAddSmooth {
    static uint32_t Apply(uint32_t d, uint32_t s) { return std::min<uint32_t>(d + (((256 - d) * s) >> 8), 255); }
};

// Ops 4 to 11: open both pels, combine per channel, close into the destination.
template <class Op, class Src, class Dst>
void pelArith(void* d, const void* s) {
    uint32_t sb, sg, sr, db, dg, dr;
    Src::Open(s, sb, sg, sr);
    Dst::Open(d, db, dg, dr);
    Dst::Close(d, Op::Apply(db, sb), Op::Apply(dg, sg), Op::Apply(dr, sr));
}

// Alpha with a from 0 to 256, two separately floored terms. A 16-bit
// destination blends at its own field widths: the source is opened to 8 bits
// and shifted down to them, which gives R5G6B5 green >> 1 into 5:5:5 and 5:5:5
// green << 1 into R5G6B5.
template <class Src, class Dst>
void pelAlpha(void* d, const void* s, uint32_t a) {
    uint32_t sb, sg, sr, db, dg, dr;
    Src::Open(s, sb, sg, sr);
    sb >>= 8 - Dst::bBits; sg >>= 8 - Dst::gBits; sr >>= 8 - Dst::rBits;
    Dst::Fields(d, db, dg, dr);
    const uint32_t na = 256 - a;
    Dst::PutFields(d, ((db * na) >> 8) + ((sb * a) >> 8), ((dg * na) >> 8) + ((sg * a) >> 8),
                   ((dr * na) >> 8) + ((sr * a) >> 8));
}

// Op 12 with the fade amount c from 0 to 256.
template <class Src, class Dst>
void pelFadeAdd(void* d, const void* s, uint32_t c) {
    uint32_t sb, sg, sr, db, dg, dr;
    Src::Open(s, sb, sg, sr);
    Dst::Open(d, db, dg, dr);
    const uint32_t nc = 256 - c;
    auto f = [nc](uint32_t dv, uint32_t sv) { return std::min<uint32_t>(((dv * nc) >> 8) + sv, 255); };
    Dst::Close(d, f(db, sb), f(dg, sg), f(dr, sr));
}

// Alpha rounded once, (d*(256-a) + s*a) >> 8 per field, for the loops between
// equal 32-bit or equal R5G6B5 pels (and palette pels into those): there the
// fields are blended without going through the two-term member.
template <class Ch>
void pelAlphaOnce(void* d, const void* s, uint32_t a) {
    uint32_t sb, sg, sr, db, dg, dr;
    Ch::Fields(s, sb, sg, sr);
    Ch::Fields(d, db, dg, dr);
    const uint32_t na = 256 - a;
    Ch::PutFields(d, (db * na + sb * a) >> 8, (dg * na + sg * a) >> 8, (dr * na + sr * a) >> 8);
}

// ------------------------------------------------------------ pel stores

// Subtract of R5G6B5 from R5G6B5 on the packed fields; no borrow between
// fields. Inline and without branches, so that the row loops vectorise it.
inline void pelSub565(void* d, const void* s) {
    const uint32_t dv = pel_detail::Load16(d), sv = pel_detail::Load16(s);
    uint32_t out = 0;
    for (uint32_t mask : {0xF800u, 0x07E0u, 0x001Fu}) {
        const uint32_t df = dv & mask, sf = sv & mask;
        out |= df > sf ? df - sf : 0;
    }
    pel_detail::Store16(d, uint16_t(out));
}
// One 16-bit 1:5:5:5 pel from bytes B, G, R (and A): bit 15 set, or for
// pelSet1555A set when A >= 128. pelSet1555Alt is the same store as
// pelSet1555, kept under its own name for the key-pel and alpha-image users.
void pelSet1555(void* pel, const uint8_t* bgr);
void pelSet1555A(void* pel, const uint8_t* bgra);
void pelSet1555Alt(void* pel, const uint8_t* bgr);

#include "engine/blit/blit_pel_names.h"
