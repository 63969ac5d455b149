#pragma once
// The vector spans as templates over the register width W (simd_pel.h);
// blit_span_sse2.cpp and blit_span_avx2.cpp instantiate them. A span runs
// whole blocks of pels through its vector body; the last pels of a row are
// copied into a block-sized buffer, run through the same body and copied
// back, so the tail draws exactly what the body draws and these units call
// no inline member they would share with the units compiled without AVX2.
// A keyed span compares each source pel with the key as a mask and selects
// the old destination pel where it matches, instead of branching per pel.
#include <cstring>

#include "engine/blit/blit_span.h"
#include "engine/blit/simd_pel.h"

namespace blt_span {
namespace {

template <class K>
void Run(uint8_t* d, const uint8_t* s, size_t n, uint32_t key, uint32_t value) {
    const K k(key, value);
    size_t x = 0;
    for (; x + K::pels <= n; x += K::pels) k.Block(d + x * K::dBytes, s + x * K::sBytes);
    if (x < n) {
        const size_t rest = n - x;
        uint8_t sb[K::pels * K::sBytes] = {}, db[K::pels * K::dBytes] = {};
        std::memcpy(sb, s + x * K::sBytes, rest * K::sBytes);
        std::memcpy(db, d + x * K::dBytes, rest * K::dBytes);
        k.Block(db, sb);
        std::memcpy(d + x * K::dBytes, db, rest * K::dBytes);
    }
}

// R5G6B5 -> X8R8G8B8: fields opened by shifts, alpha byte 255.
template <class W, bool Key>
struct Copy565To8888 {
    using V = typename W::V;
    static constexpr size_t pels = W::pels16, sBytes = 2, dBytes = 4;
    V top, k;
    // The key opened like the pels: the opening is one to one, so an opened
    // pel equals the opened key exactly when the pel equals the key.
    Copy565To8888(uint32_t key, uint32_t)
        : top(W::Set32(0xFF000000u)), k(W::Set32((key & 0x1Fu) << 3 | (key & 0x7E0u) << 5 | (key & 0xF800u) << 8)) {}
    void Block(uint8_t* d, const uint8_t* s) const {
        V lo, hi;
        W::Load565As8888(s, lo, hi);
        if constexpr (Key) {
            W::Store(d, W::Select(W::Eq32(lo, k), W::Load(d), W::Or(lo, top)));
            W::Store(d + W::bytes, W::Select(W::Eq32(hi, k), W::Load(d + W::bytes), W::Or(hi, top)));
        } else {
            W::Store(d, W::Or(lo, top));
            W::Store(d + W::bytes, W::Or(hi, top));
        }
    }
};

// X8R8G8B8 -> R5G6B5: fields closed by truncation; the key is the whole u32.
template <class W, bool Key>
struct Copy8888To565 {
    using V = typename W::V;
    static constexpr size_t pels = W::pels16, sBytes = 4, dBytes = 2;
    V k;
    Copy8888To565(uint32_t key, uint32_t) : k(W::Set32(key)) {}
    void Block(uint8_t* d, const uint8_t* s) const {
        const V lo = W::Load(s), hi = W::Load(s + W::bytes);
        const V out = W::Pack8888To565(lo, hi);
        if constexpr (Key) W::Store(d, W::Select(W::PackMask32To16(W::Eq32(lo, k), W::Eq32(hi, k)), W::Load(d), out));
        else W::Store(d, out);
    }
};

// Keyed copies between equal formats, in 16-bit or 32-bit lanes.
template <class W, size_t Bytes>
struct KeyCopy {
    using V = typename W::V;
    static constexpr size_t pels = W::bytes / Bytes, sBytes = Bytes, dBytes = Bytes;
    V k;
    KeyCopy(uint32_t key, uint32_t) : k(Bytes == 2 ? W::Set16(uint16_t(key)) : W::Set32(key)) {}
    void Block(uint8_t* d, const uint8_t* s) const {
        const V v = W::Load(s);
        const V m = Bytes == 2 ? W::Eq16(v, k) : W::Eq32(v, k);
        W::Store(d, W::Select(m, W::Load(d), v));
    }
};

// Opacity blends with one rounding; the walk calls these for 0..256 only.
template <class W, bool Key>
struct Alpha8888 {
    using V = typename W::V;
    static constexpr size_t pels = W::pels32, sBytes = 4, dBytes = 4;
    V a, na, k;
    Alpha8888(uint32_t key, uint32_t value)
        : a(W::Set16(uint16_t(value))), na(W::Set16(uint16_t(256 - value))), k(W::Set32(key)) {}
    void Block(uint8_t* d, const uint8_t* s) const {
        const V sv = W::Load(s), dv = W::Load(d);
        const V out = simdAlphaOnce8888<W>(dv, sv, a, na);
        W::Store(d, Key ? W::Select(W::Eq32(sv, k), dv, out) : out);
    }
};

template <class W, bool Key>
struct Alpha565 {
    using V = typename W::V;
    static constexpr size_t pels = W::pels16, sBytes = 2, dBytes = 2;
    V a, na, k;
    Alpha565(uint32_t key, uint32_t value)
        : a(W::Set16(uint16_t(value))), na(W::Set16(uint16_t(256 - value))), k(W::Set16(uint16_t(key))) {}
    void Block(uint8_t* d, const uint8_t* s) const {
        const V sv = W::Load(s), dv = W::Load(d);
        const V out = simdAlphaOnce565<W>(dv, sv, a, na);
        W::Store(d, Key ? W::Select(W::Eq16(sv, k), dv, out) : out);
    }
};

// Opacity blends between R5G6B5 and X8R8G8B8 with two floored terms: the
// source opened to 8 bits (from R5G6B5) or shifted down to the R5G6B5 fields
// (from X8R8G8B8), as pelAlpha does.
template <class W, bool Key>
struct Alpha565To8888 {
    using V = typename W::V;
    static constexpr size_t pels = W::pels16, sBytes = 2, dBytes = 4;
    V a, na, k;
    Alpha565To8888(uint32_t key, uint32_t value)
        : a(W::Set16(uint16_t(value))), na(W::Set16(uint16_t(256 - value))),
          k(W::Set32((key & 0x1Fu) << 3 | (key & 0x7E0u) << 5 | (key & 0xF800u) << 8)) {}
    void Half(uint8_t* d, V sv) const {
        const V dv = W::Load(d);
        const V out = simdAlphaTwoTerm8888<W>(dv, sv, a, na);
        W::Store(d, Key ? W::Select(W::Eq32(sv, k), dv, out) : out);
    }
    void Block(uint8_t* d, const uint8_t* s) const {
        V lo, hi;
        W::Load565As8888(s, lo, hi);
        Half(d, lo);
        Half(d + W::bytes, hi);
    }
};

template <class W, bool Key>
struct Alpha8888To565 {
    using V = typename W::V;
    static constexpr size_t pels = W::pels16, sBytes = 4, dBytes = 2;
    V a, na, k;
    Alpha8888To565(uint32_t key, uint32_t value)
        : a(W::Set16(uint16_t(value))), na(W::Set16(uint16_t(256 - value))), k(W::Set32(key)) {}
    void Block(uint8_t* d, const uint8_t* s) const {
        const V lo = W::Load(s), hi = W::Load(s + W::bytes), dv = W::Load(d);
        const V out = simdAlphaTwoTerm565<W>(dv, W::Pack8888To565(lo, hi), a, na);
        if constexpr (Key) W::Store(d, W::Select(W::PackMask32To16(W::Eq32(lo, k), W::Eq32(hi, k)), dv, out));
        else W::Store(d, out);
    }
};

// Add and subtract between equal formats: bytes 0-2 of 32-bit pels with a
// cap or floor (byte 3 kept), or the fields of R5G6B5 pels.
template <class W, bool Key, bool Sub, size_t Bytes>
struct AddSub {
    using V = typename W::V;
    static constexpr size_t pels = W::bytes / Bytes, sBytes = Bytes, dBytes = Bytes;
    V k;
    AddSub(uint32_t key, uint32_t) : k(Bytes == 2 ? W::Set16(uint16_t(key)) : W::Set32(key)) {}
    void Block(uint8_t* d, const uint8_t* s) const {
        const V sv = W::Load(s), dv = W::Load(d);
        V out;
        if constexpr (Bytes == 2) {
            out = Sub ? simdSub565<W>(dv, sv) : simdAdd565<W>(dv, sv);
        } else {
            const V top = W::Set32(0xFF000000u);
            const V sum = Sub ? W::SubSat8(dv, sv) : W::AddSat8(dv, sv);
            out = W::Or(W::And(dv, top), W::AndNot(top, sum));
        }
        if constexpr (Key) W::Store(d, W::Select(Bytes == 2 ? W::Eq16(sv, k) : W::Eq32(sv, k), dv, out));
        else W::Store(d, out);
    }
};

// Modulate, 2x, 4x, FadeAdd, AddSigned, 2x and AddSmooth between equal
// formats; FadeAdd takes the fade
// amount 0..256 (the walk checks it).
template <class W, bool Key, class Op, size_t Bytes>
struct Arith {
    using V = typename W::V;
    static constexpr size_t pels = W::bytes / Bytes, sBytes = Bytes, dBytes = Bytes;
    V k, nc;
    Arith(uint32_t key, uint32_t value)
        : k(Bytes == 2 ? W::Set16(uint16_t(key)) : W::Set32(key)), nc(W::Set16(uint16_t(256 - value))) {}
    void Block(uint8_t* d, const uint8_t* s) const {
        const V sv = W::Load(s), dv = W::Load(d);
        const V out = Bytes == 2 ? simdArith565<W, Op>(dv, sv, nc) : simdArith8888<W, Op>(dv, sv, nc);
        if constexpr (Key) W::Store(d, W::Select(Bytes == 2 ? W::Eq16(sv, k) : W::Eq32(sv, k), dv, out));
        else W::Store(d, out);
    }
};

template <class W, class Op, size_t Bytes>
constexpr void SetArith(bltSpanSetTy& set, int id) {
    set.fn[id][0] = &Run<Arith<W, false, Op, Bytes>>;
    set.fn[id][1] = &Run<Arith<W, true, Op, Bytes>>;
}

template <class W>
constexpr bltSpanSetTy MakeSet(const char* name) {
    bltSpanSetTy set{name, {}};
    set.fn[blt_SPAN_COPY_565_8888][0] = &Run<Copy565To8888<W, false>>;
    set.fn[blt_SPAN_COPY_565_8888][1] = &Run<Copy565To8888<W, true>>;
    set.fn[blt_SPAN_COPY_8888_565][0] = &Run<Copy8888To565<W, false>>;
    set.fn[blt_SPAN_COPY_8888_565][1] = &Run<Copy8888To565<W, true>>;
    set.fn[blt_SPAN_COPY_565_565][1] = &Run<KeyCopy<W, 2>>;
    set.fn[blt_SPAN_COPY_8888_8888][1] = &Run<KeyCopy<W, 4>>;
    set.fn[blt_SPAN_ALPHA_8888][0] = &Run<Alpha8888<W, false>>;
    set.fn[blt_SPAN_ALPHA_8888][1] = &Run<Alpha8888<W, true>>;
    set.fn[blt_SPAN_ALPHA_565][0] = &Run<Alpha565<W, false>>;
    set.fn[blt_SPAN_ALPHA_565][1] = &Run<Alpha565<W, true>>;
    set.fn[blt_SPAN_ALPHA_565_8888][0] = &Run<Alpha565To8888<W, false>>;
    set.fn[blt_SPAN_ALPHA_565_8888][1] = &Run<Alpha565To8888<W, true>>;
    set.fn[blt_SPAN_ALPHA_8888_565][0] = &Run<Alpha8888To565<W, false>>;
    set.fn[blt_SPAN_ALPHA_8888_565][1] = &Run<Alpha8888To565<W, true>>;
    set.fn[blt_SPAN_ADD_8888][0] = &Run<AddSub<W, false, false, 4>>;
    set.fn[blt_SPAN_ADD_8888][1] = &Run<AddSub<W, true, false, 4>>;
    set.fn[blt_SPAN_ADD_565][0] = &Run<AddSub<W, false, false, 2>>;
    set.fn[blt_SPAN_ADD_565][1] = &Run<AddSub<W, true, false, 2>>;
    set.fn[blt_SPAN_SUB_8888][0] = &Run<AddSub<W, false, true, 4>>;
    set.fn[blt_SPAN_SUB_8888][1] = &Run<AddSub<W, true, true, 4>>;
    set.fn[blt_SPAN_SUB_565][0] = &Run<AddSub<W, false, true, 2>>;
    set.fn[blt_SPAN_SUB_565][1] = &Run<AddSub<W, true, true, 2>>;
    SetArith<W, simdOpModulate<8>, 4>(set, blt_SPAN_MOD_8888);
    SetArith<W, simdOpModulate<7>, 4>(set, blt_SPAN_MOD2X_8888);
    SetArith<W, simdOpModulate<6>, 4>(set, blt_SPAN_MOD4X_8888);
    SetArith<W, simdOpFadeAdd, 4>(set, blt_SPAN_FADEADD_8888);
    SetArith<W, simdOpModulate<8>, 2>(set, blt_SPAN_MOD_565);
    SetArith<W, simdOpModulate<7>, 2>(set, blt_SPAN_MOD2X_565);
    SetArith<W, simdOpModulate<6>, 2>(set, blt_SPAN_MOD4X_565);
    SetArith<W, simdOpFadeAdd, 2>(set, blt_SPAN_FADEADD_565);
    SetArith<W, simdOpAddSigned, 4>(set, blt_SPAN_ADDSIGNED_8888);
    SetArith<W, simdOpAddSigned2x, 4>(set, blt_SPAN_ADDSIGNED2X_8888);
    SetArith<W, simdOpAddSmooth, 4>(set, blt_SPAN_ADDSMOOTH_8888);
    SetArith<W, simdOpAddSigned, 2>(set, blt_SPAN_ADDSIGNED_565);
    SetArith<W, simdOpAddSigned2x, 2>(set, blt_SPAN_ADDSIGNED2X_565);
    SetArith<W, simdOpAddSmooth, 2>(set, blt_SPAN_ADDSMOOTH_565);
    return set;
}

}  // namespace
}  // namespace blt_span
