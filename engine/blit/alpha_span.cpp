// Which span walk serves a selection under an instruction group.
#include "engine/blit/alpha_span.h"

alphaRowFnTy alphaSpanFn(spanIsaTy isa, uint32_t dst, bool pm, bool scaled, uint32_t op, uint32_t stored) {
    if (scaled || !alphaSpanHas(dst, pm, op, stored)) return nullptr;
    switch (isa) {
    case spanIsaTy::sse2: return alphaSpanSse2(op, pm, dst);
    case spanIsaTy::avx2: return alphaSpanAvx2(op, pm, dst);
    default: return nullptr;
    }
}
