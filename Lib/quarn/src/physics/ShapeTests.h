// The geometry of the narrow phase, on world shapes: inside tests, overlap
// tests and contact finders for the pairs of shapes the pair table fills.
// The strictness of every comparison is part of the rule ("<" and "<=" are
// not interchangeable): a point on a circle's rim is not intersecting it
// but touches it.
#pragma once

#include "physics/Collider.h"
#include "physics/Intersection.h"
#include "physics/Shapes.h"

#include <algorithm>
#include <cmath>

namespace quarn::cls2 {

class Primitive;

namespace shape_tests {

// Shared rules.
// The point of a segment's or tube's axis nearest to p (clamped to its ends).
Point2f axis_point(const Point2f& centre, const Point2f& direction, float half_length, const Point2f& p);
// The point of a circle's rim toward p. Toward its own centre there is no
// direction: `fallback` (a unit vector) stands in.
Point2f rim_point(const Point2f& m, float r, const Point2f& p, const Point2f& fallback);
// The point of a box nearest to p; a point inside is its own nearest point.
Point2f box_nearest(const Box& box, const Point2f& p);
bool strictly_inside(const Box& box, const Point2f& p);

// Inside tests: 0 b inside a, 1 b outside a, 2 partly inside.
int check_inside(const Box& a, const Box& b);
int check_inside(const Box& a, const Circle& b);
int check_inside(const Box& a, const Point2f& b);
int check_inside(const Box& a, const Segment& b);
int check_inside(const Box& a, const Tube& b);

// Overlap tests (eps is the collider's tolerance; only boxes use it).
bool intersecting(const Box& a, const Box& b, float eps);
bool intersecting(const Box& a, const Circle& b, float eps);
bool intersecting(const Circle& a, const Circle& b, float eps);
bool intersecting(const Point2f& a, const Circle& b, float eps);
bool intersecting(const Point2f& a, const Tube& b, float eps);
bool intersecting(const Segment& a, const Circle& b, float eps);
bool intersecting(const Tube& a, const Circle& b, float eps);
// Point2 against Box: never.
bool intersecting(const Point2f& a, const Box& b, float eps);

// Contact finders: add records (pa, its point, pb, its point) to `collider`.
void find_contacts(Collider& collider, const Primitive& pa, const Circle& a, const Primitive& pb, const Circle& b, float eps);
void find_contacts(Collider& collider, const Primitive& pa, const Box& a, const Primitive& pb, const Circle& b, float eps);
void find_contacts(Collider& collider, const Primitive& pa, const Point2f& a, const Primitive& pb, const Circle& b, float eps);
void find_contacts(Collider& collider, const Primitive& pa, const Segment& a, const Primitive& pb, const Circle& b, float eps);
void find_contacts(Collider& collider, const Primitive& pa, const Tube& a, const Primitive& pb, const Circle& b, float eps);
void find_contacts(Collider& collider, const Primitive& pa, const Point2f& a, const Primitive& pb, const Tube& b, float eps);
// Two boxes touching within eps give one or two records; overlapping boxes
// throw Intersection.
void find_contacts(Collider& collider, const Primitive& pa, const Box& a, const Primitive& pb, const Box& b, float eps);

// The definitions: inline, so that each cell of the pair table compiles
// into the test itself.
namespace detail {

inline float sign0(float v) { return v > 0 ? 1.0f : (v < 0 ? -1.0f : 0.0f); }

// Across the axis, a quarter turn counter-clockwise from the direction.
inline Point2f across(const Point2f& d) { return { -d.y, d.x }; }

inline constexpr float tube_end_slack = 0.00001f;

} // namespace detail

inline Point2f axis_point(const Point2f& centre, const Point2f& direction, float half_length, const Point2f& p)
{
    float s = math::dot(direction, p - centre);
    const float h = std::fabs(half_length);
    if (!(std::fabs(s) <= h))
        s = std::copysign(h, s);
    return centre + direction * s;
}

inline Point2f rim_point(const Point2f& m, float r, const Point2f& p, const Point2f& fallback)
{
    Point2f v = p - m;
    const float len_sq = v.length_sq();
    if (len_sq == r * r)
        return m + v;
    if (len_sq == 0)
        return m + fallback * r;
    const float len = std::sqrt(len_sq);
    return m + Point2f(v.x * r / len, v.y * r / len);
}

inline Point2f box_nearest(const Box& box, const Point2f& p)
{
    const Point2f v = p - box.centre;
    return { box.centre.x + detail::sign0(v.x) * std::min(std::fabs(v.x), box.half_x),
        box.centre.y + detail::sign0(v.y) * std::min(std::fabs(v.y), box.half_y) };
}

inline bool strictly_inside(const Box& box, const Point2f& p)
{
    return box.left() < p.x && p.x < box.right() && box.bottom() < p.y && p.y < box.top();
}

// Inside tests.

inline int check_inside(const Box& a, const Point2f& b) { return strictly_inside(a, b) ? 0 : 1; }

namespace detail {

inline int ends_inside(const Box& a, const Point2f& end_a, const Point2f& end_b)
{
    const int n = int(strictly_inside(a, end_a)) + int(strictly_inside(a, end_b));
    return n == 2 ? 0 : (n == 1 ? 2 : 1);
}

} // namespace detail

inline int check_inside(const Box& a, const Segment& b) { return detail::ends_inside(a, b.end_a(), b.end_b()); }

// The tube's radius plays no part: only its axis ends count.
inline int check_inside(const Box& a, const Tube& b) { return detail::ends_inside(a, b.end_a(), b.end_b()); }

inline int check_inside(const Box& a, const Box& b)
{
    const float aL = a.left(), aR = a.right(), aB = a.bottom(), aT = a.top();
    const float bL = b.left(), bR = b.right(), bB = b.bottom(), bT = b.top();
    if (bL > aR || aL > bR || bB > aT || bT < aB)
        return 1;
    if (aL >= bL || bR >= aR || bB <= aB || bT >= aT)
        return 2;
    return 0;
}

inline int check_inside(const Box& a, const Circle& b)
{
    const float L = a.left(), R = a.right(), B = a.bottom(), T = a.top();
    const Point2f m = b.centre;
    const float r = b.radius;
    if (m.x < L - r || m.x > R + r || m.y < B - r || m.y > T + r)
        return 1;
    const Segment edges[4] = {
        Segment::from_points({ L, B }, { L, T }),
        Segment::from_points({ R, B }, { R, T }),
        Segment::from_points({ L, B }, { R, B }),
        Segment::from_points({ L, T }, { R, T }),
    };
    for (const Segment& e : edges) {
        const Point2f q = axis_point(e.centre, e.direction, e.half_length, m);
        if (math::distance_sq(m, q) < r * r)
            return 2;
    }
    return (L <= m.x && m.x <= R && B <= m.y && m.y <= T) ? 0 : 1;
}

// Overlap tests.

inline bool intersecting(const Box& a, const Box& b, float eps)
{
    // a's half-extents grown by eps, edges closed.
    const float hx = a.half_x + eps, hy = a.half_y + eps;
    const float aL = a.centre.x - hx, aR = a.centre.x + hx, aB = a.centre.y - hy, aT = a.centre.y + hy;
    return !(b.left() > aR || b.right() < aL || b.bottom() > aT || b.top() < aB);
}

inline bool intersecting(const Box& a, const Circle& b, float)
{
    const Point2f q = box_nearest(a, b.centre);
    return b.radius * b.radius >= math::distance_sq(q, b.centre);
}

inline bool intersecting(const Circle& a, const Circle& b, float)
{
    const float r = a.radius + b.radius;
    return r * r >= math::distance_sq(a.centre, b.centre);
}

inline bool intersecting(const Point2f& a, const Circle& b, float) { return math::distance_sq(a, b.centre) < b.radius * b.radius; }

inline bool intersecting(const Point2f& a, const Tube& b, float)
{
    if (std::fabs(math::dot(b.direction, a - b.centre)) > b.half_length)
        return false;
    const Point2f q = axis_point(b.centre, b.direction, b.half_length, a);
    return b.radius * b.radius >= math::distance_sq(a, q);
}

inline bool intersecting(const Segment& a, const Circle& b, float)
{
    const Point2f q = axis_point(a.centre, a.direction, a.half_length, b.centre);
    return b.radius * b.radius >= math::distance_sq(b.centre, q);
}

// Here the tube's ends count as round.
inline bool intersecting(const Tube& a, const Circle& b, float)
{
    const Point2f q = axis_point(a.centre, a.direction, a.half_length, b.centre);
    const float r = a.radius + b.radius;
    return r * r >= math::distance_sq(b.centre, q);
}

inline bool intersecting(const Point2f&, const Box&, float) { return false; }

// Contact finders.

inline void find_contacts(Collider& collider, const Primitive& pa, const Circle& a, const Primitive& pb, const Circle& b, float eps)
{
    const float r = a.radius + b.radius + eps;
    if (!(r * r >= math::distance_sq(a.centre, b.centre)))
        return;
    // Concentric circles: a's point to the right, b's to the left.
    const Point2f pa_point = rim_point(a.centre, a.radius, b.centre, { 1, 0 });
    const Point2f pb_point = rim_point(b.centre, b.radius, a.centre, { -1, 0 });
    collider.add_contact(const_cast<Primitive*>(&pa), pa_point, const_cast<Primitive*>(&pb), pb_point);
}

inline void find_contacts(Collider& collider, const Primitive& pa, const Box& a, const Primitive& pb, const Circle& b, float eps)
{
    const Point2f m = b.centre;
    Point2f q = box_nearest(a, m);
    if (!(b.radius + eps >= math::distance(q, m)))
        return;
    Point2f k;
    if (q == m) {
        // The centre lies in the box, where the nearest point is the centre
        // itself and gives no direction. Take the nearest edge instead: q on
        // that edge, and the circle's point deepest in the box, so that the
        // contact pushes the circle out the way it is nearest to leaving.
        const float gaps[4] = { m.x - a.left(), a.right() - m.x, m.y - a.bottom(), a.top() - m.y };
        const Point2f outward[4] = { { -1, 0 }, { 1, 0 }, { 0, -1 }, { 0, 1 } };
        int edge = 0;
        for (int i = 1; i < 4; ++i)
            if (gaps[i] < gaps[edge])
                edge = i;
        q = m + outward[edge] * gaps[edge];
        k = m - outward[edge] * b.radius;
    } else {
        k = rim_point(m, b.radius, q, { 1, 0 });
    }
    collider.add_contact(const_cast<Primitive*>(&pa), q, const_cast<Primitive*>(&pb), k);
}

inline void find_contacts(Collider& collider, const Primitive& pa, const Point2f& a, const Primitive& pb, const Circle& b, float)
{
    if (!(b.radius * b.radius >= math::distance_sq(a, b.centre)))
        return;
    collider.add_contact(const_cast<Primitive*>(&pa), a, const_cast<Primitive*>(&pb), rim_point(b.centre, b.radius, a, { 1, 0 }));
}

inline void find_contacts(Collider& collider, const Primitive& pa, const Segment& a, const Primitive& pb, const Circle& b, float)
{
    const Point2f m = b.centre;
    if (!(std::fabs(math::dot(a.direction, m - a.centre)) <= a.half_length))
        return;
    const Point2f q = axis_point(a.centre, a.direction, a.half_length, m);
    if (!(b.radius * b.radius >= math::distance_sq(m, q)))
        return;
    // A centre on the segment is taken as lying just on its left side.
    const Point2f k = rim_point(m, b.radius, q, -detail::across(a.direction));
    collider.add_contact(const_cast<Primitive*>(&pa), q, const_cast<Primitive*>(&pb), k);
}

inline void find_contacts(Collider& collider, const Primitive& pa, const Tube& a, const Primitive& pb, const Circle& b, float)
{
    const Point2f m = b.centre;
    if (!(std::fabs(math::dot(a.direction, m - a.centre)) <= a.half_length + detail::tube_end_slack))
        return;
    const Point2f q = axis_point(a.centre, a.direction, a.half_length, m);
    const float r = a.radius + b.radius;
    if (!(r * r >= math::distance_sq(m, q)))
        return;
    // A centre on the axis is taken as lying just on its left side.
    const Point2f k = rim_point(m, b.radius, q, -detail::across(a.direction));
    const Point2f kq = k - q;
    const float len_sq = kq.length_sq();
    if (!(len_sq > 0))
        return;
    const Point2f u = kq * (1.0f / std::sqrt(len_sq));
    collider.add_contact(const_cast<Primitive*>(&pa), q + u * a.radius, const_cast<Primitive*>(&pb), k);
}

inline void find_contacts(Collider& collider, const Primitive& pa, const Point2f& a, const Primitive& pb, const Tube& b, float)
{
    if (!(std::fabs(math::dot(b.direction, a - b.centre)) <= b.half_length))
        return;
    const Point2f q = axis_point(b.centre, b.direction, b.half_length, a);
    if (!(b.radius * b.radius >= math::distance_sq(a, q)))
        return;
    const Point2f n = detail::across(b.direction);
    const Point2f w = n * math::dot(n, a - b.centre);
    const float len = w.length();
    // A point on the axis is pushed to the left side.
    const Point2f u = len > 0 ? w * (1.0f / len) : n;
    collider.add_contact(const_cast<Primitive*>(&pa), a, const_cast<Primitive*>(&pb), q + u * b.radius);
}

inline void find_contacts(Collider& collider, const Primitive& pa, const Box& a, const Primitive& pb, const Box& b, float eps)
{
    auto* A = const_cast<Primitive*>(&pa);
    auto* B = const_cast<Primitive*>(&pb);
    const float aL = a.left(), aR = a.right(), aB = a.bottom(), aT = a.top();
    const float bL = b.left(), bR = b.right(), bB = b.bottom(), bT = b.top();
    if (aR <= bL) { // a left of b
        if (aR + eps < bL)
            return;
        const float lo = std::max(aB, bB), hi = std::min(aT, bT);
        if (lo < hi) {
            collider.add_contact(A, { aR, hi }, B, { bL, hi });
            collider.add_contact(A, { aR, lo }, B, { bL, lo });
        } else if (lo > hi + eps) {
        } else if (aB < bT) {
            collider.add_contact(A, { aR, aT }, B, { bL, bB });
        } else {
            collider.add_contact(A, { aR, aB }, B, { bL, bT });
        }
        return;
    }
    if (bR <= aL) { // b left of a
        if (bR + eps < aL)
            return;
        const float lo = std::max(aB, bB), hi = std::min(aT, bT);
        if (lo < hi) {
            collider.add_contact(A, { aL, hi }, B, { bR, hi });
            collider.add_contact(A, { aL, lo }, B, { bR, lo });
        } else if (lo > hi + eps) {
        } else if (aB < bT) {
            collider.add_contact(A, { aL, aT }, B, { bR, bB });
        } else {
            collider.add_contact(A, { aL, aB }, B, { bR, bT });
        }
        return;
    }
    if (aT <= bB) { // a below b
        if (aT + eps < bB)
            return;
        const float lo = std::max(aL, bL), hi = std::min(aR, bR);
        if (lo < hi) {
            collider.add_contact(A, { hi, aT }, B, { hi, bB });
            collider.add_contact(A, { lo, aT }, B, { lo, bB });
        } else if (lo > hi + eps) {
        } else if (aL < bR) {
            collider.add_contact(A, { aR, aT }, B, { bL, bB });
        } else {
            collider.add_contact(A, { aL, aT }, B, { bR, bB });
        }
        return;
    }
    if (bT <= aB) { // b below a
        if (bT + eps < aB)
            return;
        const float lo = std::max(aL, bL), hi = std::min(aR, bR);
        if (lo < hi) {
            collider.add_contact(A, { lo, aB }, B, { lo, bT });
            collider.add_contact(A, { hi, aB }, B, { hi, bT });
        } else if (lo > hi + eps) {
        } else if (aL < bR) {
            collider.add_contact(A, { aR, aB }, B, { bL, bT });
        } else {
            collider.add_contact(A, { aL, aB }, B, { bR, bT });
        }
        return;
    }
    throw Intersection();
}

} // namespace shape_tests
} // namespace quarn::cls2
