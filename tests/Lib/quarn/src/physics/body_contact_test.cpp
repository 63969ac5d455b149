// Rigid bodies (pose, pending motion, damping, impacts) and the three
// kinds of contact with their resolution.
#include "physics_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace physics_test;
using dyn::RigidBody;

struct Ball : RigidBody {
    explicit Ball(float r = 1) { give_shapes(*this, { proxy(circle(0, 0, r)) }); }
};

TEST(RigidBody, SettingTheSamePoseMovesNothing)
{
    dyn::World world;
    RefPtr<Ball> b(new Ball);
    world.add_body(b);
    b->set_position({ 1, 2 });
    world.space->update();
    const int32_t stamp = b->pose_stamp;
    b->set_position({ 1, 2 });
    b->set_angle(0);
    EXPECT_TRUE(world.space->moved().empty()) << "not marked as moved";
    EXPECT_EQ(b->pose_stamp, stamp);
    b->set_angle(0.5f);
    EXPECT_EQ(world.space->moved().size(), 1u);
    EXPECT_EQ(b->pose_stamp, stamp + 1);
    EXPECT_FLOAT_EQ(b->Collidable::angle, 0.5f);
}

TEST(RigidBody, PendingMotionMovesThePosePastAThreshold)
{
    Ball b;
    b.velocity = { 0.005f, 0 };
    b.integrate(0.001f);
    EXPECT_EQ(b.position(), Point2f(0, 0));
    EXPECT_FLOAT_EQ(b.pending_translation().x, 5e-6f);
    int steps = 1;
    while (b.position().x == 0 && steps < 5000) {
        b.integrate(0.001f);
        ++steps;
    }
    EXPECT_NEAR(steps, 2000, 2) << "the pose jumps once the gathered distance passes 0.01";
    EXPECT_GT(b.position().x, 0.01f);
    EXPECT_EQ(b.pending_translation(), Point2f(0, 0));
    EXPECT_EQ(b.Collidable::position, b.position());

    b.angular_velocity = 2;
    b.integrate(0.001f); // 0.002 rad pending: past 0.001
    EXPECT_FLOAT_EQ(b.angle(), 0.002f);
    EXPECT_EQ(b.change_count, uint32_t(steps + 1));
}

TEST(RigidBody, DampingStopsAtZero)
{
    Ball b;
    b.linear_damping = 10;
    b.angular_damping = 3;
    b.velocity = { 4, -4 };
    b.angular_velocity = -2;
    b.integrate(0.01f);
    EXPECT_FLOAT_EQ(b.velocity.x, 3.6f);
    EXPECT_FLOAT_EQ(b.velocity.y, -3.6f);
    EXPECT_FLOAT_EQ(b.angular_velocity, -1.94f);
    b.linear_damping = 1000; // would reverse it
    b.angular_damping = 1000;
    b.integrate(0.01f);
    EXPECT_EQ(b.velocity, Point2f(0, 0));
    EXPECT_EQ(b.angular_velocity, 0);
}

TEST(RigidBody, ImpulsesAndImpacts)
{
    Ball b;
    b.set_mass(2, 8);
    b.apply_impulse({ 4, 0 });
    EXPECT_EQ(b.velocity, Point2f(2, 0));
    b.apply_impulse({ 1e6f, 0 });
    EXPECT_EQ(b.destroyed, 0) << "the default fatal impact is off";

    b.set_position({ 1, 1 });
    const uint32_t count = b.change_count;
    b.apply_angular_impulse({ 1, 1 }, { 5, 5 });
    EXPECT_EQ(b.angular_velocity, 0) << "at its own position";
    EXPECT_EQ(b.change_count, count + 1);
    b.apply_angular_impulse({ 2, 1 }, { 0, 4 });
    EXPECT_FLOAT_EQ(b.angular_velocity, 0.5f);
    const Point2f v = b.point_velocity({ 1, 3 });
    EXPECT_FLOAT_EQ(v.x, b.velocity.x - 1.0f);

    Ball c;
    c.min_impact = 10;
    c.register_impact(5);
    EXPECT_EQ(c.damage, 0);
    c.register_impact(-50);
    EXPECT_EQ(c.damage, 50) << "the sign does not matter";
    EXPECT_EQ(c.destroyed, 0);
    c.fatal_impact = 40;
    c.register_impact(-50);
    EXPECT_EQ(c.destroyed, 1);
    Ball d;
    d.fatal_impact = 3;
    d.apply_impulse({ 3, 0 });
    EXPECT_EQ(d.destroyed, 1);
    Ball e;
    e.suppress_damage = 1;
    e.register_impact(100);
    EXPECT_EQ(e.damage, 0);
}

TEST(RigidBody, KindOfBody)
{
    Ball b;
    dyn::RopeBody rope;
    dyn::Obstacle wall;
    EXPECT_EQ(dyn::body_kind(&b), 1);
    EXPECT_EQ(dyn::body_kind(&rope), 2);
    EXPECT_EQ(dyn::body_kind(&wall), 0);
    EXPECT_EQ(dyn::sign(0.0f), 0);
    EXPECT_EQ(dyn::sign(-0.0f), 0);
    EXPECT_EQ(dyn::sign(2.0f), 1);
    EXPECT_EQ(dyn::sign(-2.0f), -1);
}

// A ball of radius 1 sunk 0.1 into the top of a static box.
struct Resting {
    Resting()
    {
        ball.set_mass(100, 400);
        ball.set_position({ 0, 1.9f });
        give_shapes(ground, { proxy(box(0, 0, 5, 1)) });
        rec = { ground.primitives.root()->primitive.get(), { 0, 1 }, ball.primitives.root()->primitive.get(), { 0, 0.9f } };
    }
    Ball ball;
    dyn::Obstacle ground;
    dyn::MaterialTable materials;
    cls2::CollisionRecord rec;
};

TEST(RigidStaticContact, BuildsFromEitherSide)
{
    Resting s;
    dyn::RigidStaticContact c(s.rec, s.materials, true);
    EXPECT_EQ(c.body, &s.ball);
    EXPECT_EQ(c.point_a, Point2f(0, 0.9f)) << "the body's point first";
    EXPECT_EQ(c.point_b, Point2f(0, 1));
    EXPECT_NEAR(c.depth, 0.1f, 1e-6);
    EXPECT_NEAR(c.normal.y, -1, 1e-6) << "from the static point to the body's";
    EXPECT_NEAR(c.tangent.x, 1, 1e-6);
    EXPECT_FLOAT_EQ(c.friction, 0.04f) << "default with default";
    EXPECT_FLOAT_EQ(c.restitution, 0.04f);
    // r = (0, -1): no lever along the normal, full lever along the tangent.
    EXPECT_FLOAT_EQ(c.normal_factor, -1.04f / 0.01f);
    EXPECT_FLOAT_EQ(c.tangent_factor, 1 / (1.0f / 400 + 0.01f));
}

TEST(RigidStaticContact, Resolve)
{
    Resting s;
    dyn::RigidStaticContact c(s.rec, s.materials, true);
    s.ball.velocity = { 0, 1 }; // moving away
    EXPECT_FALSE(c.resolve(0.02f));
    EXPECT_EQ(s.ball.velocity, Point2f(0, 1));
    s.ball.velocity = { 3, 0 }; // tangential only
    EXPECT_FALSE(c.resolve(0.02f));

    s.ball.velocity = { 0, -2 }; // falling in
    const uint32_t count = s.ball.change_count;
    EXPECT_TRUE(c.resolve(0.02f));
    // j = depth / (50 dt) * Kn + vn * Kn, along the normal (down): up by
    // -j / m.
    const float j = 0.1f / (50 * 0.02f) * c.normal_factor + 2 * c.normal_factor;
    EXPECT_NEAR(s.ball.velocity.y, -2 - j / 100, 1e-4);
    EXPECT_GT(s.ball.velocity.y, 0) << "bounced";
    EXPECT_EQ(s.ball.change_count, count + 2);
    EXPECT_NEAR(s.ball.damage, std::fabs(j), 1e-3);

    // Sliding while pressing in: friction brakes the slide, capped by vn.
    Resting t;
    dyn::RigidStaticContact f(t.rec, t.materials, true);
    t.ball.velocity = { 5, -0.5f };
    EXPECT_TRUE(f.resolve(0.02f));
    EXPECT_LT(t.ball.velocity.x, 5);
    EXPECT_GT(t.ball.velocity.x, 4.9f);

    // Barely pressing: the impulse acts but is too small to count.
    Resting u;
    u.rec.point_b = { 0, 0.999f };
    dyn::RigidStaticContact tiny(u.rec, u.materials, true);
    u.ball.velocity = { 0, -1e-6f };
    const uint32_t before = u.ball.change_count;
    EXPECT_FALSE(tiny.resolve(10.0f));
    EXPECT_EQ(u.ball.change_count, before + 2) << "applied all the same";
}

TEST(RigidRigidContact, SkipsWhenNeitherBodyChanged)
{
    Ball a, b;
    a.set_mass(1, 1);
    b.set_mass(1, 1);
    a.set_position({ 0, 0 });
    b.set_position({ 1.9f, 0 });
    cls2::CollisionRecord rec { a.primitives.root()->primitive.get(), { 1, 0 }, b.primitives.root()->primitive.get(), { 0.9f, 0 } };
    dyn::MaterialTable materials;
    dyn::RigidRigidContact c(rec, materials);
    EXPECT_EQ(c.seen_count_a, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(c.normal_factor, -1.04f / 2);
    a.velocity = { 1, 0 };
    EXPECT_TRUE(c.resolve(0.02f));
    // Equal masses: the push shares the momentum and they separate.
    EXPECT_NEAR(a.velocity.x + b.velocity.x, 1, 1e-6);
    EXPECT_LT(a.velocity.x, b.velocity.x);
    EXPECT_EQ(c.seen_count_a, a.change_count);
    const Point2f va = a.velocity;
    EXPECT_FALSE(c.resolve(0.02f)) << "nothing changed since";
    EXPECT_EQ(a.velocity, va);

    // Separating: no impulse, but the counts are noted.
    ++a.change_count;
    EXPECT_FALSE(c.resolve(0.02f));
    EXPECT_EQ(c.seen_count_a, a.change_count);
}

TEST(RigidFrictionContact, BudgetsAndThresholds)
{
    Ball slow, fast;
    slow.set_mass(2, 1);
    fast.set_mass(2, 1);
    slow.velocity = { 0.5f, 0 };
    fast.velocity = { 2, 0 };
    EXPECT_EQ(dyn::RigidFrictionContact(&slow, 10, 0).linear_factor, 10);
    EXPECT_FLOAT_EQ(dyn::RigidFrictionContact(&fast, 10, 0).linear_factor, 7);
    fast.angular_velocity = 3;
    EXPECT_FLOAT_EQ(dyn::RigidFrictionContact(&fast, 0, 10).angular_factor, 7);
    fast.angular_velocity = -30;
    EXPECT_EQ(dyn::RigidFrictionContact(&fast, 0, 10).angular_factor, 10) << "the clockwise spin keeps it all";

    // A budget beyond the momentum stops the body and keeps the rest.
    dyn::RigidFrictionContact stop(&slow, 100, 0);
    EXPECT_TRUE(stop.resolve(0.1f));
    EXPECT_NEAR(slow.velocity.x, 0, 1e-6);
    // budget m * f * dt = 20, momentum 1: 19 left, as a factor 19 / (m dt).
    EXPECT_FLOAT_EQ(stop.linear_factor, 95);
    EXPECT_FALSE(stop.resolve(0.1f)) << "nothing left to stop";

    Ball spin;
    spin.set_mass(1, 2);
    spin.angular_velocity = -1;
    dyn::RigidFrictionContact brake(&spin, 0, 1);
    EXPECT_TRUE(brake.resolve(0.1f));
    EXPECT_FLOAT_EQ(spin.angular_velocity, -0.9f);
    EXPECT_FLOAT_EQ(brake.angular_factor, 0);
}

} // namespace
