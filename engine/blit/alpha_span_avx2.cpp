// The alpha-image span walks on 256-bit registers: 16 R5G6B5 or 8 X8R8G8B8
// pels a register, runs of up to 8 or 4 pels on 128-bit registers (a
// short run then reads and rewrites fewer pels past its end, which the
// next run's loads would otherwise wait for). Compiled for AVX2 and run only where bltMaxSpanLevel
// finds it. The byte widening and narrowing work within 128-bit halves; both go
// the same way, so the pels come back in order.
#include <immintrin.h>

#include "engine/blit/alpha_span.h"
#include "engine/blit/alpha_span_isa128.h"

namespace {

// The 128-bit type with the byte shuffle AVX2 processors have: 4 R8G8B8
// colours widen in one instruction (reading 16 bytes, 4 past them).
struct spanSse2Shuffle : spanSse2 {
    static V ExpandRgb(const uint8_t* p) {
        return _mm_shuffle_epi8(Load(p), _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1));
    }
};

struct spanAvx2 {
    using V = __m256i;
    static constexpr uint32_t bytes = 32;
    static V Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
    static void Store(void* p, V v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
    static V Set16(int32_t v) { return _mm256_set1_epi16(int16_t(v)); }
    static V Set32(int32_t v) { return _mm256_set1_epi32(v); }
    static V Lo8(V v) { return _mm256_unpacklo_epi8(v, _mm256_setzero_si256()); }
    static V Hi8(V v) { return _mm256_unpackhi_epi8(v, _mm256_setzero_si256()); }
    static V Pack16(V lo, V hi) { return _mm256_packus_epi16(lo, hi); }
    static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
    static V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
    static V Mul16(V a, V b) { return _mm256_mullo_epi16(a, b); }
    static V Min16(V a, V b) { return _mm256_min_epi16(a, b); }
    template <int K> static V Srl16(V v) { return _mm256_srli_epi16(v, K); }
    template <int K> static V Sll16(V v) { return _mm256_slli_epi16(v, K); }
    static V And(V a, V b) { return _mm256_and_si256(a, b); }
    static V Or(V a, V b) { return _mm256_or_si256(a, b); }
    static V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
    static V Blend(V keep, V v, V old) { return _mm256_blendv_epi8(old, v, keep); }
    static V AddSat8(V a, V b) { return _mm256_adds_epu8(a, b); }
    static V Cmpgt16(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
    static V Cmpgt32(V a, V b) { return _mm256_cmpgt_epi32(a, b); }
    static V Iota16() { return _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15); }
    static V Iota32() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
    // 8 R8G8B8 colours as 32-bit pels, four from each 12 bytes. Reads 28
    // bytes, 4 past the colours.
    static V ExpandRgb(const uint8_t* p) {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(spanSse2Shuffle::ExpandRgb(p)), spanSse2Shuffle::ExpandRgb(p + 12), 1);
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

}  // namespace

#include "engine/blit/alpha_span_kernel.h"

alphaRowFnTy alphaSpanAvx2(uint32_t op, bool pm, uint32_t dst, uint32_t stored) {
    return spanWalkFor<spanAvx2, spanSse2Shuffle>(op, pm, dst, stored);
}
