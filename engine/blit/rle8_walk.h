#pragma once
// The RLE8 row walk: one template draws the coded rows of an imgRle8CTy onto
// a destination for every (destination group, op, key, depth, direction)
// row of the RLE8 table. The per-pel ops are the blitter's own functors, so
// a table pel drawn from a coded row comes out exactly as the same pel drawn
// by the blitter's palette-source loops. Included by the table only; tests
// may include it.
#include <cstring>
#include <type_traits>

#include "engine/blit/blit_rows.h"

// Draws one coded row: pels clip .. clip + w - 1 of the row onto the
// destination pels d, d + Dir, ... (Dir -1: d is the right end of the span),
// and the depth rows sz, dz (plain walk only). The walk reads no code past
// the one holding pel clip + w - 1, so a row whose codes cover clip + w pels
// is never read past its end. An index beyond the table draws nothing.
template <class G, template <class, class> class Op, bool Key, bool Depth, int Dir>
inline void rle8Row(const uint8_t* p, int32_t clip, int32_t w, uint8_t* d, const int32_t* sz, int32_t* dz,
                    const rle8ArgsTy& a, typename G::Key key) {
    constexpr ptrdiff_t step = ptrdiff_t(Dir) * ptrdiff_t(G::bytes);
    uint8_t code = *p++;
    if (clip > 0) p = rle8SkipPixels(p, clip, &code);
    const uint8_t* table = a.table;
    const uint32_t count = a.tableCount, value = a.alpha;
    auto pel = [&](uint8_t index) {
        bool draw = true;
        if constexpr (Depth) {
            // Depth before key: a keyed-out pel still raises the depth.
            draw = *sz > *dz;
            if (draw) *dz = *sz;
            ++sz;
            ++dz;
        }
        if (draw && index < count) {
            const uint8_t* e = table + size_t(index) * G::bytes;
            if (!Key || !G::Keyed(e, key)) Op<G, G>::Apply(d, e, value);
        }
        d += step;
    };
    int32_t left = w;
    for (;;) {
        if (code < 0x80) {
            left -= code;
            if (left <= 0) return;
            d += step * code;
            if constexpr (Depth) { sz += code; dz += code; }
        } else {
            const int32_t n = std::min<int32_t>(code & 63, left);
            left -= n;
            if (code < 0xC0) {
                for (int32_t k = 0; k < n; ++k) pel(p[k]);
                if (left <= 0) return;  // before stepping past a cut literal's bytes
                p += code & 63;
            } else {
                const uint8_t index = *p++;
                for (int32_t k = 0; k < n; ++k) pel(index);
                if (left <= 0) return;
            }
        }
        code = *p++;
    }
}

// Copies through a lookup table: each palette index maps to the pel it
// writes, or to nothing (an index beyond the table, and with the key an
// entry of the key colour), so a literal pel is one load from the table
// and one store. The 1:5:5:5 group's keyed copy keeps the destination's bit
// 15 and goes the plain way.
template <class G, template <class, class> class Op, bool Depth>
inline constexpr bool rle8LutCopies =
    std::is_same_v<Op<G, G>, bltDoCopy<G, G>> && !Depth && !std::is_same_v<G, bltFmtX1R5G5B5>;

// Below this many pels a draw does not repay building the table.
inline constexpr int64_t rle8_LUT_MIN_PELS = 1024;

// Entry: the pel's bytes in bits 0 to 31, bit 32 set for "draws nothing".
template <class G, bool Key>
void rle8LutOf(const rle8ArgsTy& a, uint64_t (&lut)[256]) {
    constexpr uint64_t none = uint64_t(1) << 32;
    const auto key = typename G::Key(a.key);
    for (uint32_t i = 0; i < 256; ++i) {
        if (i >= a.tableCount) {
            lut[i] = none;
            continue;
        }
        const uint8_t* e = a.table + size_t(i) * G::bytes;
        uint32_t v = 0;
        std::memcpy(&v, e, G::bytes);
        lut[i] = Key && G::Keyed(e, key) ? none : v;
    }
}

template <class G, int Dir>
inline void rle8LutRow(const uint8_t* p, int32_t clip, int32_t w, uint8_t* d, const uint64_t (&lut)[256]) {
    constexpr ptrdiff_t step = ptrdiff_t(Dir) * ptrdiff_t(G::bytes);
    uint8_t code = *p++;
    if (clip > 0) p = rle8SkipPixels(p, clip, &code);
    int32_t left = w;
    for (;;) {
        if (code < 0x80) {
            left -= code;
            if (left <= 0) return;
            d += step * code;
        } else {
            const int32_t n = std::min<int32_t>(code & 63, left);
            left -= n;
            if (code < 0xC0) {
                // Four pels at a time store without a test each when none
                // of them draws nothing (the key is normally coded as skips).
                int32_t k = 0;
                for (; k + 4 <= n; k += 4, d += 4 * step) {
                    const uint64_t v0 = lut[p[k]], v1 = lut[p[k + 1]], v2 = lut[p[k + 2]], v3 = lut[p[k + 3]];
                    if (((v0 | v1 | v2 | v3) >> 32) == 0) {
                        std::memcpy(d, &v0, G::bytes);
                        std::memcpy(d + step, &v1, G::bytes);
                        std::memcpy(d + 2 * step, &v2, G::bytes);
                        std::memcpy(d + 3 * step, &v3, G::bytes);
                    } else {
                        for (int32_t q = 0; q < 4; ++q) {
                            const uint64_t v = lut[p[k + q]];
                            if (!(v >> 32)) std::memcpy(d + q * step, &v, G::bytes);
                        }
                    }
                }
                for (; k < n; ++k, d += step) {
                    const uint64_t v = lut[p[k]];
                    if (!(v >> 32)) std::memcpy(d, &v, G::bytes);
                }
                if (left <= 0) return;
                p += code & 63;
            } else {
                const uint64_t v = lut[*p++];
                if (!(v >> 32))
                    for (int32_t k = 0; k < n; ++k) std::memcpy(d + k * step, &v, G::bytes);
                d += step * n;
                if (left <= 0) return;
            }
        }
        code = *p++;
    }
}

// The copy walk through the lookup table (rle8Walk's row iteration).
template <class G, bool Key, int Dir>
void rle8LutWalk(const rle8ArgsTy& a) {
    const int32_t w = a.r.w, h = a.r.h;
    if (w < 1 || h < 1) return;
    uint64_t lut[256];
    rle8LutOf<G, Key>(a, lut);
    uint8_t* d = a.dst + (Dir < 0 ? ptrdiff_t(w - 1) * ptrdiff_t(G::bytes) : 0);
    for (int32_t j = a.r.y; j < a.r.y + h; ++j, d += a.dstPitch)
        if (const uint8_t* codes = a.src->rows[j]) rle8LutRow<G, Dir>(codes, a.r.x, w, d, lut);
}

// The plain row iterator: rows rect.y .. rect.y + rect.h - 1 of the row table,
// each image advancing by its own pitch; a null row draws nothing.
template <class G, template <class, class> class Op, bool Key, bool Depth, int Dir>
void rle8PlainWalk(const rle8ArgsTy& a) {
    const int32_t w = a.r.w, h = a.r.h;
    if (w < 1 || h < 1) return;
    const auto key = typename G::Key(a.key);
    uint8_t* d = a.dst + (Dir < 0 ? ptrdiff_t(w - 1) * ptrdiff_t(G::bytes) : 0);
    const int32_t* sz = a.srcDepth;
    int32_t* dz = a.dstDepth;
    for (int32_t j = a.r.y; j < a.r.y + h; ++j) {
        if (const uint8_t* codes = a.src->rows[j])
            rle8Row<G, Op, Key, Depth, Dir>(codes, a.r.x, w, d, sz, dz, a, key);
        d += a.dstPitch;
        if constexpr (Depth) { sz += a.srcDepthPitch; dz += a.dstDepthPitch; }
    }
}

// A table row's walk: copies of large rectangles through the lookup table,
// everything else the plain way.
template <class G, template <class, class> class Op, bool Key, bool Depth, int Dir>
void rle8Walk(const rle8ArgsTy& a) {
    if constexpr (rle8LutCopies<G, Op, Depth>) {
        if (int64_t(a.r.w) * a.r.h >= rle8_LUT_MIN_PELS) return rle8LutWalk<G, Key, Dir>(a);
    }
    rle8PlainWalk<G, Op, Key, Depth, Dir>(a);
}

// The scaled copy (op 13): destination pel (i, j) of the rectangle shows
// the pel ((r.x + i) * stepX) >> 16 of box row ((r.y + j) * stepY) >> 16,
// in u32 arithmetic; each row's codes are walked once, left to right, and a
// pel in a skip run is left as it is. No key, no depth.
template <class G, int Dir>
void rle8ScaledWalk(const rle8ArgsTy& a) {
    const int32_t w = a.r.w, h = a.r.h;
    if (w < 1 || h < 1) return;
    constexpr ptrdiff_t step = ptrdiff_t(Dir) * ptrdiff_t(G::bytes);
    uint8_t* d = a.dst + (Dir < 0 ? ptrdiff_t(w - 1) * ptrdiff_t(G::bytes) : 0);
    for (int32_t j = 0; j < h; ++j, d += a.dstPitch) {
        const uint8_t* p = a.src->rows[(uint32_t(a.r.y + j) * a.stepY) >> 16];
        if (!p) continue;
        uint8_t code = *p++;
        uint32_t last = 0;
        uint8_t* q = d;
        for (int32_t i = 0; i < w; ++i, q += step) {
            const uint32_t s = (uint32_t(a.r.x + i) * a.stepX) >> 16;
            if (s > last) p = rle8SkipPixels(p, int32_t(s - last), &code);
            last = s;
            // Codes of no pels hold none: step over them to the code that
            // holds pel s (a fill's value byte included), which exists
            // because the row's codes cover the box width.
            for (;;) {
                if (code == 0x00 || code == 0x80) code = *p++;
                else if (code == 0xC0) { ++p; code = *p++; }
                else break;
            }
            if (code >= 0x80 && *p < a.tableCount) bltCopyPel<G, G>(q, a.table + size_t(*p) * G::bytes);
        }
    }
}
