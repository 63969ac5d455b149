#pragma once
// Vector helpers for the blitter's pel loops and the alpha-image spans:
// whole-register loads and stores, masks, the R5G6B5 <-> 8:8:8:8 widenings
// of the copy loops and the blend of fields with one rounding. Each helper computes, lane for lane,
// exactly what the per-pel operations of blit_pel.h compute, so a loop built
// from them stays bit-identical to the generic path.
//
// Two register widths share one interface, so that a loop is written once as
// a template over the width:
//   simdSse2  16 bytes (always there on x86_64)
//   simdAvx2  32 bytes (only in units compiled with -mavx2; pick the loop at
//             start-up by the processor's instruction groups)
//   simdSse2Shuffle  simdSse2 with the byte shuffle of AVX2 processors, for
//             the short runs of the AVX2 units
// Pels are always in memory order: lane i of a register of 32-bit pels is
// pel i, lane i of a register of 16-bit pels is pel i. Conversions between
// the two pel sizes take one register of 16-bit pels and two of 32-bit pels
// (lo: the first half of the pels, hi: the second half).
//
// A build for a processor without SSE2 has neither: its loops stay scalar.
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define SIMD_PEL_SSE2 1
#endif
#if defined(__AVX2__)
#include <immintrin.h>
#define SIMD_PEL_AVX2 1
#endif

// Internal linkage throughout: the SSE2 and AVX2 units each get their own
// copy, so the linker can never hand an SSE2 caller a copy compiled for AVX2.
namespace {

#if defined(SIMD_PEL_SSE2)
struct simdSse2 {
    using V = __m128i;
    static constexpr size_t bytes = 16;
    static constexpr size_t pels16 = 8;  // 16-bit pels per register
    static constexpr size_t pels32 = 4;  // 32-bit pels per register

    static V Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
    static void Store(void* p, V v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
    static V Zero() { return _mm_setzero_si128(); }
    static V Set16(uint16_t v) { return _mm_set1_epi16(int16_t(v)); }
    static V Set32(uint32_t v) { return _mm_set1_epi32(int32_t(v)); }

    static V And(V a, V b) { return _mm_and_si128(a, b); }
    static V Or(V a, V b) { return _mm_or_si128(a, b); }
    static V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }  // ~a & b
    // Lanes of `mask` are all ones or all zeros: mask ? a : b, bit by bit.
    static V Select(V mask, V a, V b) { return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b)); }
    static V Eq16(V a, V b) { return _mm_cmpeq_epi16(a, b); }
    static V Eq32(V a, V b) { return _mm_cmpeq_epi32(a, b); }
    // Masks of 32-bit lanes (lo: first pels, hi: the next) as 16-bit lanes.
    static V PackMask32To16(V lo, V hi) { return _mm_packs_epi32(lo, hi); }

    static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
    static V AddSat8(V a, V b) { return _mm_adds_epu8(a, b); }   // min(a + b, 255) per byte
    static V SubSat8(V a, V b) { return _mm_subs_epu8(a, b); }   // max(a - b, 0) per byte
    static V AddSat16(V a, V b) { return _mm_adds_epu16(a, b); }
    static V SubSat16(V a, V b) { return _mm_subs_epu16(a, b); }
    static V Min16(V a, V b) { return _mm_min_epi16(a, b); }     // signed: for lanes below 0x8000
    static V Max16(V a, V b) { return _mm_max_epi16(a, b); }     // signed
    static V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
    static V Mul16(V a, V b) { return _mm_mullo_epi16(a, b); }  // low 16 bits of the product
    template <int N> static V Shr16(V a) { return _mm_srli_epi16(a, N); }
    template <int N> static V Shl16(V a) { return _mm_slli_epi16(a, N); }
    template <int N> static V Shr32(V a) { return _mm_srli_epi32(a, N); }
    template <int N> static V Shl32(V a) { return _mm_slli_epi32(a, N); }

    // Bytes to 16-bit lanes (zero-extended) and back (lanes must be 0..255).
    // The split is per 128-bit block, so Narrow8(Widen8Lo(v), Widen8Hi(v)) is v
    // at either width; use them for lane-wise arithmetic only.
    static V Widen8Lo(V v) { return _mm_unpacklo_epi8(v, _mm_setzero_si128()); }
    static V Widen8Hi(V v) { return _mm_unpackhi_epi8(v, _mm_setzero_si128()); }
    static V Narrow8(V lo, V hi) { return _mm_packus_epi16(lo, hi); }
    // In 16-bit lanes of widened 8:8:8:8 pels (four lanes a pel): every lane of
    // a pel gets the pel's lane 3 (the alpha byte of X8R8G8B8/A8R8G8B8).
    static V SplatLane3(V v) {
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xFF), 0xFF);
    }

    // pels16 R5G6B5 pels from memory as two registers of 32-bit pels: blue
    // << 3 in bits 0-7, green << 2 in 8-15, red << 3 in 16-23, bits 24-31
    // zero (the fields opened by plain shifts, as pelChR5G6B5::Open does).
    static void Load565As8888(const void* p, V& lo, V& hi) {
        const V v = Load(p);
        lo = Open565(_mm_unpacklo_epi16(v, _mm_setzero_si128()));
        hi = Open565(_mm_unpackhi_epi16(v, _mm_setzero_si128()));
    }
    // Two registers of 32-bit pels to one of R5G6B5: blue >> 3, green >> 2,
    // red >> 3 of bytes 0, 1, 2 (pelChR5G6B5::Close); byte 3 is ignored.
    static V Pack8888To565(V lo, V hi) {
        // Close565 shifted left by 5, then moved down with sign extension so
        // that the signed pack keeps all 16 bits.
        const V a = _mm_srai_epi32(_mm_slli_epi32(Close565Shl5(lo), 11), 16);
        const V b = _mm_srai_epi32(_mm_slli_epi32(Close565Shl5(hi), 11), 16);
        return _mm_packs_epi32(a, b);
    }

    // 32-bit lanes holding one R5G6B5 pel each, opened as Load565As8888 does.
    static V Open565(V v) {
        const V b = _mm_slli_epi32(_mm_and_si128(v, _mm_set1_epi32(0x001F)), 3);
        const V g = _mm_slli_epi32(_mm_and_si128(v, _mm_set1_epi32(0x07E0)), 5);
        const V r = _mm_slli_epi32(_mm_and_si128(v, _mm_set1_epi32(0xF800)), 8);
        return _mm_or_si128(_mm_or_si128(b, g), r);
    }
    // The R5G6B5 pel of each 32-bit pel, shifted left by 5 (bits 5-20, the
    // rest zero): one multiply-add moves blue's top five bits up by 2 and
    // red's by 13 at once; green's top six are already in place.
    static V Close565Shl5(V v) {
        const V rb = _mm_and_si128(v, _mm_set1_epi32(0x00F800F8));
        const V g = _mm_and_si128(v, _mm_set1_epi32(0x0000FC00));
        return _mm_or_si128(_mm_madd_epi16(rb, _mm_set1_epi32(0x20000004)), g);
    }

    // Signed compares (masks of all ones where a > b) and the lane numbers
    // 0, 1, 2, ..., for masks of the first n lanes.
    static V Cmpgt16(V a, V b) { return _mm_cmpgt_epi16(a, b); }
    static V Cmpgt32(V a, V b) { return _mm_cmpgt_epi32(a, b); }
    static V Iota16() { return _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7); }
    static V Iota32() { return _mm_setr_epi32(0, 1, 2, 3); }
    // 4 R8G8B8 colours as 32-bit pels, the fourth byte 0: colour k moves up
    // k bytes. Reads 16 bytes, 4 past the colours.
    static V ExpandRgb(const uint8_t* p) {
        const V x = Load(p);
        const V lane = _mm_setr_epi32(0xFFFFFF, 0, 0, 0);
        V v = _mm_and_si128(x, lane);
        v = _mm_or_si128(v, _mm_and_si128(_mm_slli_si128(x, 1), _mm_slli_si128(lane, 4)));
        v = _mm_or_si128(v, _mm_and_si128(_mm_slli_si128(x, 2), _mm_slli_si128(lane, 8)));
        return _mm_or_si128(v, _mm_and_si128(_mm_slli_si128(x, 3), _mm_slli_si128(lane, 12)));
    }
    // Two registers of 32-bit pels as one of R5G6B5 pels, each channel
    // shifted down to its width.
    static V To565(V lo, V hi) {
        auto one = [](V x) {
            const V b = _mm_and_si128(_mm_srli_epi32(x, 3), _mm_set1_epi32(0x001F));
            const V g = _mm_and_si128(_mm_srli_epi32(x, 5), _mm_set1_epi32(0x07E0));
            const V r = _mm_and_si128(_mm_srli_epi32(x, 8), _mm_set1_epi32(0xF800));
            // Sign-extended from 16 bits, so that the signed pack keeps them.
            return _mm_srai_epi32(_mm_slli_epi32(_mm_or_si128(_mm_or_si128(b, g), r), 16), 16);
        };
        return _mm_packs_epi32(one(lo), one(hi));
    }
    // 8 alpha bytes, one 16-bit lane each.
    static V Alpha16(const uint8_t* p) {
        return Widen8Lo(_mm_loadl_epi64(static_cast<const __m128i*>(static_cast<const void*>(p))));
    }
    // 4 alpha bytes, each repeated over the four bytes of its pel.
    static V AlphaPel32(const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        const V x = _mm_cvtsi32_si128(int32_t(v));
        const V pairs = _mm_unpacklo_epi8(x, x);
        return _mm_unpacklo_epi16(pairs, pairs);
    }
};
#endif

#if defined(SIMD_PEL_AVX2)
// The 128-bit type with the byte shuffle AVX2 processors have: 4 R8G8B8
// colours widen in one instruction (reading 16 bytes, 4 past them).
struct simdSse2Shuffle : simdSse2 {
    static V ExpandRgb(const uint8_t* p) {
        return _mm_shuffle_epi8(Load(p), _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1));
    }
};

struct simdAvx2 {
    using V = __m256i;
    static constexpr size_t bytes = 32;
    static constexpr size_t pels16 = 16;
    static constexpr size_t pels32 = 8;

    static V Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
    static void Store(void* p, V v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
    static V Zero() { return _mm256_setzero_si256(); }
    static V Set16(uint16_t v) { return _mm256_set1_epi16(int16_t(v)); }
    static V Set32(uint32_t v) { return _mm256_set1_epi32(int32_t(v)); }

    static V And(V a, V b) { return _mm256_and_si256(a, b); }
    static V Or(V a, V b) { return _mm256_or_si256(a, b); }
    static V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
    static V Select(V mask, V a, V b) { return _mm256_blendv_epi8(b, a, mask); }
    static V Eq16(V a, V b) { return _mm256_cmpeq_epi16(a, b); }
    static V Eq32(V a, V b) { return _mm256_cmpeq_epi32(a, b); }
    static V PackMask32To16(V lo, V hi) { return _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8); }

    static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
    static V AddSat8(V a, V b) { return _mm256_adds_epu8(a, b); }
    static V SubSat8(V a, V b) { return _mm256_subs_epu8(a, b); }
    static V AddSat16(V a, V b) { return _mm256_adds_epu16(a, b); }
    static V SubSat16(V a, V b) { return _mm256_subs_epu16(a, b); }
    static V Min16(V a, V b) { return _mm256_min_epi16(a, b); }
    static V Max16(V a, V b) { return _mm256_max_epi16(a, b); }
    static V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
    static V Mul16(V a, V b) { return _mm256_mullo_epi16(a, b); }
    template <int N> static V Shr16(V a) { return _mm256_srli_epi16(a, N); }
    template <int N> static V Shl16(V a) { return _mm256_slli_epi16(a, N); }
    template <int N> static V Shr32(V a) { return _mm256_srli_epi32(a, N); }
    template <int N> static V Shl32(V a) { return _mm256_slli_epi32(a, N); }

    static V Widen8Lo(V v) { return _mm256_unpacklo_epi8(v, _mm256_setzero_si256()); }
    static V Widen8Hi(V v) { return _mm256_unpackhi_epi8(v, _mm256_setzero_si256()); }
    static V Narrow8(V lo, V hi) { return _mm256_packus_epi16(lo, hi); }
    static V SplatLane3(V v) {
        return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(v, 0xFF), 0xFF);
    }

    static void Load565As8888(const void* p, V& lo, V& hi) {
        const auto* q = static_cast<const __m128i*>(p);
        lo = Open565(_mm256_cvtepu16_epi32(_mm_loadu_si128(q)));
        hi = Open565(_mm256_cvtepu16_epi32(_mm_loadu_si128(q + 1)));
    }
    static V Pack8888To565(V lo, V hi) {
        // The unsigned pack works per 128-bit block; the permute puts the
        // four 64-bit quarters back in pel order.
        const V p = _mm256_packus_epi32(_mm256_srli_epi32(Close565Shl5(lo), 5), _mm256_srli_epi32(Close565Shl5(hi), 5));
        return _mm256_permute4x64_epi64(p, 0xD8);
    }

    static V Open565(V v) {
        const V b = _mm256_slli_epi32(_mm256_and_si256(v, _mm256_set1_epi32(0x001F)), 3);
        const V g = _mm256_slli_epi32(_mm256_and_si256(v, _mm256_set1_epi32(0x07E0)), 5);
        const V r = _mm256_slli_epi32(_mm256_and_si256(v, _mm256_set1_epi32(0xF800)), 8);
        return _mm256_or_si256(_mm256_or_si256(b, g), r);
    }
    static V Close565Shl5(V v) {
        const V rb = _mm256_and_si256(v, _mm256_set1_epi32(0x00F800F8));
        const V g = _mm256_and_si256(v, _mm256_set1_epi32(0x0000FC00));
        return _mm256_or_si256(_mm256_madd_epi16(rb, _mm256_set1_epi32(0x20000004)), g);
    }

    static V Cmpgt16(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
    static V Cmpgt32(V a, V b) { return _mm256_cmpgt_epi32(a, b); }
    static V Iota16() { return _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15); }
    static V Iota32() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
    // 8 R8G8B8 colours as 32-bit pels, four from each 12 bytes. Reads 28
    // bytes, 4 past the colours.
    static V ExpandRgb(const uint8_t* p) {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(simdSse2Shuffle::ExpandRgb(p)), simdSse2Shuffle::ExpandRgb(p + 12), 1);
    }
    static V To565(V lo, V hi) {
        auto one = [](V x) {
            const V b = _mm256_and_si256(_mm256_srli_epi32(x, 3), _mm256_set1_epi32(0x001F));
            const V g = _mm256_and_si256(_mm256_srli_epi32(x, 5), _mm256_set1_epi32(0x07E0));
            const V r = _mm256_and_si256(_mm256_srli_epi32(x, 8), _mm256_set1_epi32(0xF800));
            return _mm256_srai_epi32(_mm256_slli_epi32(_mm256_or_si256(_mm256_or_si256(b, g), r), 16), 16);
        };
        // The pack works within 128-bit halves: put the quarters back in order.
        return _mm256_permute4x64_epi64(_mm256_packs_epi32(one(lo), one(hi)), 0xD8);
    }
    // 16 alpha bytes, one 16-bit lane each.
    static V Alpha16(const uint8_t* p) { return _mm256_cvtepu8_epi16(_mm_loadu_si128(static_cast<const __m128i*>(static_cast<const void*>(p)))); }
    // 8 alpha bytes, each repeated over the four bytes of its pel.
    static V AlphaPel32(const uint8_t* p) {
        const __m128i x = _mm_loadl_epi64(static_cast<const __m128i*>(static_cast<const void*>(p)));
        const __m128i pairs = _mm_unpacklo_epi8(x, x);
        return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi16(pairs, pairs)),
                                       _mm_unpackhi_epi16(pairs, pairs), 1);
    }
};
#endif

// ------------------------------------------------ width-independent helpers

// (d * (256 - a) + s * a) >> 8 in every 16-bit lane, a and na = 256 - a
// given per lane (splatted or per pel). The true sum never exceeds 16 bits
// for fields of up to 8 bits and a in 0..256; for any other a, bits 8-15 are
// still those of the 32-bit sum, so a store of the low 8 bits agrees with
// the scalar blend.
template <class W>
inline typename W::V simdBlend16(typename W::V d, typename W::V s, typename W::V a, typename W::V na) {
    return W::template Shr16<8>(W::Add16(W::Mul16(d, na), W::Mul16(s, a)));
}

// pelAlphaOnce<pelChRGB> on 32-bit pels, a register at a time: bytes 0-2
// blended with one rounding, byte 3 kept from the destination.
template <class W>
inline typename W::V simdAlphaOnce8888(typename W::V d, typename W::V s, typename W::V a, typename W::V na) {
    const typename W::V lo = simdBlend16<W>(W::Widen8Lo(d), W::Widen8Lo(s), a, na);
    const typename W::V hi = simdBlend16<W>(W::Widen8Hi(d), W::Widen8Hi(s), a, na);
    const typename W::V top = W::Set32(0xFF000000u);
    return W::Or(W::And(d, top), W::AndNot(top, W::Narrow8(lo, hi)));
}

// pelAlphaOnce<pelChR5G6B5> on 16-bit pels for a in 0..256: each field
// blended at its own width with one rounding.
template <class W>
inline typename W::V simdAlphaOnce565(typename W::V d, typename W::V s, typename W::V a, typename W::V na) {
    const typename W::V m5 = W::Set16(0x1F), m6 = W::Set16(0x3F);
    const typename W::V b = simdBlend16<W>(W::And(d, m5), W::And(s, m5), a, na);
    const typename W::V g = simdBlend16<W>(W::And(W::template Shr16<5>(d), m6), W::And(W::template Shr16<5>(s), m6), a, na);
    const typename W::V r = simdBlend16<W>(W::template Shr16<11>(d), W::template Shr16<11>(s), a, na);
    return W::Or(W::Or(b, W::template Shl16<5>(g)), W::template Shl16<11>(r));
}

// ((d * (256 - a)) >> 8) + ((s * a) >> 8) in every 16-bit lane: the blend of
// two separately floored terms (pelAlpha), for fields of up to 8 bits and a
// in 0..256.
template <class W>
inline typename W::V simdBlendTwoTerm16(typename W::V d, typename W::V s, typename W::V a, typename W::V na) {
    return W::Add16(W::template Shr16<8>(W::Mul16(d, na)), W::template Shr16<8>(W::Mul16(s, a)));
}

// pelAlpha onto 32-bit pels, a register at a time: `s` holds the source
// opened to 8-bit fields in bytes 0-2; bytes 0-2 of `d` blend with two
// floored terms, byte 3 is kept.
template <class W>
inline typename W::V simdAlphaTwoTerm8888(typename W::V d, typename W::V s, typename W::V a, typename W::V na) {
    const typename W::V lo = simdBlendTwoTerm16<W>(W::Widen8Lo(d), W::Widen8Lo(s), a, na);
    const typename W::V hi = simdBlendTwoTerm16<W>(W::Widen8Hi(d), W::Widen8Hi(s), a, na);
    const typename W::V top = W::Set32(0xFF000000u);
    return W::Or(W::And(d, top), W::AndNot(top, W::Narrow8(lo, hi)));
}

// pelAlpha onto R5G6B5 pels: `s` holds the source already shifted down to
// R5G6B5 fields (Pack8888To565 of an 8-bit source); each field blends with
// two floored terms at its own width.
template <class W>
inline typename W::V simdAlphaTwoTerm565(typename W::V d, typename W::V s, typename W::V a, typename W::V na) {
    const typename W::V m5 = W::Set16(0x1F), m6 = W::Set16(0x3F);
    const typename W::V b = simdBlendTwoTerm16<W>(W::And(d, m5), W::And(s, m5), a, na);
    const typename W::V g =
        simdBlendTwoTerm16<W>(W::And(W::template Shr16<5>(d), m6), W::And(W::template Shr16<5>(s), m6), a, na);
    const typename W::V r = simdBlendTwoTerm16<W>(W::template Shr16<11>(d), W::template Shr16<11>(s), a, na);
    return W::Or(W::Or(b, W::template Shl16<5>(g)), W::template Shl16<11>(r));
}

// pelOpAdd and pelOpSubtract between R5G6B5 pels: opened by shifts, added
// with a cap at 255 (or subtracted with a floor at 0) and closed by
// truncation, which is each field added with a cap at its own maximum (or
// subtracted with a floor at 0).
template <class W>
inline typename W::V simdAdd565(typename W::V d, typename W::V s) {
    const typename W::V m5 = W::Set16(0x1F), m6 = W::Set16(0x3F);
    const typename W::V b = W::Min16(W::Add16(W::And(d, m5), W::And(s, m5)), m5);
    const typename W::V g =
        W::Min16(W::Add16(W::And(W::template Shr16<5>(d), m6), W::And(W::template Shr16<5>(s), m6)), m6);
    const typename W::V r = W::Min16(W::Add16(W::template Shr16<11>(d), W::template Shr16<11>(s)), m5);
    return W::Or(W::Or(b, W::template Shl16<5>(g)), W::template Shl16<11>(r));
}

template <class W>
inline typename W::V simdSub565(typename W::V d, typename W::V s) {
    const typename W::V mb = W::Set16(0x001F), mg = W::Set16(0x07E0), mr = W::Set16(0xF800);
    return W::Or(W::Or(W::SubSat16(W::And(d, mb), W::And(s, mb)), W::SubSat16(W::And(d, mg), W::And(s, mg))),
                 W::SubSat16(W::And(d, mr), W::And(s, mr)));
}

// The 8-bit channel arithmetic of the draw ops on 16-bit lanes of opened
// fields (0..255 each), for simdArith8888 and simdArith565: Apply returns
// lanes that may exceed 255 where the op caps at 255.
// Modulate (Shift 8), Modulate2x (7) and Modulate4x (6): (d * s) >> Shift.
template <int Shift>
struct simdOpModulate {
    template <class W>
    static typename W::V Apply(typename W::V d, typename W::V s, typename W::V) {
        return W::template Shr16<Shift>(W::Mul16(d, s));
    }
};
// FadeAdd with nc = 256 - c for c in 0..256: ((d * nc) >> 8) + s.
struct simdOpFadeAdd {
    template <class W>
    static typename W::V Apply(typename W::V d, typename W::V s, typename W::V nc) {
        return W::Add16(W::template Shr16<8>(W::Mul16(d, nc)), s);
    }
};

// AddSigned: d + s - 128; AddSigned2x: (d + s) * 2 - 256 (both clamped to
// 0..255 by the caller); AddSmooth: d + (((256 - d) * s) >> 8).
struct simdOpAddSigned {
    template <class W>
    static typename W::V Apply(typename W::V d, typename W::V s, typename W::V) {
        return W::Sub16(W::Add16(d, s), W::Set16(128));
    }
};
struct simdOpAddSigned2x {
    template <class W>
    static typename W::V Apply(typename W::V d, typename W::V s, typename W::V) {
        const typename W::V sum = W::Add16(d, s);
        return W::Sub16(W::Add16(sum, sum), W::Set16(256));
    }
};
struct simdOpAddSmooth {
    template <class W>
    static typename W::V Apply(typename W::V d, typename W::V s, typename W::V) {
        return W::Add16(d, W::template Shr16<8>(W::Mul16(W::Sub16(W::Set16(256), d), s)));
    }
};

// Op on bytes 0-2 of 32-bit pels, clamped to 0..255 by the saturating narrow;
// byte 3 kept from the destination.
template <class W, class Op>
inline typename W::V simdArith8888(typename W::V d, typename W::V s, typename W::V c) {
    const typename W::V lo = Op::template Apply<W>(W::Widen8Lo(d), W::Widen8Lo(s), c);
    const typename W::V hi = Op::template Apply<W>(W::Widen8Hi(d), W::Widen8Hi(s), c);
    const typename W::V top = W::Set32(0xFF000000u);
    return W::Or(W::And(d, top), W::AndNot(top, W::Narrow8(lo, hi)));
}

// Op on R5G6B5 pels: fields opened to 8 bits by shifts, combined, clamped
// to 0..255 and closed by truncation.
template <class W, class Op>
inline typename W::V simdArith565(typename W::V d, typename W::V s, typename W::V c) {
    const typename W::V m5 = W::Set16(0x1F), m6 = W::Set16(0x3F), cap = W::Set16(255);
    const auto field = [&](typename W::V df, typename W::V sf) {
        return W::Max16(W::Min16(Op::template Apply<W>(df, sf, c), cap), W::Zero());
    };
    const typename W::V b = field(W::template Shl16<3>(W::And(d, m5)), W::template Shl16<3>(W::And(s, m5)));
    const typename W::V g = field(W::template Shl16<2>(W::And(W::template Shr16<5>(d), m6)),
                                  W::template Shl16<2>(W::And(W::template Shr16<5>(s), m6)));
    const typename W::V r = field(W::template Shl16<3>(W::template Shr16<11>(d)), W::template Shl16<3>(W::template Shr16<11>(s)));
    return W::Or(W::Or(W::template Shr16<3>(b), W::template Shl16<5>(W::template Shr16<2>(g))),
                 W::template Shl16<11>(W::template Shr16<3>(r)));
}

}  // namespace
