#include "physics/Shapes.h"

#include <algorithm>

namespace quarn::cls2 {

Box Box::spanning(float x0, float y0, float x1, float y1)
{
    const float lo_x = std::min(x0, x1), hi_x = std::max(x0, x1);
    const float lo_y = std::min(y0, y1), hi_y = std::max(y0, y1);
    return { { (lo_x + hi_x) * 0.5f, (lo_y + hi_y) * 0.5f }, (hi_x - lo_x) * 0.5f, (hi_y - lo_y) * 0.5f };
}

Box Box::merge(const Box& a, const Box& b)
{
    const float lo_x = std::min(a.left(), b.left()), hi_x = std::max(a.right(), b.right());
    const float lo_y = std::min(a.bottom(), b.bottom()), hi_y = std::max(a.top(), b.top());
    return { { (lo_x + hi_x) * 0.5f, (lo_y + hi_y) * 0.5f }, (hi_x - lo_x) * 0.5f, (hi_y - lo_y) * 0.5f };
}

Segment Segment::from_points(const Point2f& p, const Point2f& q)
{
    const Point2f d = q - p;
    const float length = d.length();
    Segment s;
    s.centre = (p + q) * 0.5f;
    s.half_length = (p - q).length() * 0.5f;
    s.direction = length > 0 ? d * (1.0f / length) : Point2f(1, 0);
    return s;
}

Tube Tube::from_points(const Point2f& p, const Point2f& q, float radius)
{
    const Point2f d = q - p;
    const float length = d.length();
    Tube t;
    t.centre = (p + q) * 0.5f;
    t.direction = length > 0 ? d * (1.0f / length) : Point2f(1, 0);
    t.radius = radius;
    t.half_length = (p - q).length() * 0.5f;
    return t;
}

} // namespace quarn::cls2
