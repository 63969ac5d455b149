// Sprites and the sprite list: part of the engine/gfx interface, included
// by gfx.h (include that header, not this one).
//
// A sprite is drawn by its list onto a destination image: it has a
// position, a depth z (a larger z lies further back), a visible flag and an
// optional clip rectangle. Every change to what a sprite covers marks the
// old and the new area dirty in its list's grid, so that a frame redraws
// only the cells that changed, back to front, each sprite clipped to the
// rectangle being redrawn.
#pragma once

#include "engine/gfx/gfx.h"

#include <cstdint>
#include <map>
#include <vector>

class sprCTy;
class sprsCTy;

// The depth of a sprite that was never placed.
inline constexpr int32_t spr_Z_DEFAULT = 0x7FFFFFFE;
// Frames an area stays dirty after a change.
inline constexpr uint8_t spr_DIRTY_FRAMES = 3;

// The overlap of a and b in `out`: 1, or 0 with out.w = out.h = 0 (x and y
// still hold the larger corner) when they do not overlap. Edges that only
// touch do not overlap. `out` may be a or b. Inline: a frame intersects
// every sprite with every rectangle it redraws.
inline int sprRectIntersect(rectTy* out, const rectTy* a, const rectTy* b)
{
    // In 64 bits: a right edge x + w may pass the 32-bit range.
    const int64_t left = a->x > b->x ? a->x : b->x;
    const int64_t top = a->y > b->y ? a->y : b->y;
    const int64_t aRight = int64_t { a->x } + a->w, bRight = int64_t { b->x } + b->w;
    const int64_t aBottom = int64_t { a->y } + a->h, bBottom = int64_t { b->y } + b->h;
    const int64_t right = aRight < bRight ? aRight : bRight;
    const int64_t bottom = aBottom < bBottom ? aBottom : bBottom;
    const bool overlap = right - left >= 1 && bottom - top >= 1;
    // Both differences fit when they are kept: each is at most the larger
    // of a.w and b.w. Stored whole: the draw entry reads the rectangle back
    // at once, which a store of four separate words would stall.
    *out = rectTy { static_cast<int32_t>(left), static_cast<int32_t>(top),
                    overlap ? static_cast<int32_t>(right - left) : 0, overlap ? static_cast<int32_t>(bottom - top) : 0 };
    return overlap ? 1 : 0;
}

using sprOrderTy = std::multimap<int32_t, sprCTy*>;

// The abstract sprite. New sprites are hidden, in no list, at depth
// spr_Z_DEFAULT and move with the list's origin (world sprites).
class sprCTy {
public:
    int32_t x = 0, y = 0;
    int32_t z = spr_Z_DEFAULT;
    uint32_t visible = 0;
    const rectTy* clip = nullptr; // owned by the caller; null = none
    uint8_t inList = 0;           // 1 while listPos is valid
    sprOrderTy::iterator listPos {};
    sprsCTy* owner = nullptr;
    uint32_t world = 1; // 0: fixed to the screen, the origin is not applied

    // The draw target, set by the list just before each Draw: the origin of
    // the sprite lands at (dstX, dstY) of dst; dstClip is the part to draw,
    // relative to the sprite's position.
    imgCTy* dst = nullptr;
    int32_t dstX = 0, dstY = 0;
    const rectTy* dstClip = nullptr;

    sprCTy() = default;
    sprCTy(const sprCTy&) = delete;
    sprCTy& operator=(const sprCTy&) = delete;
    // Leaves the list without marking: marking would ask for the sprite's
    // rectangle, and at exit its image may already be gone. An owner that
    // wants the area redrawn calls Remove first.
    virtual ~sprCTy();

    // Marks the old and the new area when the position changes.
    void SetPos(int32_t newX, int32_t newY);
    void Show();
    // Only a listed sprite can be hidden.
    void Hide();
    // Only a listed sprite takes a new depth: it goes after every sprite of
    // the same depth (so it is drawn under them) and its area is marked.
    virtual void SetZ(int32_t newZ);
    // Out of the owner list (marked first); nothing without an owner.
    void Remove();
    void SetOwner(sprsCTy* list);
    void SetDrawTarget(imgCTy* target, int32_t ox, int32_t oy, const rectTy* drawClip);
    // Marks the sprite's screen rectangle (within its clip) for
    // spr_DIRTY_FRAMES frames, whether it is visible or not.
    void MarkDirty();

    // Draws onto the draw target.
    virtual void Draw() = 0;
    // The rectangle the sprite covers, in list coordinates (world sprites)
    // or screen coordinates.
    virtual rectTy GetRect() = 0;
};

// A sprite showing one image (not owned) with draw parameters and an
// optional left-right mirror.
class sprImgCTy : public sprCTy {
public:
    imgCTy* image = nullptr;
    imgDrawPrmCTy prm; // the caller sets op, alpha and scale directly
    uint8_t mirror = 0;

    sprImgCTy() = default;

    // Marks the old and the new area when the image changes.
    virtual void SetImage(imgCTy* img);
    // The image's rectangle at the sprite's position; mirrored it starts at
    // width - x - w + 1. Scaled (op 13 or the scaled flag) every field is
    // multiplied by the scale and truncated. {0, 0, 0, 0} without image.
    rectTy GetRect() override;
    // Plain: the image's DrawEx. Mirrored: DrawMirrorH for a copy, else
    // DrawExMirrorH (image kinds without mirrored draws draw nothing),
    // placed so that the image's box fills the sprite's rectangle.
    void Draw() override;
};

// The dirty grid of a list: cells of the screen that count the frames in
// which they are still to be redrawn, and the rectangles built from them.
struct sprDirtyGrid {
    // The current frame's rectangles. The vector keeps its capacity from
    // frame to frame, so a frame allocates only when it needs more
    // rectangles than any frame before.
    std::vector<rectTy> rects;
    std::vector<int32_t> cells; // cols x rows, row by row
    uint32_t cols = 0, rows = 0;
    uint32_t cellW = 0, cellH = 0; // 0: no grid, marks do nothing

    // Columns: w below 16, else 16 when it divides w, else the smallest
    // divisor of w above 16; rows likewise. A size below 1 in either
    // direction leaves no grid. Clears every cell.
    void Resize(int32_t w, int32_t h);
    // Sets the count of every cell that r ∩ clip touches to n (not added);
    // what lies outside the grid is cut away. Nothing when r is 0 x 0 or
    // nothing of it is left.
    void Mark(const rectTy& r, const rectTy& clip, uint8_t n);
    // Appends the rectangles of the cells whose count is 1 or more and
    // lowers those counts: horizontal runs per row; a row dirty across the
    // whole width below another such row extends its rectangle downwards.
    void BuildRects();
};

// The sprite list: sprites in depth order over one screen.
class sprsCTy {
public:
    int32_t originX = 0, originY = 0; // subtracted from world sprites' positions
    rectTy scr = { 0, 0, 0, 0 };
    sprOrderTy order; // by z ascending; equal z in insertion order
    sprDirtyGrid grid;

    sprsCTy() = default;
    sprsCTy(const sprsCTy&) = delete;
    sprsCTy& operator=(const sprsCTy&) = delete;
    // Disowns the sprites still listed (they are not destroyed), so that
    // lists and sprites may be destroyed in any order.
    virtual ~sprsCTy();

    void SetScrSize(int32_t w, int32_t h);
    void AddDirty(const rectTy& r, const rectTy& clip, uint8_t n);
    // Makes the list own the sprite at depth spr_Z_DEFAULT, after the sprites
    // already there. Marks nothing: SetZ, SetPos and Show place it.
    static void Add(sprsCTy* list, sprCTy* sprite);
    // Marks the sprite's area, takes it out and ends the ownership; nothing
    // for a sprite this list does not hold.
    void Remove(sprCTy* sprite);
    // One frame: builds the rectangles of the dirty cells and redraws each
    // through DrawRect at the origin; then forgets them.
    void Draw(imgCTy* target);
    // Redraws the visible sprites meeting `clip` (null: the whole target)
    // back to front, each clipped to it. (dx, dy) is the origin applied to
    // world sprites.
    virtual void DrawRect(imgCTy* target, int32_t dx, int32_t dy, const rectTy* clip);
    // The frontmost visible sprite with lo <= z <= hi whose draw covers the
    // point (px, py) (list coordinates) with a pel that is drawn (not
    // skipped by a colour key); starts behind `after` when given (null when
    // `after` is not in this list). Null when there is none.
    [[nodiscard]] sprCTy* HitTest(int32_t lo, int32_t hi, int32_t px, int32_t py, sprCTy* after);

private:
    // A visible sprite's place for one redraw: its rectangle on the target
    // (own clip and origin applied) and where its origin lands.
    struct Placed {
        sprCTy* sprite;
        rectTy r;
        int32_t ox, oy;
    };
    // The places of the visible sprites, back to front. A frame works them
    // out once for all its rectangles; the vector keeps its capacity.
    void Place(int32_t dx, int32_t dy);
    std::vector<Placed> placed_;
    bool framePlaced_ = false;
};

// The list of the screen.
extern sprsCTy g_sprites;
// Debug switch: outlines every redrawn rectangle in a random colour.
extern uint32_t g_sprDebugRects;
