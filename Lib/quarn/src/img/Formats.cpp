#include "img/Formats.h"

#include "img/Pixels.h"

namespace quarn::g {

size_t bytes_per_pixel(uint32_t id)
{
    static constexpr uint8_t table[format_id::count] = { 4, 3, 4, 4, 2, 2, 2, 2, 2, 1, 2, 4 };
    return id < format_id::count ? table[id] : 0;
}

namespace {

template <class S, class T>
uint32_t convert_value(uint32_t value)
{
    T target;
    target = S(value);
    return target.word();
}

template <class S>
uint32_t convert_from(uint32_t value, uint32_t target_id)
{
    if (target_id == S::id) {
        if constexpr (S::id == format_id::rgbx8888)
            return value & 0x00FFFFFF;
        else
            return value;
    }
    switch (target_id) {
    case format_id::rgb888:
        return convert_value<S, Rgb888>(value);
    case format_id::rgbx8888:
        return convert_value<S, Rgbx8888>(value);
    case format_id::rgba8888:
        return convert_value<S, Rgba8888>(value);
    case format_id::rgb565:
        return convert_value<S, Rgb565>(value);
    case format_id::rgbx5551:
        return convert_value<S, Rgbx5551>(value);
    case format_id::rgba5551:
        return convert_value<S, Rgba5551>(value);
    case format_id::rgbx4444:
        return convert_value<S, Rgbx4444>(value);
    case format_id::rgba4444:
        return convert_value<S, Rgba4444>(value);
    default:
        return 0;
    }
}

} // namespace

uint32_t convert_pixel(uint32_t source_id, uint32_t value, uint32_t target_id)
{
    switch (source_id) {
    case format_id::rgb888:
        return convert_from<Rgb888>(value, target_id);
    case format_id::rgbx8888:
        return convert_from<Rgbx8888>(value, target_id);
    case format_id::rgba8888:
        return convert_from<Rgba8888>(value, target_id);
    case format_id::rgb565:
        return convert_from<Rgb565>(value, target_id);
    case format_id::rgbx5551:
        return convert_from<Rgbx5551>(value, target_id);
    case format_id::rgba5551:
        return convert_from<Rgba5551>(value, target_id);
    case format_id::rgbx4444:
        return convert_from<Rgbx4444>(value, target_id);
    case format_id::rgba4444:
        return convert_from<Rgba4444>(value, target_id);
    default:
        return 0;
    }
}

FormatSlot slot_of_format_id(uint32_t id)
{
    static constexpr FormatSlot slots[format_id::count] = {
        FormatSlot::none,
        FormatSlot::rgb888,
        FormatSlot::rgbx8888,
        FormatSlot::rgba8888,
        FormatSlot::rgb565,
        FormatSlot::rgbx5551,
        FormatSlot::rgba5551,
        FormatSlot::rgbx4444,
        FormatSlot::rgba4444,
        FormatSlot::pal8,
        FormatSlot::raw16,
        FormatSlot::raw32,
    };
    return id < format_id::count ? slots[id] : FormatSlot::none;
}

const char* slot_name(FormatSlot slot)
{
    static constexpr const char* names[format_slot_count] = {
        "none",
        "palette",
        "pal8",
        "raw16",
        "raw32",
        "rgbx4444",
        "rgba4444",
        "rgbx5551",
        "rgba5551",
        "rgb565",
        "rgb888",
        "rgba8888",
        "rgbx8888",
    };
    const auto index = static_cast<size_t>(slot);
    return index < format_slot_count ? names[index] : "?";
}

} // namespace quarn::g
