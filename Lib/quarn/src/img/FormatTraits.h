// How operation kernels reach pixels in memory, per format: the pixel size,
// loads and stores through memcpy (rows need not be aligned to the word
// size), and which bits a colour-key test compares.
#pragma once

#include "img/Formats.h"
#include "img/Pixels.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace quarn::g {

// A direct-colour format, described by its pixel structure.
template <PixelStruct P>
struct DirectTraits {
    using Pixel = P;
    static constexpr uint32_t id = P::id;
    static constexpr size_t bytes = sizeof(P);
    using Word = std::conditional_t<bytes == 2, uint16_t, uint32_t>;
    static constexpr uint32_t pixel_mask = bytes == 4 ? 0xFFFFFFFF : (1u << (8 * bytes)) - 1;
    // The key test ignores x bits and compares everything else, alpha
    // included.
    static constexpr uint32_t key_mask = pixel_mask & ~P::x_bits;

    // Whole words are moved as words of their own width and 3-byte pixels as
    // single bytes; partial copies into a wider word would keep the
    // compiler from vectorising the kernels.
    static uint32_t load_word(const uint8_t* at)
    {
        if constexpr (bytes == 3) {
            return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16;
        } else {
            Word word;
            std::memcpy(&word, at, bytes);
            return word;
        }
    }
    static void store_word(uint8_t* at, uint32_t word)
    {
        if constexpr (bytes == 3) {
            at[0] = uint8_t(word);
            at[1] = uint8_t(word >> 8);
            at[2] = uint8_t(word >> 16);
        } else {
            const Word narrow = static_cast<Word>(word);
            std::memcpy(at, &narrow, bytes);
        }
    }
    static P load(const uint8_t* at) { return P(load_word(at)); }
    static void store(uint8_t* at, const P& pixel) { store_word(at, pixel.word()); }
};

// One palette index byte. KeyMask is the part of the key that the index is
// compared with: a palette source compares the whole key (so a key of 256 or
// more matches no index), an index-to-index copy only the key's low byte.
template <uint32_t KeyMask>
struct IndexTraits {
    static constexpr uint32_t id = format_id::pal8;
    static constexpr size_t bytes = 1;
    static constexpr uint32_t key_mask = KeyMask;

    static uint32_t load_word(const uint8_t* at) { return *at; }
    static void store_word(uint8_t* at, uint32_t word) { *at = static_cast<uint8_t>(word); }
};
using PaletteIndexTraits = IndexTraits<0xFFFFFFFF>;
using Pal8IndexTraits = IndexTraits<0xFF>;

// The traits of a direct-colour slot.
template <FormatSlot Slot>
struct SlotTraitsOf;
template <>
struct SlotTraitsOf<FormatSlot::rgbx4444> {
    using type = DirectTraits<Rgbx4444>;
};
template <>
struct SlotTraitsOf<FormatSlot::rgba4444> {
    using type = DirectTraits<Rgba4444>;
};
template <>
struct SlotTraitsOf<FormatSlot::rgbx5551> {
    using type = DirectTraits<Rgbx5551>;
};
template <>
struct SlotTraitsOf<FormatSlot::rgba5551> {
    using type = DirectTraits<Rgba5551>;
};
template <>
struct SlotTraitsOf<FormatSlot::rgb565> {
    using type = DirectTraits<Rgb565>;
};
template <>
struct SlotTraitsOf<FormatSlot::rgb888> {
    using type = DirectTraits<Rgb888>;
};
template <>
struct SlotTraitsOf<FormatSlot::rgba8888> {
    using type = DirectTraits<Rgba8888>;
};
template <>
struct SlotTraitsOf<FormatSlot::rgbx8888> {
    using type = DirectTraits<Rgbx8888>;
};
template <FormatSlot Slot>
using SlotTraits = typename SlotTraitsOf<Slot>::type;

constexpr bool is_direct_slot(FormatSlot slot)
{
    return slot >= FormatSlot::rgbx4444 && slot <= FormatSlot::rgbx8888;
}

} // namespace quarn::g
