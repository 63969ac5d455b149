// A rectangle of pixels; x1 and y1 are exclusive, so the whole of a w x h
// image is (0, 0, w, h).
#pragma once

#include <algorithm>
#include <cstdint>

namespace quarn::g {

struct Rect {
    int32_t x0 = 0;
    int32_t y0 = 0;
    int32_t x1 = 0;
    int32_t y1 = 0;

    // For rectangles whose size fits 32 bits; code that takes rectangles
    // from callers compares corners instead.
    constexpr int32_t width() const { return x1 - x0; }
    constexpr int32_t height() const { return y1 - y0; }
    constexpr bool empty() const { return x1 <= x0 || y1 <= y0; }
    constexpr bool operator==(const Rect&) const = default;

    // Intersects in place. An empty result keeps its corner and never has a
    // negative width or height: (0, 0, 10, 10) with (20, 20, 30, 30) gives
    // (20, 20, 20, 20).
    constexpr Rect& intersect(const Rect& other)
    {
        x0 = std::max(x0, other.x0);
        y0 = std::max(y0, other.y0);
        x1 = std::min(x1, other.x1);
        y1 = std::min(y1, other.y1);
        if (x1 < x0)
            x1 = x0;
        if (y1 < y0)
            y1 = y0;
        return *this;
    }

    constexpr Rect intersected(const Rect& other) const
    {
        Rect copy = *this;
        return copy.intersect(other);
    }
};

} // namespace quarn::g
