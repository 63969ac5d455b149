#pragma once
// Pel rules of the alpha-image draw family: how one stored colour of an
// imgAlpha (with its alpha byte when translucent) is put onto one
// destination pel, for each operation, straight or premultiplied. The rules
// are written once over the channel types of blit_pel.h; the stored colour
// formats and the destination formats below are traits, and every row of the
// family's table is one instantiation (alpha_table.cpp).
//
// Domains: 8-bit destinations work on bytes. 16-bit destinations blend on
// their own 5- and 6-bit fields (the source is brought to those fields by
// widening to 8 bits and shifting down, which turns a 5:6:5 green into a
// 5-bit one and back), while Add and the un-premultiplying of Copy and Add
// work on 8-bit channels, widened without bit replication.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/blit/blit.h"

// ------------------------------------------------------- stored colours

struct alphaSrcR8G8B8 {
    static constexpr uint32_t code = 1, bytes = 3;
    static constexpr const char* name = "R8G8B8";
    using Ch = pelChRGB;
};
// The fourth byte of a stored colour is never read.
struct alphaSrcX8R8G8B8 {
    static constexpr uint32_t code = 2, bytes = 4;
    static constexpr const char* name = "X8R8G8B8";
    using Ch = pelChRGB;
};
struct alphaSrcR5G6B5 {
    static constexpr uint32_t code = 4, bytes = 2;
    static constexpr const char* name = "R5G6B5";
    using Ch = pelChR5G6B5;
};
// Bit 15 of a stored colour is not read (except by the whole-word copy
// onto X1R5G5B5, see alphaPut).
struct alphaSrcX1R5G5B5 {
    static constexpr uint32_t code = 5, bytes = 2;
    static constexpr const char* name = "X1R5G5B5";
    using Ch = pelChX1R5G5B5;
};

// ------------------------------------------------------------ destinations

// What a destination keeps beside its colour.
enum class alphaTopTy {
    none,     // R8G8B8, R5G6B5
    fourth,   // X8R8G8B8: a byte without meaning, 255 after a copy
    alpha8,   // A8R8G8B8: the pel's alpha byte
    keep15,   // X1R5G5B5: bit 15 stays as it was
    alpha1,   // A1R5G5B5: bit 15 is a one-bit alpha
};

struct alphaDstR8G8B8 {
    static constexpr uint32_t code = 1, bytes = 3;
    static constexpr const char* name = "R8G8B8";
    static constexpr alphaTopTy top = alphaTopTy::none;
    using Ch = pelChRGB;
};
struct alphaDstX8R8G8B8 {
    static constexpr uint32_t code = 2, bytes = 4;
    static constexpr const char* name = "X8R8G8B8";
    static constexpr alphaTopTy top = alphaTopTy::fourth;
    using Ch = pelChRGB;
};
struct alphaDstA8R8G8B8 {
    static constexpr uint32_t code = 3, bytes = 4;
    static constexpr const char* name = "A8R8G8B8";
    static constexpr alphaTopTy top = alphaTopTy::alpha8;
    using Ch = pelChRGB;
};
struct alphaDstR5G6B5 {
    static constexpr uint32_t code = 4, bytes = 2;
    static constexpr const char* name = "R5G6B5";
    static constexpr alphaTopTy top = alphaTopTy::none;
    using Ch = pelChR5G6B5;
};
struct alphaDstX1R5G5B5 {
    static constexpr uint32_t code = 5, bytes = 2;
    static constexpr const char* name = "X1R5G5B5";
    static constexpr alphaTopTy top = alphaTopTy::keep15;
    using Ch = pelChX1R5G5B5;
};
struct alphaDstA1R5G5B5 {
    static constexpr uint32_t code = 6, bytes = 2;
    static constexpr const char* name = "A1R5G5B5";
    static constexpr alphaTopTy top = alphaTopTy::alpha1;
    using Ch = pelChX1R5G5B5;
};

namespace alpha_detail {

constexpr uint32_t Mask(uint32_t bits) { return (1u << bits) - 1; }

// The stored colour as the destination's fields.
template <class S, class D>
inline void SrcFields(const uint8_t* s, uint32_t& b, uint32_t& g, uint32_t& r) {
    S::Ch::Open(s, b, g, r);
    b >>= 8 - D::Ch::bBits;
    g >>= 8 - D::Ch::gBits;
    r >>= 8 - D::Ch::rBits;
}

// Writes the fields, each kept to its width.
template <class D>
inline void PutFields(uint8_t* d, uint32_t b, uint32_t g, uint32_t r) {
    D::Ch::PutFields(d, b & Mask(D::Ch::bBits), g & Mask(D::Ch::gBits), r & Mask(D::Ch::rBits));
}

// The destination's alpha as 8 bits (A8R8G8B8 and A1R5G5B5 only).
template <class D>
inline uint32_t Alpha(const uint8_t* d) {
    if constexpr (D::top == alphaTopTy::alpha8) return d[3];
    else return (pel_detail::Load16(d) & 0x8000u) ? 255u : 0u;
}

// Stores an 8-bit alpha: the byte itself, or bit 15 set from 128 up. Other
// destinations keep what they have.
template <class D>
inline void SetAlpha(uint8_t* d, uint32_t a) {
    if constexpr (D::top == alphaTopTy::alpha8) {
        d[3] = uint8_t(a);
    } else if constexpr (D::top == alphaTopTy::alpha1) {
        const uint32_t v = pel_detail::Load16(d) & 0x7FFFu;
        pel_detail::Store16(d, uint16_t(v | (a >= 128 ? 0x8000u : 0u)));
    }
}

// The source written as it is: a stored 1:5:5:5 colour onto X1R5G5B5 goes as
// the whole word, bit 15 included; every other pair by fields.
template <class S, class D>
inline void Put(uint8_t* d, const uint8_t* s) {
    if constexpr (S::code == 5 && D::code == 5) {
        std::memcpy(d, s, 2);
    } else {
        uint32_t b, g, r;
        SrcFields<S, D>(s, b, g, r);
        D::Ch::PutFields(d, b, g, r);
    }
}

// The premultiplied colour divided back by a (1 to 254) on 8-bit channels:
// (s * 256) / a, low 8 bits kept.
template <class S>
inline void Unpremultiply(const uint8_t* s, uint32_t a, uint32_t& b, uint32_t& g, uint32_t& r) {
    S::Ch::Open(s, b, g, r);
    b = ((b << 8) / a) & 255;
    g = ((g << 8) / a) & 255;
    r = ((r << 8) / a) & 255;
}

// Saturating add of 8-bit source channels onto the widened destination.
template <class D>
inline void AddChannels(uint8_t* d, uint32_t sb, uint32_t sg, uint32_t sr) {
    uint32_t db, dg, dr;
    D::Ch::Open(d, db, dg, dr);
    D::Ch::Close(d, std::min<uint32_t>(db + sb, 255), std::min<uint32_t>(dg + sg, 255),
                 std::min<uint32_t>(dr + sr, 255));
}

// Per field: (d * wd + s * ws) >> 8.
template <class S, class D>
inline void Mix(uint8_t* d, const uint8_t* s, uint32_t wd, uint32_t ws) {
    uint32_t sb, sg, sr, db, dg, dr;
    SrcFields<S, D>(s, sb, sg, sr);
    D::Ch::Fields(d, db, dg, dr);
    PutFields<D>(d, (db * wd + sb * ws) >> 8, (dg * wd + sg * ws) >> 8, (dr * wd + sr * ws) >> 8);
}

}  // namespace alpha_detail

// One operation's rule for opaque and translucent pels. `c` is the constant
// alpha of BlendAlpha (0 to 256, the dispatcher keeps it there); `ab` the
// pel's alpha byte as stored: its alpha a in a straight image, 255 - a in a
// premultiplied one.
template <alphaOpTy Op, bool Pm, class S, class D>
struct alphaRule {
    static void Opaque(uint8_t* d, const uint8_t* s, int32_t c) {
        using namespace alpha_detail;
        if constexpr (Op == alpha_OP_COPY || Op == alpha_OP_BLEND) {
            Put<S, D>(d, s);
            if constexpr (D::top == alphaTopTy::fourth || D::top == alphaTopTy::alpha8) d[3] = 255;
            else SetAlpha<D>(d, 255);
        } else if constexpr (Op == alpha_OP_ADD) {
            uint32_t b, g, r;
            S::Ch::Open(s, b, g, r);
            AddChannels<D>(d, b, g, r);
        } else {
            // The weight is the constant limited to 255, so that c = 256
            // writes (s * 255) >> 8 instead of pushing 255 - c below zero.
            const uint32_t w = uint32_t(std::min<int32_t>(c, 255));
            Mix<S, D>(d, s, 255 - w, w);
        }
    }

    // A run of n opaque pels. Copy and Blend of a stored colour already in
    // the destination's layout move the run whole; four-byte colours onto
    // four-byte pels move as words with the fourth byte set, which the
    // compiler turns into vector stores.
    static void OpaqueRun(uint8_t* d, const uint8_t* s, uint32_t n, int32_t c) {
        constexpr bool copies = Op == alpha_OP_COPY || Op == alpha_OP_BLEND;
        if constexpr (copies && S::code == D::code && D::bytes == 2) {
            std::memcpy(d, s, size_t(n) * 2);
        } else if constexpr (copies && S::bytes == 4 && D::bytes == 4) {
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t v;
                std::memcpy(&v, s + size_t(i) * 4, 4);
                v |= 0xFF000000u;
                std::memcpy(d + size_t(i) * 4, &v, 4);
            }
        } else {
            for (uint32_t i = 0; i < n; ++i) Opaque(d + size_t(i) * D::bytes, s + size_t(i) * S::bytes, c);
        }
    }

    // A run of n translucent pels with their alpha bytes.
    static void TranslucentRun(uint8_t* d, const uint8_t* s, const uint8_t* ab, uint32_t n, int32_t c) {
        for (uint32_t i = 0; i < n; ++i) Translucent(d + size_t(i) * D::bytes, s + size_t(i) * S::bytes, ab[i], c);
    }

    static void Translucent(uint8_t* d, const uint8_t* s, uint32_t ab, int32_t c) {
        using namespace alpha_detail;
        const uint32_t a = Pm ? 255 - ab : ab;
        if constexpr (Op == alpha_OP_COPY) {
            if constexpr (Pm) {
                // A premultiplied alpha of 0 (a byte of 255, which no image
                // reader lets through) has no colour to divide back: nothing.
                if (a == 0) return;
                uint32_t b, g, r;
                Unpremultiply<S>(s, a, b, g, r);
                D::Ch::Close(d, b, g, r);
            } else {
                Put<S, D>(d, s);
            }
            if constexpr (D::top == alphaTopTy::fourth) d[3] = 255;
            else SetAlpha<D>(d, a);
        } else if constexpr (Op == alpha_OP_ADD) {
            uint32_t b, g, r;
            if constexpr (Pm) {
                if (a == 0) return;
                Unpremultiply<S>(s, a, b, g, r);
            } else {
                S::Ch::Open(s, b, g, r);
            }
            const uint32_t na = std::min<uint32_t>(D::top == alphaTopTy::alpha8 || D::top == alphaTopTy::alpha1
                                                       ? Alpha<D>(d) + a
                                                       : 0,
                                                   255);
            AddChannels<D>(d, b, g, r);
            SetAlpha<D>(d, na);
        } else if constexpr (Op == alpha_OP_BLEND) {
            const uint32_t na = D::top == alphaTopTy::alpha8 ? ((Alpha<D>(d) * (255 - a)) >> 8) + a : a;
            if constexpr (Pm) Mix<S, D>(d, s, ab, 256);
            else Mix<S, D>(d, s, 255 - a, a);
            SetAlpha<D>(d, na);
        } else {
            const uint32_t e = (a * uint32_t(c)) >> 8;
            const uint32_t na = D::top == alphaTopTy::alpha8 ? ((Alpha<D>(d) * (255 - e)) >> 8) + e : e;
            if constexpr (Pm) Mix<S, D>(d, s, 255 - e, uint32_t(c));
            else Mix<S, D>(d, s, 255 - e, e);
            SetAlpha<D>(d, na);
        }
    }
};
