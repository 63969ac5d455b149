#pragma once
// The span walks of the alpha-image draw family (alpha_span_kernel.h): the
// plain walks onto R5G6B5 and X8R8G8B8 of stored colours in the
// destination's own format or in R8G8B8, for straight Copy and Add and for
// Blend and BlendAlpha, drawn a register of pels at a time. Add of R8G8B8
// colours onto R5G6B5 adds 8-bit channels, not fields, and has none.
#include <cstdint>

#include "engine/blit/blit.h"

// True for the selections (plain, not scaled) that have span walks.
constexpr bool alphaSpanHas(uint32_t dst, bool pm, uint32_t op, uint32_t stored) {
    const bool fmts = (dst == pel_FMT_R5G6B5 || dst == pel_FMT_X8R8G8B8)
                      && (stored == dst || (stored == pel_FMT_R8G8B8 && !(dst == pel_FMT_R5G6B5 && op == alpha_OP_ADD)));
    return fmts && (op == alpha_OP_BLEND || op == alpha_OP_BLENDALPHA || (!pm && op < alpha_OP_COUNT));
}

// One instruction group's walks; null for a selection without one.
alphaRowFnTy alphaSpanSse2(uint32_t op, bool pm, uint32_t dst, uint32_t stored);
alphaRowFnTy alphaSpanAvx2(uint32_t op, bool pm, uint32_t dst, uint32_t stored);

// The span walk of a selection (destination and stored pel format codes,
// op 0 to 3) at a span level of blit_span.h (0 none, 1 SSE2, 2 AVX2); null
// at level 0, for a scaled draw and for a selection without one.
alphaRowFnTy alphaSpanFn(int level, uint32_t dst, bool pm, bool scaled, uint32_t op, uint32_t stored);
