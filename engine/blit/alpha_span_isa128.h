#pragma once
// The 128-bit instruction-group type of the alpha-image span kernels (SSE2,
// part of every x86-64 processor). Internal linkage, like the kernels: the
// SSE2 unit uses it for every register, the AVX2 unit for short runs.
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace {

struct spanSse2 {
    using V = __m128i;
    static constexpr uint32_t bytes = 16;
    static V Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
    static void Store(void* p, V v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
    static V Set16(int32_t v) { return _mm_set1_epi16(int16_t(v)); }
    static V Set32(int32_t v) { return _mm_set1_epi32(v); }
    static V Lo8(V v) { return _mm_unpacklo_epi8(v, _mm_setzero_si128()); }
    static V Hi8(V v) { return _mm_unpackhi_epi8(v, _mm_setzero_si128()); }
    static V Pack16(V lo, V hi) { return _mm_packus_epi16(lo, hi); }
    static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
    static V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
    static V Mul16(V a, V b) { return _mm_mullo_epi16(a, b); }
    static V Min16(V a, V b) { return _mm_min_epi16(a, b); }
    template <int K> static V Srl16(V v) { return _mm_srli_epi16(v, K); }
    template <int K> static V Sll16(V v) { return _mm_slli_epi16(v, K); }
    static V And(V a, V b) { return _mm_and_si128(a, b); }
    static V Or(V a, V b) { return _mm_or_si128(a, b); }
    static V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }
    // Bytes of v where keep is set, of old elsewhere.
    static V Blend(V keep, V v, V old) { return _mm_or_si128(_mm_and_si128(keep, v), _mm_andnot_si128(keep, old)); }
    static V AddSat8(V a, V b) { return _mm_adds_epu8(a, b); }
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
    static V Alpha16(const uint8_t* p) { return Lo8(_mm_loadl_epi64(static_cast<const __m128i*>(static_cast<const void*>(p)))); }
    // 4 alpha bytes, each repeated over the four bytes of its pel.
    static V AlphaPel32(const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        const V x = _mm_cvtsi32_si128(int32_t(v));
        const V pairs = _mm_unpacklo_epi8(x, x);
        return _mm_unpacklo_epi16(pairs, pairs);
    }
};

}  // namespace
