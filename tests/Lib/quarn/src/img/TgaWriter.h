// A small TGA writer for the decoder's tests, fuzz seeds and benchmarks:
// the header, the ID field, the colour map and the pixels as given, with
// run-length packets for the types that use them.
#pragma once

#include <cstdint>
#include <string>

namespace img_test {

struct Tga {
    uint8_t type = 2;
    uint8_t depth = 24;
    uint16_t width = 0;
    uint16_t height = 0;
    std::string id;
    uint8_t map_type = 0;
    uint16_t map_first = 0;
    uint16_t map_length = 0;
    uint8_t map_bits = 0;
    std::string map; // map_length entries of the map's entry size
    std::string pixels; // rows in file order (bottom row first), depth / 8 bytes per pixel
    uint8_t descriptor = 0;
};

// Greedy packets: runs of 2 to 128 equal pixels, literal packets of up to
// 128 pixels between them; packets may cross rows, as the format allows.
inline std::string tga_rle(const std::string& pixels, size_t bytes)
{
    std::string out;
    const size_t count = pixels.size() / bytes;
    auto same = [&](size_t a, size_t b) { return pixels.compare(a * bytes, bytes, pixels, b * bytes, bytes) == 0; };
    size_t i = 0;
    while (i < count) {
        size_t run = 1;
        while (i + run < count && run < 128 && same(i, i + run))
            ++run;
        if (run >= 2) {
            out += char(0x80 | (run - 1));
            out.append(pixels, i * bytes, bytes);
            i += run;
            continue;
        }
        size_t literal = 1;
        while (i + literal < count && literal < 128 && !(i + literal + 1 < count && same(i + literal, i + literal + 1)))
            ++literal;
        out += char(literal - 1);
        out.append(pixels, i * bytes, literal * bytes);
        i += literal;
    }
    return out;
}

inline std::string tga_file(const Tga& t)
{
    std::string out;
    auto u8 = [&](uint32_t v) { out += char(v & 0xFF); };
    auto u16 = [&](uint32_t v) {
        u8(v);
        u8(v >> 8);
    };
    u8(uint32_t(t.id.size()));
    u8(t.map_type);
    u8(t.type);
    u16(t.map_first);
    u16(t.map_length);
    u8(t.map_bits);
    u16(0);
    u16(0);
    u16(t.width);
    u16(t.height);
    u8(t.depth);
    u8(t.descriptor);
    out += t.id;
    out += t.map;
    out += t.type >= 9 ? tga_rle(t.pixels, t.depth / 8u) : t.pixels;
    return out;
}

} // namespace img_test
