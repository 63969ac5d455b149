#include "platform/text.h"

#include <algorithm>

namespace platform {

Size text_extent(std::string_view text, int scale)
{
    scale = std::max(scale, 1);
    return {int(text.size()) * font_cell_width * scale, text.empty() ? 0 : font_cell_height * scale};
}

Rect draw_text(const PixelSurface& surface, Point at, std::string_view text, const TextStyle& style)
{
    if (!valid(surface) || text.empty())
        return {};
    const int scale = std::max(style.scale, 1);
    const Size extent = text_extent(text, scale);
    const Rect touched = intersect({at.x, at.y, extent.width, extent.height}, surface.bounds());
    if (touched.empty())
        return {};

    const uint32_t ink = pack_pixel(surface.format, style.color);
    const uint32_t paper = style.background ? pack_pixel(surface.format, *style.background) : 0;
    // Walk only the visible pixels and ask which font cell each one shows,
    // so clipping costs nothing extra and scaled text needs no second path.
    for (int y = touched.y; y < touched.bottom(); ++y) {
        const int font_row = (y - at.y) / scale;
        for (int x = touched.x; x < touched.right(); ++x) {
            const int font_col = (x - at.x) / scale;
            const auto c = static_cast<unsigned char>(text[size_t(font_col / font_cell_width)]);
            const int col = font_col % font_cell_width;
            const bool lit = col < 5 && font_row < 7 && (font_glyph(c)[font_row] >> (4 - col) & 1);
            if (lit)
                write_pixel(surface, x, y, ink);
            else if (style.background)
                write_pixel(surface, x, y, paper);
        }
    }
    return touched;
}

} // namespace platform
