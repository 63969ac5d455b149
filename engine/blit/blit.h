#pragma once
// Software blitter of the older engine layer.
//
// blit_pel.h: the per-pel draw operations pel<Op>_<Src>_<Dst>, pelSub565 and
// the 1:5:5:5 stores, used by the row loops and by the RLE8 and alpha-image
// draws. blit_fmt.h: pel format traits and the copy conversion.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/gfx/gfx.h"
#include "engine/blit/blit_pel.h"
#include "engine/blit/blit_fmt.h"

// -------------------------------------------------------------- clipping
//
// Every draw entry (bltDrawEx, alphaDrawEx, the RLE8 draws) cuts its
// rectangle with bltClip once, before it locks anything, so that nothing is
// read or written outside either picture whatever the rectangle, the place
// and the two sizes. The row loops and walks behind them neither clip nor
// check.

// A draw's rectangle in source units and the destination pel that r's
// corner lands on; 64-bit, as the caller's place plus the rectangle's
// corner may leave the i32 range.
struct bltClipTy {
    rectTy r;
    int64_t x = 0, y = 0;
};
// bltClip cuts c->r to the units 0 .. srcW - 1 and 0 .. srcH - 1 that land
// inside the destination's dstW x dstH pels, one pel a unit, moving c->x
// and c->y with the cut. `mirror` lands a row's first unit on its last pel
// (the mirrored draws). False when no unit is left; c is then unspecified.
[[nodiscard]] bool bltClipCut(bltClipTy* c, int64_t srcW, int64_t srcH, int64_t dstW, int64_t dstH, bool mirror);
// Inline, as most draws lie inside both pictures and a small sprite's draw
// costs little more than a call: only a draw that reaches outside either
// picture is cut by bltClipCut.
[[nodiscard]] inline bool bltClip(bltClipTy* c, int64_t srcW, int64_t srcH, int64_t dstW, int64_t dstH,
                                  bool mirror = false) {
    const rectTy& r = c->r;
    if (r.w > 0 && r.h > 0 && r.x >= 0 && r.y >= 0 && c->x >= 0 && c->y >= 0 && r.x + int64_t(r.w) <= srcW &&
        r.y + int64_t(r.h) <= srcH && c->x + r.w <= dstW && c->y + r.h <= dstH)
        return true;
    return bltClipCut(c, srcW, srcH, dstW, dstH, mirror);
}
// The units of a scaled draw that read a pel of a source side of `pels`
// pels: unit u reads pel (u x step) >> 16 in the loops' u32 arithmetic,
// which must not wrap. At most INT32_MAX (a step of 0 reads pel 0 always).
[[nodiscard]] int64_t bltScaledExtent(int64_t pels, uint32_t step);

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
    // Palette sources: the palette's table of pels of the group format and
    // its entry count.
    const uint8_t* table = nullptr;
    uint32_t tableCount = 0;
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
// The palette-source rows: source code pel_FMT_P8, destination the group
// (1, 2, 4 or 5; 3 and 6 are looked up as 2 and 5).
const bltRowTy* bltPalRows(size_t* count);
const bltRowTy* bltFindPalRow(uint32_t op, uint32_t dstFmt, uint32_t flags);
// "bltScaledCopyKey_R8G8B8_X8R8G8B8", "bltPalAddKeyDepth_R5G6B5" and the like.
std::string bltRowName(const bltRowTy& row);

// Runs the row for op/flags on the formats of args.src and args.dst (the
// palette rows for a pel_FMT_P8 source, with args.table set); draws
// nothing when there is none. With the generic path forced, the same draw
// goes through bltGeneric instead.
void bltRun(uint32_t op, uint32_t flags, const bltArgsTy& args);
// Runs one row (null: nothing), or bltGeneric when that is forced.
void bltRunRow(const bltRowTy* row, const bltArgsTy& args);
// The untuned reference: any row's draw, pel by pel with run-time format
// and op tests. Tests compare every table row against it.
void bltGeneric(uint32_t op, uint32_t flags, const bltArgsTy& args);
// Forces every bltRun through bltGeneric (a debugging and test switch).
void bltForceGeneric(bool on);

// ------------------------------------------------------ alpha-image draws
//
// An imgAlpha draws straight from its run table through exactly one loop of
// the family alphaBlt<Op>[Pm][Scaled]_<Stored>_<Dst>, picked from one
// constexpr table of 384 selections: destination format (1 to 6) x
// premultiplied x scaled x op (Copy, Add, Blend, BlendAlpha) x stored colour
// format (1, 2, 4, 5). Straight Copy of stored X1R5G5B5 colours onto
// X1R5G5B5 takes the R5G6B5 copy loop of its walk, which copies the stored
// words whole, so 382 loops serve the 384 selections.

// The family's ops, in the order of a table block.
enum alphaOpTy : uint8_t { alpha_OP_COPY, alpha_OP_ADD, alpha_OP_BLEND, alpha_OP_BLENDALPHA, alpha_OP_COUNT };

// What a loop reads. `dst` addresses the destination pel of the rectangle's
// first pel; `pitch` is in pels. `r` is in source pels (plain walk) or in
// pels of the scaled image (scaled walk, with its 16.16 steps).
struct alphaArgsTy {
    const imgAlpha* src = nullptr;
    uint8_t* dst = nullptr;
    int32_t pitch = 0;
    rectTy r = {0, 0, 0, 0};
    uint32_t stepX = 65536, stepY = 65536;
    int32_t c = 0; // constant alpha of BlendAlpha, 0 to 256
};

using alphaRowFnTy = void (*)(const alphaArgsTy&);
// A selection's loop, named by its fields: op (0 Copy, 1 Add, 2 Blend,
// 3 BlendAlpha), pm, scaled, stored and destination pel format codes.
struct alphaRowTy {
    uint8_t op, pm, scaled, stored, dst;
    alphaRowFnTy fn;
};

// The loop for a selection, or null when the family has none (the draw then
// draws nothing). `op` is the family's op index (0 to 3).
const alphaRowTy* alphaFindRow(uint32_t dstFmt, bool pm, bool scaled, uint32_t op, uint32_t stored);
// All 384 selections in table order, for tests and tools.
const alphaRowTy* alphaRows(size_t* count);
// "alphaBltBlendAlphaPmScaled_X8R8G8B8_R5G6B5" and the like.
std::string alphaRowName(const alphaRowTy& row);

// The 16.16 step of a scale factor, 65536 / scale in double truncated;
// false for a scale whose step does not exist or does not fit (0, negative,
// NaN, infinite or below 1/32768).
[[nodiscard]] bool alphaStep(float scale, uint32_t* step);

// imgAlpha::DrawEx: draws `rect` of src (null: its box) at x + rect.x,
// y + rect.y of dst, cut to both pictures (bltClip). Drops a lock the
// caller holds on dst; when a pel is left to draw, locks dst for writing on
// the destination rectangle, refuses a palettised destination
// ("imgCTy::Draw: This is not impelmetned yet") and otherwise runs the one
// loop the draw selects; a combination without loop draws nothing. dst is
// unlocked on every way out.
void alphaDrawEx(imgAlpha* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm);
// imgAlpha::Draw (op 14) and imgAlpha::DrawAlpha (op 15, alpha = opacity x
// 256 truncated), through alphaDrawEx.
void alphaDraw(imgAlpha* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect);
void alphaDrawAlpha(imgAlpha* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, float opacity);
// Installs the three as imgAlpha's own draws (made by gfxInit).
void alphaInstall();

// ------------------------------------------------------------ RLE8 draws
//
// An imgRle8CTy draws straight from its coded rows through exactly one walk
// of the family rleBlt[Mirror]Rows<Op>[Key][Depth]_<Dst>, picked from one
// constexpr table: destination group (1, 2, 4, 5; formats 3 and 6 draw as
// 2 and 5) x op (the blitter's Copy, Alpha and Modulate .. AddSmooth) x key
// x depth x direction. Alpha has no depth member and the mirrored walks have
// none either: 152 plain and 80 mirrored uses; op 13 adds a scaled copy per
// group and direction (rle8_SCALED, no key, no depth).

inline constexpr uint8_t rle8_KEY = 1, rle8_DEPTH = 2, rle8_MIRROR = 4, rle8_SCALED = 8;

// What a walk reads. `dst` addresses the destination pel of the rectangle's
// first pel, the depth rows the depth of that pel; pitches are in bytes
// (destination) and in values (depth rows). `r` is relative to the stored
// box: x pels clipped off each row, y the first row.
struct rle8ArgsTy {
    const imgRle8CTy* src = nullptr;
    uint8_t* dst = nullptr;
    ptrdiff_t dstPitch = 0;
    const int32_t* srcDepth = nullptr;
    int32_t* dstDepth = nullptr;
    ptrdiff_t srcDepthPitch = 0, dstDepthPitch = 0;
    rectTy r = {0, 0, 0, 0};
    const uint8_t* table = nullptr; // the palette as pels of the group
    uint32_t tableCount = 0;
    uint32_t key = 0;   // in the group's form, as the blitter's palette rows take it
    uint32_t alpha = 0; // 0..256
    // Scaled walks: 16.16 source pels per destination pel; `r` is then in
    // pels of the scaled box.
    uint32_t stepX = 65536, stepY = 65536;
};

using rle8WalkFnTy = void (*)(const rle8ArgsTy&);
struct rle8RowTy {
    uint8_t op, dst, flags;
    rle8WalkFnTy fn;
};

// The walk for a blitter op, destination pel format and flags; null when the
// family has none.
const rle8RowTy* rle8FindRow(uint32_t op, uint32_t dstFmt, uint32_t flags);
// All rows of the table, for tests and tools.
const rle8RowTy* rle8Rows(size_t* count);
// "rleBltRowsAddKeyDepth_R8G8B8", "rleBltMirrorRowsCopy_R5G6B5",
// "rleBltScaledMirror_X8R8G8B8" and the like.
std::string rle8RowName(const rle8RowTy& row);

// imgRle8CTy's five draws. Each cuts its rectangle to the stored box and
// the destination (bltClip); when a pel is left, it locks the destination
// for writing on the destination rectangle (DrawEx also the depth images
// and the alpha map, on the source rectangle that is drawn), draws, and
// unlocks everything it locked. A source depth image that shares the
// destination's pels is read from a copy taken there first (bltAuxCopy);
// such an alpha map, which no walk reads, is not locked. A palettised
// destination is refused inside that bracket ("imgRle8CTy::<Draw>: This is
// not impelmetned yet", where DrawAlpha names Draw). A failed lock and an op
// without walk draw nothing.
void rle8Draw(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect);
void rle8DrawAlpha(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, float opacity);
void rle8DrawEx(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm);
void rle8DrawMirrorH(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect);
void rle8DrawExMirrorH(imgRle8CTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect,
                       const imgDrawPrmCTy& prm);
// DrawExPal and its mirrored twin: on a locked destination, converts the
// palette, selects and runs the one walk for the draw. `r` is relative to
// the stored box, and cut to it and to the destination by the caller.
void rle8DrawExPal(imgRle8CTy* src, imgCTy* dst, const rectTy& r, const imgDrawPrmCTy& prm, bool mirror);
// The draw's alpha: opacity x 256 truncated; NaN and values no i32 holds give 0.
// rle8Step: the scaled draw's step, (1 / scale) x 65536 truncated; false for
// a scale whose step is not a positive 32-bit value (0, negative, NaN, tiny).
[[nodiscard]] bool rle8Step(float scale, uint32_t* step);
int32_t rle8Alpha(float opacity);
// Installs the five as imgRle8CTy's draws (made by gfxInit).
void rle8Install();

// ------------------------------------------------------- draw dispatchers
//
// The image layer's DrawExDirect and DrawEx entry live here as free
// functions, since imgCTy belongs to engine/gfx: imgCTy::DrawEx reaches them
// through the hook that blitInstall sets.

// Registers bltDrawEx as the draw entry of imgCTy::DrawEx. A program (or a
// test) that draws images calls it once at start-up; being an explicit call,
// it also keeps this library's units linked in.
void blitInstall();

// The engine's start-up call for images, made first thing by the framework
// and by every test program that draws: installs every draw entry (the
// blitter's and the alpha image's) and registers the image classes by name (imgRegisterClasses).
// It lives here, in the library on top of the image layer, because it
// reaches both. Calling it again changes nothing. A draw made before it
// reports "imgCTy::DrawEx: This is not impelmetned yet".
void gfxInit();

// The draw entry: the source rectangle (whole source when null) lands at
// x + rect.x, y + rect.y of dst, cut to both pictures (bltClip; a draw
// with no pel left only drops the callers' locks). Locks the source for
// reading (whole when scaled or op 13), the source depth image and the
// alpha map on the source rectangle (bltLockAux), the destination for
// writing on the destination rectangle and the destination depth image on
// the source rectangle. A source that shares pels with the destination
// (bltSharesPels) is drawn from a copy of what the draw reads (bltSnapshot),
// as the picture was before the draw; so is a source depth image or an
// alpha map that shares pels with the destination, at the source
// rectangle, as the loops read it (a map a byte a pel). A palettised
// source onto
// a destination without palette goes to the palette-source draw, a source
// without palette onto a palettised destination is reported ("imgCTy::Draw:
// This is not impelmetned yet") and draws nothing, every other pairing goes to
// bltDrawExDirect. A depth pair that bltAuxHolds refuses draws without the
// depth test; op 3 with an alpha map it refuses draws nothing. Everything
// is unlocked on return.
void bltDrawEx(imgCTy* src, imgCTy* dst, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm);
// Locks an auxiliary image of a draw (alpha map, depth image; null:
// nothing) at the source rectangle r, only when r lies inside its pels; an
// image the caller holds locked keeps that lock. Inline, as most draws have
// no auxiliary image: each then costs its null test alone.
void bltLockAuxImage(imgCTy* aux, const rectTy& r, uint32_t mode);
inline void bltLockAux(imgCTy* aux, const rectTy& r, uint32_t mode) {
    if (aux) bltLockAuxImage(aux, r, mode);
}
// True when an auxiliary image of a draw can be read by the row loops:
// locked, with pels of at least `bytes` bytes, and w x h pels from the pel
// its lock pointer addresses inside the image (the RLE8 and alpha images
// record the whole picture as their lock rectangle, so their corner is
// taken from the pointer).
[[nodiscard]] bool bltAuxHolds(imgCTy* aux, int32_t w, int32_t h, uint32_t bytes);
// The pels of r of an auxiliary image as the row loops read them (a pel of
// pelSize(fmt) bytes, rows the image's pitch in such pels apart), copied
// into `copy`, of format `fmt`, and locked whole; for an image that shares
// the destination's pels, whose lock the destination's would move. Locks
// and unlocks the image; null where the loops could not read it at r
// (bltAuxHolds), which the draw then treats as a missing image.
imgCTy* bltAuxCopy(imgCTy* aux, const rectTy& r, const pelFmtCTy& fmt, imgRowCTy* copy);

// True when the two row images' pel blocks overlap (an empty image, or one
// without pels, overlaps nothing).
[[nodiscard]] bool bltRowPelsOverlap(const imgRowCTy* src, const imgRowCTy* dst);
// True when a row image whose pels start at `at` may reach `other`, an
// address past `at`. No test of size or missing pels comes first: for an
// image without pels the sum means nothing, and nothing overlaps it either.
[[nodiscard]] inline bool bltMayReach(const imgRowCTy* img, uintptr_t at, uintptr_t other) {
    // Its last row starts rowPitch x (height - 1) pels in.
    const uintptr_t pels = uintptr_t(img->rowPitch) * (uint32_t(img->height) - 1u) + uint32_t(img->width);
    return other - at < pels * pelSize(img->pelFmt.format);
}
// True when the two images are one, or row images whose pel blocks overlap.
// Inline, as every draw asks it: two row images apart are settled by one
// comparison of addresses, where the other block starts against how far
// the lower block may reach. Only blocks that close are measured exactly
// (bltRowPelsOverlap).
[[nodiscard]] inline bool bltSharesPels(const imgCTy* src, const imgCTy* dst) {
    // Only a row image's pels can lie in another image's block; any other
    // kind shares pels only with itself.
    if (src->kind != img_KIND_ROW || dst->kind != img_KIND_ROW) return src == dst;
    const auto* s = static_cast<const imgRowCTy*>(src);
    const auto* d = static_cast<const imgRowCTy*>(dst);
    const uintptr_t from = reinterpret_cast<uintptr_t>(s->pels), to = reinterpret_cast<uintptr_t>(d->pels);
    if (from < to ? !bltMayReach(s, from, to) : !bltMayReach(d, to, from)) return false;
    return src == dst || bltRowPelsOverlap(s, d);
}

// Copies the source's pels of r (null: the whole picture) into `copy`, a
// row image of r's size in the source's format and key, locking and
// unlocking the source; false when the source cannot be locked or the copy
// gets no pels.
[[nodiscard]] bool bltSnapshot(imgCTy* src, const rectTy* r, imgRowCTy* copy);

// DrawExPal: a palettised source (one index byte a pel) onto a destination
// without palette. Has the source palette's table built in the destination's
// format, then runs the one palette row loop; keyed by the colour of an
// index in the destination's precision, never by the index. An index beyond
// the palette's entries draws nothing.
void bltDrawExPal(imgCTy* src, imgCTy* dst, const rectTy* r, const imgDrawPrmCTy& prm);

// DrawExDirect: picks and runs the one row loop for the draw on locked
// images; unsupported combinations draw nothing. 8-bit index images copy
// their indices onto 8-bit destinations (scaled with op 13 or the flag).
void bltDrawExDirect(imgCTy* src, imgCTy* dst, const rectTy* r, const imgDrawPrmCTy& prm);
// The row-loop op and flags (blt_KEY, blt_DEPTH, blt_SCALED) a direct draw
// takes; false when it draws nothing.
bool bltSelect(const imgCTy* src, const imgDrawPrmCTy& prm, uint32_t* op, uint32_t* flags);
void bltCopy_P8_P8(imgCTy* src, imgCTy* dst, const rectTy* r);
void bltScaledCopy_P8_P8(imgCTy* src, imgCTy* dst, const rectTy* r, float scaleX, float scaleY);
