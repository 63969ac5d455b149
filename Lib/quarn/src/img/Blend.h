// Blending by 256ths, shared by the draw family (weight: the source pixel's
// own alpha) and the constant-alpha family (weight: one K for the whole
// operation).
//
// A weight w in 0..256 mixes each colour channel of the target t with the
// same channel of c as (c * w >> 8) + (t * (256 - w) >> 8): the two products
// are shifted separately, so 255 over 255 at w = 128 gives 254. The sum never
// passes the channel's maximum, so a channel never spills into its
// neighbour. Every bit outside the three colour fields (alpha, x) keeps the
// target's value.
//
// Each function comes twice: over a pixel structure for the kernels, and
// over a run-time layout for the generic kernels.
#pragma once

#include "img/GenericPixels.h"
#include "img/Pixels.h"

#include <algorithm>
#include <cstdint>

namespace quarn::g {

// K of an operation as a usable weight. Weights above 256 would let a
// channel overflow into the next field, so they count as 256.
constexpr uint32_t clamp_weight(uint32_t k)
{
    return std::min<uint32_t>(k, 256);
}

namespace detail {

constexpr uint32_t mix_field(Channel f, uint32_t t, uint32_t c, uint32_t w)
{
    return f.place(((f.read(c) * w) >> 8) + ((f.read(t) * (256 - w)) >> 8));
}

// t + floor((c - t) * w / 256) in one field; the shift of a negative
// product rounds toward minus infinity.
constexpr uint32_t approach_field(Channel f, uint32_t t, uint32_t c, uint32_t w)
{
    const int32_t tv = int32_t(f.read(t));
    const int32_t diff = int32_t(f.read(c)) - tv;
    return f.place(uint32_t(tv + ((diff * int32_t(w)) >> 8)));
}

} // namespace detail

// t's colour channels mixed with c's at weight w (0..256); c holds its
// channels in P's fields.
template <PixelStruct P>
constexpr uint32_t mix_colour(uint32_t t, uint32_t c, uint32_t w)
{
    constexpr uint32_t colour = P::red.field_mask() | P::green.field_mask() | P::blue.field_mask();
    if constexpr (P::red.bits == 8 && P::green.bits == 8 && P::blue.bits == 8) {
        // Red and blue in one multiply: each product is below 2^16, so the
        // two lanes never carry into each other and every lane is shifted
        // exactly as it would be alone.
        static_assert(P::blue.shift == 0 && P::green.shift == 8 && P::red.shift == 16);
        const uint32_t rest = 256 - w;
        const auto lanes = [](uint32_t v, uint32_t mask, uint32_t weight) {
            return (((v & mask) * weight) >> 8) & mask;
        };
        const uint32_t rb = lanes(t, 0x00FF00FF, rest) + lanes(c, 0x00FF00FF, w);
        const uint32_t g = lanes(t, 0x0000FF00, rest) + lanes(c, 0x0000FF00, w);
        return (t & ~colour) | rb | g;
    } else {
        return (t & ~colour) | detail::mix_field(P::red, t, c, w) | detail::mix_field(P::green, t, c, w)
            | detail::mix_field(P::blue, t, c, w);
    }
}

// The difference form: each colour channel of t moves toward c's by
// floor((c - t) * w / 256).
template <PixelStruct P>
constexpr uint32_t approach_colour(uint32_t t, uint32_t c, uint32_t w)
{
    constexpr uint32_t colour = P::red.field_mask() | P::green.field_mask() | P::blue.field_mask();
    return (t & ~colour) | detail::approach_field(P::red, t, c, w) | detail::approach_field(P::green, t, c, w)
        | detail::approach_field(P::blue, t, c, w);
}

// A source pixel's alpha on the scale 0 to 255 (an alpha bit is 0 or 255, a
// nibble n is 17 n).
template <PixelStruct P>
constexpr uint32_t alpha_255(uint32_t word)
{
    static_assert(P::alpha.bits != 0);
    return change_width<P::alpha.bits, 8>(P::alpha.read(word));
}

// The pixel-structure assignment of a source word into a target pixel: the
// result's x bits are old's.
template <PixelStruct T, PixelStruct S>
constexpr uint32_t assign_word(uint32_t old, uint32_t source)
{
    T pixel(old);
    pixel = S(source);
    return pixel.word();
}

namespace generic {

inline uint32_t colour_mask(const Layout& l)
{
    return l.red.field_mask() | l.green.field_mask() | l.blue.field_mask();
}

inline uint32_t mix_colour(const Layout& l, uint32_t t, uint32_t c, uint32_t w)
{
    return (t & ~colour_mask(l)) | detail::mix_field(l.red, t, c, w) | detail::mix_field(l.green, t, c, w)
        | detail::mix_field(l.blue, t, c, w);
}

inline uint32_t approach_colour(const Layout& l, uint32_t t, uint32_t c, uint32_t w)
{
    return (t & ~colour_mask(l)) | detail::approach_field(l.red, t, c, w) | detail::approach_field(l.green, t, c, w)
        | detail::approach_field(l.blue, t, c, w);
}

// Alpha of a value of a layout with alpha, on the scale 0 to 255.
inline uint32_t alpha_255(const Layout& l, uint32_t value)
{
    const uint32_t a = l.alpha.read(value);
    const uint32_t max = l.alpha.max();
    return (2 * a * 255 + max) / (2 * max);
}

// The pixel-structure assignment by id: x bits of old kept.
inline uint32_t assign_value(uint32_t target_id, uint32_t old, uint32_t source_id, uint32_t value)
{
    const uint32_t x_bits = layout(target_id).x_bits;
    return (convert(source_id, value, target_id) & ~x_bits) | (old & x_bits);
}

} // namespace generic

} // namespace quarn::g
