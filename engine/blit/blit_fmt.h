#pragma once
// Pel format traits of the row loops: bytes per pel, the channel type the
// blends use, the key form, and the copy conversion that every loop applies
// alike (codes 0, 13 and 14).
#include <tuple>

#include "engine/blit/blit_pel.h"

struct bltFmtR8G8B8 {
    static constexpr uint32_t code = 1;
    static constexpr uint32_t bytes = 3;
    static constexpr const char* name = "r8g8b8";
    static constexpr const char* token = "R8G8B8"; // in row names
    using Ch = pelChRGB;
    using Key = uint32_t;  // B, G, R in bits 0-23
    static void Open(const uint8_t* p, uint32_t& b, uint32_t& g, uint32_t& r, uint32_t& a) {
        b = p[0]; g = p[1]; r = p[2]; a = 255;
    }
    static void Store(uint8_t* p, uint32_t b, uint32_t g, uint32_t r, uint32_t) {
        p[0] = uint8_t(b); p[1] = uint8_t(g); p[2] = uint8_t(r);
    }
    static bool Keyed(const uint8_t* p, Key k) {
        return p[2] == uint8_t(k >> 16) && p[1] == uint8_t(k >> 8) && p[0] == uint8_t(k);
    }
};

// pel_FMT_X8R8G8B8 and pel_FMT_A8R8G8B8 share every loop. Pels move as whole
// u32 words (bytes B, G, R, A from bit 0 up), so that loops over them vectorise.
struct bltFmtX8R8G8B8 {
    static constexpr uint32_t code = 2;
    static constexpr uint32_t bytes = 4;
    static constexpr const char* name = "x8r8g8b8";
    static constexpr const char* token = "X8R8G8B8"; // in row names
    using Ch = pelChXRGB;
    using Key = uint32_t;
    static void Open(const uint8_t* p, uint32_t& b, uint32_t& g, uint32_t& r, uint32_t& a) {
        const uint32_t v = pel_detail::Load32(p);
        b = v & 255; g = (v >> 8) & 255; r = (v >> 16) & 255; a = v >> 24;
    }
    static void Store(uint8_t* p, uint32_t b, uint32_t g, uint32_t r, uint32_t a) {
        pel_detail::Store32(p, (a & 255) << 24 | (r & 255) << 16 | (g & 255) << 8 | (b & 255));
    }
    static bool Keyed(const uint8_t* p, Key k) { return pel_detail::Load32(p) == k; }
};

struct bltFmtR5G6B5 {
    static constexpr uint32_t code = 4;
    static constexpr uint32_t bytes = 2;
    static constexpr const char* name = "r5g6b5";
    static constexpr const char* token = "R5G6B5"; // in row names
    using Ch = pelChR5G6B5;
    using Key = uint16_t;
    static void Open(const uint8_t* p, uint32_t& b, uint32_t& g, uint32_t& r, uint32_t& a) {
        Ch::Open(p, b, g, r); a = 255;
    }
    static void Store(uint8_t* p, uint32_t b, uint32_t g, uint32_t r, uint32_t) { Ch::Close(p, b, g, r); }
    static bool Keyed(const uint8_t* p, Key k) { return pel_detail::Load16(p) == k; }
};

struct bltFmtX1R5G5B5 {
    static constexpr uint32_t code = 5;
    static constexpr uint32_t bytes = 2;
    static constexpr const char* name = "x1r5g5b5";
    static constexpr const char* token = "X1R5G5B5"; // in row names
    using Ch = pelChX1R5G5B5;
    using Key = uint16_t;
    static void Open(const uint8_t* p, uint32_t& b, uint32_t& g, uint32_t& r, uint32_t& a) {
        Ch::Open(p, b, g, r); a = 255;
    }
    // Bit 15 of the destination stays, whatever the source's alpha.
    static void Store(uint8_t* p, uint32_t b, uint32_t g, uint32_t r, uint32_t) { Ch::Close(p, b, g, r); }
    // Bit 15 is spare: only the fifteen colour bits take part in the key.
    static bool Keyed(const uint8_t* p, Key k) { return ((pel_detail::Load16(p) ^ k) & 0x7FFF) == 0; }
};

struct bltFmtA1R5G5B5 {
    static constexpr uint32_t code = 6;
    static constexpr uint32_t bytes = 2;
    static constexpr const char* name = "a1r5g5b5";
    static constexpr const char* token = "A1R5G5B5"; // in row names
    using Ch = pelChA1R5G5B5;
    using Key = uint16_t;
    static void Open(const uint8_t* p, uint32_t& b, uint32_t& g, uint32_t& r, uint32_t& a) {
        Ch::Open(p, b, g, r); a = (pel_detail::Load16(p) & 0x8000) ? 255 : 0;
    }
    static void Store(uint8_t* p, uint32_t b, uint32_t g, uint32_t r, uint32_t a) {
        const uint8_t bgra[4] = {uint8_t(b), uint8_t(g), uint8_t(r), uint8_t(a)};
        pelSet1555A(p, bgra);
    }
    static bool Keyed(const uint8_t* p, Key k) { return pel_detail::Load16(p) == k; }
};

// The formats of the row family, each on either side of a draw: the table's
// blocks, the generic path's format switch and the row names all come from
// this one list.
using bltFmtList = std::tuple<bltFmtR8G8B8, bltFmtX8R8G8B8, bltFmtR5G6B5, bltFmtX1R5G5B5, bltFmtA1R5G5B5>;
inline constexpr size_t bltFmtCount = std::tuple_size_v<bltFmtList>;

// Calls f with the traits of the list's format for `code` (A8R8G8B8 as
// X8R8G8B8, which shares its loops); nothing for a code outside the list.
template <class F>
void bltWithFmt(uint32_t code, F&& f) {
    if (code == 3) code = 2;
    [&]<size_t... I>(std::index_sequence<I...>) {
        ((std::tuple_element_t<I, bltFmtList>::code == code ? (f(std::tuple_element_t<I, bltFmtList>{}), 0) : 0), ...);
    }(std::make_index_sequence<bltFmtCount>());
}

// Copy conversion of one pel. Sources of another format into a 32-bit
// destination get their alpha from Open (255, or the A1R5G5B5 bit); a 32-bit
// source copies all four bytes; equal 16-bit formats copy the whole word.
template <class Src, class Dst>
inline void bltCopyPel(uint8_t* d, const uint8_t* s) {
    if constexpr (std::is_same_v<Src, Dst> && Src::bytes == 2) {
        std::memcpy(d, s, 2);
    } else {
        uint32_t b, g, r, a;
        Src::Open(s, b, g, r, a);
        Dst::Store(d, b, g, r, a);
    }
}
