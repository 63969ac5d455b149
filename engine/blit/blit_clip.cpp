// The one clip of every draw entry: the rectangle is cut once per draw, so
// that the loops it reaches never test a pel's place.
#include <algorithm>
#include <cstdint>

#include "engine/blit/blit.h"

namespace {

// One axis: source units s .. s + n - 1 land on destination pels
// d .. d + n - 1, the first unit on the first pel, or on the last one when
// mirrored. Units are cut at the source's end that lies outside either
// picture; the destination's place follows the cut.
bool ClipAxis(int32_t* s, int32_t* n, int64_t* d, int64_t srcLen, int64_t dstLen, bool mirror) {
    const int64_t s0 = *s, len = *n, d0 = *d;
    if (len <= 0) return false;
    // Units cut at the source's start and at its end.
    int64_t head = std::max<int64_t>(0, -s0), tail = std::max<int64_t>(0, s0 + len - srcLen);
    const int64_t left = std::max<int64_t>(0, -d0), right = std::max<int64_t>(0, d0 + len - dstLen);
    head = std::max(head, mirror ? right : left);
    tail = std::max(tail, mirror ? left : right);
    if (head + tail >= len) return false;
    *s = int32_t(s0 + head);
    *n = int32_t(len - head - tail);
    *d = d0 + (mirror ? tail : head);
    return true;
}

}  // namespace

int64_t bltScaledExtent(int64_t pels, uint32_t step) {
    if (pels <= 0) return 0;
    if (step == 0) return INT32_MAX;  // every unit reads pel 0
    // u * step < pels << 16, and u * step still fits the u32 accumulator.
    const uint64_t byPels = ((uint64_t(pels) << 16) - 1) / step + 1, byAccumulator = 0xFFFFFFFFull / step + 1;
    return int64_t(std::min<uint64_t>({byPels, byAccumulator, uint64_t(INT32_MAX)}));
}

bool bltClipCut(bltClipTy* c, int64_t srcW, int64_t srcH, int64_t dstW, int64_t dstH, bool mirror) {
    // Both sizes at most INT32_MAX: a cut rectangle then stays in i32.
    srcW = std::min<int64_t>(srcW, INT32_MAX);
    srcH = std::min<int64_t>(srcH, INT32_MAX);
    return ClipAxis(&c->r.x, &c->r.w, &c->x, srcW, dstW, mirror) &&
           ClipAxis(&c->r.y, &c->r.h, &c->y, srcH, dstH, false);
}
