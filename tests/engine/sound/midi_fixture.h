// Builds standard MIDI files and RIFF RMID files in memory, for the MIDI
// player's tests, the fuzz target's seeds and the benchmark.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace miditest {

// A scratch file name of its own for each call: CTest runs the cases of one
// test program side by side, so a fixed name would let them overwrite each
// other's songs.
inline std::filesystem::path scratch_path(const char* stem)
{
    static std::random_device seed;
    return std::filesystem::temp_directory_path() / (std::string(stem) + "_" + std::to_string(seed()) + ".mid");
}

using Bytes = std::vector<uint8_t>;

inline void put_be(Bytes& out, uint32_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(uint8_t(value >> (8 * i)));
}

inline void put_le32(Bytes& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

inline void put_varlen(Bytes& out, uint32_t value)
{
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = value & 0x7F;
        value >>= 7;
    } while (value);
    while (n > 1)
        out.push_back(groups[--n] | 0x80);
    out.push_back(groups[0]);
}

// One track's events, written as they will stand in the file.
struct Track {
    Bytes bytes;
    // Any event: the delta, then the bytes as given (running status too).
    Track& raw(uint32_t delta, std::initializer_list<uint8_t> event)
    {
        put_varlen(bytes, delta);
        bytes.insert(bytes.end(), event);
        return *this;
    }
    Track& meta(uint32_t delta, uint8_t type, const Bytes& data)
    {
        put_varlen(bytes, delta);
        bytes.push_back(0xFF);
        bytes.push_back(type);
        put_varlen(bytes, uint32_t(data.size()));
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    Track& tempo(uint32_t delta, uint32_t us) { return meta(delta, 0x51, {uint8_t(us >> 16), uint8_t(us >> 8), uint8_t(us)}); }
    Track& sysex(uint32_t delta, uint8_t status, const Bytes& data)
    {
        put_varlen(bytes, delta);
        bytes.push_back(status);
        put_varlen(bytes, uint32_t(data.size()));
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    Track& end(uint32_t delta = 0) { return meta(delta, 0x2F, {}); }
};

inline Bytes chunk(const char* id, const Bytes& body)
{
    Bytes out(id, id + 4);
    put_be(out, uint32_t(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes smf(uint16_t division, const std::vector<Track>& tracks, uint16_t format = 1)
{
    Bytes header;
    put_be(header, format, 2);
    put_be(header, uint32_t(tracks.size()), 2);
    put_be(header, division, 2);
    Bytes out = chunk("MThd", header);
    for (const Track& t : tracks) {
        Bytes c = chunk("MTrk", t.bytes);
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

// A RIFF file of the given form holding the bytes as its 'data' chunk,
// after a chunk of another kind (and an odd size, so padding is exercised).
inline Bytes riff(const Bytes& data, const char* form = "RMID")
{
    // Written by position into a buffer of the final size (appending to an
    // empty vector here trips a false -Wstringop-overflow in GCC 12).
    Bytes out(32 + data.size());
    size_t at = 0;
    auto id = [&](const char* text) {
        for (int i = 0; i < 4; ++i)
            out[at++] = uint8_t(text[i]);
    };
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at++] = uint8_t(v >> (8 * i));
    };
    id("RIFF");
    u32(uint32_t(out.size() - 8));
    id(form);
    id("INFO");
    u32(3);
    id("abc"); // three bytes and the pad byte
    id("data");
    u32(uint32_t(data.size()));
    std::copy(data.begin(), data.end(), out.begin() + ptrdiff_t(at));
    return out;
}

// A song of `notes` notes over `tracks` tracks with program and controller
// changes, a tempo change and a text event; deterministic for a seed.
inline Bytes song(uint32_t notes, uint32_t tracks, uint32_t seed)
{
    std::vector<Track> ts(tracks);
    ts[0].tempo(0, 400000).meta(0, 0x01, {'t', 'u', 'n', 'e'});
    for (uint32_t t = 0; t < tracks; ++t) {
        const uint8_t ch = uint8_t(t % 16);
        ts[t].raw(0, {uint8_t(0xC0 | ch), uint8_t((seed + t) & 0x7F)}).raw(0, {uint8_t(0xB0 | ch), 7, 100});
    }
    for (uint32_t i = 0; i < notes; ++i) {
        seed = seed * 1103515245u + 12345u;
        Track& t = ts[i % tracks];
        const uint8_t ch = uint8_t((i % tracks) % 16);
        const uint8_t key = uint8_t(36 + (seed >> 16) % 48);
        t.raw(i < tracks ? 0 : 30 + (seed >> 8) % 60, {uint8_t(0x90 | ch), key, 90});
        t.raw(40 + (seed >> 4) % 40, {key, 0}); // running status, velocity 0
    }
    ts[0].tempo(0, 500000);
    for (Track& t : ts)
        t.end(10);
    return smf(96, ts);
}

} // namespace miditest
