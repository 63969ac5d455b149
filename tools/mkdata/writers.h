// The file formats the tool writes, as the bytes of a file. The files
// themselves are written by write_new_file (data_folder.h).
#pragma once

#include "tools/mkdata/canvas.h"
#include "tools/mkdata/pictures.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mkdata {

[[nodiscard]] std::vector<uint8_t> jpeg_bytes(const Canvas& picture, int quality);
// 24-bit, bottom-up.
[[nodiscard]] std::vector<uint8_t> bmp_bytes(const Canvas& picture);
// RIFF WAVE, 16-bit signed PCM, mono.
[[nodiscard]] std::vector<uint8_t> wav_bytes(const std::vector<int16_t>& samples, uint32_t rate);
// An image set of alpha images (runs, R8G8B8 colours, straight alpha; the
// colours of translucent pels taken back from their blend over the picture's
// first transparent pel) in the legacy object file form the engine's image
// sets read. False when an image cannot be built or the stream not packed.
[[nodiscard]] bool image_set_bytes(const std::vector<AlphaPicture>& pictures, std::vector<uint8_t>& out);
// The same, written to `path`.
[[nodiscard]] bool write_image_set(const std::string& path, const std::vector<AlphaPicture>& pictures);
// The 4128-byte font record "<base>.fda"; its glyph picture "<base>.fnt"
// is bmp_bytes(font.picture).
[[nodiscard]] std::vector<uint8_t> font_record(const FontPicture& font);

// Little-endian byte building.
void put_u16(std::vector<uint8_t>& out, uint16_t v);
void put_u32(std::vector<uint8_t>& out, uint32_t v);

} // namespace mkdata
