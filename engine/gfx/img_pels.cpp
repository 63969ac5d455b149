// Single-pel reads and fills of the image interface, through Lock.
#include "engine/gfx/gfx_internal.h"

#include <algorithm>
#include <cstring>

namespace {

// The bytes of one pel of the format for a fill value, or 0 bytes for a
// format that cannot be filled.
uint32_t fill_pattern(uint32_t format, uint32_t pel, uint8_t out[4])
{
    switch (format) {
    case pel_FMT_R8G8B8:
    case pel_FMT_X8R8G8B8:
    case pel_FMT_A8R8G8B8:
    case pel_FMT_R5G6B5:
    case pel_FMT_X1R5G5B5:
    case pel_FMT_A1R5G5B5:
    case pel_FMT_P8:
    case pel_FMT_Z32:
        // Little-endian: the low bytes of the value are the pel's bytes in
        // memory order (B, G, R for 24-bit pels).
        std::memcpy(out, &pel, 4);
        return pelBytes[format];
    default:
        return 0;
    }
}

// One row of `count` pels of `size` bytes: the first pel, then the row
// doubles itself, so every format costs a handful of memcpy calls.
void fill_row(uint8_t* row, const uint8_t* pattern, uint32_t size, size_t count)
{
    const size_t total = count * size;
    if (total == 0)
        return;
    if (size == 1) {
        std::memset(row, pattern[0], total);
        return;
    }
    std::memcpy(row, pattern, size);
    for (size_t done = size; done < total;) {
        const size_t n = std::min(done, total - done);
        std::memcpy(row + done, row, n);
        done += n;
    }
}

bool clip_to(rectTy& r, int32_t width, int32_t height)
{
    const int64_t x0 = std::max<int64_t>(r.x, 0);
    const int64_t y0 = std::max<int64_t>(r.y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t { r.x } + r.w, width);
    const int64_t y1 = std::min<int64_t>(int64_t { r.y } + r.h, height);
    if (x1 <= x0 || y1 <= y0)
        return false;
    r = rectTy { int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0) };
    return true;
}

} // namespace

uint32_t imgCTy::PelAtXY(int32_t x, int32_t y)
{
    // Coordinates outside the image would read outside its pels.
    if (x < 0 || y < 0 || x >= width || y >= height)
        return 0xFFFFFFFF;
    // A lock left by the caller would keep its own rectangle and put the
    // lock pointer elsewhere; the draw entry starts from scratch the same way.
    if (lockPtr)
        Unlock();
    const rectTy r { x, y, 1, 1 };
    Lock(&r, img_LOCK_READ);
    if (!lockPtr)
        return 0xFFFFFFFF;
    const auto* p = static_cast<const uint8_t*>(lockPtr);
    uint32_t pel = 0;
    bool known = true;
    switch (pelFmt.format) {
    case pel_FMT_R8G8B8:
        std::memcpy(&pel, p, 3);
        break;
    case pel_FMT_X8R8G8B8:
    case pel_FMT_A8R8G8B8:
    case pel_FMT_Z32:
        std::memcpy(&pel, p, 4);
        break;
    case pel_FMT_R5G6B5:
    case pel_FMT_X1R5G5B5:
    case pel_FMT_A1R5G5B5:
        std::memcpy(&pel, p, 2);
        break;
    case pel_FMT_P8:
        pel = p[0];
        break;
    default:
        known = false;
        break;
    }
    // Unlocked before the report: inside a TRY frame the report does not
    // come back.
    Unlock();
    if (!known) {
        gfxReportNotImpl("imgCTy::PelAtXY : this is not implemented yet");
        return 0xFFFFFFFF;
    }
    return pel;
}

uint32_t imgCTy::ColorAtXY(int32_t x, int32_t y) { return pelFmt.PelToColor(PelAtXY(x, y), pel_FMT_X8R8G8B8); }

void imgCTy::Fill(uint32_t pel, const rectTy* rect)
{
    if (lockPtr)
        Unlock();
    uint8_t pattern[4];
    const uint32_t size = fill_pattern(pelFmt.format, pel, pattern);
    if (size == 0) {
        gfxReportNotImpl("imgCTy::Fill: This is not impelmetned yet");
        return;
    }
    // A rectangle reaching out of the image would write outside its pels.
    rectTy r = rect ? *rect : rectTy { 0, 0, width, height };
    if (!clip_to(r, width, height))
        return;
    Lock(&r, img_LOCK_RW);
    if (!lockPtr)
        return;
    auto* first = static_cast<uint8_t*>(lockPtr);
    const size_t rowBytes = size_t(r.w) * size;
    const ptrdiff_t step = ptrdiff_t { pitch } * size;
    fill_row(first, pattern, size, size_t(r.w));
    uint8_t* row = first;
    for (int32_t i = 1; i < r.h; ++i) {
        row += step;
        std::memcpy(row, first, rowBytes);
    }
    Unlock();
}
