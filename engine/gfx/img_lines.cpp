// Horizontal, vertical and general lines of one pel value, for every pel
// size. Each locks only the part of the line's rectangle that lies inside
// the image, so a line reaching past an edge never writes outside it.
#include "engine/gfx/gfx_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

bool has_pels(uint32_t format)
{
    return format != 0 && format != 7 && format != 8 && format < pel_FMT_COUNT;
}

void store(uint8_t* at, uint32_t pel, uint32_t bytes)
{
    switch (bytes) {
    case 1:
        *at = static_cast<uint8_t>(pel);
        break;
    case 2: {
        const auto v = static_cast<uint16_t>(pel);
        std::memcpy(at, &v, 2);
        break;
    }
    default:
        std::memcpy(at, &pel, bytes); // B, G, R (and A) of the little-endian word
        break;
    }
}

// The part of {x, y, w, h} inside the image; w or h of 0 when none.
rectTy clip(const imgCTy& img, int64_t x, int64_t y, int64_t w, int64_t h)
{
    const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(x + w, img.width), y1 = std::min<int64_t>(y + h, img.height);
    if (x0 >= x1 || y0 >= y1)
        return { 0, 0, 0, 0 };
    return { static_cast<int32_t>(x0), static_cast<int32_t>(y0), static_cast<int32_t>(x1 - x0),
             static_cast<int32_t>(y1 - y0) };
}

// Locks `r` for writing; the first pel's address, or null (then unlocked).
uint8_t* lock(imgCTy& img, const rectTy& r)
{
    img.Lock(&r, img_LOCK_WRITE);
    if (!img.lockPtr)
        img.Unlock();
    return static_cast<uint8_t*>(img.lockPtr);
}

// A dashed run of `length` pels from the unclipped start `start`, of which
// `r` (along the run's axis from `first`) is inside the image.
void dashed(imgCTy& img, uint32_t pel, const rectTy& r, int64_t skipped, int32_t count, bool vertical,
            uint32_t pattern)
{
    uint8_t* p = lock(img, r);
    if (!p)
        return;
    const uint32_t bytes = pelSize(img.pelFmt.format);
    const ptrdiff_t step = vertical ? ptrdiff_t { img.pitch } * bytes : bytes;
    for (int32_t i = 0; i < count; ++i, p += step) {
        if (pattern >> ((skipped + i) & 31) & 1)
            store(p, pel, bytes);
    }
    img.Unlock();
}

} // namespace

void imgCTy::DrawHLine(uint32_t pel, int32_t x, int32_t y, int32_t length, uint32_t pattern)
{
    if (!has_pels(pelFmt.format)) {
        gfxReportNotImpl("imgCTy::DrawHLine: This is not impelmetned yet");
        return;
    }
    if (length <= 0)
        return;
    const rectTy r = clip(*this, x, y, length, 1);
    if (r.w > 0)
        dashed(*this, pel, r, int64_t { r.x } - x, r.w, false, pattern);
}

void imgCTy::DrawVLine(uint32_t pel, int32_t x, int32_t y, int32_t length, uint32_t pattern)
{
    if (!has_pels(pelFmt.format)) {
        gfxReportNotImpl("imgCTy::DrawVLine: This is not impelmetned yet");
        return;
    }
    if (length <= 0)
        return;
    const rectTy r = clip(*this, x, y, 1, length);
    if (r.h > 0)
        dashed(*this, pel, r, int64_t { r.y } - y, r.h, true, pattern);
}

void imgCTy::DrawLine(uint32_t pel, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t)
{
    if (!has_pels(pelFmt.format)) {
        gfxReportNotImpl("imgCTy::DrawLine: This is not impelmetned yet");
        return;
    }
    const int64_t minX = std::min(x1, x2), minY = std::min(y1, y2);
    const int64_t nx = std::llabs(int64_t { x2 } - x1) + 1, ny = std::llabs(int64_t { y2 } - y1) + 1;
    const rectTy r = clip(*this, minX, minY, nx, ny);
    if (r.w <= 0)
        return;
    uint8_t* base = lock(*this, r);
    if (!base)
        return;
    const uint32_t bytes = pelSize(pelFmt.format);
    auto put = [&](int64_t px, int64_t py) {
        if (px >= r.x && px < int64_t { r.x } + r.w && py >= r.y && py < int64_t { r.y } + r.h)
            store(base + ((py - r.y) * pitch + (px - r.x)) * bytes, pel, bytes);
    };
    // The step divides by the pel count of the major axis, not the
    // distance: the far end is not always reached (and the walk never
    // leaves the line's rectangle).
    if (nx >= ny) {
        double step = static_cast<double>(ny - 1) / static_cast<double>(nx);
        int64_t leftY = y1;
        if (y1 > y2)
            step = -step;
        if (x1 > x2) {
            step = -step;
            leftY = y2;
        }
        // Only the columns inside the image are walked: a line may be
        // given far longer than any image.
        const int64_t c0 = std::max<int64_t>(0, r.x - minX), c1 = std::min<int64_t>(nx, r.x + r.w - minX);
        double pos = static_cast<double>(leftY - minY) + step * static_cast<double>(c0);
        for (int64_t c = c0; c < c1; ++c, pos += step)
            put(minX + c, minY + static_cast<int64_t>(pos + 0.5));
    } else {
        double step = static_cast<double>(nx - 1) / static_cast<double>(ny);
        int64_t topX = x1;
        if (x1 > x2)
            step = -step;
        if (y1 > y2) {
            step = -step;
            topX = x2;
        }
        const int64_t r0 = std::max<int64_t>(0, r.y - minY), r1 = std::min<int64_t>(ny, r.y + r.h - minY);
        double pos = static_cast<double>(topX - minX) + step * static_cast<double>(r0);
        for (int64_t row = r0; row < r1; ++row, pos += step)
            put(minX + static_cast<int64_t>(pos + 0.5), minY + row);
    }
    Unlock();
}

void imgCTy::DrawHLineRgb(const uint32_t* colour, int32_t x, int32_t y, int32_t length, uint32_t pattern)
{
    DrawHLine(ColorToPel(*colour), x, y, length, pattern);
}

void imgCTy::DrawVLineRgb(const uint32_t* colour, int32_t x, int32_t y, int32_t length, uint32_t pattern)
{
    DrawVLine(ColorToPel(*colour), x, y, length, pattern);
}
