// Pixel conversion between DIB blocks: 8 -> 16, 8 -> 24 and 24 -> 16 bits.
#include "engine/base/dib_internal.h"

#include <cstring>

namespace {

// Places an 8-bit channel in a 16-bit mask: the channel is lifted to the
// top of 16 bits, then shifted down by the zero bits above the mask.
struct MaskShift {
    uint32_t mask;
    int shift;

    explicit MaskShift(uint32_t m)
        : mask(m & 0xFFFF)
        , shift(mask ? __builtin_clz(mask) - 16 : 0)
    {
    }
    uint32_t place(uint32_t channel) const { return ((channel << 8) >> shift) & mask; }
};

struct Masks16 {
    MaskShift r, g, b;
    explicit Masks16(const uint32_t m[3])
        : r(m[0])
        , g(m[1])
        , b(m[2])
    {
    }
    uint16_t pel(uint32_t red, uint32_t green, uint32_t blue) const
    {
        return static_cast<uint16_t>(r.place(red) | g.place(green) | b.place(blue));
    }
};

// The masks of a 16-bit block; without bit fields a 16-bit DIB is 5-5-5.
void masks_of(const bmpInfoTy* info, uint32_t out[3])
{
    if (info->biCompression == BMP_BI_BITFIELDS && info->biClrUsed == 0) {
        std::memcpy(out, info + 1, 3 * sizeof(uint32_t));
        return;
    }
    out[0] = 0x7C00;
    out[1] = 0x03E0;
    out[2] = 0x001F;
}

const uint8_t* colour_table(const bmpInfoTy* info) { return reinterpret_cast<const uint8_t*>(info + 1); }

uint32_t table_entries(const bmpInfoTy* info)
{
    const uint32_t n = bmpPalColors(info);
    return n > 256 ? 256 : n;
}

} // namespace

void dibPalTo16(uint16_t table[256], const uint8_t* colourTable, uint32_t colours, const uint32_t masks[3])
{
    const Masks16 m(masks);
    for (uint32_t i = 0; i < 256; ++i) {
        const uint8_t* q = colourTable + 4 * i;
        table[i] = i < colours ? m.pel(q[2], q[1], q[0]) : 0;
    }
}

void dibConv8to16(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, int width, int height,
    const uint16_t table[256])
{
    auto* d = static_cast<uint8_t*>(dst);
    const auto* s = static_cast<const uint8_t*>(src);
    for (int y = 0; y < height; ++y, d += dstStride, s += srcStride) {
        for (int x = 0; x < width; ++x) {
            const uint16_t pel = table[s[x]];
            std::memcpy(d + 2 * x, &pel, 2);
        }
    }
}

void dibConv8to24(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, int width, int height,
    const uint8_t* colourTable, uint32_t colours)
{
    auto* d = static_cast<uint8_t*>(dst);
    const auto* s = static_cast<const uint8_t*>(src);
    for (int y = 0; y < height; ++y, d += dstStride, s += srcStride) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = d + 3 * x;
            if (s[x] < colours) {
                std::memcpy(p, colourTable + 4 * s[x], 3);
            } else {
                p[0] = p[1] = p[2] = 0;
            }
        }
    }
}

void dibConv24to16(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, int width, int height,
    const uint32_t masks[3])
{
    const Masks16 m(masks);
    auto* d = static_cast<uint8_t*>(dst);
    const auto* s = static_cast<const uint8_t*>(src);
    for (int y = 0; y < height; ++y, d += dstStride, s += srcStride) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = s + 3 * x;
            const uint16_t pel = m.pel(p[2], p[1], p[0]);
            std::memcpy(d + 2 * x, &pel, 2);
        }
    }
}

bmpInfoTy* dibConvert(bmpInfoTy* destination, void* destinationBits, int dx, int dy, int destinationBitCount,
    const bmpInfoTy* source, const void* sourceBits, int sx, int sy, int sourceBitCount, int width, int height)
{
    if (!source || source->biBitCount != sourceBitCount
        || (destination && destination->biBitCount != destinationBitCount)) {
        dbgBreakOnRetry(errReport(ERR_BAD_ARG));
        return nullptr;
    }
    const int from = sourceBitCount, to = destinationBitCount;
    if (!((from == 8 && (to == 16 || to == 24)) || (from == 24 && to == 16))) {
        dbgBreakOnRetry(errReport(ERR_NOT_IMPL));
        return nullptr;
    }
    if (width < 1 || height < 1)
        return nullptr;
    bmpInfoTy* created = nullptr;
    if (!destination) {
        created = destination = bmpInfoCreate(width, height, to, to == 16 ? 3 : 0, 1);
        if (!destination)
            return nullptr;
        destinationBits = nullptr;
        dx = dy = 0;
    }
    if (!destinationBits)
        destinationBits = bmpBits(destination);
    if (!sourceBits)
        sourceBits = bmpBits(source);
    if (!dibClip(destination, &dx, &dy, source, &sx, &sy, &width, &height)) {
        memFree(created);
        return nullptr;
    }
    uint8_t* d = dibRow(destination, destinationBits, dy) + static_cast<size_t>(dx) * (to / 8);
    const uint8_t* s = dibRow(source, sourceBits, sy) + static_cast<size_t>(sx) * (from / 8);
    const ptrdiff_t ds = dibStep(destination), ss = dibStep(source);
    if (to == 16) {
        uint32_t masks[3];
        masks_of(destination, masks);
        if (from == 8) {
            uint16_t table[256];
            dibPalTo16(table, colour_table(source), table_entries(source), masks);
            dibConv8to16(d, ds, s, ss, width, height, table);
        } else {
            dibConv24to16(d, ds, s, ss, width, height, masks);
        }
    } else {
        dibConv8to24(d, ds, s, ss, width, height, colour_table(source), table_entries(source));
    }
    return destination;
}
