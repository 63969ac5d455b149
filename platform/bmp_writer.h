// Writing pixel buffers as BMP files (frame dumps and screenshots).
#pragma once

#include "platform/pixels.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A 24-bit uncompressed BMP of the whole view: a 14-byte file header, a
// 40-byte BITMAPINFOHEADER, rows bottom-up, each padded to 4 bytes.
// An invalid or empty view gives an empty result.
std::vector<uint8_t> encode_bmp(const PixelView& view);

// Writes encode_bmp(view) to `path` (replacing the file). False when the view
// is invalid or empty or the file cannot be written whole; last_error() then
// tells why for the file case.
[[nodiscard]] bool write_bmp(const std::string& path, const PixelView& view);

} // namespace platform
