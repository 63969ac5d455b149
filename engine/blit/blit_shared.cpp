// A draw whose source and destination share pels (an image drawn onto
// itself, or two row images over one block) reads from a copy of the source
// taken before anything is written, so that it draws the picture as it was
// whatever the overlap and the direction of the row loops.
#include <cstring>

#include "engine/blit/blit.h"

namespace {

// The bytes a row image's pels span, [from, to); empty without pels.
void Span(const imgRowCTy* img, uintptr_t* from, uintptr_t* to) {
    *from = *to = 0;
    if (img->width < 1 || img->height < 1 || !img->pels) return;
    const uintptr_t bytes = pelSize(img->pelFmt.format);
    *from = reinterpret_cast<uintptr_t>(img->pels);
    *to = *from + (uintptr_t(img->rowPitch) * uintptr_t(img->height - 1) + uintptr_t(img->width)) * bytes;
}

}  // namespace

bool bltRowPelsOverlap(const imgRowCTy* src, const imgRowCTy* dst) {
    uintptr_t s0, s1, d0, d1;
    Span(src, &s0, &s1);
    Span(dst, &d0, &d1);
    return s0 < s1 && d0 < d1 && s0 < d1 && d0 < s1;
}

bool bltSnapshot(imgCTy* src, const rectTy* r, imgRowCTy* copy) {
    const rectTy part = r ? *r : rectTy{0, 0, src->width, src->height};
    (void)src->Lock(r, img_LOCK_READ);
    if (!src->lockPtr) return false;
    copy->SetSize(part.w, part.h, &src->pelFmt);
    if (copy->pels) {
        copy->keyFlag = src->keyFlag;
        copy->keyColor = src->keyColor;
        copy->keyPel = src->keyPel;
        const size_t bytes = pelSize(src->pelFmt.format), line = size_t(part.w) * bytes;
        const auto* from = static_cast<const uint8_t*>(src->lockPtr);
        for (int32_t y = 0; y < part.h; ++y)
            std::memcpy(copy->pels + size_t(y) * line, from + size_t(y) * size_t(src->pitch) * bytes, line);
    }
    src->Unlock();
    return copy->pels != nullptr;
}
