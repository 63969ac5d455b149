// The auxiliary images of a draw (alpha map, depth images): where they are
// locked and whether the row loops may read them there.
#include <cstdint>
#include <cstring>

#include "engine/blit/blit.h"

namespace {

// The pel of the image that the lock pointer addresses. The RLE8 and alpha
// images record the whole picture as their lock rectangle but point the
// lock at the rectangle they were asked for, so their corner is read off
// the pointer's place in the decoded picture. False when the pointer lies
// before the picture.
bool LockCorner(imgCTy* img, int64_t* x, int64_t* y) {
    const void* base = nullptr;
    if (img->kind == img_KIND_RLE8) base = static_cast<imgRle8CTy*>(img)->decodeBuf;
    else if (img->kind == img_KIND_ALPHA) base = static_cast<imgAlpha*>(img)->lockBuf;
    if (!base) {
        *x = img->lockRect.x;
        *y = img->lockRect.y;
        return true;
    }
    // As integers: a pointer placed past the picture is compared, never
    // dereferenced or stepped from.
    const uintptr_t at = reinterpret_cast<uintptr_t>(img->lockPtr), from = reinterpret_cast<uintptr_t>(base);
    const uint64_t row = uint64_t(pelSize(img->pelFmt.format)) * uint64_t(img->pitch);
    if (at < from || row == 0) return false;
    *y = int64_t((at - from) / row);
    *x = int64_t((at - from) % row / pelSize(img->pelFmt.format));
    return true;
}

// The pels a lock of the image may address: its rectangle, or for the RLE8
// and alpha images, which decode the whole picture whatever their box, the
// picture.
rectTy Pels(imgCTy* img) {
    if (img->kind == img_KIND_RLE8 || img->kind == img_KIND_ALPHA) return {0, 0, img->width, img->height};
    return img->GetRect();
}

bool Inside(const rectTy& p, int64_t x, int64_t y, int64_t w, int64_t h) {
    return x >= p.x && y >= p.y && x + w <= int64_t(p.x) + p.w && y + h <= int64_t(p.y) + p.h;
}

}  // namespace

void bltLockAuxImage(imgCTy* aux, const rectTy& r, uint32_t mode) {
    // A lock placed outside the picture would hand out a pointer past its
    // pels: such an image stays unlocked, and bltAuxHolds refuses it. One
    // the caller holds locked keeps its lock, judged where it lies.
    if (aux->lockPtr) return;
    if (!Inside(Pels(aux), r.x, r.y, r.w, r.h)) return;
    (void)aux->Lock(&r, mode);
}

bool bltAuxHolds(imgCTy* aux, int32_t w, int32_t h, uint32_t bytes) {
    if (!aux || !aux->lockPtr || pelSize(aux->pelFmt.format) < bytes) return false;
    if (w < 1 || h < 1) return true;
    int64_t x = 0, y = 0;
    if (!LockCorner(aux, &x, &y)) return false;
    return Inside(Pels(aux), x, y, w, h);
}

// Row y of the copy is r.w pels of `fmt` from row y of the lock, the
// image's pitch in such pels on.
imgCTy* bltAuxCopy(imgCTy* aux, const rectTy& r, const pelFmtCTy& fmt, imgRowCTy* copy) {
    bltLockAux(aux, r, 1);
    imgCTy* held = nullptr;
    if (bltAuxHolds(aux, r.w, r.h, 1)) {
        copy->SetSize(r.w, r.h, &fmt);
        if (copy->pels) {
            const size_t bytes = pelSize(fmt.format), line = size_t(r.w) * bytes;
            const auto* from = static_cast<const uint8_t*>(aux->lockPtr);
            for (int32_t y = 0; y < r.h; ++y)
                std::memcpy(copy->pels + size_t(y) * line, from + size_t(y) * size_t(aux->pitch) * bytes, line);
            (void)copy->Lock(nullptr, 1);
            held = copy;
        }
    }
    aux->Unlock();
    return held;
}
