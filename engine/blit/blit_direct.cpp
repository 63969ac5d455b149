// The direct draw dispatcher: every decision on format, op, scaling, depth
// and key is taken here once per draw, so that the row loop it picks tests
// none of them per pel.
#include "engine/blit/blit_rows.h"

namespace {

// The key pel in the source's own form, rebuilt from the key colour on every
// draw (the key pel kept in the image is not used).
uint32_t KeyPel(uint32_t srcFmt, uint32_t colour) {
    const uint32_t b = colour & 255, g = (colour >> 8) & 255, r = (colour >> 16) & 255;
    switch (srcFmt) {
    case pel_FMT_R8G8B8: return colour & 0xFFFFFF;
    case pel_FMT_R5G6B5: return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
    case pel_FMT_X1R5G5B5: return (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    case pel_FMT_A1R5G5B5: {
        uint16_t pel;
        const uint8_t bgr[3] = {uint8_t(b), uint8_t(g), uint8_t(r)};
        pelSet1555Alt(&pel, bgr);
        return pel;
    }
    default: return colour;  // 32-bit sources: all four bytes, alpha included
    }
}

bool Direct(uint32_t fmt) { return fmt >= pel_FMT_R8G8B8 && fmt <= pel_FMT_A1R5G5B5; }

}  // namespace

void bltCopy_P8_P8(imgCTy* src, imgCTy* dst, const rectTy* r) {
    if (r->h < 1 || r->w < 1) return;
    const auto* s = static_cast<const uint8_t*>(src->lockPtr);
    auto* d = static_cast<uint8_t*>(dst->lockPtr);
    for (int32_t y = 0; y < r->h; ++y) {
        std::memcpy(d, s, size_t(r->w));
        s += ptrdiff_t(src->pitch) * pelBytes[src->pelFmt.format];
        d += dst->pitch;
    }
}

void bltScaledCopy_P8_P8(imgCTy* src, imgCTy* dst, const rectTy* r, float scaleX, float scaleY) {
    if (r->h < 1 || r->w < 1) return;
    const uint32_t stepX = bltStep(scaleX), stepY = bltStep(scaleY);
    auto* d = static_cast<uint8_t*>(dst->lockPtr);
    uint32_t fy = uint32_t(r->y) * stepY;
    for (int32_t j = 0; j < r->h; ++j, fy += stepY) {
        const uint8_t* row = static_cast<const uint8_t*>(src->lockPtr) + size_t(fy >> 16) * size_t(src->pitch);
        uint32_t fx = uint32_t(r->x) * stepX;
        for (int32_t i = 0; i < r->w; ++i, fx += stepX) d[i] = row[fx >> 16];
        d += dst->pitch;
    }
}

bool bltSelect(const imgCTy* src, const imgDrawPrmCTy& prm, uint32_t* op, uint32_t* flags) {
    const uint32_t o = prm.op;
    *flags = 0;
    if (prm.scaled != 0 || o == img_OP_SCALED) {
        *flags = blt_SCALED;
        if (o == img_OP_COPY || o == img_OP_SCALED || o == img_OP_BLEND) *op = blt_OP_COPY;
        else if (prm.scaled != 0 && (o == img_OP_ALPHA || o == img_OP_BLENDALPHA)) *op = blt_OP_ALPHA;
        else if (prm.scaled != 0 && o == img_OP_ADD) *op = blt_OP_ADD;
        else return false;
    } else if (o == img_OP_COPY || o == img_OP_BLEND) {
        *op = blt_OP_COPY;
    } else if (o == img_OP_ALPHA || o == img_OP_BLENDALPHA) {
        *op = blt_OP_ALPHA;
    } else if (o == img_OP_ALPHAMAP) {
        *op = blt_OP_ALPHAMAP;
    } else if (o >= img_OP_MODULATE && o <= img_OP_ADDSMOOTH) {
        *op = blt_OP_MODULATE + (o - img_OP_MODULATE);
    } else if (o == img_OP_FADEADD) {
        *op = blt_OP_FADEADD;
    } else {
        return false;
    }
    const bool depthOp = *op == blt_OP_COPY || (*op >= blt_OP_MODULATE && *op <= blt_OP_ADDSMOOTH);
    if (!(*flags & blt_SCALED) && depthOp && prm.srcDepth) *flags |= blt_DEPTH;
    if (src->keyFlag != 0) *flags |= blt_KEY;
    return true;
}

void bltDrawExDirect(imgCTy* src, imgCTy* dst, const rectTy* r, const imgDrawPrmCTy& prm) {
    const uint32_t sf = src->pelFmt.format, df = dst->pelFmt.format;
    if (sf == pel_FMT_P8) {
        if (df != pel_FMT_P8) return;
        if (prm.scaled != 0 || prm.op == img_OP_SCALED) bltScaledCopy_P8_P8(src, dst, r, prm.scaleX, prm.scaleY);
        else bltCopy_P8_P8(src, dst, r);
        return;
    }
    if (!Direct(sf) || !Direct(df)) return;
    uint32_t op = 0, flags = 0;
    if (!bltSelect(src, prm, &op, &flags)) return;
    bltArgsTy a;
    a.src = src;
    a.dst = dst;
    a.rect = r;
    if (flags & blt_KEY) a.key = KeyPel(sf, src->keyColor);
    a.value = uint32_t(prm.alpha);
    a.alphaMap = prm.alphaMap;
    a.srcDepth = prm.srcDepth;
    a.dstDepth = prm.dstDepth;
    a.scaleX = prm.scaleX;
    a.scaleY = prm.scaleY;
    bltRun(op, flags, a);
}
