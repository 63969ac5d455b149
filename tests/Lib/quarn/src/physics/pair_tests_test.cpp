// Shape-pair tests with answers worked out by hand: inside tests, overlap
// tests and the records of the contact finders, direct and through the
// pair table.
#include "physics_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace physics_test;
namespace st = quarn::cls2::shape_tests;

void expect_point(const Point2f& p, float x, float y)
{
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
}

void expect_record(const cls2::CollisionRecord& r, const cls2::Primitive* a, float ax, float ay,
    const cls2::Primitive* b, float bx, float by)
{
    EXPECT_EQ(r.a, a);
    EXPECT_EQ(r.b, b);
    expect_point(r.point_a, ax, ay);
    expect_point(r.point_b, bx, by);
}

TEST(InsideTests, BoxAgainstEachShape)
{
    const Box a = box(0, 0, 2, 1);
    EXPECT_EQ(st::check_inside(a, Point2f(1, 0.5f)), 0);
    EXPECT_EQ(st::check_inside(a, Point2f(2, 0)), 1) << "on the edge is not strictly inside";

    EXPECT_EQ(st::check_inside(a, Segment::from_points({ -1, 0 }, { 1, 0 })), 0);
    EXPECT_EQ(st::check_inside(a, Segment::from_points({ -1, 0 }, { 3, 0 })), 2);
    EXPECT_EQ(st::check_inside(a, Segment::from_points({ -3, 0 }, { 3, 0 })), 1) << "crossing, both ends out";
    EXPECT_EQ(st::check_inside(a, Tube::from_points({ -1, 0 }, { 1, 0 }, 5)), 0) << "the radius plays no part";

    EXPECT_EQ(st::check_inside(a, box(0, 0, 1, 0.5f)), 0);
    EXPECT_EQ(st::check_inside(a, box(2, 0, 1, 0.5f)), 2);
    EXPECT_EQ(st::check_inside(a, box(5, 0, 1, 0.5f)), 1);

    EXPECT_EQ(st::check_inside(a, circle(0, 0, 0.5f)), 0);
    EXPECT_EQ(st::check_inside(a, circle(0, 0.8f, 0.5f)), 2) << "reaches past the top";
    EXPECT_EQ(st::check_inside(a, circle(0, 3, 0.5f)), 1);
    EXPECT_EQ(st::check_inside(a, circle(2.2f, 1.2f, 0.1f)), 1) << "near the corner, outside";
}

TEST(OverlapTests, BoxesUseTheToleranceOnClosedEdges)
{
    const float eps = 0.01f;
    const Box a = box(0, 0, 1, 1);
    EXPECT_TRUE(st::intersecting(a, box(2, 0, 1, 1), eps)) << "touching";
    EXPECT_TRUE(st::intersecting(a, box(2.005f, 0, 1, 1), eps)) << "a gap within eps";
    EXPECT_FALSE(st::intersecting(a, box(2.02f, 0, 1, 1), eps));
    EXPECT_FALSE(st::intersecting(a, box(0, -2.02f, 1, 1), eps));
}

TEST(OverlapTests, RoundShapes)
{
    EXPECT_TRUE(st::intersecting(box(0, 0, 2, 1), circle(0, 1.5f, 0.5f), 0)) << "resting on the top edge";
    EXPECT_FALSE(st::intersecting(box(0, 0, 2, 1), circle(3, 2, 1), 0)) << "off the corner";
    EXPECT_TRUE(st::intersecting(circle(0, 0, 1), circle(3, 0, 2), 0));
    EXPECT_FALSE(st::intersecting(circle(0, 0, 1), circle(3.1f, 0, 2), 0));

    // A point on the rim is not intersecting (strict), though it touches.
    EXPECT_FALSE(st::intersecting(Point2f(1, 0), circle(0, 0, 1), 0));
    EXPECT_TRUE(st::intersecting(Point2f(0.9f, 0), circle(0, 0, 1), 0));

    const Tube tube = Tube::from_points({ -2, 0 }, { 2, 0 }, 0.5f);
    EXPECT_TRUE(st::intersecting(Point2f(2, 0.5f), tube, 0)) << "the corner of the square end";
    EXPECT_FALSE(st::intersecting(Point2f(2.1f, 0), tube, 0));
    EXPECT_TRUE(st::intersecting(tube, circle(2.9f, 0, 0.5f), 0)) << "round ends for circles";
    EXPECT_FALSE(st::intersecting(tube, circle(3.1f, 0, 0.5f), 0));

    const Segment seg = Segment::from_points({ -2, 0 }, { 2, 0 });
    EXPECT_TRUE(st::intersecting(seg, circle(3, 0.5f, 2), 0)) << "past the end still overlaps";
    EXPECT_FALSE(st::intersecting(seg, circle(0, 2, 1.9f), 0));
}

TEST(ContactFinders, CircleWithCircle)
{
    auto a = proxy(circle(0, 0, 1));
    auto b = proxy(circle(1.5f, 0, 1));
    auto r = contacts_of(*a, *b);
    ASSERT_EQ(r.size(), 1u);
    expect_record(r[0], a.get(), 1, 0, b.get(), 0.5f, 0);

    EXPECT_EQ(contacts_of(*a, *proxy(circle(2.1f, 0, 1))).size(), 0u);
    EXPECT_EQ(contacts_of(*a, *proxy(circle(2.05f, 0, 1)), 0.1f).size(), 1u) << "within the tolerance";

    // Concentric: the points still lie apart, a's to the right.
    auto c = proxy(circle(0, 0, 0.5f));
    r = contacts_of(*a, *c);
    ASSERT_EQ(r.size(), 1u);
    expect_record(r[0], a.get(), 1, 0, c.get(), -0.5f, 0);
}

TEST(ContactFinders, BoxWithCircle)
{
    auto b = proxy(box(0, 0, 2, 1));
    auto resting = proxy(circle(0, 1.5f, 0.5f));
    auto r = contacts_of(*b, *resting);
    ASSERT_EQ(r.size(), 1u);
    expect_record(r[0], b.get(), 0, 1, resting.get(), 0, 1);

    auto sinking = proxy(circle(1, 1.2f, 0.5f));
    r = contacts_of(*b, *sinking);
    ASSERT_EQ(r.size(), 1u);
    expect_record(r[0], b.get(), 1, 1, sinking.get(), 1, 0.7f);

    // Centre inside: the nearest edge (the top, 0.2 away) and the circle's
    // point deepest in the box.
    auto inside = proxy(circle(0.5f, 0.8f, 0.5f));
    r = contacts_of(*b, *inside);
    ASSERT_EQ(r.size(), 1u);
    expect_record(r[0], b.get(), 0.5f, 1, inside.get(), 0.5f, 0.3f);

    EXPECT_EQ(contacts_of(*b, *proxy(circle(3.6f, 0, 0.5f))).size(), 0u);

    // Through the table, either order puts the box first.
    r = contacts_of(*sinking, *b);
    ASSERT_EQ(r.size(), 1u);
    expect_record(r[0], b.get(), 1, 1, sinking.get(), 1, 0.7f);
}

TEST(ContactFinders, PointSegmentAndTubeWithCircle)
{
    auto pt = proxy(Point2f(1, 0));
    auto unit = proxy(circle(0, 0, 1));
    auto r = contacts_of(*pt, *unit);
    ASSERT_EQ(r.size(), 1u) << "a point on the rim touches";
    expect_record(r[0], pt.get(), 1, 0, unit.get(), 1, 0);
    EXPECT_EQ(contacts_of(*proxy(Point2f(1.1f, 0)), *unit).size(), 0u);

    auto seg = proxy(Segment::from_points({ -2, 0 }, { 2, 0 }));
    auto c = proxy(circle(1, 0.5f, 1));
    r = contacts_of(*seg, *c);
    ASSERT_EQ(r.size(), 1u);
    expect_record(r[0], seg.get(), 1, 0, c.get(), 1, -0.5f);
    EXPECT_EQ(contacts_of(*seg, *proxy(circle(3, 0.5f, 2))).size(), 0u) << "beyond the end: no record";
    r = contacts_of(*c, *seg);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].a, seg.get()) << "the segment comes first";

    auto tube = proxy(Tube::from_points({ -2, 0 }, { 2, 0 }, 0.5f));
    auto near = proxy(circle(1, 1.2f, 1));
    r = contacts_of(*tube, *near);
    ASSERT_EQ(r.size(), 1u);
    expect_record(r[0], tube.get(), 1, 0.5f, near.get(), 1, 0.2f);
    EXPECT_EQ(contacts_of(*tube, *proxy(circle(2.000005f, 1.2f, 1))).size(), 1u) << "level with the end, in slack";
    EXPECT_EQ(contacts_of(*tube, *proxy(circle(2.1f, 1.2f, 1))).size(), 0u);
    EXPECT_EQ(contacts_of(*tube, *proxy(circle(1, 1.6f, 1))).size(), 0u);
}

TEST(ContactFinders, PointWithTube)
{
    auto tube = proxy(Tube::from_points({ -2, 0 }, { 2, 0 }, 0.5f));
    auto p = proxy(Point2f(1, -0.3f));
    auto r = contacts_of(*p, *tube);
    ASSERT_EQ(r.size(), 1u);
    expect_record(r[0], p.get(), 1, -0.3f, tube.get(), 1, -0.5f);
    r = contacts_of(*tube, *p);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].a, p.get()) << "the point comes first";
    EXPECT_EQ(contacts_of(*proxy(Point2f(1, 0.6f)), *tube).size(), 0u);
    EXPECT_EQ(contacts_of(*proxy(Point2f(2.5f, 0)), *tube).size(), 0u);
}

TEST(ContactFinders, BoxWithBoxSides)
{
    auto a = proxy(box(0, 0, 0.5f, 0.5f));
    // Side by side, equal heights: both ends of the shared edge.
    auto right = proxy(box(1, 0, 0.5f, 0.5f));
    auto r = contacts_of(*a, *right);
    ASSERT_EQ(r.size(), 2u);
    expect_record(r[0], a.get(), 0.5f, 0.5f, right.get(), 0.5f, 0.5f);
    expect_record(r[1], a.get(), 0.5f, -0.5f, right.get(), 0.5f, -0.5f);

    auto left = proxy(box(-1, 0.25f, 0.5f, 0.5f));
    r = contacts_of(*a, *left);
    ASSERT_EQ(r.size(), 2u);
    expect_record(r[0], a.get(), -0.5f, 0.5f, left.get(), -0.5f, 0.5f);
    expect_record(r[1], a.get(), -0.5f, -0.25f, left.get(), -0.5f, -0.25f);

    auto above = proxy(box(0.5f, 1, 0.5f, 0.5f));
    r = contacts_of(*a, *above);
    ASSERT_EQ(r.size(), 2u);
    expect_record(r[0], a.get(), 0.5f, 0.5f, above.get(), 0.5f, 0.5f);
    expect_record(r[1], a.get(), 0, 0.5f, above.get(), 0, 0.5f);

    auto below = proxy(box(0, -1, 0.25f, 0.5f));
    r = contacts_of(*a, *below);
    ASSERT_EQ(r.size(), 2u);
    expect_record(r[0], a.get(), -0.25f, -0.5f, below.get(), -0.25f, -0.5f);
    expect_record(r[1], a.get(), 0.25f, -0.5f, below.get(), 0.25f, -0.5f);
}

TEST(ContactFinders, BoxWithBoxCornersGapsAndOverlap)
{
    auto a = proxy(box(0, 0, 0.5f, 0.5f));
    auto corner = proxy(box(1, 1, 0.5f, 0.5f));
    auto r = contacts_of(*a, *corner);
    ASSERT_EQ(r.size(), 1u) << "corners meeting give one record";
    expect_record(r[0], a.get(), 0.5f, 0.5f, corner.get(), 0.5f, 0.5f);

    const float eps = 0.01f;
    EXPECT_EQ(contacts_of(*a, *proxy(box(1.02f, 0, 0.5f, 0.5f)), eps).size(), 0u) << "a gap of 2 eps";
    r = contacts_of(*a, *proxy(box(1.005f, 0, 0.5f, 0.5f)), eps);
    ASSERT_EQ(r.size(), 2u) << "a gap of eps/2";
    EXPECT_FLOAT_EQ(r[0].point_b.x, 0.505f);

    EXPECT_THROW(contacts_of(*a, *proxy(box(0.9f, 0.1f, 0.5f, 0.5f))), cls2::Intersection);
    try {
        contacts_of(*a, *proxy(box(0, 0, 0.5f, 0.5f)));
        FAIL() << "no Intersection";
    } catch (const quarn::Exception& e) {
        EXPECT_STREQ(e.what(), "class quarn::cls2::Intersection");
    }
    EXPECT_NO_THROW(contacts_of(*a, *proxy(circle(0, 0, 3)))) << "a box with a circle never throws";
}

TEST(PairTable, CellsThatAnswerByRule)
{
    cls2::DefaultCollider collider;
    auto b = proxy(box(0, 0, 1, 1));
    auto p = proxy(Point2f(50, 50));
    auto s = proxy(Segment::from_points({ 10, 10 }, { 20, 20 }));
    auto t = proxy(Tube::from_points({ 10, 10 }, { 20, 20 }, 1));
    auto c = proxy(circle(100, 100, 1));

    EXPECT_TRUE(collider.intersecting(*b, *p)) << "always true";
    EXPECT_TRUE(collider.intersecting(*s, *b));
    EXPECT_FALSE(collider.intersecting(*proxy(Point2f(0, 0)), *b)) << "Point2 with Box: never";
    EXPECT_FALSE(collider.intersecting(*s, *t));
    EXPECT_FALSE(collider.intersecting(*c, *b)) << "the reverse of the direct test";

    EXPECT_THROW(collider.find_contacts(*b, *t), quarn::Exception);
    EXPECT_THROW(collider.find_contacts(*t, *b), quarn::Exception);
    EXPECT_THROW(collider.check_inside(*c, *b), quarn::Exception);
    EXPECT_EQ(collider.check_inside(*b, *proxy(Point2f(0.5f, 0))), 0);
    collider.find_contacts(*p, *proxy(Point2f(50, 50)));
    collider.find_contacts(*s, *t);
    EXPECT_EQ(collider.size(), 0u) << "cells without contacts";

    // Kinds that name no shape have no cell.
    EXPECT_EQ(cls2::pair_cell(2, 0), nullptr);
    EXPECT_EQ(cls2::pair_cell(0, 6), nullptr);
    EXPECT_EQ(cls2::pair_cell(7, 7), nullptr);
    cls2::BoxProxy unset;
    EXPECT_THROW(collider.intersecting(unset, *b), quarn::Exception);
    try {
        collider.find_contacts(*b, *s);
    } catch (const quarn::Exception& e) {
        EXPECT_STREQ(e.what(), "NOT IMPLEMENTED");
    }
}

} // namespace
