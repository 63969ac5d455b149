// The draw entry behind imgCTy::DrawEx: it works out the destination
// rectangle, locks every image of the draw in a fixed order, picks the
// dispatcher by the palettes and unlocks everything again.
#include "engine/blit/blit.h"


void bltDrawEx(imgCTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm) {
    const rectTy r = rect ? *rect : src->GetRect();
    const rectTy dr{x + r.x, y + r.y, r.w, r.h};
    if (src->lockPtr) src->Unlock();
    const bool whole = prm.op == img_OP_SCALED || prm.scaled != 0;
    (void)src->Lock(whole ? nullptr : &r, 1);
    if (prm.srcDepth) (void)prm.srcDepth->Lock(&r, 1);
    if (prm.alphaMap) (void)prm.alphaMap->Lock(&r, 1);
    if (dst->lockPtr) dst->Unlock();
    (void)dst->Lock(&dr, 0);
    // The destination depth image lines up with the source rectangle.
    if (prm.dstDepth) (void)prm.dstDepth->Lock(&r, 0);
    const bool srcPal = src->pelFmt.palette != nullptr, dstPal = dst->pelFmt.palette != nullptr;
    if (!src->lockPtr || !dst->lockPtr) {
        // A lock that failed (a display surface that could not be
        // restored, an image without pels) gives nothing to draw through.
    } else if (srcPal && !dstPal) {
        bltDrawExPal(src, dst, &r, prm);
    } else if (!srcPal && dstPal) {
        dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "%s", "imgCTy::Draw: This is not impelmetned yet"));
    } else {
        bltDrawExDirect(src, dst, &r, prm);
    }
    dst->Unlock();
    src->Unlock();
    if (prm.alphaMap) prm.alphaMap->Unlock();
    if (prm.srcDepth) prm.srcDepth->Unlock();
    if (prm.dstDepth) prm.dstDepth->Unlock();
}

void blitInstall() { imgSetDrawEntry(&bltDrawEx); }
