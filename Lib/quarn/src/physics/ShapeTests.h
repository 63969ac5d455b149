// The geometry of the narrow phase, on world shapes: inside tests, overlap
// tests and contact finders for the pairs of shapes the pair table fills.
// The strictness of every comparison is part of the rule ("<" and "<=" are
// not interchangeable): a point on a circle's rim is not intersecting it
// but touches it.
#pragma once

#include "physics/Shapes.h"

namespace quarn::cls2 {

class Collider;
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

} // namespace shape_tests
} // namespace quarn::cls2
