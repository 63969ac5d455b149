// Changing the width of one colour channel: an n-bit value v becomes the
// m-bit value nearest to v scaled to the full range, rounded half up:
// floor(v * (2^m - 1) / (2^n - 1) + 1/2). Each pair of widths is a small
// table built at compile time, so a conversion is a lookup per channel;
// from 8 bits an exact division-free formula replaces the table.
#pragma once

#include <array>
#include <cstdint>

namespace quarn::g {

// One channel of a pixel word: its lowest bit and its width. A width of 0
// means the format has no such channel.
struct Channel {
    uint8_t shift = 0;
    uint8_t bits = 0;

    constexpr uint32_t max() const { return bits ? (1u << bits) - 1 : 0; }
    constexpr uint32_t field_mask() const { return max() << shift; }
    constexpr uint32_t read(uint32_t word) const { return (word >> shift) & max(); }
    constexpr uint32_t place(uint32_t value) const { return value << shift; }
};

namespace detail {

template <unsigned N, unsigned M>
constexpr std::array<uint8_t, (1u << N)> make_width_table()
{
    std::array<uint8_t, (1u << N)> table {};
    constexpr uint32_t from_max = (1u << N) - 1;
    constexpr uint32_t to_max = (1u << M) - 1;
    for (uint32_t v = 0; v <= from_max; ++v)
        table[v] = static_cast<uint8_t>((2 * v * to_max + from_max) / (2 * from_max));
    return table;
}

template <unsigned N, unsigned M>
inline constexpr auto width_table = make_width_table<N, M>();

} // namespace detail

// The value v of an N-bit channel as an M-bit channel. Equal widths copy.
template <unsigned N, unsigned M>
constexpr uint32_t change_width(uint32_t v)
{
    static_assert(N >= 1 && N <= 8 && M >= 1 && M <= 8);
    if constexpr (N == M) {
        return v;
    } else if constexpr (N == 8) {
        // Narrowing 8-bit channels is the common case (decoded pictures into
        // the screen's formats); there the rule is (v * max + 127) / 255,
        // and x / 255 for x < 65535 is (x + 1 + (x >> 8)) >> 8. Plain
        // arithmetic beats the table loads by almost two to one.
        const uint32_t x = v * ((1u << M) - 1) + 127;
        return (x + 1 + (x >> 8)) >> 8;
    } else {
        return detail::width_table<N, M>[v];
    }
}

} // namespace quarn::g
