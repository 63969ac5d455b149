// Which span walk serves a selection under an instruction group.
#include "engine/blit/alpha_span.h"

alphaRowFnTy alphaSpanFn(int level, uint32_t dst, bool pm, bool scaled, uint32_t op, uint32_t stored) {
    if (scaled || !alphaSpanHas(dst, pm, op, stored)) return nullptr;
    if (level >= 2) return alphaSpanAvx2(op, pm, dst, stored);
    if (level == 1) return alphaSpanSse2(op, pm, dst, stored);
    return nullptr;
}
