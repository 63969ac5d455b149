// The alpha-image span walks on 256-bit registers: 16 R5G6B5 or 8 X8R8G8B8
// pels a register, runs of up to 8 or 4 pels on 128-bit registers (a
// short run then reads and rewrites fewer pels past its end, which the
// next run's loads would otherwise wait for). Compiled for AVX2 and run only where bltMaxSpanLevel
// finds it. The byte widening and narrowing work within 128-bit halves; both go
// the same way, so the pels come back in order. The 128-bit registers use
// the byte shuffle AVX2 processors have (simdSse2Shuffle).
#include "engine/blit/alpha_span.h"
#include "engine/blit/simd_pel.h"
#include "engine/blit/alpha_span_kernel.h"

alphaRowFnTy alphaSpanAvx2(uint32_t op, bool pm, uint32_t dst, uint32_t stored) {
    return spanWalkFor<simdAvx2, simdSse2Shuffle>(op, pm, dst, stored);
}
