// The reference path: every row's draw done pel by pel, with the formats and
// the op tested at run time and every address computed from x and y. It is
// deliberately untuned; the tests hold each table row against it.
#include <atomic>

#include "engine/blit/blit_rows.h"

namespace {

std::atomic<bool> g_forceGeneric{false};

bool Keyed(uint32_t fmt, const uint8_t* s, uint32_t key) {
    uint32_t v = 0;
    std::memcpy(&v, s, pelBytes[fmt]);
    switch (fmt) {
    case pel_FMT_R8G8B8: return (v & 0xFFFFFF) == (key & 0xFFFFFF);
    case pel_FMT_X1R5G5B5: return (v & 0x7FFF) == (key & 0x7FFF);
    case pel_FMT_R5G6B5:
    case pel_FMT_A1R5G5B5: return v == (key & 0xFFFF);
    default: return v == key;
    }
}

void Pel(uint32_t op, uint32_t sf, uint32_t df, uint8_t* d, const uint8_t* s, uint32_t v) {
    const bool same32 = (sf == 2 || sf == 3) && (df == 2 || df == 3);
    const bool once = same32 || (sf == pel_FMT_R5G6B5 && df == pel_FMT_R5G6B5);
    bltWithFmt(sf, [&](auto src) {
        bltWithFmt(df, [&](auto dst) {
            using S = decltype(src);
            using D = decltype(dst);
            using SC = typename S::Ch;
            using DC = typename D::Ch;
            switch (op) {
            case blt_OP_COPY: bltCopyPel<S, D>(d, s); break;
            case blt_OP_ALPHA:
            case blt_OP_ALPHAMAP:
                if (once) pelAlphaOnce<DC>(d, s, v);
                else pelAlpha<SC, DC>(d, s, v);
                break;
            case blt_OP_FADEADD: pelFadeAdd<SC, DC>(d, s, v); break;
            case blt_OP_MODULATE: pelArith<pelOpModulate, SC, DC>(d, s); break;
            case blt_OP_MODULATE2X: pelArith<pelOpModulate2x, SC, DC>(d, s); break;
            case blt_OP_MODULATE4X: pelArith<pelOpModulate4x, SC, DC>(d, s); break;
            case blt_OP_ADD: pelArith<pelOpAdd, SC, DC>(d, s); break;
            case blt_OP_ADDSIGNED: pelArith<pelOpAddSigned, SC, DC>(d, s); break;
            case blt_OP_ADDSIGNED2X: pelArith<pelOpAddSigned2x, SC, DC>(d, s); break;
            case blt_OP_SUBTRACT: pelArith<pelOpSubtract, SC, DC>(d, s); break;
            case blt_OP_ADDSMOOTH: pelArith<pelOpAddSmooth, SC, DC>(d, s); break;
            }
        });
    });
}

template <class T>
T* At(imgCTy* img, int32_t x, int32_t y, uint32_t bytes) {
    return reinterpret_cast<T*>(static_cast<uint8_t*>(img->lockPtr) + (size_t(y) * size_t(img->pitch) + size_t(x)) * bytes);
}

}  // namespace

void bltForceGeneric(bool on) { g_forceGeneric = on; }

void bltGeneric(uint32_t op, uint32_t flags, const bltArgsTy& a) {
    const int32_t w = a.rect->w, h = a.rect->h;
    if (w < 1 || h < 1) return;
    const uint32_t df = a.dst->pelFmt.format;
    // A palette source reads index bytes and draws their table pels as pels
    // of the destination's group onto it.
    const bool pal = a.table != nullptr;
    const uint32_t group = df == pel_FMT_A1R5G5B5 ? pel_FMT_X1R5G5B5 : df;
    const uint32_t sf = pal ? group : a.src->pelFmt.format;
    const uint32_t sb = pal ? 1 : pelBytes[sf], db = pelBytes[df];
    const uint32_t stepX = bltStep(a.scaleX), stepY = bltStep(a.scaleY);
    for (int32_t j = 0; j < h; ++j) {
        for (int32_t i = 0; i < w; ++i) {
            const uint8_t* s;
            if (flags & blt_SCALED)
                s = At<const uint8_t>(a.src, int32_t((uint32_t(a.rect->x + i) * stepX) >> 16),
                                      int32_t((uint32_t(a.rect->y + j) * stepY) >> 16), sb);
            else
                s = At<const uint8_t>(a.src, i, j, sb);
            if (flags & blt_DEPTH) {
                int32_t* dz = At<int32_t>(a.dstDepth, i, j, 4);
                const int32_t szv = *At<int32_t>(a.srcDepth, i, j, 4);
                if (szv <= *dz) continue;
                *dz = szv;
            }
            if (pal) {
                if (*s >= a.tableCount) continue;
                s = a.table + size_t(*s) * pelBytes[group];
            }
            if ((flags & blt_KEY) && Keyed(sf, s, a.key)) continue;
            const uint32_t v = op == blt_OP_ALPHAMAP ? *At<uint8_t>(a.alphaMap, i, j, 1) : a.value;
            Pel(op, sf, pal ? group : df, At<uint8_t>(a.dst, i, j, db), s, v);
        }
    }
}

void bltRunRow(const bltRowTy* row, const bltArgsTy& args) {
    if (!row) return;
    if (g_forceGeneric) bltGeneric(row->op, row->flags, args);
    else row->fn(args);
}

std::string bltRowName(const bltRowTy& r) {
    static const char* const ops[] = {"Copy", "Alpha", "FadeAdd", "AlphaMap", "Modulate", "Modulate2x",
                                      "Modulate4x", "Add", "AddSigned", "AddSigned2x", "Subtract", "AddSmooth"};
    auto fmt = [](uint32_t code) {
        std::string t = "?";
        bltWithFmt(code, [&](auto f) { t = decltype(f)::token; });
        return t;
    };
    std::string n = r.src == pel_FMT_P8 ? "bltPal" : "blt";
    if (r.flags & blt_SCALED) n += "Scaled";
    n += r.op < blt_OP_COUNT ? ops[r.op] : "?";
    if (r.flags & blt_KEY) n += "Key";
    if (r.flags & blt_DEPTH) n += "Depth";
    n += '_';
    if (r.src != pel_FMT_P8) {
        n += fmt(r.src);
        n += '_';
    }
    n += fmt(r.dst);
    return n;
}
