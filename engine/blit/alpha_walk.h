#pragma once
// The two walks of the alpha-image draw family over an imgAlpha's run table:
// the plain walk (one source pel per destination pel, whole runs at a time)
// and the scaled walk (16.16 steps, nearest lower source pel). Each is one
// template over the stored colour format S, the destination format D and the
// pel rule R (alpha_rules.h); nothing in them tests a format or an operation.
//
// The walks trust their input: the dispatcher hands them a rectangle inside
// the source and the destination, and an image's reader and encoder keep the
// runs covering the picture with counts that match them.
#include "engine/blit/blit.h"

struct alphaCursorTy {
    const uint16_t* run;
    uint32_t off;          // pels of *run already passed
    const uint8_t* alpha;  // next alpha byte
    const uint8_t* colour; // next stored colour

    // Passes over k pels. A pass that ends exactly at a run's end leaves the
    // cursor on the first pel of the next run.
    template <uint32_t Bytes>
    void Pass(uint64_t k) {
        while (k > 0) {
            const uint32_t len = *run >> 2, kind = *run & 3;
            uint64_t taken;
            if (off + k < len) {
                taken = k;
                off += uint32_t(k);
            } else {
                taken = len - off;
                ++run;
                off = 0;
            }
            k -= taken;
            if (kind == alpha_RUN_TRANSLUCENT) alpha += taken;
            if (kind != alpha_RUN_TRANSPARENT) colour += taken * Bytes;
        }
    }
};

template <class S, class D, class R>
void alphaPlainWalk(const alphaArgsTy& a) {
    // Locals, not references: the pel stores may alias anything, so values
    // read through a reference would be read again after every store.
    const imgAlpha& img = *a.src;
    const rectTy r = a.r;
    alphaCursorTy cur{img.runs, 0, img.alphas, img.colors};
    const int64_t first = int64_t(r.y) * img.width + r.x;
    if (first > 0) cur.Pass<S::bytes>(uint64_t(first));
    if (r.h < 1) return;
    uint8_t* d = a.dst;
    const int32_t c = a.c;
    const int64_t skip = int64_t(img.width) - r.w;
    const ptrdiff_t nextRow = ptrdiff_t(int64_t(a.pitch) - r.w) * ptrdiff_t(D::bytes);
    for (int32_t row = 0;;) {
        // The row walks on plain locals: kept in the cursor, the pointers
        // went through the stack between every two runs.
        const uint16_t* run = cur.run;
        uint32_t off = cur.off;
        const uint8_t* alpha = cur.alpha;
        const uint8_t* colour = cur.colour;
        uint32_t left = uint32_t(std::max(r.w, 0));
        while (left > 0) {
            const uint32_t len = *run >> 2;
            if (off >= len) {
                ++run;
                off = 0;
                continue;
            }
            const uint32_t n = std::min(left, len - off);
            off += n;
            left -= n;
            switch (*run & 3) {
            case alpha_RUN_TRANSLUCENT:
                R::TranslucentRun(d, colour, alpha, n, c);
                alpha += n;
                colour += size_t(n) * S::bytes;
                break;
            case alpha_RUN_OPAQUE:
                R::OpaqueRun(d, colour, n, c);
                colour += size_t(n) * S::bytes;
                break;
            default:
                break;
            }
            d += size_t(n) * D::bytes;
        }
        cur = {run, off, alpha, colour};
        if (++row == r.h) return;
        if (skip > 0) cur.Pass<S::bytes>(uint64_t(skip));
        d += nextRow;
    }
}

// Destination pel (i, j) shows source pel ((r.x + i) * stepX >> 16,
// (r.y + j) * stepY >> 16), the products in unsigned 32-bit arithmetic. A
// row that lies above the cursor (the same source row again, when
// enlarging) walks the run table again from its start.
template <class S, class D, class R>
void alphaScaledWalk(const alphaArgsTy& a) {
    const imgAlpha& img = *a.src;
    const rectTy r = a.r;
    const uint32_t stepX = a.stepX, stepY = a.stepY, width = uint32_t(img.width);
    if (r.h <= 0) return;
    const alphaCursorTy start{img.runs, 0, img.alphas, img.colors};
    alphaCursorTy cur = start;
    uint64_t pos = 0;
    uint8_t* d = a.dst;
    const int32_t c = a.c;
    const ptrdiff_t nextRow = ptrdiff_t(int64_t(a.pitch) - r.w) * ptrdiff_t(D::bytes);
    uint32_t v = uint32_t(r.y) * stepY;
    for (int32_t j = 0; j < r.h; ++j, v += stepY) {
        const uint64_t target = uint64_t(v >> 16) * width;
        if (target < pos) {
            cur = start;
            cur.Pass<S::bytes>(target);
        } else {
            cur.Pass<S::bytes>(target - pos);
        }
        pos = target;
        uint32_t prev = 0, u = uint32_t(r.x) * stepX;
        for (int32_t i = 0; i < r.w; ++i, u += stepX) {
            const uint32_t col = u >> 16;
            if (col != prev) {
                cur.Pass<S::bytes>(col - prev);
                pos += col - prev;
                prev = col;
            }
            switch (*cur.run & 3) {
            case alpha_RUN_TRANSLUCENT: R::Translucent(d, cur.colour, *cur.alpha, c); break;
            case alpha_RUN_OPAQUE: R::Opaque(d, cur.colour, c); break;
            default: break;
            }
            d += D::bytes;
        }
        d += nextRow;
    }
}
