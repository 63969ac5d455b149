#include "platform/scaling.h"

#include <cstdint>

namespace platform {

Rect letterbox(Size frame, Size area)
{
    if (frame.width <= 0 || frame.height <= 0 || area.width <= 0 || area.height <= 0)
        return {0, 0, area.width, area.height};
    // Compare the aspects in integers: area.w / area.h against frame.w / frame.h.
    const int64_t wide = int64_t(area.width) * frame.height;
    const int64_t tall = int64_t(area.height) * frame.width;
    int w = area.width, h = area.height;
    if (wide > tall)
        w = int(int64_t(area.height) * frame.width / frame.height);
    else if (wide < tall)
        h = int(int64_t(area.width) * frame.height / frame.width);
    return {(area.width - w) / 2, (area.height - h) / 2, w, h};
}

Point frame_to_area(Size frame, Size area, Point p)
{
    const Rect v = letterbox(frame, area);
    if (frame.width <= 0 || frame.height <= 0)
        return p;
    // The first area pixel that lies within the frame pixel (rounding up),
    // so that mapping back gives the same frame pixel when scaling up.
    auto ceil_div = [](int64_t a, int64_t b) { return a >= 0 ? (a + b - 1) / b : -((-a) / b); };
    return {v.x + int(ceil_div(int64_t(p.x) * v.width, frame.width)), v.y + int(ceil_div(int64_t(p.y) * v.height, frame.height))};
}

Point area_to_frame(Size frame, Size area, Point p)
{
    const Rect v = letterbox(frame, area);
    if (v.width <= 0 || v.height <= 0)
        return p;
    // Floor division, so that points left of or above the picture map to
    // negative coordinates rather than to its first column or row.
    auto floor_div = [](int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    return {int(floor_div(int64_t(p.x - v.x) * frame.width, v.width)),
            int(floor_div(int64_t(p.y - v.y) * frame.height, v.height))};
}

} // namespace platform
