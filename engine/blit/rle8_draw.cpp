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
// addresses the destination rectangle. The walks neither clip nor check: a
// relative rectangle outside the stored box or its rows draws nothing
// instead (the entries refuse destination rectangles outside the
// destination the same way, and a failed lock).
void Run(imgRle8CTy* src, imgCTy* dst, const rectTy& r, uint32_t op, uint32_t flags, int32_t alpha,
         imgCTy* srcDepth = nullptr, imgCTy* dstDepth = nullptr, uint32_t stepX = 65536, uint32_t stepY = 65536) {
    if (!dst->lockPtr || r.w < 1 || r.h < 1 || !src->rows || r.x < 0 || r.y < 0) return;
    if (flags & rle8_SCALED) {
        const uint64_t lastX = uint64_t(int64_t(r.x) + r.w - 1) * stepX, lastY = uint64_t(int64_t(r.y) + r.h - 1) * stepY;
        if (lastX > 0xFFFFFFFFu || lastY > 0xFFFFFFFFu || int64_t(lastX >> 16) >= src->box.w ||
            int64_t(lastY >> 16) >= src->rowCount)
            return;
    } else if (int64_t(r.x) + r.w > src->box.w || int64_t(r.y) + r.h > src->rowCount) {
        return;
    }
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

// A destination rectangle inside the destination, and a lock that succeeded.
bool Fits(const imgCTy* dst, const rectTy& dr) {
    return dst->lockPtr && dr.x >= 0 && dr.y >= 0 && int64_t(dr.x) + dr.w <= dst->width &&
           int64_t(dr.y) + dr.h <= dst->height;
}

// A palettised destination takes no RLE8 draw: reported with the draw's
// text, inside the draw's lock bracket, so that the locks are taken and
// released as on any other way out.
bool Refused(const imgCTy* dst, const char* text) {
    if (!dst->pelFmt.palette) return false;
    dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "%s", text));
    return true;
}

// The draws without record: lock the destination, run one walk without key
// or depth, unlock.
void Simple(imgRle8CTy* src, imgCTy* dst, const rectTy& dr, const rectTy& r, uint32_t op, int32_t alpha,
            bool mirror, const char* refusal) {
    if (dst->lockPtr) dst->Unlock();
    (void)dst->Lock(&dr, 0);
    if (!Refused(dst, refusal) && Fits(dst, dr)) Run(src, dst, r, op, mirror ? rle8_MIRROR : 0, alpha);
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
    Simple(src, dst, {x + s.x, y + s.y, s.w, s.h}, {s.x - src->box.x, s.y - src->box.y, s.w, s.h}, blt_OP_COPY, 0,
           false, "imgRle8CTy::Draw: This is not impelmetned yet");
}

void rle8DrawAlpha(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, float opacity) {
    // Without a rectangle there is nothing to draw (callers always pass one).
    if (!rect) return;
    const rectTy s = *rect;
    // It refuses with Draw's text: it is Draw with a constant alpha.
    Simple(src, dst, {x + s.x, y + s.y, s.w, s.h}, {s.x - src->box.x, s.y - src->box.y, s.w, s.h}, blt_OP_ALPHA,
           rle8Alpha(opacity), false, "imgRle8CTy::Draw: This is not impelmetned yet");
}

void rle8DrawEx(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm) {
    const rectTy s = rect ? *rect : src->box;
    if (prm.srcDepth) (void)prm.srcDepth->Lock(&s, 1);
    if (prm.alphaMap) (void)prm.alphaMap->Lock(&s, 1);
    const rectTy dr{x + s.x, y + s.y, s.w, s.h};
    if (dst->lockPtr) dst->Unlock();
    (void)dst->Lock(&dr, 0);
    if (prm.dstDepth) (void)prm.dstDepth->Lock(&s, 0);
    rectTy r{s.x - src->box.x, s.y - src->box.y, s.w, s.h};
    if (prm.op == img_OP_SCALED) {
        r.x = Trunc(double(s.x) - double(src->box.x) * double(prm.scaleX));
        r.y = Trunc(double(s.y) - double(src->box.y) * double(prm.scaleY));
    }
    if (!Refused(dst, "imgRle8CTy::DrawEx: This is not impelmetned yet") && Fits(dst, dr))
        rle8DrawExPal(src, dst, r, prm, false);
    dst->Unlock();
    if (prm.alphaMap) prm.alphaMap->Unlock();
    if (prm.srcDepth) prm.srcDepth->Unlock();
    if (prm.dstDepth) prm.dstDepth->Unlock();
}

void rle8DrawMirrorH(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect) {
    const int32_t W = src->width;
    rectTy s = rect ? *rect : src->box;
    if (!rect) s.x = W - s.w - s.x + 1;
    // The mirrored left edge is W - (x + w - 1): applied twice it gives x back.
    const int32_t sx = W - s.w - s.x + 1;
    Simple(src, dst, {x + s.x, y + s.y, s.w, s.h}, {sx - src->box.x, s.y - src->box.y, s.w, s.h}, blt_OP_COPY, 0,
           true, "imgRle8CTy::DrawMirrorH: This is not impelmetned yet");
}

void rle8DrawExMirrorH(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect,
                       const imgDrawPrmCTy& prm) {
    const int32_t W = src->width;
    rectTy s = rect ? *rect : src->box;
    if (!rect) s.x = W - s.w - s.x + 1;
    const rectTy dr{x + s.x, y + s.y, s.w, s.h};
    if (dst->lockPtr) dst->Unlock();
    (void)dst->Lock(&dr, 0);
    rectTy r{W - s.w - s.x + 1 - src->box.x, s.y - src->box.y, s.w, s.h};
    if (prm.op == img_OP_SCALED) {
        const int32_t sx = Trunc(double(W) * double(prm.scaleX) - (double(s.x) + s.w - 1));
        r.x = Trunc(double(sx) - double(src->box.x) * double(prm.scaleX));
        r.y = Trunc(double(s.y) - double(src->box.y) * double(prm.scaleY));
    }
    r.x = std::max(r.x, 0);
    if (!Refused(dst, "imgRle8CTy::DrawExMirrorH: This is not impelmetned yet") && Fits(dst, dr))
        rle8DrawExPal(src, dst, r, prm, true);
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
