// The dirty grid: marking cells and turning them into rectangles.
#include "engine/gfx/gfx_internal.h"

namespace {

// 16 cells when 16 divides the size, else the smallest divisor above 16
// (the size itself when prime), so that every cell is a whole number of
// pels; sizes below 16 get one-pel cells.
uint32_t cell_count(uint32_t size)
{
    if (size < 16)
        return size;
    uint32_t n = 16;
    while (size % n != 0)
        ++n;
    return n;
}

} // namespace

void sprDirtyGrid::Resize(int32_t w, int32_t h)
{
    const bool none = w < 1 || h < 1;
    cols = none ? 0 : cell_count(uint32_t(w));
    rows = none ? 0 : cell_count(uint32_t(h));
    cells.assign(size_t(cols) * rows, 0);
    cellW = none ? 0 : uint32_t(w) / cols;
    cellH = none ? 0 : uint32_t(h) / rows;
    rects.clear();
}

void sprDirtyGrid::Mark(const rectTy& r, const rectTy& clip, uint8_t n)
{
    if ((r.w == 0 && r.h == 0) || cellW == 0 || cellH == 0)
        return;
    // What lies beyond the grid is cut away rather than the whole mark
    // dropped: a mark of the whole screen made for a larger screen must
    // still redraw all of this one.
    const rectTy grid { 0, 0, int32_t(cols * cellW), int32_t(rows * cellH) };
    rectTy m;
    if (!sprRectIntersect(&m, &r, &clip) || !sprRectIntersect(&m, &m, &grid))
        return;
    const uint32_t c0 = uint32_t(m.x) / cellW, r0 = uint32_t(m.y) / cellH;
    const uint32_t c1 = uint32_t(m.x + m.w - 1) / cellW;
    const uint32_t r1 = uint32_t(m.y + m.h - 1) / cellH;
    for (uint32_t row = r0; row <= r1; ++row) {
        int32_t* line = cells.data() + size_t(row) * cols;
        for (uint32_t c = c0; c <= c1; ++c)
            line[c] = n;
    }
}

void sprDirtyGrid::BuildRects()
{
    bool previousFull = false;
    for (uint32_t row = 0; row < rows; ++row) {
        int32_t* line = cells.data() + size_t(row) * cols;
        bool full = false;
        uint32_t c = 0;
        for (;;) {
            while (c < cols && line[c] <= 0)
                line[c++] = 0;
            if (c == cols)
                break;
            const uint32_t start = c;
            while (c < cols && line[c] >= 1)
                --line[c++];
            const uint32_t run = c - start;
            // Only a run across the whole row can merge with the one above:
            // then both are the full screen width.
            if (run == cols && previousFull) {
                rects.back().h += int32_t(cellH);
                full = true;
                break;
            }
            rects.push_back(
                rectTy { int32_t(start * cellW), int32_t(row * cellH), int32_t(run * cellW), int32_t(cellH) });
            full = run == cols;
        }
        previousFull = full;
    }
}
