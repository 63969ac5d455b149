// The row image: its block of pels, lock, copies and sizing.
#include "engine/gfx/gfx_internal.h"

#include <cstring>
#include <new>

rwObjCTy* imgRowCreate()
{
    auto* image = new (std::nothrow) imgRowCTy;
    if (!image)
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
    return image;
}

imgRowCTy::imgRowCTy(const imgRowCTy& other) : imgCTy(other)
{
    kind = img_KIND_ROW;
    std::memcpy(extra, other.extra, sizeof extra);
    if (!other.pels)
        return;
    const size_t size = BodySize();
    pels = static_cast<uint8_t*>(memAlloc(size));
    if (!pels)
        return;
    std::memcpy(pels, other.pels, size);
    rowPitch = static_cast<uint32_t>(width);
    ownsPels = 1;
}

imgRowCTy::~imgRowCTy() { Free(); }

size_t imgRowCTy::BodySize() const
{
    if (width <= 0 || height <= 0)
        return 0;
    return size_t(width) * size_t(height) * pelSize(pelFmt.format);
}

int32_t imgRowCTy::Lock(const rectTy* rect, uint32_t mode)
{
    imgCTy::Lock(rect, mode);
    if (!pels) {
        lockPtr = nullptr;
        return pitch;
    }
    // From the stored rectangle: a second lock keeps the first one's corner.
    const ptrdiff_t offset = (ptrdiff_t { lockRect.y } * rowPitch + lockRect.x) * ptrdiff_t(pelSize(pelFmt.format));
    lockPtr = pels + offset;
    pitch = static_cast<int32_t>(rowPitch);
    return pitch;
}

void imgRowCTy::Unlock() { imgCTy::Unlock(); }

imgCTy* imgRowCTy::Clone()
{
    auto* copy = new (std::nothrow) imgRowCTy(*this);
    if (!copy)
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
    return copy;
}

void imgRowCTy::Free()
{
    // A lock pointer into a released block would outlive it.
    lockPtr = nullptr;
    if (!inPlace && ownsPels)
        memFree(pels);
    pels = nullptr;
    ownsPels = 0;
}

void imgRowCTy::SetSize(int32_t w, int32_t h, const pelFmtCTy* format)
{
    Free();
    // From here on the block is the image's own, wherever the old pels lay.
    inPlace = 0;
    rowPitch = 0;
    if (w < 0 || h < 0) {
        width = 0;
        height = 0;
        dbgBreakOnRetry(errReport(ERR_BAD_ARG));
        return;
    }
    const uint32_t bytesPerPel = pelSize(format ? format->format : pelFmt.format);
    size_t bytes = 0;
    if (!imgBlockSize(w, h, bytesPerPel, &bytes)) {
        width = 0;
        height = 0;
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
        return;
    }
    imgCTy::SetSize(w, h, format);
    if (format) {
        pelFmt = *format;
        if (keyFlag)
            SetColorKey(keyColor);
    }
    pels = static_cast<uint8_t*>(memAlloc(bytes));
    if (!pels)
        return;
    rowPitch = static_cast<uint32_t>(w);
    ownsPels = 1;
}
