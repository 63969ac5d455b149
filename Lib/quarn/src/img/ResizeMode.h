// How Image::resize resamples a picture.
#pragma once

#include <cstdint>

namespace quarn::g {

// A plain integer enumeration, compared unsigned: values of 5 or more
// resample nothing (the resized picture is left zeroed).
enum ResizeMode : uint32_t {
    ResizeNearest = 0, // nearest neighbour; colour-keyed pixels are copied like the others
    ResizeAreaClamp = 1, // area average, edges held inside the picture in x and y
    ResizeAreaWrapX = 2, // area average, wrapping in x, held in y
    ResizeAreaWrapY = 3, // area average, held in x, wrapping in y
    ResizeAreaWrapXY = 4, // area average, wrapping in x and y
};

// Largest width or height that resizing handles: positions are 16.16 fixed
// point in signed 32-bit integers, so a size shifted left by 16 must fit.
inline constexpr int32_t resize_max_size = 32767;

} // namespace quarn::g
