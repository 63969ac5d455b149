#include "img/ScaleNearest.h"

#include "img/ResizeMode.h"

#include <cstring>

namespace quarn::g {

template <size_t Bytes>
void scale_nearest(uint8_t* target, int32_t target_pitch, int32_t width, int32_t height, const uint8_t* source,
    int32_t source_pitch, int32_t source_width, int32_t source_height)
{
    if (width < 1 || height < 1 || source_width < 1 || source_height < 1 || source_width > resize_max_size
        || source_height > resize_max_size)
        return;
    const int32_t step_x = (source_width << 16) / width;
    const int32_t step_y = (source_height << 16) / height;
    // The positions stay below the source size << 16, but one step past the
    // last pixel may not fit 32 bits; 64-bit accumulators step there safely.
    int64_t row_position = step_y / 2;
    for (int32_t j = 0; j < height; ++j, row_position += step_y, target += target_pitch) {
        const uint8_t* row = source + ptrdiff_t(row_position >> 16) * source_pitch;
        uint8_t* t = target;
        int64_t position = step_x / 2;
        for (int32_t i = 0; i < width; ++i, position += step_x, t += Bytes)
            std::memcpy(t, row + ptrdiff_t(position >> 16) * ptrdiff_t(Bytes), Bytes);
    }
}

template void scale_nearest<1>(uint8_t*, int32_t, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t);
template void scale_nearest<2>(uint8_t*, int32_t, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t);
template void scale_nearest<3>(uint8_t*, int32_t, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t);
template void scale_nearest<4>(uint8_t*, int32_t, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t);

} // namespace quarn::g
