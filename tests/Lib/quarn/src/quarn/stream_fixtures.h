// Builds the bytes of object streams for tests and fuzz seeds: native
// streams with their header, and legacy "rw1"/"rw2" streams with the
// 24-byte header and zlib-packed or plain data.
#pragma once

#include "memory_buf.h"

#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quarn_test {

inline std::string native_header(uint32_t flags) { return std::string("quarn::io::Stream") + u32le(flags); }

// The legacy header: magic ("rw1" or "rw2" and a NUL), flags, packer, a
// word this reader skips, packed size, unpacked size.
inline std::string legacy_header(const char* magic, uint32_t flags, uint32_t packer, uint32_t packed_size,
                                 uint32_t unpacked_size, uint32_t extra = 0)
{
    return std::string(magic, 3) + '\0' + u32le(flags) + u32le(packer) + u32le(extra) + u32le(packed_size)
        + u32le(unpacked_size);
}

inline std::string zlib_pack(const std::string& data, int level = 6)
{
    uLongf size = compressBound(data.size());
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  data.size(), level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    packed.resize(size);
    return packed;
}

// A legacy stream holding `data`: packed with zlib when flags has value 1
// and packer is 1, otherwise stored as it is.
inline std::string legacy_stream(const char* magic, uint32_t flags, uint32_t packer, const std::string& data)
{
    const std::string stored = (flags & 1) && packer == 1 ? zlib_pack(data) : data;
    return legacy_header(magic, flags, packer, static_cast<uint32_t>(stored.size()),
                         static_cast<uint32_t>(data.size()))
        + stored;
}

} // namespace quarn_test
