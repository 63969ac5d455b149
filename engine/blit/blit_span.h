#pragma once
// Vector row spans: the hand-written loops behind the rows the game draws
// most (R5G6B5 and X8R8G8B8 on either side of a copy, keyed copy, alpha).
// A span draws one row of n pels; the walk calls it once per row. The spans
// are picked once per process by the processor's instruction groups (SSE2,
// or AVX2 where the processor and the system have it); on a processor
// without either every span is null and the walks stay scalar.
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "engine/blit/blit_fmt.h"

using bltSpanFnTy = void (*)(uint8_t* d, const uint8_t* s, size_t n, uint32_t key, uint32_t value);

enum bltSpanIdTy : uint8_t {
    blt_SPAN_COPY_565_8888,  // R5G6B5 -> X8R8G8B8 copy
    blt_SPAN_COPY_8888_565,  // X8R8G8B8 -> R5G6B5 copy
    blt_SPAN_COPY_565_565,   // keyed only (the plain copy is a memcpy)
    blt_SPAN_COPY_8888_8888, // keyed only
    blt_SPAN_ALPHA_8888,     // X8R8G8B8 onto X8R8G8B8, opacity 0..256
    blt_SPAN_ALPHA_565,      // R5G6B5 onto R5G6B5, opacity 0..256
    blt_SPAN_ALPHA_565_8888, // R5G6B5 onto X8R8G8B8, two floored terms
    blt_SPAN_ALPHA_8888_565, // X8R8G8B8 onto R5G6B5, two floored terms
    blt_SPAN_ADD_8888,       // X8R8G8B8 onto X8R8G8B8, add capped at 255
    blt_SPAN_ADD_565,        // R5G6B5 onto R5G6B5, add capped per field
    blt_SPAN_SUB_8888,       // X8R8G8B8 onto X8R8G8B8, subtract floored at 0
    blt_SPAN_SUB_565,        // R5G6B5 onto R5G6B5, subtract floored per field
    blt_SPAN_MOD_8888,       // Modulate, 2x, 4x, FadeAdd (fade 0..256),
    blt_SPAN_MOD2X_8888,     // AddSigned, 2x and AddSmooth between equal
    blt_SPAN_MOD4X_8888,     // X8R8G8B8 or R5G6B5 pels
    blt_SPAN_FADEADD_8888,
    blt_SPAN_ADDSIGNED_8888,
    blt_SPAN_ADDSIGNED2X_8888,
    blt_SPAN_ADDSMOOTH_8888,
    blt_SPAN_MOD_565,
    blt_SPAN_MOD2X_565,
    blt_SPAN_MOD4X_565,
    blt_SPAN_FADEADD_565,
    blt_SPAN_ADDSIGNED_565,
    blt_SPAN_ADDSIGNED2X_565,
    blt_SPAN_ADDSMOOTH_565,
    blt_SPAN_COUNT,
    blt_SPAN_NONE = 0xFF
};

// Rows narrower than this go pel by pel instead of through a span.
inline constexpr int32_t bltSpanMinWidth = 8;

// One span per id, without key [0] and with key [1]; null where there is none.
struct bltSpanSetTy {
    const char* name;  // "sse2", "avx2" or "scalar"
    bltSpanFnTy fn[blt_SPAN_COUNT][2];
};

// The spans in use: the best set the processor runs, chosen on first use.
const bltSpanSetTy& bltSpans();
// Chooses a set by level (0 scalar, 1 SSE2, 2 AVX2), limited to what the
// processor runs, and returns the level in force; for tests and benchmarks.
int bltSetSpanLevel(int level);
// The highest level the processor runs.
int bltMaxSpanLevel();

// The sets, defined by the units compiled for each instruction group.
extern const bltSpanSetTy bltSpansSse2;
extern const bltSpanSetTy bltSpansAvx2;

// The ops with spans.
enum class bltSpanOpTy {
    copy, alpha, add, subtract,
    modulate, modulate2x, modulate4x, fadeAdd, addSigned, addSigned2x, addSmooth,  // in the order of their ids
    other
};
static_assert(blt_SPAN_ADDSMOOTH_8888 - blt_SPAN_MOD_8888 == int(bltSpanOpTy::addSmooth) - int(bltSpanOpTy::modulate));
static_assert(blt_SPAN_ADDSMOOTH_565 - blt_SPAN_MOD_565 == int(bltSpanOpTy::addSmooth) - int(bltSpanOpTy::modulate));

// The span of a row of the walk, or blt_SPAN_NONE.
template <class Src, class Dst, bltSpanOpTy Op>
constexpr bltSpanIdTy bltSpanOf() {
    constexpr bool s565 = std::is_same_v<Src, bltFmtR5G6B5>, d565 = std::is_same_v<Dst, bltFmtR5G6B5>;
    constexpr bool s32 = std::is_same_v<Src, bltFmtX8R8G8B8>, d32 = std::is_same_v<Dst, bltFmtX8R8G8B8>;
    if constexpr (Op == bltSpanOpTy::alpha) {
        if constexpr (s32 && d32) return blt_SPAN_ALPHA_8888;
        else if constexpr (s565 && d565) return blt_SPAN_ALPHA_565;
        else if constexpr (s565 && d32) return blt_SPAN_ALPHA_565_8888;
        else if constexpr (s32 && d565) return blt_SPAN_ALPHA_8888_565;
        else return blt_SPAN_NONE;
    } else if constexpr (Op == bltSpanOpTy::copy) {
        if constexpr (s565 && d32) return blt_SPAN_COPY_565_8888;
        else if constexpr (s32 && d565) return blt_SPAN_COPY_8888_565;
        else if constexpr (s565 && d565) return blt_SPAN_COPY_565_565;
        else if constexpr (s32 && d32) return blt_SPAN_COPY_8888_8888;
        else return blt_SPAN_NONE;
    } else if constexpr (Op == bltSpanOpTy::add) {
        if constexpr (s32 && d32) return blt_SPAN_ADD_8888;
        else if constexpr (s565 && d565) return blt_SPAN_ADD_565;
        else return blt_SPAN_NONE;
    } else if constexpr (Op == bltSpanOpTy::subtract) {
        if constexpr (s32 && d32) return blt_SPAN_SUB_8888;
        else if constexpr (s565 && d565) return blt_SPAN_SUB_565;
        else return blt_SPAN_NONE;
    } else if constexpr (Op == bltSpanOpTy::other || !((s32 && d32) || (s565 && d565))) {
        return blt_SPAN_NONE;
    } else {
        constexpr int first = d32 ? blt_SPAN_MOD_8888 : blt_SPAN_MOD_565;
        return bltSpanIdTy(first + int(Op) - int(bltSpanOpTy::modulate));
    }
}
