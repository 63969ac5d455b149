#pragma once
// Software blitter of the older engine layer.
//
// blit_pel.h: the per-pel draw operations pel<Op>_<Src>_<Dst>, pelSub565 and
// the 1:5:5:5 stores, used by the row loops and by the RLE8 and alpha-image
// draws. blit_fmt.h: pel format traits and the copy conversion.
#include <cstddef>
#include <string>

#include "engine/gfx/gfx.h"
#include "engine/blit/blit_pel.h"
#include "engine/blit/blit_fmt.h"

// ------------------------------------------------------------- row loops
//
// Every draw between two images without palette conversion runs exactly one
// row loop, picked from one constexpr table of rows {op, source format,
// destination format, flags, function}. The loops are instantiations of one
// kernel (blit_rows.h); a row's name, e.g. bltAlphaKey_R8G8B8_R5G6B5, comes
// from bltRowName. Formats 2 and 3 share their rows on either side.

// Row loop operations, in the order of a table block.
enum bltOpTy : uint8_t {
    blt_OP_COPY, blt_OP_ALPHA, blt_OP_FADEADD, blt_OP_ALPHAMAP,
    blt_OP_MODULATE, blt_OP_MODULATE2X, blt_OP_MODULATE4X, blt_OP_ADD,
    blt_OP_ADDSIGNED, blt_OP_ADDSIGNED2X, blt_OP_SUBTRACT, blt_OP_ADDSMOOTH,
    blt_OP_COUNT
};
inline constexpr uint8_t blt_KEY = 1, blt_DEPTH = 2, blt_SCALED = 4;

// What a row loop reads. Every image is locked; its lockPtr addresses the
// first pel of the rectangle (a scaled loop's source: pel (0, 0)). Only w and
// h of `rect` are read, and x, y too by the scaled loops.
struct bltArgsTy {
    imgCTy* src = nullptr;
    imgCTy* dst = nullptr;
    const rectTy* rect = nullptr;
    uint32_t key = 0;   // in the source's form: B,G,R bits 0-23, u32 pel or u16 pel
    uint32_t value = 0; // opacity (Alpha) or fade amount (FadeAdd), 0..256
    imgCTy* alphaMap = nullptr;
    imgCTy* srcDepth = nullptr;
    imgCTy* dstDepth = nullptr;
    float scaleX = 1.0f, scaleY = 1.0f;
};

using bltRowFnTy = void (*)(const bltArgsTy&);
struct bltRowTy {
    uint8_t op, src, dst, flags;
    bltRowFnTy fn;
};

// The row for an op, pel format codes and flags; null when the family has no
// such loop (the draw then draws nothing).
const bltRowTy* bltFindRow(uint32_t op, uint32_t srcFmt, uint32_t dstFmt, uint32_t flags);
// All rows of the table, for tests and tools.
const bltRowTy* bltRows(size_t* count);
// "bltScaledCopyKey_R8G8B8_X8R8G8B8" and the like.
std::string bltRowName(const bltRowTy& row);

// Runs the row for op/flags on the formats of args.src and args.dst; draws
// nothing when there is none. With the generic path forced, the same draw
// goes through bltGeneric instead.
void bltRun(uint32_t op, uint32_t flags, const bltArgsTy& args);
// The untuned reference: any row's draw, pel by pel with run-time format
// and op tests. Tests compare every table row against it.
void bltGeneric(uint32_t op, uint32_t flags, const bltArgsTy& args);
// Forces every bltRun through bltGeneric (a debugging and test switch).
void bltForceGeneric(bool on);
