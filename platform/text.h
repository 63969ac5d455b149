// Text drawn into pixel buffers with a small built-in bitmap font, for the
// frame-rate overlay and other diagnostics (there is no system text output).
#pragma once

#include "platform/pixels.h"

#include <optional>
#include <string_view>

namespace platform {

// Every character takes one cell: a 5x7 glyph with a column of space on the
// right and a row below. Printable ASCII (32..126) has glyphs; any other byte
// is drawn as a hollow box so that it is visible rather than lost.
inline constexpr int font_cell_width = 6;
inline constexpr int font_cell_height = 8;

struct TextStyle {
    uint32_t color = 0xFFFFFF;                  // 0xRRGGBB
    std::optional<uint32_t> background = 0;     // none = transparent
    int scale = 1;                              // each font pixel becomes scale x scale
};

// The size a line of text takes.
Size text_extent(std::string_view text, int scale = 1);

// Draws one line of text with its top-left at `at`, clipped to the surface.
// Returns the part of the surface that was touched (empty when none).
Rect draw_text(const PixelSurface& surface, Point at, std::string_view text, const TextStyle& style = {});

// The glyph of a byte: row r (0..6) has bit (4 - c) set for column c.
// Exposed so that tests can check the drawing against it.
const uint8_t* font_glyph(unsigned char c);

} // namespace platform
