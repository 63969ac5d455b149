// Pixel format ids, their sizes and the conversion of a pixel value by id.
//
// A pixel value handed around by id is a u32 holding the pixel's bytes as
// they lie in memory: an Rgb888 pixel is 0x00RRGGBB, a 16-bit pixel sits in
// the low 16 bits, a Pal8 pixel is the palette index.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarn::g {

namespace format_id {
inline constexpr uint32_t none = 0;
inline constexpr uint32_t rgb888 = 1;
inline constexpr uint32_t rgbx8888 = 2;
inline constexpr uint32_t rgba8888 = 3;
inline constexpr uint32_t rgb565 = 4;
inline constexpr uint32_t rgbx5551 = 5;
inline constexpr uint32_t rgba5551 = 6;
inline constexpr uint32_t rgbx4444 = 7;
inline constexpr uint32_t rgba4444 = 8;
inline constexpr uint32_t pal8 = 9;
inline constexpr uint32_t raw16 = 10;
inline constexpr uint32_t raw32 = 11;
inline constexpr uint32_t count = 12;
} // namespace format_id

// Bytes of one pixel for ids 0 to 11 (4, 3, 4, 4, 2, 2, 2, 2, 2, 1, 2, 4; the
// empty format 0 counts 4). Ids above 11 have no pixels and give 0.
[[nodiscard]] size_t bytes_per_pixel(uint32_t id);

// Converts a pixel value of a direct-colour format (ids 1 to 8) into another
// one. x bits of the result are 0; a value converted into its own format is
// returned as it is, except that Rgbx8888 drops its x byte. Any other source
// or target id gives 0.
[[nodiscard]] uint32_t convert_pixel(uint32_t source_id, uint32_t value, uint32_t target_id);

// The operation slot an image falls into when operations dispatch on its
// format. The values are the slot numbers of the operation interface; an
// image with a palette is in the palette slot whatever its id.
enum class FormatSlot : uint8_t {
    none = 0,
    palette = 1,
    pal8 = 2,
    raw16 = 3,
    raw32 = 4,
    rgbx4444 = 5,
    rgba4444 = 6,
    rgbx5551 = 7,
    rgba5551 = 8,
    rgb565 = 9,
    rgb888 = 10,
    rgba8888 = 11,
    rgbx8888 = 12,
};
inline constexpr size_t format_slot_count = 13;

[[nodiscard]] FormatSlot slot_of_format_id(uint32_t id);
[[nodiscard]] const char* slot_name(FormatSlot slot);

} // namespace quarn::g
