// The draw entry behind imgCTy::DrawEx: it works out the destination
// rectangle, locks every image of the draw in a fixed order, picks the
// dispatcher by the palettes and unlocks everything again.
#include "engine/blit/blit_rows.h"

namespace {

// The parameters without the depth pair. Apart, so that a draw without
// depth images builds no second set of parameters.
imgDrawPrmCTy WithoutDepth(const imgDrawPrmCTy& prm) {
    imgDrawPrmCTy use = prm;
    use.srcDepth = use.dstDepth = nullptr;
    return use;
}

// Picks the dispatcher by the palettes, with the source and the
// destination locked; op 3 with an alpha map the loops cannot read draws
// nothing.
[[gnu::always_inline]] inline void Dispatch(imgCTy* src, imgCTy* dst, const rectTy& r, const imgDrawPrmCTy& prm) {
    const bool noMap = prm.op == img_OP_ALPHAMAP && !bltAuxHolds(prm.alphaMap, r.w, r.h, 1);
    const bool srcPal = src->pelFmt.palette != nullptr, dstPal = dst->pelFmt.palette != nullptr;
    if (!src->lockPtr || !dst->lockPtr) {
        // A lock that failed (a display surface that could not be
        // restored, an image without pels) gives nothing to draw through.
    } else if (srcPal && !dstPal) {
        if (!noMap) bltDrawExPal(src, dst, &r, prm);
    } else if (!srcPal && dstPal) {
        dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "%s", "imgCTy::Draw: This is not impelmetned yet"));
    } else if (!noMap) {
        bltDrawExDirect(src, dst, &r, prm);
    }
}

void DrawReadingCopies(imgCTy* src, bool atRect, imgCTy* dst, const rectTy& r, const rectTy& dr,
                       const imgDrawPrmCTy& prm);

// True when the draw reads the auxiliary image `aux` (null: none) from
// pels it writes.
inline bool ReadsWhatItWrites(const imgCTy* aux, const imgCTy* dst) { return aux && bltSharesPels(aux, dst); }
// The same for the source depth image or the alpha map. Out of line: a draw
// with auxiliary images is rare, and the plain draw's entry stays short.
[[gnu::noinline]] bool ReadsAuxWritten(const imgDrawPrmCTy& prm, const imgCTy* dst) {
    return ReadsWhatItWrites(prm.srcDepth, dst) || ReadsWhatItWrites(prm.alphaMap, dst);
}

// Draws r of a source locked from here on (at r, or whole when `atRect` is
// false) onto the destination rectangle dr, with the auxiliary images, and
// unlocks everything. Always inline: a small sprite's draw costs little
// more than this entry, and a call with six arguments would add a fifth to
// it. Nearly every draw has no auxiliary image, so their three are asked
// for at once.
[[gnu::always_inline]] inline void DrawFrom(imgCTy* src, bool atRect, imgCTy* dst, const rectTy& r, const rectTy& dr,
                                            const imgDrawPrmCTy& prm) {
    const bool aux = (uintptr_t(prm.alphaMap) | uintptr_t(prm.srcDepth) | uintptr_t(prm.dstDepth)) != 0;
    (void)src->Lock(atRect ? &r : nullptr, 1);
    if (aux) {
        if (ReadsAuxWritten(prm, dst)) {
            src->Unlock();
            return DrawReadingCopies(src, atRect, dst, r, dr, prm);
        }
        bltLockAux(prm.srcDepth, r, 1);
        bltLockAux(prm.alphaMap, r, 1);
    }
    (void)dst->Lock(&dr, 0);
    // The destination depth image lines up with the source rectangle.
    if (aux) bltLockAux(prm.dstDepth, r, 0);
    // The row loops read the auxiliary images at the source rectangle
    // unchecked. A depth pair that cannot be read there (one missing, a
    // failed lock, too small, not of 4-byte pels) drops the depth test; an
    // alpha map that cannot leaves op 3 nothing to draw with.
    if (aux && prm.srcDepth && !(bltAuxHolds(prm.srcDepth, r.w, r.h, 4) && bltAuxHolds(prm.dstDepth, r.w, r.h, 4)))
        Dispatch(src, dst, r, WithoutDepth(prm));
    else
        Dispatch(src, dst, r, prm);
    dst->Unlock();
    src->Unlock();
    if (aux) {
        if (prm.alphaMap) prm.alphaMap->Unlock();
        if (prm.srcDepth) prm.srcDepth->Unlock();
        if (prm.dstDepth) prm.dstDepth->Unlock();
    }
}

// Drawn onto itself (or onto pels it shares), the source is read from a
// copy: the destination's lock would move the source's lock pointer, and
// the loops would read pels they have already written. Unscaled, the copy
// holds r alone, so its whole lock starts at r as the source's would. Out
// of line, so that the copy's image stays off the plain draw's path.
[[gnu::noinline]] void DrawFromCopy(imgCTy* src, bool whole, imgCTy* dst, const rectTy& r, const rectTy& dr,
                                    const imgDrawPrmCTy& prm) {
    imgRowCTy copy;
    if (bltSnapshot(src, whole ? nullptr : &r, &copy)) DrawFrom(&copy, false, dst, r, dr, prm);
}

// A source depth image or alpha map that is the destination (or shares its
// pels) is read from a copy taken before the draw, at the source rectangle
// as any auxiliary image is: locked in place, the destination's lock at the
// destination rectangle would move its lock, and the loops would read
// there, and read pels they have already written. Out of line, as the
// copies are.
[[gnu::noinline]] void DrawReadingCopies(imgCTy* src, bool atRect, imgCTy* dst, const rectTy& r, const rectTy& dr,
                                         const imgDrawPrmCTy& prm) {
    imgRowCTy depthCopy, mapCopy;
    imgDrawPrmCTy use = prm;
    if (ReadsWhatItWrites(prm.srcDepth, dst))
        use.srcDepth = bltAuxCopy(prm.srcDepth, r, prm.srcDepth->pelFmt, &depthCopy);
    if (ReadsWhatItWrites(prm.alphaMap, dst))
        use.alphaMap = bltAuxCopy(prm.alphaMap, r, pelFmtCTy(pel_FMT_P8), &mapCopy);
    DrawFrom(src, atRect, dst, r, dr, use);
}

}  // namespace

void bltDrawEx(imgCTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm) {
    if (src->lockPtr) src->Unlock();
    if (dst->lockPtr) dst->Unlock();
    const bool whole = prm.op == img_OP_SCALED || prm.scaled != 0;
    // Scaled, the rectangle is in pels of the scaled picture, and a unit
    // reads the source pel its step leads to.
    bltClipTy c{rect ? *rect : src->GetRect()};
    c.x = int64_t(x) + c.r.x;
    c.y = int64_t(y) + c.r.y;
    const int64_t srcW = whole ? bltScaledExtent(src->width, bltStep(prm.scaleX)) : src->width;
    const int64_t srcH = whole ? bltScaledExtent(src->height, bltStep(prm.scaleY)) : src->height;
    if (!bltClip(&c, srcW, srcH, dst->width, dst->height)) return;
    const rectTy& r = c.r;
    rectTy dr = r;
    dr.x = int32_t(c.x);
    dr.y = int32_t(c.y);
    if (bltSharesPels(src, dst)) return DrawFromCopy(src, whole, dst, r, dr, prm);
    DrawFrom(src, !whole, dst, r, dr, prm);
}

void blitInstall() { imgSetDrawEntry(&bltDrawEx); }
