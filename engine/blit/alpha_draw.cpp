// imgAlpha's draws: the wrappers Draw and DrawAlpha and the dispatcher
// DrawEx, which places the draw, brackets it in one lock of the destination
// and runs the one loop of the family that the draw selects.
#include <cmath>

#include "engine/blit/blit.h"

bool alphaStep(float scale, uint32_t* step) {
    // 65536 / scale is converted to an integer only when it fits: a scale of
    // 0, a negative or NaN one has no step, and a tiny one a step past the
    // 32-bit accumulators.
    if (!(scale > 0.0f)) return false;
    const double s = 65536.0 / double(scale);
    if (!(s < 2147483648.0)) return false;
    *step = uint32_t(int32_t(s));
    return true;
}

namespace {

// The family's op for a draw operation, or alpha_OP_COUNT when none.
uint32_t OpOf(uint32_t op, bool scaled) {
    switch (op) {
    case img_OP_COPY: return alpha_OP_COPY;
    case img_OP_ADD: return alpha_OP_ADD;
    case img_OP_SCALED: return scaled ? alpha_OP_BLEND : alpha_OP_COUNT;
    case img_OP_BLEND: return alpha_OP_BLEND;
    case img_OP_BLENDALPHA: return alpha_OP_BLENDALPHA;
    default: return alpha_OP_COUNT;
    }
}

// The loops neither clip nor check: a rectangle whose pels lie outside the
// source (through the steps, when scaled) or outside the destination draws
// nothing instead of reading or writing past either.
bool Inside(const imgAlpha& src, const imgCTy& dst, const rectTy& r, const rectTy& dr, bool scaled, uint32_t stepX,
            uint32_t stepY) {
    // An empty rectangle draws nothing, and its walk would still pass over
    // r.y rows of a picture that may not have them.
    if (r.w <= 0 || r.h <= 0) return false;
    if (r.x < 0 || r.y < 0 || dr.x < 0 || dr.y < 0 || int64_t(dr.x) + r.w > dst.width
        || int64_t(dr.y) + r.h > dst.height)
        return false;
    if (!scaled) return int64_t(r.x) + r.w <= src.width && int64_t(r.y) + r.h <= src.height;
    const uint64_t lastU = uint64_t(int64_t(r.x) + r.w - 1) * stepX, lastV = uint64_t(int64_t(r.y) + r.h - 1) * stepY;
    return lastU <= 0xFFFFFFFFu && lastV <= 0xFFFFFFFFu && (lastU >> 16) < uint64_t(src.width)
           && (lastV >> 16) < uint64_t(src.height);
}

}  // namespace

void alphaDrawEx(imgAlpha* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm) {
    const rectTy r = rect ? *rect : src->GetRect();
    const rectTy dr{x + r.x, y + r.y, r.w, r.h};
    if (dst->lockPtr) dst->Unlock();
    (void)dst->Lock(&dr, 0);
    if (dst->pelFmt.palette) {
        dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "%s", "imgCTy::Draw: This is not impelmetned yet"));
    } else if (dst->lockPtr) {
        const bool scaled = prm.scaled != 0 || prm.op == img_OP_SCALED;
        const alphaRowTy* row = alphaFindRow(dst->pelFmt.format, src->premultiplied != 0, scaled,
                                             OpOf(prm.op, scaled), src->colorFmt);
        alphaArgsTy a;
        const bool steps = !scaled || (alphaStep(prm.scaleX, &a.stepX) && alphaStep(prm.scaleY, &a.stepY));
        if (row && steps && Inside(*src, *dst, r, dr, scaled, a.stepX, a.stepY)) {
            a.src = src;
            a.dst = static_cast<uint8_t*>(dst->lockPtr);
            a.pitch = dst->pitch;
            a.r = r;
            // The constant is kept to 0..256 so that no weight can overflow.
            a.c = std::clamp<int32_t>(prm.alpha, 0, 256);
            row->fn(a);
        }
    }
    dst->Unlock();
}

void alphaDraw(imgAlpha* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect) {
    imgDrawPrmCTy prm;
    prm.op = img_OP_BLEND;
    alphaDrawEx(src, dst, x, y, rect, prm);
}

void alphaDrawAlpha(imgAlpha* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, float opacity) {
    imgDrawPrmCTy prm;
    prm.op = img_OP_BLENDALPHA;
    // Truncation toward zero; a value that no i32 holds becomes 0, and the
    // dispatcher keeps the constant to 0..256 anyway.
    const float c = opacity * 256.0f;
    prm.alpha = (c > -2147483648.0f && c < 2147483648.0f) ? int32_t(c) : 0;
    alphaDrawEx(src, dst, x, y, rect, prm);
}

void alphaInstall() {
    imgAlphaDrawsTy draws;
    draws.draw = &alphaDraw;
    draws.drawEx = &alphaDrawEx;
    draws.drawAlpha = &alphaDrawAlpha;
    (void)imgAlphaSetDraws(draws);
}
