// Clipping a line segment to a rectangle. One algorithm over the number
// type: 64-bit integers for the horizontal and vertical lines (whose ends
// are a 32-bit point plus a 32-bit length, exact in 64 bits), 32-bit floats
// for general lines.
//
// The ends are ordered by x (a tie keeps the given order); an end inside the
// rectangle is its own clipped point, an end outside takes the segment's
// crossing with the edges it faces: when a lies above b, a's top and left
// edges and b's bottom and right edges; otherwise a's bottom and left and
// b's top and right. The segment is visible when both ends found a point.
// Every comparison fails for a NaN, so a segment with a non-finite end
// finds no crossing through it and is clipped away, never widened.
#pragma once

#include <utility>

namespace quarn::g {

template <class N>
struct Point2 {
    N x, y;
};

// x1 and y1 are exclusive.
template <class N>
struct ClipBox {
    N x0, y0, x1, y1;
};

template <class N>
struct ClippedSegment {
    bool visible = false;
    Point2<N> a, b; // a has the smaller x
};

template <class N>
constexpr bool contains(const ClipBox<N>& box, Point2<N> p)
{
    return box.x0 <= p.x && p.x < box.x1 && box.y0 <= p.y && p.y < box.y1;
}

namespace detail {

template <class N>
constexpr bool between(N v, N e0, N e1)
{
    return e0 <= e1 ? e0 <= v && v <= e1 : e1 <= v && v <= e0;
}

// The crossing with the horizontal edge y = e, x from ex0 to ex1.
template <class N>
constexpr bool cross_horizontal(Point2<N> a, Point2<N> b, N e, N ex0, N ex1, Point2<N>& hit)
{
    if (a.x == b.x) {
        if (ex0 <= a.x && a.x <= ex1 && between(e, a.y, b.y)) {
            hit = { a.x, e };
            return true;
        }
        return false;
    }
    if (!between(e, a.y, b.y))
        return false;
    // A flat segment runs along the edge, never across it.
    const N m = (b.y - a.y) / (b.x - a.x);
    if (m == 0)
        return false;
    const N x = (e - a.y) / m + a.x;
    if (ex0 <= x && x <= ex1) {
        hit = { x, e };
        return true;
    }
    return false;
}

// The crossing with the vertical edge x = e, y from ey0 to ey1.
template <class N>
constexpr bool cross_vertical(Point2<N> a, Point2<N> b, N e, N ey0, N ey1, Point2<N>& hit)
{
    if (a.x == b.x || !between(e, a.x, b.x))
        return false;
    const N m = (b.y - a.y) / (b.x - a.x);
    const N y = m * (e - a.x) + a.y;
    if (ey0 <= y && y <= ey1) {
        hit = { e, y };
        return true;
    }
    return false;
}

} // namespace detail

template <class N>
constexpr ClippedSegment<N> clip_segment(Point2<N> first, Point2<N> second, const ClipBox<N>& box)
{
    Point2<N> a = first, b = second;
    if (b.x < a.x)
        std::swap(a, b);
    ClippedSegment<N> out { false, a, b };
    bool a_found = false, b_found = false;
    if (contains(box, a)) {
        if (contains(box, b)) {
            out.visible = true;
            return out;
        }
        a_found = true;
    }
    if (contains(box, b))
        b_found = true;

    // The last row and column inside.
    const N right = box.x1 - 1;
    const N bottom = box.y1 - 1;
    using detail::cross_horizontal;
    using detail::cross_vertical;
    const bool downwards = a.y < b.y;
    a_found |= cross_horizontal(a, b, downwards ? box.y0 : bottom, box.x0, right, out.a);
    a_found |= cross_vertical(a, b, box.x0, box.y0, bottom, out.a);
    b_found |= cross_horizontal(a, b, downwards ? bottom : box.y0, box.x0, right, out.b);
    b_found |= cross_vertical(a, b, right, box.y0, bottom, out.b);
    out.visible = a_found && b_found;
    return out;
}

} // namespace quarn::g
