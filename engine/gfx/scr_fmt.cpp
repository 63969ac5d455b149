// The screen pixel layout globals and the colour packer that uses them.
#include "engine/gfx/gfx_internal.h"

#include <bit>

gScrFmtTy gScrFmt;

namespace {

void derive(uint32_t mask, uint32_t* shift, uint32_t* loss, uint32_t* max)
{
    *shift = mask ? static_cast<uint32_t>(std::countr_zero(mask)) : 0;
    *max = mask >> *shift;
    const auto width = static_cast<uint32_t>(std::popcount(*max));
    *loss = width < 8 ? 8 - width : 0;
}

} // namespace

void gScrFmtSet(uint32_t bits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask)
{
    gScrFmt.bits = bits;
    gScrFmt.bytes = (bits + 7) / 8;
    gScrFmt.redMask = redMask;
    gScrFmt.greenMask = greenMask;
    gScrFmt.blueMask = blueMask;
    derive(redMask, &gScrFmt.redShift, &gScrFmt.redLoss, &gScrFmt.redMax);
    derive(greenMask, &gScrFmt.greenShift, &gScrFmt.greenLoss, &gScrFmt.greenMax);
    derive(blueMask, &gScrFmt.blueShift, &gScrFmt.blueLoss, &gScrFmt.blueMax);
}

uint32_t gRgbToScr(uint32_t colour)
{
    const uint32_t r = colour & 0xFF;
    const uint32_t g = colour >> 8 & 0xFF;
    const uint32_t b = colour >> 16 & 0xFF;
    return (r >> gScrFmt.redLoss << gScrFmt.redShift) | (g >> gScrFmt.greenLoss << gScrFmt.greenShift)
        | (b >> gScrFmt.blueLoss << gScrFmt.blueShift);
}
