// The alpha-image span walks on 128-bit registers (SSE2, part of every
// x86-64 processor): 8 R5G6B5 or 4 X8R8G8B8 pels a register.
#include "engine/blit/alpha_span.h"
#include "engine/blit/simd_pel.h"
#include "engine/blit/alpha_span_kernel.h"

alphaRowFnTy alphaSpanSse2(uint32_t op, bool pm, uint32_t dst, uint32_t stored) {
    return spanWalkFor<simdSse2, simdSse2>(op, pm, dst, stored);
}
