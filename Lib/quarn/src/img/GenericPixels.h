// Run-time pixel handling for the generic kernels: the layouts of the
// direct-colour formats as data, conversion by arithmetic instead of the
// width tables, byte-wise loads and stores, and the pixel walk of a
// two-image run with step sizes known only at run time.
#pragma once

#include "img/Channels.h"
#include "img/Dispatch.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quarn::g::generic {

struct Layout {
    size_t bytes = 0;
    Channel red, green, blue, alpha;
    uint32_t x_bits = 0;
    bool direct = false;
};

// The layout of any id; ids without channels have direct = false.
[[nodiscard]] const Layout& layout(uint32_t id);

// The bits of a pixel that a colour-key test compares: all but the x bits.
[[nodiscard]] uint32_t key_mask(uint32_t id);

// Converts red, green, blue (and alpha) of a direct-colour value into the
// target's fields, x bits 0.
[[nodiscard]] uint32_t convert(uint32_t source_id, uint32_t value, uint32_t target_id);

inline uint32_t load(const uint8_t* at, size_t bytes)
{
    uint32_t value = 0;
    std::memcpy(&value, at, bytes);
    return value;
}

inline void store(uint8_t* at, size_t bytes, uint32_t value)
{
    std::memcpy(at, &value, bytes);
}

// Calls visit(target pixel, source pixel) for every pixel pair of the run,
// stepping by the given pixel sizes.
template <class Visit>
void for_each_pixel_pair(const BinaryRun& run, size_t target_bytes, size_t source_bytes, Visit&& visit)
{
    Image::Lock target(run.target, &run.target_rect, lock_mode::target);
    Image::Lock source(run.source, &run.source_rect, lock_mode::read);
    if (!target.pixels || !source.pixels)
        return;
    for (int32_t y = 0; y < run.source_rect.height(); ++y) {
        uint8_t* t = target.row(y);
        const uint8_t* s = source.row(y);
        for (int32_t x = 0; x < run.source_rect.width(); ++x, t += target_bytes, s += source_bytes)
            visit(t, s);
    }
}

} // namespace quarn::g::generic
