// The shape records of quarn::cls2: Box, Segment and Tube (circles and
// points are quarn::math::Circle<float> and quarn::math::Point2<float>).
// Plain records of 32-bit floats, in the order their stream forms use.
#pragma once

#include "physics/Math.h"

#include <cstdint>

namespace quarn::cls2 {

using math::Point2f;
using Circle = math::Circle<float>;

// Axis-aligned in every frame: placing a box elsewhere moves its centre and
// never turns it.
struct Box {
    Point2f centre;
    float half_x = 0;
    float half_y = 0;

    float left() const { return centre.x - half_x; }
    float right() const { return centre.x + half_x; }
    float bottom() const { return centre.y - half_y; }
    float top() const { return centre.y + half_y; }

    // The smallest box holding both.
    static Box merge(const Box& a, const Box& b);
    // The box over two corners given in any order.
    static Box spanning(float x0, float y0, float x1, float y1);
};

struct Segment {
    Point2f centre;
    Point2f direction; // unit length
    float half_length = 0;

    Point2f end_a() const { return centre - direction * half_length; }
    Point2f end_b() const { return centre + direction * half_length; }

    // Two equal points have no direction; the segment then points along +x
    // with length 0 rather than carrying NaN into every later test.
    static Segment from_points(const Point2f& p, const Point2f& q);
};

// The rectangle of half-width `radius` around the segment from end_a to end_b.
struct Tube {
    Point2f centre;
    Point2f direction; // unit length
    float radius = 0;
    float half_length = 0;

    Point2f end_a() const { return centre - direction * half_length; }
    Point2f end_b() const { return centre + direction * half_length; }

    // Equal points: as Segment::from_points.
    static Tube from_points(const Point2f& p, const Point2f& q, float radius);
};

} // namespace quarn::cls2
