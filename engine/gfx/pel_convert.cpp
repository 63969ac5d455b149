// Colours to pels of a format and back.
#include "engine/gfx/gfx_internal.h"

namespace {

uint16_t pack555(uint32_t colour)
{
    uint16_t pel = 0;
    const uint8_t bgr[3] = { uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16) };
    pelSet555(&pel, bgr);
    return pel;
}

uint16_t pack565(uint32_t colour)
{
    return pelMake565((colour >> 16 & 0xFF) >> 3, (colour >> 8 & 0xFF) >> 2, (colour & 0xFF) >> 3);
}

} // namespace

uint32_t pelFmtCTy::ColorToPel(uint32_t colour, uint32_t colourFmt) const
{
    if (colourFmt != pel_FMT_X8R8G8B8)
        return colour;
    switch (format) {
    case pel_FMT_R8G8B8:
        return colour & 0x00FFFFFF;
    case pel_FMT_R5G6B5:
        return pack565(colour);
    case pel_FMT_X1R5G5B5:
        return pack555(colour);
    case pel_FMT_A1R5G5B5:
        // A colour in this layer is opaque: fills, keys and palette tables
        // into this format all carry the alpha bit.
        return pack555(colour) | 0x8000u;
    case pel_FMT_P8:
        if (!palette)
            return colour;
        return palette->FindNearest(uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16));
    default:
        return colour;
    }
}

uint32_t pelFmtCTy::PelToColor(uint32_t pel, uint32_t wantedFmt) const
{
    if (palette) {
        if (wantedFmt < pel_FMT_R8G8B8 || wantedFmt > pel_FMT_A1R5G5B5)
            return pel;
        // The index comes from pels that may be anything: one past the
        // entries reads as colour 0 instead of past the block.
        const uint32_t entry = pel < palette->count ? palette->entries[pel] : 0;
        switch (wantedFmt) {
        case pel_FMT_R8G8B8:
            return entry & 0x00FFFFFF;
        case pel_FMT_X8R8G8B8:
        case pel_FMT_A8R8G8B8:
            return entry;
        case pel_FMT_R5G6B5:
            return pack565(entry);
        default:
            return pack555(entry);
        }
    }
    if (wantedFmt != pel_FMT_X8R8G8B8)
        return pel;
    uint32_t colour = pel;
    switch (format) {
    case pel_FMT_R8G8B8:
        return (pel & 0x00FFFFFF) | 0xFF000000;
    case pel_FMT_R5G6B5:
        pel565ToColor(&colour, static_cast<uint16_t>(pel));
        return colour;
    case pel_FMT_X1R5G5B5:
    case pel_FMT_A1R5G5B5:
        pel555ToColor(&colour, static_cast<uint16_t>(pel));
        return colour;
    default:
        // 32-bit pels are colour values already (their top byte becomes the
        // alpha); formats without a conversion give the pel as it is.
        return pel;
    }
}
