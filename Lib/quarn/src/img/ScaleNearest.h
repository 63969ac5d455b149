// Nearest-neighbour scaling: each target pixel takes the source pixel under
// its centre. Positions are 16.16 fixed point; the step from one target
// pixel to the next is (source size << 16) / target size, truncated, and
// the first centre lies half a step in.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarn::g {

// Bytes is the pixel size: 1 (Pal8), 2 (the 16-bit formats), 3 (Rgb888) or
// 4 (Rgbx8888, Rgba8888); pixels are copied whole, whatever they hold.
// Sizes must lie in 1 to 32767 (nothing is written otherwise); pitches may
// be negative.
template <size_t Bytes>
void scale_nearest(uint8_t* target, int32_t target_pitch, int32_t width, int32_t height, const uint8_t* source,
    int32_t source_pitch, int32_t source_width, int32_t source_height);

extern template void scale_nearest<1>(uint8_t*, int32_t, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t);
extern template void scale_nearest<2>(uint8_t*, int32_t, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t);
extern template void scale_nearest<3>(uint8_t*, int32_t, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t);
extern template void scale_nearest<4>(uint8_t*, int32_t, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t);

} // namespace quarn::g
