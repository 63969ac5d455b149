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

}  // namespace

void alphaDrawEx(imgAlpha* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm) {
    if (dst->lockPtr) dst->Unlock();
    const bool scaled = prm.scaled != 0 || prm.op == img_OP_SCALED;
    alphaArgsTy a;
    const bool steps = !scaled || (alphaStep(prm.scaleX, &a.stepX) && alphaStep(prm.scaleY, &a.stepY));
    // The rectangle in pels of the picture (scaled: of the scaled picture),
    // cut to the pels of both pictures.
    bltClipTy c{rect ? *rect : src->GetRect()};
    c.x = int64_t(x) + c.r.x;
    c.y = int64_t(y) + c.r.y;
    const int64_t srcW = scaled ? bltScaledExtent(src->width, a.stepX) : src->width;
    const int64_t srcH = scaled ? bltScaledExtent(src->height, a.stepY) : src->height;
    if (!steps || !bltClip(&c, srcW, srcH, dst->width, dst->height)) return;
    const rectTy dr{int32_t(c.x), int32_t(c.y), c.r.w, c.r.h};
    (void)dst->Lock(&dr, 0);
    if (dst->pelFmt.palette) {
        dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "%s", "imgCTy::Draw: This is not impelmetned yet"));
    } else if (dst->lockPtr) {
        const alphaRowTy* row = alphaFindRow(dst->pelFmt.format, src->premultiplied != 0, scaled,
                                             OpOf(prm.op, scaled), src->colorFmt);
        if (row) {
            a.src = src;
            a.dst = static_cast<uint8_t*>(dst->lockPtr);
            a.pitch = dst->pitch;
            a.r = c.r;
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
