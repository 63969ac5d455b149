// Device-independent bitmaps in memory and BMP files.
#pragma once

#include "engine/base/err.h"

#include <cstddef>
#include <cstdint>

// Device-independent bitmaps: one block holding the 40-byte header, the
// colour table (or three bit-field masks) and the rows. Rows are padded to
// 4 bytes; a positive height stores the rows bottom-up. Row y = 0 is the
// top of the picture either way.

inline constexpr uint32_t BMP_BI_RGB = 0;
inline constexpr uint32_t BMP_BI_BITFIELDS = 3;

// BITMAPINFOHEADER, as it is in files and in memory (little-endian host).
struct bmpInfoTy {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(bmpInfoTy) == 40, "BITMAPINFOHEADER is 40 bytes");

struct rectTy {
    int32_t x, y, w, h;
};

// The rectangle (clipped to the picture) of a BMP file as a new block
// (free with memFree). A malformed file is reported as ERR_DATA; null.
[[nodiscard]] bmpInfoTy* bmpLoad(const char* name, int x, int y, int width, int height);
// A new zeroed block. `colours` above 256 count as 0; for up to 8 bits,
// 0 colours makes a full table (2^bits entries). 16 or 32 bits with 3
// colours store the masks 5-6-5 / 8-8-8 and BI_BITFIELDS. Null on failure
// (reported: ERR_BAD_ARG, ERR_NO_MEMORY).
[[nodiscard]] bmpInfoTy* bmpInfoCreate(int width, int height, int bitCount, int colours, int withBits);
uint32_t bmpPalColors(const bmpInfoTy* info); // colour-table entries
size_t bmpPalSize(const bmpInfoTy* info);     // colour-table (or mask) bytes
uint8_t* bmpBits(bmpInfoTy* info);
const uint8_t* bmpBits(const bmpInfoTy* info);
size_t bmpStride(const bmpInfoTy* info);      // bytes per row, padded

// Copies a rectangle between pictures of the same depth, or converts
// 8->16, 8->24, 24->16 (through dibConvert). `destination` null makes a new
// block of the clipped size. Bits null means the block's own. The result
// is the destination block, or null (nothing to copy, or a failure:
// ERR_NOT_IMPL for other depth pairs, reported). For 1 and 4 bits, x
// positions are taken in whole bytes.
bmpInfoTy* dibCopy(bmpInfoTy* destination, void* destinationBits, const bmpInfoTy* source, const void* sourceBits,
                   int sx, int sy, int width, int height, int dx, int dy);
bmpInfoTy* dibConvert(bmpInfoTy* destination, void* destinationBits, int dx, int dy, int destinationBitCount,
                      const bmpInfoTy* source, const void* sourceBits, int sx, int sy, int sourceBitCount, int width,
                      int height);
// Clips a copy of (sx, sy, width, height) to (dx, dy) against both
// pictures, moving both positions alike. 1 when something is left.
int dibClip(const bmpInfoTy* destination, int* dx, int* dy, const bmpInfoTy* source, int* sx, int* sy, int* width,
            int* height);

// Row converters; strides may be negative. Masks: red, green, blue of a
// 16-bit pel. A colour table is RGBQUAD entries (blue, green, red, 0).
void dibConv8to16(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, int width, int height,
                  const uint16_t table[256]);
void dibConv8to24(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, int width, int height,
                  const uint8_t* colourTable, uint32_t colours);
void dibConv24to16(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, int width, int height,
                   const uint32_t masks[3]);
void dibPalTo16(uint16_t table[256], const uint8_t* colourTable, uint32_t colours, const uint32_t masks[3]);

// 1 and the overlap in `out` when a and b overlap; else 0. Edges that only
// touch do not overlap.
int rectIntersect(rectTy* out, const rectTy* a, const rectTy* b);
void rowCopy(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, size_t bytesPerRow, int rows);
// As rowCopy for rows that may overlap.
void rowMove(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, size_t bytesPerRow, int rows);
