#pragma once
// The row loop kernel: one template walks a rectangle for every (source
// format, destination format, op, key, depth, scaled) row of the dispatch
// table. Included by the table only; tests may include it.
#include "engine/blit/blit.h"
#include "engine/blit/blit_span.h"

#include <cstring>
#include <type_traits>

// ------------------------------------------------------------ op functors
// Apply(d, s, v): v is the opacity, fade amount or alpha-map pel.

template <class Src, class Dst>
struct bltDoCopy {
    static void Apply(uint8_t* d, const uint8_t* s, uint32_t) { bltCopyPel<Src, Dst>(d, s); }
};

// 32-bit onto 32-bit and R5G6B5 onto R5G6B5 blend their fields with one
// rounding; every other pair uses the two-term member.
template <class Src, class Dst>
struct bltDoAlpha {
    static constexpr bool once =
        std::is_same_v<Src, Dst> && (std::is_same_v<Src, bltFmtX8R8G8B8> || std::is_same_v<Src, bltFmtR5G6B5>);
    static void Apply(uint8_t* d, const uint8_t* s, uint32_t a) {
        if constexpr (once) pelAlphaOnce<typename Dst::Ch>(d, s, a);
        else pelAlpha<typename Src::Ch, typename Dst::Ch>(d, s, a);
    }
};

template <class Src, class Dst>
struct bltDoFadeAdd {
    static void Apply(uint8_t* d, const uint8_t* s, uint32_t c) { pelFadeAdd<typename Src::Ch, typename Dst::Ch>(d, s, c); }
};

template <class PelOp>
struct bltDoArithOf {
    template <class Src, class Dst>
    struct Do {
        static void Apply(uint8_t* d, const uint8_t* s, uint32_t) {
            if constexpr (std::is_same_v<PelOp, pelOpSubtract> && std::is_same_v<Src, bltFmtR5G6B5> &&
                          std::is_same_v<Dst, bltFmtR5G6B5>)
                pelSub565(d, s);
            else
                pelArith<PelOp, typename Src::Ch, typename Dst::Ch>(d, s);
        }
    };
};

// ------------------------------------------------------------------ walks

// A palettised source: one index byte a pel, read through the palette's
// table of pels of the group format G, then drawn as a G pel onto G.
template <class G>
struct bltPalOf {
    static constexpr uint32_t code = pel_FMT_P8;
    static constexpr uint32_t bytes = 1;
    using As = G;
};

template <class Src> struct bltAsOf { using type = Src; };
template <class G> struct bltAsOf<bltPalOf<G>> { using type = G; };
template <class Src> using bltAs = typename bltAsOf<Src>::type;

// The pel the op sees: the source pel itself, or the table pel of the index
// (null for an index beyond the palette, which is then not drawn).
template <class Src>
inline const uint8_t* bltFetch(const uint8_t* s, const bltArgsTy& a) {
    if constexpr (std::is_same_v<Src, bltAs<Src>>) {
        (void)a;
        return s;
    } else {
        return *s < a.tableCount ? a.table + size_t(*s) * Src::As::bytes : nullptr;
    }
}

template <class Src, bool Key, class K>
inline bool bltSkip(const uint8_t* p, K key) {
    if constexpr (!std::is_same_v<Src, bltAs<Src>>)
        if (!p) return true;
    if constexpr (Key) return bltAs<Src>::Keyed(p, key);
    return false;
}

// The rows with a whole-row form: a copy between equal formats is a memcpy
// of each row, and the copies, opacity blends, adds and subtracts of
// blit_span.h run their vector span once per row. False when the row has neither (or the span
// set has no such span, or the opacity is outside 0..256, which the spans
// do not take), and the walk then goes pel by pel.
template <class Src, class Dst, template <class, class> class Op, bool Key, class K>
bool bltWalkSpans(const bltArgsTy& a, const uint8_t* s, uint8_t* d, int32_t w, int32_t h, K key, uint32_t value) {
    constexpr bool copy = std::is_same_v<Op<Src, Dst>, bltDoCopy<Src, Dst>>;
    constexpr bool alpha = std::is_same_v<Op<Src, Dst>, bltDoAlpha<Src, Dst>>;
    constexpr bool add = std::is_same_v<Op<Src, Dst>, bltDoArithOf<pelOpAdd>::Do<Src, Dst>>;
    constexpr bool sub = std::is_same_v<Op<Src, Dst>, bltDoArithOf<pelOpSubtract>::Do<Src, Dst>>;
    constexpr bool fade = std::is_same_v<Op<Src, Dst>, bltDoFadeAdd<Src, Dst>>;
    constexpr auto is = [](auto op) { return std::is_same_v<Op<Src, Dst>, typename bltDoArithOf<decltype(op)>::template Do<Src, Dst>>; };
    constexpr bltSpanOpTy kind = copy ? bltSpanOpTy::copy
                                 : alpha ? bltSpanOpTy::alpha
                                 : add ? bltSpanOpTy::add
                                 : sub ? bltSpanOpTy::subtract
                                 : fade ? bltSpanOpTy::fadeAdd
                                 : is(pelOpModulate{}) ? bltSpanOpTy::modulate
                                 : is(pelOpModulate2x{}) ? bltSpanOpTy::modulate2x
                                 : is(pelOpModulate4x{}) ? bltSpanOpTy::modulate4x
                                 : is(pelOpAddSigned{}) ? bltSpanOpTy::addSigned
                                 : is(pelOpAddSigned2x{}) ? bltSpanOpTy::addSigned2x
                                 : is(pelOpAddSmooth{}) ? bltSpanOpTy::addSmooth
                                       : bltSpanOpTy::other;
    const ptrdiff_t sp = ptrdiff_t(a.src->pitch) * Src::bytes, dp = ptrdiff_t(a.dst->pitch) * Dst::bytes;
    // Rows narrower than a register go pel by pel: a call and a tail
    // buffer would cost more than the pels (a small sprite's draw).
    if (w < bltSpanMinWidth) return false;
    if constexpr (copy && !Key && std::is_same_v<Src, Dst>) {
        for (int32_t y = 0; y < h; ++y, s += sp, d += dp) std::memmove(d, s, size_t(w) * Dst::bytes);
        return true;
    } else {
        constexpr bltSpanIdTy id = bltSpanOf<Src, Dst, kind>();
        if constexpr (id != blt_SPAN_NONE) {
            const bltSpanFnTy f = bltSpans().fn[id][Key ? 1 : 0];
            if (!f || ((alpha || fade) && value > 256)) return false;
            for (int32_t y = 0; y < h; ++y, s += sp, d += dp) f(d, s, size_t(w), uint32_t(key), value);
            return true;
        }
    }
    (void)a; (void)s; (void)d; (void)w; (void)h; (void)key; (void)value;
    return false;
}

// One pel of a walk whose source is a pel (not a palette index). `draw` is
// false for a pel the depth test or the key keeps out: the op is applied to
// a copy of the destination pel and the old or new word is selected, with
// no branch, so that a row of such pels vectorises. R8G8B8 destinations
// (three bytes, no word) keep the branch.
template <class Src, class Dst, template <class, class> class Op>
inline void bltMaskedPel(uint8_t* dp, const uint8_t* sp, uint32_t v, bool draw) {
    if constexpr (Dst::bytes == 2 || Dst::bytes == 4) {
        using W = std::conditional_t<Dst::bytes == 2, uint16_t, uint32_t>;
        W old, out;
        std::memcpy(&old, dp, sizeof(W));
        uint8_t pel[sizeof(W)];
        std::memcpy(pel, &old, sizeof(W));
        Op<Src, Dst>::Apply(pel, sp, v);
        std::memcpy(&out, pel, sizeof(W));
        // A mask rather than `draw ? out : old`, which the compiler may turn
        // back into a branch.
        const W m = W(W(0) - W(draw));
        out = W((out & m) | (old & W(~m)));
        std::memcpy(dp, &out, sizeof(W));
    } else if (draw) {
        Op<Src, Dst>::Apply(dp, sp, v);
    }
}

// Plain, alpha-map and depth walks. The pointers step by whole pels and get
// one correction per row; the key and the depth become a mask per pel.
template <class Src, class Dst, template <class, class> class Op, bool Key, bool Depth, bool Map>
void bltWalk(const bltArgsTy& a) {
    const int32_t w = a.rect->w, h = a.rect->h;
    if (h < 1 || w < 1) return;
    const auto* s = static_cast<const uint8_t*>(a.src->lockPtr);
    auto* d = static_cast<uint8_t*>(a.dst->lockPtr);
    const uint8_t* m = Map ? static_cast<const uint8_t*>(a.alphaMap->lockPtr) : nullptr;
    const int32_t* sz = Depth ? static_cast<const int32_t*>(a.srcDepth->lockPtr) : nullptr;
    int32_t* dz = Depth ? static_cast<int32_t*>(a.dstDepth->lockPtr) : nullptr;
    const auto key = typename bltAs<Src>::Key(a.key);
    const uint32_t value = a.value;
    if constexpr (!Depth && !Map) {
        if (bltWalkSpans<Src, Dst, Op, Key>(a, s, d, w, h, key, value)) return;
    }
    constexpr bool pal = !std::is_same_v<Src, bltAs<Src>>;
    // A palette without entries draws nothing, but its walk still reads an
    // entry (and masks it out): give it one to read.
    static constexpr uint8_t kNoEntry[4] = {};
    const uint8_t* const table = pal && a.tableCount ? a.table : kNoEntry;
    const uint32_t tableCount = a.tableCount;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            bool draw = true;
            if constexpr (Depth) {
                // Depth before key: a keyed-out pel still raises the depth.
                const int32_t sv = sz[x], dv = dz[x];
                draw = sv > dv;
                dz[x] = draw ? sv : dv;
            }
            const uint32_t v = Map ? m[x] : value;
            if constexpr (pal) {
                // An index beyond the palette reads entry 0 and is masked
                // out like a keyed pel.
                const uint32_t index = s[x];
                const bool inside = index < tableCount;
                const uint8_t* sp = table + size_t(inside ? index : 0) * bltAs<Src>::bytes;
                draw = draw && inside;
                if constexpr (Key) draw = draw && !bltAs<Src>::Keyed(sp, key);
                bltMaskedPel<bltAs<Src>, Dst, Op>(d + size_t(x) * Dst::bytes, sp, v, draw);
            } else {
                const uint8_t* sp = s + size_t(x) * Src::bytes;
                if constexpr (Key) draw = draw && !Src::Keyed(sp, key);
                bltMaskedPel<Src, Dst, Op>(d + size_t(x) * Dst::bytes, sp, v, draw);
            }
        }
        s += ptrdiff_t(a.src->pitch) * Src::bytes;
        d += ptrdiff_t(a.dst->pitch) * Dst::bytes;
        if constexpr (Map) m += a.alphaMap->pitch;
        if constexpr (Depth) { sz += a.srcDepth->pitch; dz += a.dstDepth->pitch; }
    }
}

// 16.16 step of a scale: 65536 / scale truncated toward zero, low 32 bits.
// One division in double: taking 1 / scale first in single precision rounds
// 1 / 0.8f up to exactly 1.25, and the step (81920 instead of 81919) then
// skips a source column.
// A scale of 0 (or one so small that the step leaves 64 bits) gives 0.
inline uint32_t bltStep(float scale)
{
    const double step = 65536.0 / double(scale);
    return step > -9.0e18 && step < 9.0e18 ? uint32_t(int64_t(step)) : 0;
}

// Nearest-sample scaled walk: destination pel (i, j) takes source pel
// (((x0 + i) * stepX) >> 16, ((y0 + j) * stepY) >> 16), u32 arithmetic.
template <class Src, class Dst, template <class, class> class Op, bool Key>
void bltScaledWalk(const bltArgsTy& a) {
    const int32_t w = a.rect->w, h = a.rect->h;
    if (h < 1 || w < 1) return;
    const uint32_t stepX = bltStep(a.scaleX), stepY = bltStep(a.scaleY);
    const auto* base = static_cast<const uint8_t*>(a.src->lockPtr);
    auto* d = static_cast<uint8_t*>(a.dst->lockPtr);
    const auto key = typename bltAs<Src>::Key(a.key);
    uint32_t fy = uint32_t(a.rect->y) * stepY;
    for (int32_t j = 0; j < h; ++j, fy += stepY) {
        const uint8_t* row = base + size_t(fy >> 16) * size_t(a.src->pitch) * Src::bytes;
        uint32_t fx = uint32_t(a.rect->x) * stepX;
        for (int32_t i = 0; i < w; ++i, fx += stepX) {
            const uint8_t* s = bltFetch<Src>(row + size_t(fx >> 16) * Src::bytes, a);
            if (bltSkip<Src, Key>(s, key)) continue;
            Op<bltAs<Src>, Dst>::Apply(d + size_t(i) * Dst::bytes, s, a.value);
        }
        d += ptrdiff_t(a.dst->pitch) * Dst::bytes;
    }
}
