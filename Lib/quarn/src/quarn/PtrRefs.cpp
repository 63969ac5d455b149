#include "quarn/PtrRefs.h"

#include <cstddef>

namespace quarn {

// The count block must be reachable from the address of `strong` by a plain
// base-to-derived conversion: `strong` opens PtrRefsData.
static_assert(offsetof(PtrRefsData, strong) == 0);
static_assert(sizeof(PtrRefsData) == 8, "counts are two 32-bit integers");

int32_t PtrRefs::release()
{
    // Read everything needed before destroy(): it frees this block.
    int32_t left = --strong;
    if (left < 1)
        dispose();
    if (--weak < 1)
        destroy();
    return left;
}

int32_t release_refs(int32_t* strong)
{
    PtrRefs* refs = refs_from_strong(strong);
    return refs ? refs->release() : 0;
}

void AliveFlag::release()
{
    alive = 0;
    if (--count < 1)
        delete this;
}

} // namespace quarn
