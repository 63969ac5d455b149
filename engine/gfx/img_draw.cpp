// The draw operations of the image interface. They all end in DrawEx, which
// hands the work to the software blitter's draw entry.
#include "engine/gfx/gfx_internal.h"

#include <cmath>

namespace {

// Constant-initialised, so the blitter may install its entry from a static
// initialiser in any order relative to this unit.
imgDrawEntryTy draw_entry = nullptr;

// opacity x 256 in single precision, truncated toward zero; values outside
// the int range (which no caller means) are held at its ends.
int32_t opacity_to_alpha(float opacity)
{
    const float scaled = opacity * 256.0f;
    if (std::isnan(scaled))
        return 0;
    if (scaled >= 2147483647.0f)
        return INT32_MAX;
    if (scaled <= -2147483648.0f)
        return INT32_MIN;
    return static_cast<int32_t>(scaled);
}

} // namespace

imgDrawEntryTy imgSetDrawEntry(imgDrawEntryTy entry)
{
    const imgDrawEntryTy previous = draw_entry;
    draw_entry = entry;
    return previous;
}

imgDrawEntryTy imgGetDrawEntry() { return draw_entry; }

void imgCTy::DrawEx(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm)
{
    if (!draw_entry) {
        gfxReportNotImpl("imgCTy::DrawEx: This is not impelmetned yet");
        return;
    }
    draw_entry(this, destination, x, y, rect, prm);
}

void imgCTy::Draw(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect)
{
    DrawEx(destination, x, y, rect, imgDrawPrmCTy {});
}

void imgCTy::DrawMirrorH(imgCTy*, int32_t, int32_t, const rectTy*) {}

void imgCTy::DrawExMirrorH(imgCTy*, int32_t, int32_t, const rectTy*, const imgDrawPrmCTy&) {}

void imgCTy::DrawAlphaMap(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, imgCTy* map)
{
    DrawEx(destination, x, y, rect, imgDrawPrmCTy { .op = img_OP_ALPHAMAP, .alphaMap = map });
}

void imgCTy::DrawAlpha(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, float opacity)
{
    DrawEx(destination, x, y, rect, imgDrawPrmCTy { .op = img_OP_ALPHA, .alpha = opacity_to_alpha(opacity) });
}
