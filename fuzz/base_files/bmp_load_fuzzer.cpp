// BMP loading from arbitrary bytes. The whole input is the file, so real
// BMP files seed the corpus as they are; the rectangle to load (x, y,
// width, height, signed 16-bit values) comes from its last eight bytes,
// which lie after the pixels in most files. Every pixel of a loaded block
// is read, so a block whose header promises more than it holds shows up
// under ASan.
#include "engine/base/dib_internal.h"

#include <cstdlib>

namespace {

int16_t s16(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    const uint8_t* rect = data + size - 8;
    bmpInfoTy* info = bmpLoadBytes(data, size, s16(rect), s16(rect + 2), s16(rect + 4), s16(rect + 6));
    if (!info)
        return 0;
    unsigned sum = 0;
    const size_t stride = bmpStride(info);
    for (uint32_t y = 0; y < dibRows(info); ++y) {
        const uint8_t* row = dibRow(info, bmpBits(info), static_cast<int>(y));
        for (size_t i = 0; i < stride; ++i)
            sum += row[i];
    }
    // Conversions of what was loaded, where the depth allows them.
    if (info->biBitCount == 8 || info->biBitCount == 24) {
        bmpInfoTy* c = dibConvert(nullptr, nullptr, 0, 0, 16, info, nullptr, 0, 0, info->biBitCount, info->biWidth,
                                  static_cast<int>(dibRows(info)));
        memFree(c);
    }
    memFree(info);
    if (sum == 0xFFFFFFFF)
        std::abort(); // keeps the reads
    return 0;
}
