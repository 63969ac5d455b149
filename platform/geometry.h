// Points, sizes and rectangles in pixels, shared by windows, presentation
// and text.
#pragma once

#include <algorithm>
#include <span>

namespace platform {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// A rectangle by its top-left corner and size; empty when either side is
// zero or negative.
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool contains(Point p) const { return p.x >= x && p.y >= y && p.x < right() && p.y < bottom(); }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// The common part of two rectangles; an empty rectangle when they do not meet.
inline Rect intersect(const Rect& a, const Rect& b)
{
    const int left = std::max(a.x, b.x);
    const int top = std::max(a.y, b.y);
    const int right = std::min(a.right(), b.right());
    const int bottom = std::min(a.bottom(), b.bottom());
    if (right <= left || bottom <= top)
        return {};
    return {left, top, right - left, bottom - top};
}

// The outer frame of a client area at `at`, whose borders are given as
// left (x), top (y), right (width) and bottom (height).
inline Rect frame_around(Point at, Size client, const Rect& borders)
{
    return {at.x - borders.x, at.y - borders.y, client.width + borders.x + borders.width,
            client.height + borders.y + borders.height};
}

// Where a window's outer frame goes so that it can be seen and reached:
// unchanged when it lies wholly on one of the areas (the screens' work
// areas), else moved onto the area it covers most (the first when it
// covers none). A frame larger than the area keeps its top-left corner
// on it, title bar first. With no areas, unchanged.
Rect keep_on_areas(const Rect& frame, std::span<const Rect> areas);

} // namespace platform
