// The eight direct-colour pixel structures. Each holds one pixel's value and
// describes its own layout (format id, channel fields, bits that carry
// nothing), so that conversions, operation kernels and collectors are written
// once over that description.
//
// Assigning one structure from another converts: red, green and blue are
// each changed in width (Channels.h); a target with alpha takes the source's
// alpha changed in width, or full alpha from a source without one; a
// target's x bits keep what they held. Assigning from the same structure
// copies the whole value.
//
// The structures are values, not views of pixel memory: kernels load and
// store them through memcpy (FormatTraits.h), because pixel rows need not be
// aligned to the word size.
#pragma once

#include "img/Channels.h"

#include <bit>
#include <concepts>
#include <cstdint>

namespace quarn::g {

static_assert(std::endian::native == std::endian::little, "pixel words are little-endian in memory");

template <class P>
concept PixelStruct = P::is_pixel_struct;

template <class T, class S>
constexpr void convert_pixel_into(T& target, const S& source);

// Base of the structures whose pixel is one 16-bit or 32-bit word.
template <class Self, class W>
struct PackedPixel {
    using Word = W;
    static constexpr bool is_pixel_struct = true;

    Word value = 0;

    constexpr PackedPixel() = default;
    constexpr explicit PackedPixel(uint32_t word) : value(static_cast<Word>(word)) { }
    constexpr uint32_t word() const { return value; }
    constexpr void set_word(uint32_t word) { value = static_cast<Word>(word); }
    constexpr bool operator==(const PackedPixel&) const = default;

    template <PixelStruct S>
        requires(!std::same_as<S, Self>)
    constexpr Self& operator=(const S& source)
    {
        Self& self = static_cast<Self&>(*this);
        convert_pixel_into(self, source);
        return self;
    }
};

// Bytes B, G, R in memory; the word is 0x00RRGGBB.
struct Rgb888 {
    static constexpr bool is_pixel_struct = true;
    static constexpr uint32_t id = 1;
    static constexpr Channel red { 16, 8 }, green { 8, 8 }, blue { 0, 8 }, alpha { 0, 0 };
    static constexpr uint32_t x_bits = 0;

    uint8_t b = 0, g = 0, r = 0;

    constexpr Rgb888() = default;
    constexpr explicit Rgb888(uint32_t word) { set_word(word); }
    constexpr uint32_t word() const { return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16; }
    constexpr void set_word(uint32_t word)
    {
        b = uint8_t(word);
        g = uint8_t(word >> 8);
        r = uint8_t(word >> 16);
    }
    constexpr bool operator==(const Rgb888&) const = default;
    template <PixelStruct S>
        requires(!std::same_as<S, Rgb888>)
    constexpr Rgb888& operator=(const S& source)
    {
        convert_pixel_into(*this, source);
        return *this;
    }
};
static_assert(sizeof(Rgb888) == 3);

// Word 0xXXRRGGBB; the x byte carries nothing.
struct Rgbx8888 : PackedPixel<Rgbx8888, uint32_t> {
    static constexpr uint32_t id = 2;
    static constexpr Channel red { 16, 8 }, green { 8, 8 }, blue { 0, 8 }, alpha { 0, 0 };
    static constexpr uint32_t x_bits = 0xFF000000;
    using PackedPixel::PackedPixel;
    using PackedPixel::operator=;
};

// Word 0xAARRGGBB.
struct Rgba8888 : PackedPixel<Rgba8888, uint32_t> {
    static constexpr uint32_t id = 3;
    static constexpr Channel red { 16, 8 }, green { 8, 8 }, blue { 0, 8 }, alpha { 24, 8 };
    static constexpr uint32_t x_bits = 0;
    using PackedPixel::PackedPixel;
    using PackedPixel::operator=;
};

struct Rgb565 : PackedPixel<Rgb565, uint16_t> {
    static constexpr uint32_t id = 4;
    static constexpr Channel red { 11, 5 }, green { 5, 6 }, blue { 0, 5 }, alpha { 0, 0 };
    static constexpr uint32_t x_bits = 0;
    using PackedPixel::PackedPixel;
    using PackedPixel::operator=;
};

struct Rgbx5551 : PackedPixel<Rgbx5551, uint16_t> {
    static constexpr uint32_t id = 5;
    static constexpr Channel red { 10, 5 }, green { 5, 5 }, blue { 0, 5 }, alpha { 0, 0 };
    static constexpr uint32_t x_bits = 0x8000;
    using PackedPixel::PackedPixel;
    using PackedPixel::operator=;
};

struct Rgba5551 : PackedPixel<Rgba5551, uint16_t> {
    static constexpr uint32_t id = 6;
    static constexpr Channel red { 10, 5 }, green { 5, 5 }, blue { 0, 5 }, alpha { 15, 1 };
    static constexpr uint32_t x_bits = 0;
    using PackedPixel::PackedPixel;
    using PackedPixel::operator=;
};

struct Rgbx4444 : PackedPixel<Rgbx4444, uint16_t> {
    static constexpr uint32_t id = 7;
    static constexpr Channel red { 8, 4 }, green { 4, 4 }, blue { 0, 4 }, alpha { 0, 0 };
    static constexpr uint32_t x_bits = 0xF000;
    using PackedPixel::PackedPixel;
    using PackedPixel::operator=;
};

struct Rgba4444 : PackedPixel<Rgba4444, uint16_t> {
    static constexpr uint32_t id = 8;
    static constexpr Channel red { 8, 4 }, green { 4, 4 }, blue { 0, 4 }, alpha { 12, 4 };
    static constexpr uint32_t x_bits = 0;
    using PackedPixel::PackedPixel;
    using PackedPixel::operator=;
};

template <class T, class S>
constexpr void convert_pixel_into(T& target, const S& source)
{
    const uint32_t v = source.word();
    uint32_t out = T::red.place(change_width<S::red.bits, T::red.bits>(S::red.read(v)))
        | T::green.place(change_width<S::green.bits, T::green.bits>(S::green.read(v)))
        | T::blue.place(change_width<S::blue.bits, T::blue.bits>(S::blue.read(v)));
    if constexpr (T::alpha.bits != 0) {
        if constexpr (S::alpha.bits != 0)
            out |= T::alpha.place(change_width<S::alpha.bits, T::alpha.bits>(S::alpha.read(v)));
        else
            out |= T::alpha.field_mask();
    }
    target.set_word((target.word() & T::x_bits) | out);
}

} // namespace quarn::g
