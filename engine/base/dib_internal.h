// Row addressing shared by the bitmap units of engine/base.
#pragma once

#include "engine/base/bmp.h"
#include "engine/base/mem.h"

#include <cstdlib>

inline uint32_t dibRows(const bmpInfoTy* info) { return static_cast<uint32_t>(std::abs(int64_t { info->biHeight })); }

// Address of row y (0 = top) and the step to the row below it.
inline uint8_t* dibRow(const bmpInfoTy* info, const void* bits, int y)
{
    const size_t stride = bmpStride(info);
    const size_t index = info->biHeight > 0 ? dibRows(info) - 1 - static_cast<uint32_t>(y) : static_cast<uint32_t>(y);
    return static_cast<uint8_t*>(const_cast<void*>(bits)) + index * stride;
}
inline ptrdiff_t dibStep(const bmpInfoTy* info)
{
    const auto stride = static_cast<ptrdiff_t>(bmpStride(info));
    return info->biHeight > 0 ? -stride : stride;
}

// bmpLoad on a BMP file already in memory.
[[nodiscard]] bmpInfoTy* bmpLoadBytes(const uint8_t* data, size_t length, int x, int y, int width, int height);
