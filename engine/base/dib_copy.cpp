// Copying rectangles between DIB blocks of the same depth.
#include "engine/base/dib_internal.h"

#include <algorithm>
#include <cstring>

int rectIntersect(rectTy* out, const rectTy* a, const rectTy* b)
{
    // 64-bit ends: x + w of two 32-bit values may not fit.
    const int64_t x0 = a->x > b->x ? a->x : b->x;
    const int64_t x1 = std::min(int64_t { a->x } + a->w, int64_t { b->x } + b->w);
    if (x1 <= x0)
        return 0;
    out->x = static_cast<int32_t>(x0);
    out->w = static_cast<int32_t>(x1 - x0);
    const int64_t y0 = a->y > b->y ? a->y : b->y;
    const int64_t y1 = std::min(int64_t { a->y } + a->h, int64_t { b->y } + b->h);
    if (y1 <= y0)
        return 0;
    out->y = static_cast<int32_t>(y0);
    out->h = static_cast<int32_t>(y1 - y0);
    return 1;
}

void rowCopy(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, size_t bytesPerRow, int rows)
{
    auto* d = static_cast<uint8_t*>(dst);
    const auto* s = static_cast<const uint8_t*>(src);
    for (int i = 0; i < rows; ++i, d += dstStride, s += srcStride)
        std::memcpy(d, s, bytesPerRow);
}

void rowMove(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, size_t bytesPerRow, int rows)
{
    if (rows <= 0)
        return;
    auto* d = static_cast<uint8_t*>(dst);
    const auto* s = static_cast<const uint8_t*>(src);
    // When the destination lies further along the walk than the source,
    // start with the last row, so that no row is overwritten before it is
    // read. Bottom-up pictures walk towards lower addresses, so "further
    // along" is below the source there, not above it.
    const bool backwards = dstStride >= 0 ? d > s : d < s;
    if (backwards) {
        d += dstStride * (rows - 1);
        s += srcStride * (rows - 1);
        for (int i = 0; i < rows; ++i, d -= dstStride, s -= srcStride)
            std::memmove(d, s, bytesPerRow);
    } else {
        for (int i = 0; i < rows; ++i, d += dstStride, s += srcStride)
            std::memmove(d, s, bytesPerRow);
    }
}

int dibClip(
    const bmpInfoTy* destination, int* dx, int* dy, const bmpInfoTy* source, int* sx, int* sy, int* width, int* height)
{
    const rectTy src_pic { 0, 0, source->biWidth, static_cast<int32_t>(dibRows(source)) };
    rectTy s { *sx, *sy, *width, *height }, c;
    if (!rectIntersect(&c, &s, &src_pic))
        return 0;
    int64_t tx = int64_t { *dx } + (c.x - s.x), ty = int64_t { *dy } + (c.y - s.y);
    const rectTy dst_pic { 0, 0, destination->biWidth, static_cast<int32_t>(dibRows(destination)) };
    if (tx >= dst_pic.w || ty >= dst_pic.h || tx + c.w <= 0 || ty + c.h <= 0)
        return 0;
    const rectTy d { static_cast<int32_t>(tx), static_cast<int32_t>(ty), c.w, c.h };
    rectTy e;
    if (!rectIntersect(&e, &d, &dst_pic))
        return 0;
    *sx = c.x + (e.x - d.x);
    *sy = c.y + (e.y - d.y);
    *dx = e.x;
    *dy = e.y;
    *width = e.w;
    *height = e.h;
    return 1;
}

bmpInfoTy* dibCopy(bmpInfoTy* destination, void* destinationBits, const bmpInfoTy* source, const void* sourceBits,
    int sx, int sy, int width, int height, int dx, int dy)
{
    if (width < 1 || height < 1 || !source)
        return nullptr;
    const unsigned bits = source->biBitCount;
    if (destination && destination->biBitCount != bits) {
        const unsigned to = destination->biBitCount;
        if ((bits == 8 && (to == 16 || to == 24)) || (bits == 24 && to == 16))
            return dibConvert(destination, destinationBits, dx, dy, static_cast<int>(to), source, sourceBits, sx, sy,
                static_cast<int>(bits), width, height);
        dbgBreakOnRetry(errReport(ERR_NOT_IMPL));
        return nullptr;
    }
    if (!sourceBits)
        sourceBits = bmpBits(source);

    if (!destination) {
        // A block of the clipped size that takes the source's colour table
        // or masks over.
        const rectTy pic { 0, 0, source->biWidth, static_cast<int32_t>(dibRows(source)) };
        const rectTy want { sx, sy, width, height };
        rectTy clipped;
        if (!rectIntersect(&clipped, &want, &pic))
            return nullptr;
        const int colours = bits <= 8                   ? static_cast<int>(bmpPalColors(source))
            : source->biCompression == BMP_BI_BITFIELDS ? 3
                                                        : 0;
        destination = bmpInfoCreate(clipped.w, clipped.h, static_cast<int>(bits), colours, 1);
        if (!destination)
            return nullptr;
        const size_t table = std::min(bmpPalSize(source), bmpPalSize(destination));
        std::memcpy(destination + 1, source + 1, table);
        destinationBits = nullptr;
        dx = -(clipped.x - sx);
        dy = -(clipped.y - sy);
    }
    if (!destinationBits)
        destinationBits = bmpBits(destination);

    if (!dibClip(destination, &dx, &dy, source, &sx, &sy, &width, &height))
        return destination;
    const size_t bytes = (static_cast<size_t>(width) * bits + 7) / 8;
    uint8_t* to = dibRow(destination, destinationBits, dy) + static_cast<size_t>(dx) * bits / 8;
    const uint8_t* from = dibRow(source, sourceBits, sy) + static_cast<size_t>(sx) * bits / 8;
    if (destinationBits == sourceBits)
        rowMove(to, dibStep(destination), from, dibStep(source), bytes, height);
    else
        rowCopy(to, dibStep(destination), from, dibStep(source), bytes, height);
    return destination;
}
