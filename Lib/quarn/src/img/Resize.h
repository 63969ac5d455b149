// The choice of resampling routine for a resize: by the target's format id
// (which is the source's), the mode and whether the source has a colour
// key. Image::resize and Image::resize_from (Image.h) are the way in.
#pragma once

#include "img/Image.h"
#include "img/ResizeMode.h"

#include <cstdint>

namespace quarn::g {

// Both resample the locked source into the locked target of the given size,
// writing every target pixel. Modes 1 to 4 average areas for the
// direct-colour formats; mode 0 and every palette image scale by nearest
// neighbour; formats without channels (none, Raw16, Raw32) and modes of 5 or
// more have no resampling and leave the target zeroed. The sizes must be
// positive; source is read for its width and height only.
//
// resample_key leaves the source's key pixel out of the averages (and
// writes it where a footprint holds nothing else); resample ignores key.
void resample_key(int32_t width, int32_t height, ResizeMode mode, const Image::Lock& target,
    const Image::Lock& source_lock, uint32_t key, const PelFmt& fmt, const Image& source);
void resample(int32_t width, int32_t height, ResizeMode mode, const Image::Lock& target, const Image::Lock& source_lock,
    uint32_t key, const PelFmt& fmt, const Image& source);

} // namespace quarn::g
