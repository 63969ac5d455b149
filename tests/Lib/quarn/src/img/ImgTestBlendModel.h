// The blend rules of the draw and constant-alpha families, written plainly
// from their rule tables on top of the test's format model.
#pragma once

#include "ImgTestModel.h"

#include <cmath>
#include <cstdint>

namespace img_test {

inline uint32_t colour_mask(uint32_t id)
{
    const Layout& l = layout(id);
    auto mask = [](Field f) { return ((1u << f.bits) - 1) << f.shift; };
    return mask(l.red) | mask(l.green) | mask(l.blue);
}

// Each colour channel: floor(c * w / 256) + floor(t * (256 - w) / 256);
// everything else of t stays.
inline uint32_t model_mix(uint32_t id, uint32_t t, uint32_t c, uint32_t w)
{
    const Layout& l = layout(id);
    uint32_t out = t & ~colour_mask(id);
    for (Field f : { l.red, l.green, l.blue })
        out |= (read_field(c, f) * w / 256 + read_field(t, f) * (256 - w) / 256) << f.shift;
    return out;
}

// The pixel-structure assignment: converted fields, the target's x bits kept.
inline uint32_t model_structure_assign(uint32_t target_id, uint32_t old, uint32_t source_id, uint32_t value)
{
    if (target_id == source_id)
        return value;
    return model_fields(source_id, value, target_id) | (old & layout(target_id).x_bits);
}

// A source pixel with alpha drawn over a target pixel.
inline uint32_t model_draw(uint32_t target_id, uint32_t old, uint32_t source_id, uint32_t value)
{
    const Layout& s = layout(source_id);
    const uint32_t a = model_width(read_field(value, s.alpha), s.alpha.bits, 8);
    if (a == 0)
        return old;
    // An Rgba8888 source is copied byte for byte into 8-bit targets.
    const bool bytes = source_id == 3u && layout(target_id).red.bits == 8;
    if (a == 255) {
        if (bytes)
            return layout(target_id).bytes == 3 ? value & 0x00FFFFFF : value;
        return model_structure_assign(target_id, old, source_id, value);
    }
    return model_mix(target_id, old, bytes ? value : model_fields(source_id, value, target_id), a);
}

} // namespace img_test
