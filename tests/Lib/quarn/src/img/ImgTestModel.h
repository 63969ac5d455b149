// A plain model of the pixel formats for the image tests: the layouts as
// written in the format table, and the conversions computed in floating
// point, independent of the library's tables.
#pragma once

#include "img/img.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace img_test {

struct Field {
    int shift;
    int bits;
};

struct Layout {
    int bytes;
    Field red, green, blue, alpha;
    uint32_t x_bits;
};

// Ids 1 to 8, by the format table.
inline const Layout& layout(uint32_t id)
{
    static const Layout layouts[9] = {
        {},
        { 3, { 16, 8 }, { 8, 8 }, { 0, 8 }, { 0, 0 }, 0 },
        { 4, { 16, 8 }, { 8, 8 }, { 0, 8 }, { 0, 0 }, 0xFF000000 },
        { 4, { 16, 8 }, { 8, 8 }, { 0, 8 }, { 24, 8 }, 0 },
        { 2, { 11, 5 }, { 5, 6 }, { 0, 5 }, { 0, 0 }, 0 },
        { 2, { 10, 5 }, { 5, 5 }, { 0, 5 }, { 0, 0 }, 0x8000 },
        { 2, { 10, 5 }, { 5, 5 }, { 0, 5 }, { 15, 1 }, 0 },
        { 2, { 8, 4 }, { 4, 4 }, { 0, 4 }, { 0, 0 }, 0xF000 },
        { 2, { 8, 4 }, { 4, 4 }, { 0, 4 }, { 12, 4 }, 0 },
    };
    return layouts[id];
}

inline uint32_t read_field(uint32_t value, Field f)
{
    return (value >> f.shift) & ((1u << f.bits) - 1);
}

// floor(v * (2^m - 1) / (2^n - 1) + 1/2), in double.
inline uint32_t model_width(uint32_t v, int n, int m)
{
    if (n == m)
        return v;
    const double scaled = double(v) * double((1u << m) - 1) / double((1u << n) - 1);
    return uint32_t(std::floor(scaled + 0.5));
}

// Red, green, blue (and alpha) of the source in the target's fields, x bits 0.
inline uint32_t model_fields(uint32_t source_id, uint32_t value, uint32_t target_id)
{
    const Layout& s = layout(source_id);
    const Layout& t = layout(target_id);
    uint32_t out = model_width(read_field(value, s.red), s.red.bits, t.red.bits) << t.red.shift
        | model_width(read_field(value, s.green), s.green.bits, t.green.bits) << t.green.shift
        | model_width(read_field(value, s.blue), s.blue.bits, t.blue.bits) << t.blue.shift;
    if (t.alpha.bits) {
        const uint32_t a = s.alpha.bits ? model_width(read_field(value, s.alpha), s.alpha.bits, t.alpha.bits)
                                        : (1u << t.alpha.bits) - 1;
        out |= a << t.alpha.shift;
    }
    return out;
}

// The by-value conversion: x bits 0; the same format copies (Rgbx8888 drops
// its x byte).
inline uint32_t model_convert(uint32_t source_id, uint32_t value, uint32_t target_id)
{
    if (source_id == target_id)
        return source_id == 2 ? value & 0x00FFFFFF : value;
    return model_fields(source_id, value, target_id);
}

inline uint32_t pixel_mask(uint32_t id)
{
    const int bytes = layout(id).bytes;
    return bytes == 4 ? 0xFFFFFFFF : (1u << (8 * bytes)) - 1;
}

// The bits a colour-key test compares, by the source format's key table.
inline uint32_t model_key_mask(uint32_t id)
{
    switch (id) {
    case 1:
    case 2:
        return 0x00FFFFFF;
    case 3:
        return 0xFFFFFFFF;
    case 5:
        return 0x7FFF;
    case 7:
        return 0x0FFF;
    default:
        return 0xFFFF;
    }
}

// What assigning one direct-colour pixel does, by the family's member table
// (rows targets, columns sources, in the order 2, 3, 1, 4, 5, 6, 7, 8).
enum class Cell { whole, opaque, bgr, conv };
inline Cell model_cell(uint32_t target_id, uint32_t source_id)
{
    static const int order[9] = { -1, 2, 0, 1, 3, 4, 5, 6, 7 };
    using enum Cell;
    static const Cell table[8][8] = {
        { whole, whole, bgr, conv, conv, conv, conv, conv },
        { opaque, whole, conv, conv, conv, conv, conv, conv },
        { bgr, bgr, bgr, conv, conv, conv, conv, conv },
        { conv, conv, conv, whole, conv, conv, conv, conv },
        { conv, conv, conv, conv, whole, conv, conv, conv },
        { conv, conv, conv, conv, conv, whole, conv, conv },
        { conv, conv, conv, conv, conv, conv, whole, conv },
        { conv, conv, conv, conv, conv, conv, conv, whole },
    };
    return table[order[target_id]][order[source_id]];
}

// The new target pixel when a direct-colour source pixel is assigned.
inline uint32_t model_assign(uint32_t target_id, uint32_t old, uint32_t source_id, uint32_t value)
{
    switch (model_cell(target_id, source_id)) {
    case Cell::whole:
        return value;
    case Cell::opaque:
        return value | 0xFF000000;
    case Cell::bgr:
        return (old & 0xFF000000) | (value & 0x00FFFFFF);
    case Cell::conv:
        break;
    }
    return model_fields(source_id, value, target_id) | (old & layout(target_id).x_bits);
}

// Calls f with a value of each of the eight pixel structures.
template <class F>
void for_each_pixel_type(F&& f)
{
    f(quarn::g::Rgb888 {});
    f(quarn::g::Rgbx8888 {});
    f(quarn::g::Rgba8888 {});
    f(quarn::g::Rgb565 {});
    f(quarn::g::Rgbx5551 {});
    f(quarn::g::Rgba5551 {});
    f(quarn::g::Rgbx4444 {});
    f(quarn::g::Rgba4444 {});
}

// The library raises "NOT IMPLEMENTED" through its exception family; the
// tests look only at the message.
inline bool throws_not_implemented(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        return std::string(e.what()).find("NOT IMPLEMENTED") != std::string::npos;
    }
    return false;
}

} // namespace img_test
