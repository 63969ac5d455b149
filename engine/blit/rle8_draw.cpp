// imgRle8CTy's draws: the five entries, which turn the caller's rectangle
// into one relative to the stored box and bracket the draw in the image
// locks, and the dispatcher that converts the palette and runs one walk.
#include <algorithm>
#include <cmath>

#include "engine/blit/blit.h"

namespace {

// A double truncated toward zero; NaN and values no i32 holds give 0.
int32_t Trunc(double v) {
    return v > -2147483649.0 && v < 2147483648.0 ? int32_t(v) : 0;
}

// v x scale rounded up (or down) to a whole unit, held to +-2^40: a box
// corner further out than that leaves every unit of an i32 rectangle
// outside the picture either way.
int64_t ScaledUnit(int32_t v, float scale, bool up) {
    const double p = double(v) * double(scale);
    if (!(p == p)) return 0;  // NaN: the scale has no step and nothing is drawn
    return int64_t(std::clamp(up ? std::ceil(p) : std::floor(p), -0x1p40, 0x1p40));
}

// A value held inside the i32 range: a relative rectangle whose corner lies
// that far out is cut away whole by the clip either way.
int32_t Sat(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// A rectangle of the image relative to the stored box.
rectTy Relative(const rectTy& s, const rectTy& box) {
    return {Sat(int64_t(s.x) - box.x), Sat(int64_t(s.y) - box.y), s.w, s.h};
}

// The blitter op of a draw operation; blt_OP_COUNT when the RLE8 family has
// no draw for it (2, 3, 12 and above 13; 13, the scaled copy, is separate).
uint32_t OpOf(uint32_t op) {
    if (op == img_OP_COPY) return blt_OP_COPY;
    if (op == img_OP_ALPHA) return blt_OP_ALPHA;
    if (op >= img_OP_MODULATE && op <= img_OP_ADDSMOOTH) return blt_OP_MODULATE + (op - img_OP_MODULATE);
    return blt_OP_COUNT;
}

// The image's key colour in the group's form, as the blitter's palette rows
// take it: B, G, R bytes; the whole 32-bit word; or the 16-bit pel.
uint32_t KeyOf(uint32_t c, uint32_t group) {
    const uint32_t b = c & 255, g = (c >> 8) & 255, r = (c >> 16) & 255;
    switch (group) {
    case pel_FMT_R8G8B8: return c & 0xFFFFFF;
    case pel_FMT_R5G6B5: return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
    case pel_FMT_X1R5G5B5: return (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    default: return c;
    }
}

// Runs the walk for op/flags on a locked destination whose lock pointer
// addresses the destination rectangle. The walks neither clip nor check:
// the entries have cut the relative rectangle to the stored box and the
// destination (Clip), and a failed lock draws nothing.
void Run(imgRle8CTy* src, imgCTy* dst, const rectTy& r, uint32_t op, uint32_t flags, int32_t alpha,
         imgCTy* srcDepth = nullptr, imgCTy* dstDepth = nullptr, uint32_t stepX = 65536, uint32_t stepY = 65536) {
    if (!dst->lockPtr || r.w < 1 || r.h < 1 || !src->rows) return;
    const uint32_t df = dst->pelFmt.format;
    palCTy* pal = src->pelFmt.palette;
    if (!pal) return;
    (void)src->GetPalTbl(df);  // reports formats without a conversion
    if (!pal->table || pal->tableFmt != df) return;
    const rle8RowTy* row = rle8FindRow(op, df, flags);
    if (!row) return;
    rle8ArgsTy a;
    a.src = src;
    a.dst = static_cast<uint8_t*>(dst->lockPtr);
    a.dstPitch = ptrdiff_t(dst->pitch) * ptrdiff_t(pelSize(df));
    if (flags & rle8_DEPTH) {
        a.srcDepth = static_cast<const int32_t*>(srcDepth->lockPtr);
        a.dstDepth = static_cast<int32_t*>(dstDepth->lockPtr);
        a.srcDepthPitch = srcDepth->pitch;
        a.dstDepthPitch = dstDepth->pitch;
    }
    a.r = r;
    a.table = pal->table;
    a.tableCount = pal->count;
    a.key = KeyOf(src->keyColor, row->dst);
    // Kept to 0..256 so that no weight goes negative.
    a.alpha = uint32_t(std::clamp<int32_t>(alpha, 0, 256));
    a.stepX = stepX;
    a.stepY = stepY;
    row->fn(a);
}

// Cuts a draw of the relative rectangle c->r, whose corner lands at c->x,
// c->y, to the stored box (scaled with op 13: through the steps) and the
// destination; false when nothing is left. `steps` is null unscaled.
bool Clip(const imgRle8CTy* src, const imgCTy* dst, bltClipTy* c, bool mirror, const uint32_t* steps = nullptr) {
    const int64_t w = steps ? bltScaledExtent(src->box.w, steps[0]) : src->box.w;
    const int64_t h = steps ? bltScaledExtent(src->rowCount, steps[1]) : src->rowCount;
    return bltClip(c, w, h, dst->width, dst->height, mirror);
}

// The steps of a scaled draw (op 13) into `steps`; false when the scale
// has none, and the draw then draws nothing.
bool Steps(const imgDrawPrmCTy& prm, uint32_t* steps) {
    return rle8Step(prm.scaleX, &steps[0]) && rle8Step(prm.scaleY, &steps[1]);
}

// A palettised destination takes no RLE8 draw: reported with the draw's
// text, inside the draw's lock bracket, so that the locks are taken and
// released as on any other way out.
bool Refused(const imgCTy* dst, const char* text) {
    if (!dst->pelFmt.palette) return false;
    dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "%s", text));
    return true;
}

// The draws without record: cut, lock the destination, run one walk
// without key or depth, unlock. `x`, `y`: where r's corner lands.
void Simple(imgRle8CTy* src, imgCTy* dst, int64_t x, int64_t y, const rectTy& r, uint32_t op, int32_t alpha,
            bool mirror, const char* refusal) {
    if (dst->lockPtr) dst->Unlock();
    bltClipTy c{r, x, y};
    if (!Clip(src, dst, &c, mirror)) return;
    const rectTy dr{int32_t(c.x), int32_t(c.y), c.r.w, c.r.h};
    (void)dst->Lock(&dr, 0);
    if (!Refused(dst, refusal)) Run(src, dst, c.r, op, mirror ? rle8_MIRROR : 0, alpha);
    dst->Unlock();
}

}  // namespace

bool rle8Step(float scale, uint32_t* step) {
    const double s = (1.0 / double(scale)) * 65536.0;
    if (!(s >= 1.0 && s < 4294967296.0)) return false;
    *step = uint32_t(s);
    return true;
}

int32_t rle8Alpha(float opacity) {
    return Trunc(double(opacity) * 256.0);
}

void rle8DrawExPal(imgRle8CTy* src, imgCTy* dst, const rectTy& r, const imgDrawPrmCTy& prm, bool mirror) {
    if (prm.op == img_OP_SCALED) {
        // A plain copy of the scaled image: the key and the depth images
        // take no part.
        uint32_t stepX = 0, stepY = 0;
        if (rle8Step(prm.scaleX, &stepX) && rle8Step(prm.scaleY, &stepY))
            Run(src, dst, r, blt_OP_COPY, rle8_SCALED | (mirror ? rle8_MIRROR : 0), 0, nullptr, nullptr, stepX, stepY);
        return;
    }
    const uint32_t op = OpOf(prm.op);
    if (op == blt_OP_COUNT) return;
    uint32_t flags = mirror ? rle8_MIRROR : 0;
    if (src->keyFlag != 0) flags |= rle8_KEY;
    // The depth members need both depth images, each holding the rectangle
    // from its lock; otherwise the draw goes without the depth test instead
    // of reading and writing past them.
    if (!mirror && op != blt_OP_ALPHA && bltAuxHolds(prm.srcDepth, r.w, r.h, 4) &&
        bltAuxHolds(prm.dstDepth, r.w, r.h, 4))
        flags |= rle8_DEPTH;
    Run(src, dst, r, op, flags, prm.alpha, prm.srcDepth, prm.dstDepth);
}

void rle8Draw(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect) {
    const rectTy s = rect ? *rect : src->box;
    Simple(src, dst, int64_t(x) + s.x, int64_t(y) + s.y, Relative(s, src->box), blt_OP_COPY, 0, false,
           "imgRle8CTy::Draw: This is not impelmetned yet");
}

void rle8DrawAlpha(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, float opacity) {
    // Without a rectangle there is nothing to draw (callers always pass one).
    if (!rect) return;
    const rectTy s = *rect;
    // It refuses with Draw's text: it is Draw with a constant alpha.
    Simple(src, dst, int64_t(x) + s.x, int64_t(y) + s.y, Relative(s, src->box),
           blt_OP_ALPHA, rle8Alpha(opacity), false, "imgRle8CTy::Draw: This is not impelmetned yet");
}

namespace {

// DrawEx's draw of r at dr: locks the auxiliary images at `at` (the
// destination depth image after the destination, as every draw does) and
// the destination, draws and unlocks the destination.
[[gnu::always_inline]] inline void DrawExLocked(imgRle8CTy* src, imgCTy* dst, const rectTy& r, const rectTy& at,
                                                const rectTy& dr, const imgDrawPrmCTy& prm) {
    bltLockAux(prm.srcDepth, at, 1);
    bltLockAux(prm.alphaMap, at, 1);
    (void)dst->Lock(&dr, 0);
    bltLockAux(prm.dstDepth, at, 0);
    if (!Refused(dst, "imgRle8CTy::DrawEx: This is not impelmetned yet")) rle8DrawExPal(src, dst, r, prm, false);
    dst->Unlock();
}

void UnlockAux(const imgDrawPrmCTy& prm) {
    if (prm.alphaMap) prm.alphaMap->Unlock();
    if (prm.srcDepth) prm.srcDepth->Unlock();
    if (prm.dstDepth) prm.dstDepth->Unlock();
}

// True when the source depth image or the alpha map shares the
// destination's pels: locked first at the source rectangle, it would keep
// the destination's lock there. Out of line, as such a draw is rare.
[[gnu::noinline]] bool ReadsDst(const imgDrawPrmCTy& prm, const imgCTy* dst) {
    return (prm.srcDepth && bltSharesPels(prm.srcDepth, dst)) || (prm.alphaMap && bltSharesPels(prm.alphaMap, dst));
}

// The draw with such a depth image read from a copy taken at `at` before
// the draw, and such an alpha map left out: no RLE8 walk reads one.
[[gnu::noinline]] void DrawExReadingCopy(imgRle8CTy* src, imgCTy* dst, const rectTy& r, const rectTy& at,
                                         const rectTy& dr, const imgDrawPrmCTy& prm) {
    imgRowCTy depthCopy;
    imgDrawPrmCTy use = prm;
    if (prm.srcDepth && bltSharesPels(prm.srcDepth, dst))
        use.srcDepth = bltAuxCopy(prm.srcDepth, at, prm.srcDepth->pelFmt, &depthCopy);
    if (prm.alphaMap && bltSharesPels(prm.alphaMap, dst)) use.alphaMap = nullptr;
    DrawExLocked(src, dst, r, at, dr, use);
    UnlockAux(use);
}

}  // namespace

void rle8DrawEx(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm) {
    const rectTy s = rect ? *rect : src->box;
    rectTy r = Relative(s, src->box);
    const bool scaled = prm.op == img_OP_SCALED;
    if (scaled) {
        // Scaled unit u of the picture is unit u - ceil(box corner x scale)
        // of the box, whatever rectangle it is drawn in (rounding the
        // difference toward zero would give the unit before the box's
        // start to the box as well).
        r.x = Sat(int64_t(s.x) - ScaledUnit(src->box.x, prm.scaleX, true));
        r.y = Sat(int64_t(s.y) - ScaledUnit(src->box.y, prm.scaleY, true));
    }
    uint32_t steps[2] = {65536, 65536};
    bltClipTy c{r, int64_t(x) + s.x, int64_t(y) + s.y};
    const bool draws = (!scaled || Steps(prm, steps)) && Clip(src, dst, &c, false, scaled ? steps : nullptr);
    if (dst->lockPtr) dst->Unlock();
    if (draws) {
        // The auxiliary images line up with the source rectangle that is
        // drawn, and only a draw that is left locks them.
        const rectTy at{Sat(int64_t(s.x) + c.r.x - r.x), Sat(int64_t(s.y) + c.r.y - r.y), c.r.w, c.r.h};
        const rectTy dr{int32_t(c.x), int32_t(c.y), c.r.w, c.r.h};
        if ((prm.srcDepth || prm.alphaMap) && ReadsDst(prm, dst)) return DrawExReadingCopy(src, dst, c.r, at, dr, prm);
        DrawExLocked(src, dst, c.r, at, dr, prm);
    }
    UnlockAux(prm);
}

void rle8DrawMirrorH(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect) {
    const int32_t W = src->width;
    rectTy s = rect ? *rect : src->box;
    if (!rect) s.x = Sat(int64_t(W) - s.w - s.x + 1);
    // The mirrored left edge is W - (x + w - 1): applied twice it gives x back.
    const int64_t sx = int64_t(W) - s.w - s.x + 1;
    const rectTy r{Sat(sx - src->box.x), Sat(int64_t(s.y) - src->box.y), s.w, s.h};
    Simple(src, dst, int64_t(x) + s.x, int64_t(y) + s.y, r, blt_OP_COPY, 0, true,
           "imgRle8CTy::DrawMirrorH: This is not impelmetned yet");
}

void rle8DrawExMirrorH(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect,
                       const imgDrawPrmCTy& prm) {
    const int32_t W = src->width;
    rectTy s = rect ? *rect : src->box;
    if (!rect) s.x = Sat(int64_t(W) - s.w - s.x + 1);
    if (dst->lockPtr) dst->Unlock();
    rectTy r{Sat(int64_t(W) - s.w - s.x + 1 - src->box.x), Sat(int64_t(s.y) - src->box.y), s.w, s.h};
    const bool scaled = prm.op == img_OP_SCALED;
    if (scaled) {
        // Mirrored about the same line as the scaled picture: its unit u
        // lands at x + floor(W x scale) - u, the right end of the rectangle
        // showing unit floor(W x scale) - (rect.x + rect.w - 1).
        const int64_t right = ScaledUnit(W, prm.scaleX, false) - ScaledUnit(src->box.x, prm.scaleX, true);
        r.x = Sat(right - (int64_t(s.x) + s.w - 1));
        r.y = Sat(int64_t(s.y) - ScaledUnit(src->box.y, prm.scaleY, true));
    }
    // A unit before the box's start (a negative relative x) lies outside
    // the picture: the clip cuts it, as it does for the plain draws.
    uint32_t steps[2] = {65536, 65536};
    bltClipTy c{r, int64_t(x) + s.x, int64_t(y) + s.y};
    if ((scaled && !Steps(prm, steps)) || !Clip(src, dst, &c, true, scaled ? steps : nullptr)) return;
    const rectTy dr{int32_t(c.x), int32_t(c.y), c.r.w, c.r.h};
    (void)dst->Lock(&dr, 0);
    if (!Refused(dst, "imgRle8CTy::DrawExMirrorH: This is not impelmetned yet"))
        rle8DrawExPal(src, dst, c.r, prm, true);
    dst->Unlock();
}

void rle8Install() {
    imgRle8DrawsTy draws;
    draws.draw = &rle8Draw;
    draws.drawAlpha = &rle8DrawAlpha;
    draws.drawEx = &rle8DrawEx;
    draws.drawMirrorH = &rle8DrawMirrorH;
    draws.drawExMirrorH = &rle8DrawExMirrorH;
    (void)imgRle8SetDraws(draws);
}
