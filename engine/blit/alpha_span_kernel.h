#pragma once
// Span kernels of the alpha-image draw family: the plain walk of
// alpha_walk.h onto R5G6B5 and X8R8G8B8, for stored colours in the
// destination's layout or in R8G8B8 (brought to it a register at a time),
// with every run drawn a register of pels at a time. The pel rules are those of alpha_rules.h,
// written on vector lanes; the differential test holds the two together.
//
// A run shorter than a register, and a run's tail, is drawn as a whole
// register whose lanes past the run are put back as they were read. That
// reads and rewrites destination pels of the same row beyond the run, and
// reads stored colours and alpha bytes beyond it, so the walk passes each
// run the number of pels that exist from its start in all three; where a
// register does not fit (the end of a row, of the colours or of the alpha
// bytes) the pels go through a scratch register instead.
//
// The kernels are templates over a register width Isa of simd_pel.h
// (simdSse2, simdAvx2: vector type, loads, stores and lane operations),
// instantiated once per width in its own file compiled for that width.
// Everything here has internal linkage, so that no code built for a wider
// group can stand in for the same function of another file.
#include <cstdint>
#include <cstring>

#include "engine/blit/alpha_walk.h"
#include "engine/blit/blit.h"

namespace {

// What a run's pels do to the destination.
enum class spanPelTy {
    copy,  // the stored colour as it is (the fourth byte set to 255)
    add,   // saturating add on 8-bit channels
    mix,   // (d * wd + s * ws) >> 8 per field, weights below
};

// The weights of a mix, from a pel's alpha byte ab and the constant c.
enum class spanMixTy {
    straight,   // wd = 255 - ab, ws = ab
    pm,         // wd = ab, ws = 256 (ab = 255 - a)
    straightC,  // e = (ab * c) >> 8; wd = 255 - e, ws = e
    pmC,        // e = ((255 - ab) * c) >> 8; wd = 255 - e, ws = c
    fixed,      // w = min(c, 255); wd = 255 - w, ws = w (no alpha byte)
};

template <class Isa, spanMixTy M>
inline void spanWeights(typename Isa::V ab, int32_t c, typename Isa::V& wd, typename Isa::V& ws) {
    const auto k255 = Isa::Set16(255);
    if constexpr (M == spanMixTy::straight) {
        wd = Isa::Sub16(k255, ab);
        ws = ab;
    } else if constexpr (M == spanMixTy::pm) {
        wd = ab;
        ws = Isa::Set16(256);
    } else if constexpr (M == spanMixTy::straightC) {
        ws = Isa::template Shr16<8>(Isa::Mul16(ab, Isa::Set16(uint16_t(c))));
        wd = Isa::Sub16(k255, ws);
    } else if constexpr (M == spanMixTy::pmC) {
        wd = Isa::Sub16(k255, Isa::template Shr16<8>(Isa::Mul16(Isa::Sub16(k255, ab), Isa::Set16(uint16_t(c)))));
        ws = Isa::Set16(uint16_t(c));
    } else {
        const int32_t w = c < 255 ? c : 255;
        wd = Isa::Set16(uint16_t(255 - w));
        ws = Isa::Set16(uint16_t(w));
    }
}

// R5G6B5 pels, one 16-bit lane each. Fields are at most 63 and weights at
// most 256, so every sum of products fits a lane.
template <class I, class INarrow, bool Rgb>
struct spanR5G6B5 {
    using Isa = I;
    using Narrow = spanR5G6B5<INarrow, INarrow, Rgb>;
    using V = typename Isa::V;
    static constexpr uint32_t bytes = 2, pels = Isa::bytes / 2, srcBytes = Rgb ? 3 : 2;

    // A register of stored colours as destination pels: R8G8B8 colours are
    // brought to the fields as alpha_rules.h brings them (each channel
    // shifted down to its width). R8G8B8 reads srcOver bytes past them.
    static constexpr uint32_t srcOver = Rgb ? 4 : 0;
    static V LoadSrc(const uint8_t* s) {
        if constexpr (Rgb) return Isa::To565(Isa::ExpandRgb(s), Isa::ExpandRgb(s + 3 * (pels / 2)));
        else return Isa::Load(s);
    }

    template <spanPelTy P, spanMixTy M>
    static V Block(V d, V s, const uint8_t* ab, int32_t c) {
        if constexpr (P == spanPelTy::copy) {
            return s;
        } else {
            const V m5 = Isa::Set16(31), m6 = Isa::Set16(63);
            const V db = Isa::And(d, m5), dg = Isa::And(Isa::template Shr16<5>(d), m6), dr = Isa::template Shr16<11>(d);
            const V sb = Isa::And(s, m5), sg = Isa::And(Isa::template Shr16<5>(s), m6), sr = Isa::template Shr16<11>(s);
            V rb, rg, rr;
            if constexpr (P == spanPelTy::add) {
                // Widened to 8 bits without replication, added, kept to 255
                // and narrowed again.
                const V top = Isa::Set16(255);
                rb = Isa::template Shr16<3>(Isa::Min16(Isa::template Shl16<3>(Isa::Add16(db, sb)), top));
                rg = Isa::template Shr16<2>(Isa::Min16(Isa::template Shl16<2>(Isa::Add16(dg, sg)), top));
                rr = Isa::template Shr16<3>(Isa::Min16(Isa::template Shl16<3>(Isa::Add16(dr, sr)), top));
            } else {
                V wd, ws;
                spanWeights<Isa, M>(M == spanMixTy::fixed ? V{} : Isa::Alpha16(ab), c, wd, ws);
                // Weights summing to 255 keep a field within its width;
                // premultiplied sums wrap at the field's width.
                constexpr bool wraps = M == spanMixTy::pm || M == spanMixTy::pmC;
                auto mix = [&](V df, V sf, V mask) {
                    const V v = Isa::template Shr16<8>(Isa::Add16(Isa::Mul16(df, wd), Isa::Mul16(sf, ws)));
                    return wraps ? Isa::And(v, mask) : v;
                };
                rb = mix(db, sb, m5);
                rg = mix(dg, sg, m6);
                rr = mix(dr, sr, m5);
            }
            return Isa::Or(Isa::Or(Isa::template Shl16<11>(rr), Isa::template Shl16<5>(rg)), rb);
        }
    }

    // Lanes below n from v, the others from old.
    static V Select(uint32_t n, V v, V old) {
        return Isa::Select(Isa::Cmpgt16(Isa::Set16(uint16_t(n)), Isa::Iota16()), v, old);
    }
};

// X8R8G8B8 pels, one 32-bit lane each, blended on 16-bit channel lanes.
template <class I, class INarrow, bool Rgb>
struct spanX8R8G8B8 {
    using Isa = I;
    using Narrow = spanX8R8G8B8<INarrow, INarrow, Rgb>;
    using V = typename Isa::V;
    static constexpr uint32_t bytes = 4, pels = Isa::bytes / 4, srcBytes = Rgb ? 3 : 4;

    // A register of stored colours as 32-bit pels (an R8G8B8 colour's fourth
    // byte 0: no rule reads it). R8G8B8 reads srcOver bytes past them.
    static constexpr uint32_t srcOver = Rgb ? 4 : 0;
    static V LoadSrc(const uint8_t* s) {
        if constexpr (Rgb) return Isa::ExpandRgb(s);
        else return Isa::Load(s);
    }

    // (x + y) >> 8 for products x, y of up to 16 bits each whose sum may
    // not fit a lane, kept to 8 bits as a byte store keeps it.
    static V Sum17(V x, V y) {
        const V low = Isa::Set16(255);
        const V carry = Isa::template Shr16<8>(Isa::Add16(Isa::And(x, low), Isa::And(y, low)));
        return Isa::And(Isa::Add16(Isa::Add16(Isa::template Shr16<8>(x), Isa::template Shr16<8>(y)), carry), low);
    }

    template <spanMixTy M>
    static V Half(V d, V s, V ab, int32_t c) {
        V wd, ws;
        spanWeights<Isa, M>(ab, c, wd, ws);
        const V x = Isa::Mul16(d, wd);
        if constexpr (M == spanMixTy::pm) {
            // ws = 256: the source adds whole, the sum wraps at 8 bits.
            return Isa::And(Isa::Add16(Isa::template Shr16<8>(x), s), Isa::Set16(255));
        } else if constexpr (M == spanMixTy::pmC) {
            return Sum17(x, Isa::Mul16(s, ws));
        } else {
            // wd + ws is 255: the sum fits.
            return Isa::template Shr16<8>(Isa::Add16(x, Isa::Mul16(s, ws)));
        }
    }

    template <spanPelTy P, spanMixTy M>
    static V Block(V d, V s, const uint8_t* ab, int32_t c) {
        const V x = Isa::Set32(0xFF000000u);
        if constexpr (P == spanPelTy::copy) {
            return Isa::Or(s, x);
        } else {
            V v;
            if constexpr (P == spanPelTy::add) {
                v = Isa::AddSat8(d, s);
            } else {
                const V a = M == spanMixTy::fixed ? V{} : Isa::AlphaPel32(ab);
                v = Isa::Narrow8(Half<M>(Isa::Widen8Lo(d), Isa::Widen8Lo(s), Isa::Widen8Lo(a), c),
                                 Half<M>(Isa::Widen8Hi(d), Isa::Widen8Hi(s), Isa::Widen8Hi(a), c));
            }
            // The fourth byte stays as it was.
            return Isa::Or(Isa::AndNot(x, v), Isa::And(d, x));
        }
    }

    static V Select(uint32_t n, V v, V old) {
        return Isa::Select(Isa::Cmpgt32(Isa::Set32(n), Isa::Iota32()), v, old);
    }
};

// Where a run may read and rewrite whole registers: the pels left in the
// destination row, and the ends of the stored colours and alpha bytes.
// `slack` is set for a row whose colours and alpha bytes, from its start,
// reach a register past the row's width: no run of it then comes near
// their ends.
struct spanRoomTy {
    uint32_t rowLeft;
    bool slack;
    const uint8_t* colourEnd;
    const uint8_t* alphaEnd;
};

// The last `rest` pels of a run (fewer than a register) where a register
// does not fit: through a scratch register. Rare (the ends of rows and of
// the picture), so kept out of line, away from the registers of the walk.
template <class K, spanPelTy P, spanMixTy M>
[[gnu::noinline, gnu::cold]] void spanScratch(uint8_t* d, const uint8_t* s, const uint8_t* ab, uint32_t rest,
                                              int32_t c) {
    using Isa = typename K::Isa;
    constexpr uint32_t N = K::pels, B = K::bytes, SB = K::srcBytes;
    uint8_t bd[N * B] = {}, bs[N * SB + K::srcOver] = {}, ba[N] = {};
    std::memcpy(bd, d, rest * B);
    std::memcpy(bs, s, rest * SB);
    if constexpr (P == spanPelTy::mix && M != spanMixTy::fixed) std::memcpy(ba, ab, rest);
    Isa::Store(bd, K::template Block<P, M>(Isa::Load(bd), K::LoadSrc(bs), ba, c));
    std::memcpy(d, bd, rest * B);
}

// One run of n pels from the start of a row's `room.rowLeft` pels.
template <class K, spanPelTy P, spanMixTy M>
inline void spanRun(uint8_t* d, const uint8_t* s, const uint8_t* ab, uint32_t n, const spanRoomTy& room, int32_t c) {
    using Isa = typename K::Isa;
    constexpr uint32_t N = K::pels, B = K::bytes, SB = K::srcBytes;
    constexpr bool alpha = P == spanPelTy::mix && M != spanMixTy::fixed;
    // The alpha byte of pel i; runs that read none pass no pointer.
    const auto at = [ab](uint32_t i) { return alpha ? ab + i : ab; };
    if constexpr (K::srcOver != 0) {
        // Loads of R8G8B8 colours read past them; without slack (the last
        // rows of a picture) every register goes through the scratch one.
        if (!room.slack) {
            for (uint32_t i = 0; i < n; i += N) spanScratch<K, P, M>(d + i * B, s + i * SB, at(i), n - i < N ? n - i : N, c);
            return;
        }
    }
    using Short = typename K::Narrow;
    if (n <= Short::pels && room.slack && room.rowLeft >= Short::pels) {
        // The common short run: one register (the narrow one), lanes past
        // the run kept.
        using IsaS = typename Short::Isa;
        const auto old = IsaS::Load(d);
        IsaS::Store(d, Short::Select(n, Short::template Block<P, M>(old, Short::LoadSrc(s), ab, c), old));
        return;
    }
    uint32_t i = 0;
    for (; i + N <= n; i += N)
        Isa::Store(d + i * B, K::template Block<P, M>(Isa::Load(d + i * B), K::LoadSrc(s + i * SB), at(i), c));
    if (i == n) return;
    if constexpr (P == spanPelTy::copy) {
        // A copy may draw pels twice: the last register ends with the run.
        if (n >= N) {
            const uint32_t j = n - N;
            Isa::Store(d + j * B, K::template Block<P, M>(Isa::Load(d + j * B), K::LoadSrc(s + j * SB), at(j), c));
            return;
        }
        // Between one narrow and one wide register: two narrow ones.
        using Short = typename K::Narrow;
        using IsaS = typename Short::Isa;
        constexpr uint32_t NS = Short::pels;
        if (NS < N && n >= NS) {
            const uint32_t j = n - NS;
            IsaS::Store(d, Short::template Block<P, M>(IsaS::Load(d), Short::LoadSrc(s), ab, c));
            IsaS::Store(d + j * B, Short::template Block<P, M>(IsaS::Load(d + j * B), Short::LoadSrc(s + j * SB), at(j), c));
            return;
        }
    }
    const uint32_t rest = n - i;
    d += i * B;
    s += i * SB;
    ab = at(i);
    bool fits = room.rowLeft - i >= N;
    if (fits && !room.slack) {
        fits = size_t(room.colourEnd - s) >= size_t(N) * SB + K::srcOver;
        if constexpr (alpha) fits = fits && size_t(room.alphaEnd - ab) >= N;
    }
    if (fits) {
        const auto old = Isa::Load(d);
        Isa::Store(d, K::Select(rest, K::template Block<P, M>(old, K::LoadSrc(s), ab, c), old));
        return;
    }
    spanScratch<K, P, M>(d, s, ab, rest, c);
}

// What an opaque and a translucent run do under one selection.
template <spanPelTy OpaqueP, spanMixTy OpaqueM, spanPelTy TranslucentP, spanMixTy TranslucentM>
struct spanSel {
    static constexpr spanPelTy opaqueP = OpaqueP, translucentP = TranslucentP;
    static constexpr spanMixTy opaqueM = OpaqueM, translucentM = TranslucentM;
};

// The plain walk of alpha_walk.h with span runs (same cursor rules).
template <class K, class Sel>
void spanWalk(const alphaArgsTy& a) {
    constexpr uint32_t B = K::bytes, SB = K::srcBytes;
    const imgAlpha& img = *a.src;
    const rectTy r = a.r;
    if (r.h < 1 || r.w < 1) return;
    alphaCursorTy cur{img.runs, 0, img.alphas, img.colors};
    const uint8_t* const alphaEnd = img.alphas + img.alphaCount;
    const uint8_t* const colourEnd = img.colors + size_t(img.colorCount) * SB;
    cur.Pass<SB>(uint64_t(int64_t(r.y) * img.width + r.x));
    uint8_t* d = a.dst;
    const int32_t c = a.c;
    const uint64_t skip = uint64_t(int64_t(img.width) - r.w);
    const ptrdiff_t nextRow = ptrdiff_t(int64_t(a.pitch) - r.w) * ptrdiff_t(B);
    for (int32_t row = 0;;) {
        uint32_t left = uint32_t(r.w);
        const size_t reach = size_t(r.w) + K::pels;
        const bool slack = size_t(colourEnd - cur.colour) >= reach * SB + K::srcOver && size_t(alphaEnd - cur.alpha) >= reach;
        while (left > 0) {
            // A run of no pels (or the end of one, at a row's start) draws
            // nothing and passes on.
            const uint32_t len = *cur.run >> 2;
            const uint32_t n = len - cur.off < left ? len - cur.off : left;
            const uint32_t kind = *cur.run & 3;
            if (kind == alpha_RUN_TRANSLUCENT) {
                spanRun<K, Sel::translucentP, Sel::translucentM>(d, cur.colour, cur.alpha, n, {left, slack, colourEnd, alphaEnd}, c);
                cur.alpha += n;
                cur.colour += size_t(n) * SB;
            } else if (kind == alpha_RUN_OPAQUE) {
                spanRun<K, Sel::opaqueP, Sel::opaqueM>(d, cur.colour, nullptr, n, {left, slack, colourEnd, alphaEnd}, c);
                cur.colour += size_t(n) * SB;
            }
            cur.off += n;
            left -= n;
            d += size_t(n) * B;
            if (cur.off == len) {
                ++cur.run;
                cur.off = 0;
            }
        }
        if (++row == r.h) return;
        cur.Pass<SB>(skip);
        d += nextRow;
    }
}

// The span walk of a selection onto the kernel's format; null for the
// selections without one.
template <class K>
alphaRowFnTy spanWalkOf(uint32_t op, bool pm) {
    using P = spanPelTy;
    using M = spanMixTy;
    switch (op) {
    case alpha_OP_COPY:
        // Straight, a translucent pel is copied as an opaque one (onto these
        // formats its alpha has nowhere to go); premultiplied copies divide.
        return pm ? nullptr : &spanWalk<K, spanSel<P::copy, M::fixed, P::copy, M::fixed>>;
    case alpha_OP_ADD:
        return pm ? nullptr : &spanWalk<K, spanSel<P::add, M::fixed, P::add, M::fixed>>;
    case alpha_OP_BLEND:
        return pm ? &spanWalk<K, spanSel<P::copy, M::fixed, P::mix, M::pm>>
                  : &spanWalk<K, spanSel<P::copy, M::fixed, P::mix, M::straight>>;
    case alpha_OP_BLENDALPHA:
        return pm ? &spanWalk<K, spanSel<P::mix, M::fixed, P::mix, M::pmC>>
                  : &spanWalk<K, spanSel<P::mix, M::fixed, P::mix, M::straightC>>;
    default: return nullptr;
    }
}

// Stored colours in the destination's own format or R8G8B8 (the caller
// checks that the selection has a span walk); short runs take the narrow
// group's registers.
template <class Isa, class Narrow>
alphaRowFnTy spanWalkFor(uint32_t op, bool pm, uint32_t dst, uint32_t stored) {
    const bool rgb = stored == pel_FMT_R8G8B8;
    if (dst == pel_FMT_R5G6B5)
        return rgb ? spanWalkOf<spanR5G6B5<Isa, Narrow, true>>(op, pm) : spanWalkOf<spanR5G6B5<Isa, Narrow, false>>(op, pm);
    if (dst == pel_FMT_X8R8G8B8)
        return rgb ? spanWalkOf<spanX8R8G8B8<Isa, Narrow, true>>(op, pm)
                   : spanWalkOf<spanX8R8G8B8<Isa, Narrow, false>>(op, pm);
    return nullptr;
}

}  // namespace
