// The file formats the tool writes. Each returns false (or throws, for the
// physics streams) when the file cannot be written whole.
#pragma once

#include "tools/mkdata/canvas.h"
#include "tools/mkdata/pictures.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mkdata {

[[nodiscard]] bool write_jpeg(const std::string& path, const Canvas& picture, int quality);
// 24-bit, bottom-up.
[[nodiscard]] bool write_bmp(const std::string& path, const Canvas& picture);
// RIFF WAVE, 16-bit signed PCM, mono.
[[nodiscard]] bool write_wav(const std::string& path, const std::vector<int16_t>& samples, uint32_t rate);
// An image set of alpha images (runs, R8G8B8 colours, straight alpha; the
// colours of translucent pels taken back from their blend over the picture's
// first transparent pel) in the legacy object file form the engine's image
// sets read.
[[nodiscard]] bool write_image_set(const std::string& path, const std::vector<AlphaPicture>& pictures);
// The 4128-byte font record "<base>.fda" and its glyph picture "<base>.fnt".
[[nodiscard]] bool write_font(const std::string& base, const FontPicture& font);
[[nodiscard]] bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);

// Little-endian byte building.
void put_u16(std::vector<uint8_t>& out, uint16_t v);
void put_u32(std::vector<uint8_t>& out, uint32_t v);

} // namespace mkdata
