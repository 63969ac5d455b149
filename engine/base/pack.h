// The LZ packer and the zlib wrappers.
#pragma once

#include "engine/base/err.h"

#include <cstddef>
#include <cstdint>

// Packers. Packer 0 is the layer's own LZ format (flag bits in 16-bit
// little-endian words; literals, short matches of 2..5 bytes at distance
// 1..256, long matches of 3..256 bytes at distance 1..8192, the end item
// 00 F0 00); packer 1 is zlib.

// Packs `length` bytes into `destination` (room: `capacity` bytes). The
// packed length, or a negative code (reported): ERR_NO_MEMORY, ERR_OVERFLOW
// when the output does not fit (nothing is written past `capacity`).
[[nodiscard]] int64_t lzPack(const void* source, size_t length, void* destination, size_t capacity);
// Unpacks a packer-0 stream. The unpacked length, or ERR_DATA (not
// reported) when the stream is malformed, runs past `sourceLength`, would
// write past `capacity` or refers to bytes before the output's start.
[[nodiscard]] int64_t lzUnpack(const void* source, size_t sourceLength, void* destination, size_t capacity);

// zlib over whole blocks. `destinationLength` holds the room on entry and
// the bytes written on success. 0, or a negative code (reported): ERR_BUF_SHORT
// when the output ran full, ERR_DATA for bad or truncated data,
// ERR_NO_MEMORY, ERR_BAD_ARG (bad level, sizes beyond 4 GiB).
[[nodiscard]] int zCompress2(void* destination, size_t* destinationLength, const void* source, size_t sourceLength,
                             int level);
[[nodiscard]] int zCompress(void* destination, size_t* destinationLength, const void* source, size_t sourceLength);
[[nodiscard]] int zUncompress(void* destination, size_t* destinationLength, const void* source, size_t sourceLength);
// The packer-1 calls of the legacy object files.
[[nodiscard]] int rwPack(const void* source, size_t sourceLength, void* destination, size_t* destinationLength);
[[nodiscard]] int rwUnpack(const void* source, size_t sourceLength, void* destination, size_t* destinationLength);
