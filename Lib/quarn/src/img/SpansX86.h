// The row spans of Spans.h, written once over a vector type V (V128 for
// SSE2, V256 for AVX2) and compiled in one file per instruction set.
//
// Everything here has internal linkage on purpose: each file that includes
// this header gets its own copies, compiled for its own instruction set, so
// the linker can never hand an AVX2 copy of a helper to the SSE2 set.
//
// The arithmetic is the pixel kernels' own, lane by lane:
//  - an 8-bit channel narrowed to m bits is floor(x / 255) with
//    x = v * (2^m - 1) + 127 (Channels.h), every step in 16-bit lanes;
//  - a mix at weight w is (c * w >> 8) + (t * (256 - w) >> 8) per channel,
//    each product below 2^16 (Blend.h);
//  - a 5- or 6-bit channel widened to 8 bits is the nearest value, by a
//    multiply, an add and a shift (Channels.h);
//  - the difference form is t + ((c - t) * w >> 8) with an arithmetic
//    shift, the product within a signed 16-bit lane.
// A block of whole registers is done at a time; the last part of a row
// goes through the same block in a small buffer, so the tail gives the very
// bytes the block would.
#pragma once

#include "img/Spans.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <immintrin.h>

namespace quarn::g {
namespace {

struct V128 {
    using R = __m128i;
    static constexpr int bytes = 16;
    static constexpr bool has_rounded_product = false;
    static R load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const R*>(p)); }
    static void store(uint8_t* p, R v) { _mm_storeu_si128(reinterpret_cast<R*>(p), v); }
    static R zero() { return _mm_setzero_si128(); }
    static R set16(int v) { return _mm_set1_epi16(static_cast<short>(v)); }
    static R set32(uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
    static R and_(R a, R b) { return _mm_and_si128(a, b); }
    static R or_(R a, R b) { return _mm_or_si128(a, b); }
    // ~a & b
    static R andnot(R a, R b) { return _mm_andnot_si128(a, b); }
    static R add16(R a, R b) { return _mm_add_epi16(a, b); }
    static R add32(R a, R b) { return _mm_add_epi32(a, b); }
    static R madd16(R a, R b) { return _mm_madd_epi16(a, b); }
    static R sub16(R a, R b) { return _mm_sub_epi16(a, b); }
    static R mullo16(R a, R b) { return _mm_mullo_epi16(a, b); }
    static R mulhi16(R a, R b) { return _mm_mulhi_epu16(a, b); }
    template <int N>
    static R srli16(R a) { return _mm_srli_epi16(a, N); }
    template <int N>
    static R srai16(R a) { return _mm_srai_epi16(a, N); }
    template <int N>
    static R slli16(R a) { return _mm_slli_epi16(a, N); }
    template <int N>
    static R slli32(R a) { return _mm_slli_epi32(a, N); }
    template <int N>
    static R srai32(R a) { return _mm_srai_epi32(a, N); }
    static R cmpeq16(R a, R b) { return _mm_cmpeq_epi16(a, b); }
    static R cmpeq32(R a, R b) { return _mm_cmpeq_epi32(a, b); }
    static R unpacklo8(R a) { return _mm_unpacklo_epi8(a, zero()); }
    static R unpackhi8(R a) { return _mm_unpackhi_epi8(a, zero()); }
    // The same with each byte in the high half of its lane (v << 8).
    static R unpacklo8_high(R a) { return _mm_unpacklo_epi8(zero(), a); }
    static R unpackhi8_high(R a) { return _mm_unpackhi_epi8(zero(), a); }
    // The inverse of unpacklo8 / unpackhi8 for lanes of 0..255.
    static R pack16(R lo, R hi) { return _mm_packus_epi16(lo, hi); }
    // Signed 32-bit lanes of a, then of b, as 16-bit lanes in that order.
    static R narrow32(R a, R b) { return _mm_packs_epi32(a, b); }
    // The same for lanes of 0..65535: SSE2 narrows only signed values, so
    // the lanes are moved down by 0x8000 and back up.
    static R narrow32u(R a, R b)
    {
        const R bias = _mm_set1_epi32(0x8000);
        return _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(a, bias), _mm_sub_epi32(b, bias)), _mm_set1_epi16(-0x8000));
    }
    // Each pixel's four 16-bit lanes set to its fourth (alpha) lane.
    static R spread_alpha(R a) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, 0xFF), 0xFF); }
    static bool all(R mask) { return _mm_movemask_epi8(mask) == 0xFFFF; }
    // The 16-bit lanes of a and b alternately, in lane order: the first
    // half into lo, the second into hi.
    static void interleave16(R a, R b, R& lo, R& hi)
    {
        lo = _mm_unpacklo_epi16(a, b);
        hi = _mm_unpackhi_epi16(a, b);
    }
    // Bytes 3i .. 3i + 2 of a into the low three bytes of 32-bit lane i;
    // the top bytes are left undefined.
    static R spread_888(R a)
    {
        const R p01 = _mm_unpacklo_epi32(a, _mm_srli_si128(a, 3));
        const R p23 = _mm_unpacklo_epi32(_mm_srli_si128(a, 6), _mm_srli_si128(a, 9));
        return _mm_unpacklo_epi64(p01, p23);
    }
};

#if defined(__AVX2__)
// The 256-bit registers work as two 128-bit halves for unpacking and
// packing; unpacking and packing again keeps the order, and narrow32
// restores it across the halves.
struct V256 {
    using R = __m256i;
    static constexpr int bytes = 32;
    static constexpr bool has_rounded_product = true;
    static R load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const R*>(p)); }
    static void store(uint8_t* p, R v) { _mm256_storeu_si256(reinterpret_cast<R*>(p), v); }
    static R zero() { return _mm256_setzero_si256(); }
    static R set16(int v) { return _mm256_set1_epi16(static_cast<short>(v)); }
    static R set32(uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
    static R and_(R a, R b) { return _mm256_and_si256(a, b); }
    static R or_(R a, R b) { return _mm256_or_si256(a, b); }
    static R andnot(R a, R b) { return _mm256_andnot_si256(a, b); }
    static R add16(R a, R b) { return _mm256_add_epi16(a, b); }
    static R add32(R a, R b) { return _mm256_add_epi32(a, b); }
    static R madd16(R a, R b) { return _mm256_madd_epi16(a, b); }
    static R sub16(R a, R b) { return _mm256_sub_epi16(a, b); }
    static R mullo16(R a, R b) { return _mm256_mullo_epi16(a, b); }
    static R mulhi16(R a, R b) { return _mm256_mulhi_epu16(a, b); }
    // (a * b + 2^14) >> 15 of signed lanes.
    static R mulhrs16(R a, R b) { return _mm256_mulhrs_epi16(a, b); }
    template <int N>
    static R srli16(R a) { return _mm256_srli_epi16(a, N); }
    template <int N>
    static R srai16(R a) { return _mm256_srai_epi16(a, N); }
    template <int N>
    static R slli16(R a) { return _mm256_slli_epi16(a, N); }
    template <int N>
    static R slli32(R a) { return _mm256_slli_epi32(a, N); }
    template <int N>
    static R srai32(R a) { return _mm256_srai_epi32(a, N); }
    static R cmpeq16(R a, R b) { return _mm256_cmpeq_epi16(a, b); }
    static R cmpeq32(R a, R b) { return _mm256_cmpeq_epi32(a, b); }
    static R unpacklo8(R a) { return _mm256_unpacklo_epi8(a, zero()); }
    static R unpackhi8(R a) { return _mm256_unpackhi_epi8(a, zero()); }
    static R unpacklo8_high(R a) { return _mm256_unpacklo_epi8(zero(), a); }
    static R unpackhi8_high(R a) { return _mm256_unpackhi_epi8(zero(), a); }
    static R pack16(R lo, R hi) { return _mm256_packus_epi16(lo, hi); }
    static R narrow32(R a, R b) { return _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8); }
    static R narrow32u(R a, R b) { return _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8); }
    static R spread_alpha(R a) { return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(a, 0xFF), 0xFF); }
    static bool all(R mask) { return _mm256_movemask_epi8(mask) == -1; }
    static void interleave16(R a, R b, R& lo, R& hi)
    {
        const R l = _mm256_unpacklo_epi16(a, b);
        const R h = _mm256_unpackhi_epi16(a, b);
        lo = _mm256_permute2x128_si256(l, h, 0x20);
        hi = _mm256_permute2x128_si256(l, h, 0x31);
    }
    static R spread_888(R a)
    {
        // Bytes 0..11 stay in the low half, 12..23 go to the high half,
        // then each half spreads its four pixels.
        const R halves = _mm256_permutevar8x32_epi32(a, _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6));
        const R spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, //
            0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
        return _mm256_shuffle_epi8(halves, spread);
    }
};
#endif

// The channels of two registers of 32-bit pixels 0xAARRGGBB, each as
// 16-bit lanes in pixel order.
template <class V>
struct Planes {
    typename V::R b, g, r, a;
};

template <class V>
Planes<V> planes_of(typename V::R s0, typename V::R s1)
{
    using R = typename V::R;
    const R bg = V::narrow32(V::template srai32<16>(V::template slli32<16>(s0)),
        V::template srai32<16>(V::template slli32<16>(s1)));
    const R ra = V::narrow32(V::template srai32<16>(s0), V::template srai32<16>(s1));
    const R low = V::set16(0xFF);
    return { V::and_(bg, low), V::template srli16<8>(bg), V::and_(ra, low), V::template srli16<8>(ra) };
}

// An 8-bit channel narrowed to 5 or 6 bits: floor((v * max + 127) / 255)
// is, for every v from 0 to 255, the high half of one 16-bit product, and
// also one rounded product (v * A + 2^14) >> 15 (the constants were found
// by trying them all on all 256 values; the tests hold the spans to the
// pixel loops).
template <class V, int Max>
typename V::R narrow_channel(typename V::R v)
{
    static_assert(Max == 31 || Max == 63);
    if constexpr (V::has_rounded_product)
        return V::mulhrs16(v, V::set16(Max == 31 ? 3984 : 8095));
    else if constexpr (Max == 31)
        return V::mulhi16(V::add16(v, V::set16(4)), V::set16(7971));
    else
        return V::mulhi16(V::add16(v, V::set16(2)), V::set16(16192));
}

template <class V>
typename V::R pack_565(typename V::R r, typename V::R g, typename V::R b)
{
    return V::or_(V::or_(V::template slli16<11>(r), V::template slli16<5>(g)), b);
}

template <class V>
typename V::R mix(typename V::R c, typename V::R t, typename V::R w, typename V::R rest)
{
    return V::add16(V::template srli16<8>(V::mullo16(c, w)), V::template srli16<8>(V::mullo16(t, rest)));
}

// An Rgb565 target's channels mixed with (r, g, b) at weight w.
template <class V>
typename V::R mix_565(typename V::R t, typename V::R r, typename V::R g, typename V::R b, typename V::R w)
{
    const auto rest = V::sub16(V::set16(256), w);
    const auto tb = V::and_(t, V::set16(31));
    const auto tg = V::and_(V::template srli16<5>(t), V::set16(63));
    const auto tr = V::template srli16<11>(t);
    return pack_565<V>(mix<V>(r, tr, w, rest), mix<V>(g, tg, w, rest), mix<V>(b, tb, w, rest));
}

// Blocks: each does `pixels` pixels from s (source_bytes each) onto t
// (target_bytes each); the constructor takes the span's weight.

// The conversion works on 32-bit lanes: blue and red narrowed side by side
// in the two halves of a lane, green in the low half; a multiply-add puts
// r << 11 | b together.
template <class V>
struct Convert8888To565 {
    static constexpr int pixels = V::bytes / 2;
    static constexpr size_t target_bytes = 2, source_bytes = 4;
    explicit Convert8888To565(uint32_t) { }
    static typename V::R lanes(typename V::R s)
    {
        const auto rb = narrow_channel<V, 31>(V::and_(s, V::set32(0x00FF00FF)));
        const auto g = narrow_channel<V, 63>(V::and_(V::template srli16<8>(s), V::set32(0x000000FF)));
        return V::add32(V::madd16(rb, V::set32(1 | 2048 << 16)), V::template slli32<5>(g));
    }
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        V::store(t, V::narrow32u(lanes(V::load(s)), lanes(V::load(s + V::bytes))));
    }
};

// By the source's own alpha: a block all clear is skipped, one all opaque
// stored converted, any other mixed with the opaque pixels selected.
template <class V>
struct Draw8888Onto565 {
    static constexpr int pixels = V::bytes / 2;
    static constexpr size_t target_bytes = 2, source_bytes = 4;
    explicit Draw8888Onto565(uint32_t) { }
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        const auto s0 = V::load(s);
        const auto s1 = V::load(s + V::bytes);
        const auto alpha = V::set32(0xFF000000);
        const auto clear = V::and_(V::cmpeq32(V::and_(s0, alpha), V::zero()), V::cmpeq32(V::and_(s1, alpha), V::zero()));
        if (V::all(clear))
            return;
        const Planes<V> p = planes_of<V>(s0, s1);
        const auto r = narrow_channel<V, 31>(p.r);
        const auto g = narrow_channel<V, 63>(p.g);
        const auto b = narrow_channel<V, 31>(p.b);
        const auto converted = pack_565<V>(r, g, b);
        const auto opaque = V::cmpeq16(p.a, V::set16(255));
        if (V::all(opaque)) {
            V::store(t, converted);
            return;
        }
        const auto mixed = mix_565<V>(V::load(t), r, g, b, p.a);
        V::store(t, V::or_(V::and_(opaque, converted), V::andnot(opaque, mixed)));
    }
};

template <class V>
struct Mix8888Onto565 {
    static constexpr int pixels = V::bytes / 2;
    static constexpr size_t target_bytes = 2, source_bytes = 4;
    explicit Mix8888Onto565(uint32_t k) : w(V::set16(int(k))) { }
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        const Planes<V> p = planes_of<V>(V::load(s), V::load(s + V::bytes));
        V::store(t,
            mix_565<V>(V::load(t), narrow_channel<V, 31>(p.r), narrow_channel<V, 63>(p.g),
                narrow_channel<V, 31>(p.b), w));
    }
    typename V::R w;
};

// 32-bit pixels mixed channel by channel at the 16-bit weights wl (first
// half of the register's pixels) and wh; the target's top byte is kept.
// The channels are unpacked into the high bytes of their lanes, so that
// the high half of the product with w is c * w >> 8 in one step.
template <class V>
typename V::R mix_8888(typename V::R t, typename V::R s, typename V::R wl, typename V::R wh)
{
    const auto full = V::set16(256);
    const auto lo = V::add16(V::mulhi16(V::unpacklo8_high(s), wl),
        V::mulhi16(V::unpacklo8_high(t), V::sub16(full, wl)));
    const auto hi = V::add16(V::mulhi16(V::unpackhi8_high(s), wh),
        V::mulhi16(V::unpackhi8_high(t), V::sub16(full, wh)));
    const auto top = V::set32(0xFF000000);
    return V::or_(V::andnot(top, V::pack16(lo, hi)), V::and_(t, top));
}

// Two registers at a time: the tests for a block all clear or all opaque
// are paid once for both.
template <class V>
struct Draw8888Onto8888 {
    static constexpr int pixels = V::bytes / 2;
    static constexpr size_t target_bytes = 4, source_bytes = 4;
    explicit Draw8888Onto8888(uint32_t) { }
    static void mixed(uint8_t* t, typename V::R v, typename V::R opaque)
    {
        const auto m = mix_8888<V>(V::load(t), v, V::template srli16<8>(V::spread_alpha(V::unpacklo8_high(v))),
            V::template srli16<8>(V::spread_alpha(V::unpackhi8_high(v))));
        V::store(t, V::or_(V::and_(opaque, v), V::andnot(opaque, m)));
    }
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        const auto v0 = V::load(s);
        const auto v1 = V::load(s + V::bytes);
        const auto alpha = V::set32(0xFF000000);
        const auto a0 = V::and_(v0, alpha);
        const auto a1 = V::and_(v1, alpha);
        if (V::all(V::and_(V::cmpeq32(a0, V::zero()), V::cmpeq32(a1, V::zero()))))
            return;
        const auto opaque0 = V::cmpeq32(a0, alpha);
        const auto opaque1 = V::cmpeq32(a1, alpha);
        if (V::all(V::and_(opaque0, opaque1))) {
            V::store(t, v0);
            V::store(t + V::bytes, v1);
            return;
        }
        mixed(t, v0, opaque0);
        mixed(t + V::bytes, v1, opaque1);
    }
};

template <class V>
struct Mix8888Onto8888 {
    static constexpr int pixels = V::bytes / 4;
    static constexpr size_t target_bytes = 4, source_bytes = 4;
    explicit Mix8888Onto8888(uint32_t k) : w(V::set16(int(k))) { }
    void operator()(uint8_t* t, const uint8_t* s) const { V::store(t, mix_8888<V>(V::load(t), V::load(s), w, w)); }
    typename V::R w;
};

template <class V>
struct Approach565 {
    static constexpr int pixels = V::bytes / 2;
    static constexpr size_t target_bytes = 2, source_bytes = 2;
    explicit Approach565(uint32_t k) : w(V::set16(int(k))) { }
    typename V::R field(typename V::R t, typename V::R c) const
    {
        return V::add16(t, V::template srai16<8>(V::mullo16(V::sub16(c, t), w)));
    }
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        const auto tv = V::load(t);
        const auto cv = V::load(s);
        const auto m5 = V::set16(31);
        const auto m6 = V::set16(63);
        const auto b = field(V::and_(tv, m5), V::and_(cv, m5));
        const auto g = field(V::and_(V::template srli16<5>(tv), m6), V::and_(V::template srli16<5>(cv), m6));
        const auto r = field(V::template srli16<11>(tv), V::template srli16<11>(cv));
        V::store(t, pack_565<V>(r, g, b));
    }
    typename V::R w;
};

// A block that reads more source bytes than its pixels hold names how
// many (source_reads); blocks run while that much lies inside the row.
// Rgb888 into Rgbx8888: the three bytes of each pixel spread into a word,
// the target's top byte kept. Four (SSE2) or eight (AVX2) pixels are read
// as one register, four bytes more than they hold.
template <class V>
struct Copy888To8888 {
    static constexpr int pixels = V::bytes / 4;
    static constexpr size_t target_bytes = 4, source_bytes = 3;
    static constexpr size_t source_reads = V::bytes;
    explicit Copy888To8888(uint32_t) { }
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        const auto top = V::set32(0xFF000000);
        V::store(t, V::or_(V::andnot(top, V::spread_888(V::load(s))), V::and_(V::load(t), top)));
    }
};

// The channels of 16-bit Rgb565 lanes widened to 8 bits: floor of
// (2 v 255 + max) / (2 max) is (v * 527 + 23) >> 6 for 5 bits and
// (v * 259 + 33) >> 6 for 6 bits, for every v.
template <class V>
void widen_565(typename V::R v, typename V::R& lo, typename V::R& hi)
{
    const auto b = V::and_(v, V::set16(31));
    const auto g = V::and_(V::template srli16<5>(v), V::set16(63));
    const auto r = V::template srli16<11>(v);
    const auto b8 = V::template srli16<6>(V::add16(V::mullo16(b, V::set16(527)), V::set16(23)));
    const auto g8 = V::template srli16<6>(V::add16(V::mullo16(g, V::set16(259)), V::set16(33)));
    const auto r8 = V::template srli16<6>(V::add16(V::mullo16(r, V::set16(527)), V::set16(23)));
    V::interleave16(V::or_(b8, V::template slli16<8>(g8)), r8, lo, hi);
}

// Rgb565 into a 32-bit target: the top byte of the target kept (Rgbx8888)
// or set (Rgba8888, whose alpha a source without alpha makes full).
template <class V, bool FullAlpha>
struct Widen565To8888 {
    static constexpr int pixels = V::bytes / 2;
    static constexpr size_t target_bytes = 4, source_bytes = 2;
    explicit Widen565To8888(uint32_t) { }
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        typename V::R lo, hi;
        widen_565<V>(V::load(s), lo, hi);
        const auto top = V::set32(0xFF000000);
        if constexpr (FullAlpha) {
            V::store(t, V::or_(lo, top));
            V::store(t + V::bytes, V::or_(hi, top));
        } else {
            V::store(t, V::or_(lo, V::and_(V::load(t), top)));
            V::store(t + V::bytes, V::or_(hi, V::and_(V::load(t + V::bytes), top)));
        }
    }
};

template <class V>
struct Mix565Onto8888 {
    static constexpr int pixels = V::bytes / 2;
    static constexpr size_t target_bytes = 4, source_bytes = 2;
    explicit Mix565Onto8888(uint32_t k) : w(V::set16(int(k))) { }
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        typename V::R lo, hi;
        widen_565<V>(V::load(s), lo, hi);
        V::store(t, mix_8888<V>(V::load(t), lo, w, w));
        V::store(t + V::bytes, mix_8888<V>(V::load(t + V::bytes), hi, w, w));
    }
    typename V::R w;
};

template <class Block>
constexpr size_t source_reads()
{
    if constexpr (requires { Block::source_reads; })
        return Block::source_reads;
    else
        return Block::pixels * Block::source_bytes;
}

template <class Block>
void run_span(uint8_t* t, const uint8_t* s, int32_t n, uint32_t k)
{
    constexpr int32_t step = Block::pixels;
    constexpr size_t tb = Block::target_bytes;
    constexpr size_t sb = Block::source_bytes;
    constexpr size_t reads = source_reads<Block>();
    const Block block(k);
    int32_t x = 0;
    for (; x + step <= n && size_t(x) * sb + reads <= size_t(n) * sb; x += step)
        block(t + size_t(x) * tb, s + size_t(x) * sb);
    while (x < n) {
        uint8_t target[step * tb] = {};
        uint8_t source[reads] = {};
        const size_t count = size_t(n - x < step ? n - x : step);
        std::memcpy(target, t + size_t(x) * tb, count * tb);
        std::memcpy(source, s + size_t(x) * sb, count * sb);
        block(target, source);
        std::memcpy(t + size_t(x) * tb, target, count * tb);
        x += int32_t(count);
    }
}

template <class V>
constexpr SpanSet make_spans()
{
    SpanSet set;
    set.convert_8888_to_565 = &run_span<Convert8888To565<V>>;
    set.copy_888_to_8888 = &run_span<Copy888To8888<V>>;
    set.widen_565_to_x888 = &run_span<Widen565To8888<V, false>>;
    set.widen_565_to_8888 = &run_span<Widen565To8888<V, true>>;
    set.mix_565_onto_8888 = &run_span<Mix565Onto8888<V>>;
    set.draw_8888_onto_8888 = &run_span<Draw8888Onto8888<V>>;
    set.draw_8888_onto_565 = &run_span<Draw8888Onto565<V>>;
    set.mix_8888_onto_8888 = &run_span<Mix8888Onto8888<V>>;
    set.mix_8888_onto_565 = &run_span<Mix8888Onto565<V>>;
    set.approach_565 = &run_span<Approach565<V>>;
    return set;
}

} // namespace
} // namespace quarn::g
