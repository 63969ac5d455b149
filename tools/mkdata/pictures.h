// The game's pictures, drawn by code.
#pragma once

#include "tools/mkdata/canvas.h"
#include "tools/mkdata/track.h"

#include <array>
#include <string>
#include <vector>

namespace mkdata {

// 800 x 600: grass, the road with kerbs along its walls, the gates, the
// start line, and the band along the bottom with the text labels.
Canvas draw_background(const Track& track);
Canvas draw_game_over();
// The pointer on pure green, the tip at the top-left pel.
Canvas draw_cursor();
Canvas draw_button(const std::string& label, uint32_t colour, bool pressed);

// A picture with straight alpha: A8R8G8B8 pels in raster order. Pels of
// alpha 0 carry the colour they were drawn over.
struct AlphaPicture {
    int width = 0, height = 0;
    std::vector<uint32_t> argb;
};
// Picture i shows the car turned counter-clockwise by i/n of a turn from
// pointing right, its edges anti-aliased in the alpha.
std::vector<AlphaPicture> draw_car_frames(int n);

// The digits font: the glyph picture and each character's box in it
// (x, y, w, h; characters without a glyph point at the reference glyph).
struct FontPicture {
    Canvas picture { 1, 1 };
    std::array<std::array<int32_t, 4>, 256> boxes {};
    int32_t reference = 0;
    int32_t spacing = 0;
    int32_t space_width = 0;
    int32_t height = 0;
};
FontPicture draw_digits_font();

} // namespace mkdata
