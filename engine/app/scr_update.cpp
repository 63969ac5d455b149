// The dirty-rectangle screen update: a grid of 32 x 24 cells over the
// display mode, merged row by row into the rectangles copied to the window.
#include "engine/app/app_internal.h"

#include <algorithm>

namespace {

struct Grid {
    uint32_t* cells = nullptr; // (columns + 1) x (rows + 1), row-major over `columns`
    int columns = 0;
    int rows = 0;
    rectTy screen{};
    int32_t state = 0; // width x height while the grid exists
    rectTy rects[SCR_MAX_RECTS];
    uint32_t count = 0;
    int overlay = 0;
};

Grid grid;

} // namespace

void scrSetOverlay(int on) { grid.overlay = on; }
bool scrHasGrid() { return grid.state != 0; }
uint32_t scrRectCount() { return grid.count; }
const rectTy* scrRects() { return grid.rects; }

void scrFreeGrid()
{
    memFree(grid.cells);
    grid.cells = nullptr;
    grid.columns = grid.rows = 0;
    grid.state = 0;
    grid.count = 0;
}

void scrResize()
{
    scrFreeGrid();
    int w = 0, h = 0, bpp = 0;
    gaEngine.gModeSize(&w, &h, &bpp);
    if (w <= 0 || h <= 0)
        return; // no display: no grid, and every operation does nothing
    grid.columns = w / SCR_CELL_W;
    grid.rows = h / SCR_CELL_H;
    grid.cells = static_cast<uint32_t*>(memAllocZ(size_t(grid.columns + 1) * size_t(grid.rows + 1) * sizeof(uint32_t)));
    if (!grid.cells)
        return;
    grid.screen = {0, 0, w, h};
    grid.state = w * h;
}

void scrInit() { scrResize(); }

int scrAddRect(const rectTy* rect, const rectTy* clip)
{
    rectTy r;
    if (!grid.cells || !rectIntersect(&r, rect, clip))
        return 1;
    // Both bounds inclusive: a rectangle ending on a cell border marks the
    // cell after it too. The bounds stay inside the grid: a rectangle
    // reaching the right or bottom edge would otherwise mark the spare
    // column (which aliases column 0 of the next row) or the spare row.
    const int c0 = r.x / SCR_CELL_W, r0 = r.y / SCR_CELL_H;
    const int c1 = std::min((r.x + r.w) / SCR_CELL_W, grid.columns - 1);
    const int r1 = std::min((r.y + r.h) / SCR_CELL_H, grid.rows - 1);
    for (int row = r0; row <= r1; ++row) {
        for (int c = c0; c <= c1; ++c)
            grid.cells[row * grid.columns + c] = 1;
    }
    return 1;
}

void scrAddDirty(int x, int y, int width, int height)
{
    const rectTy r{x, y, width, height};
    (void)scrAddRect(&r, &grid.screen);
}

void scrBuildRects()
{
    if (!grid.state)
        return;
    int previousRun = 0; // the last run of the previous row, when it reached the row's end
    for (int row = 0; row < grid.rows; ++row) {
        uint32_t* cells = grid.cells + row * grid.columns;
        const int y = row * SCR_CELL_H;
        int lastRun = 0;
        int c = 0;
        while (c < grid.columns) {
            while (c < grid.columns && cells[c] == 0)
                ++c;
            if (c >= grid.columns)
                break;
            int run = 0;
            while (c + run < grid.columns && cells[c + run] == 1) {
                cells[c + run] = 0;
                ++run;
            }
            lastRun = c + run == grid.columns ? run : 0;
            if (run == grid.columns && previousRun == grid.columns && grid.count > 0) {
                grid.rects[grid.count - 1].h += SCR_CELL_H;
            } else if (grid.count < SCR_MAX_RECTS) {
                grid.rects[grid.count++] = {c * SCR_CELL_W, y, run * SCR_CELL_W, SCR_CELL_H};
            } else {
                // More rectangles than the list holds: the whole screen
                // is one copy and covers them all.
                grid.rects[0] = grid.screen;
                grid.count = 1;
            }
            c += run;
        }
        previousRun = lastRun;
    }
    if (gaEngine.gFlips()) {
        grid.rects[0] = grid.screen;
        grid.count = 1;
    }
}

void scrRestore() { gaEngine.gRestore(); }

void scrPresent()
{
    if (!grid.state)
        return;
    if (grid.overlay)
        gaEngine.gDrawFps(10, 10);
    const bool flips = gaEngine.gFlips();
    // The primary surface is the window's client area itself, so the
    // origin of every copy is the client's top-left corner.
    if (!flips)
        gaEngine.gCopyRects(grid.rects, grid.count, 0, 0);
    grid.count = 0;
    // Also in flip mode: a flip of a surface that drawing left locked
    // fails, and a lock held from frame to frame never ends.
    gaEngine.gUnlock();
    if (flips)
        (void)gaEngine.gPresent();
}

void scrRedrawAll()
{
    if (grid.state)
        scrAddDirty(grid.screen.x, grid.screen.y, grid.screen.w, grid.screen.h);
    gaEngine.sprRedrawAll();
}

void scrUpdate()
{
    if (grid.overlay) {
        const rectTy overlay{10, 10, 400, 20};
        (void)scrAddRect(&overlay, &grid.screen);
    }
    scrBuildRects();
    scrRestore();
    scrPresent();
}
