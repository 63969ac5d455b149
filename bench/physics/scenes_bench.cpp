// Whole scenes, our World beside Box2D building the same scene, each step
// of 1 ms timed in the same run (ratio = our time per step over Box2D's):
//
//  - Scene/game: the game's track (the data tool's walls, segments in
//    groups under bounding circles) and its car (two circles under a
//    bounding circle, mass 100, inertia 400), driven round the track by
//    the data tool's autopilot in 16 ms frames, as the game steps it.
//    The scene starts over every 1200 frames.
//  - Scene/arena/256: 256 balls of radius 0.5 moving at random in a box of
//    four walls, from a settled start; starts over every 60 frames.
//
// Both engines get the same shapes, masses, inertias and combined
// friction and restitution (our materials multiply; Box2D's fixtures are
// given values that its mixing turns into the same products). Box2D runs
// its usual 8 velocity and 3 position iterations. Without Box2D only our
// side runs.
#include "arena.h"
#include "side_by_side.h"

#include "physics/physics.h"
#include "tools/mkdata/autopilot.h"
#include "tools/mkdata/shapes.h"
#include "tools/mkdata/track.h"
#include "tools/mkdata/track_check.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#if QUARN_BENCH_BOX2D
#include <box2d/box2d.h>
#endif

namespace {

using namespace quarn;
using cls2::Point2f;
using physics_bench::Arena;

constexpr float frame_seconds = 0.016f;
// The default material meeting itself: restitution 0.2 * 0.2, friction
// 0.2 * 0.2.
constexpr float mixed_friction = 0.04f;
constexpr float mixed_restitution = 0.04f;

// The sub-steps World::step(dt) takes from `accumulator`, counted with the
// same float arithmetic.
int sub_steps(float accumulator, float dt, float time_step)
{
    float a = accumulator + dt;
    int n = 0;
    while (a >= time_step) {
        const float left = a - time_step;
        if (!(left < a))
            break;
        a = left;
        ++n;
    }
    return n;
}

int step_world(dyn::World& world, float dt)
{
    const int n = sub_steps(world.time_accumulator, dt, world.time_step);
    world.step(dt);
    return n;
}

// The car's own control, as the game applies it: thrust and turning from
// the keys every 10 ms, then the car's damping.
struct Control {
    float accumulator = 0;
    void apply(float dt, const mkdata::Keys& keys, float angle, Point2f& velocity, float& angular_velocity)
    {
        accumulator += dt;
        while (accumulator >= 0.01f) {
            accumulator -= 0.01f;
            const Point2f dir { std::cos(angle), std::sin(angle) };
            if (keys.up)
                velocity = velocity + dir * 400.1f * 0.01f;
            if (keys.down)
                velocity = velocity - dir * 400.1f * 0.01f;
            if (keys.left)
                angular_velocity += 0.01f * 14.02f;
            if (keys.right)
                angular_velocity -= 0.01f * 14.02f;
            velocity = velocity * 0.991f;
            angular_velocity *= 0.97f;
        }
    }
};

const mkdata::Track& game_track()
{
    static const mkdata::Track track = mkdata::design_track();
    return track;
}

struct OurGame {
    dyn::World world;
    RefPtr<dyn::Obstacle> walls { new dyn::Obstacle };
    RefPtr<dyn::RigidBody> car { new dyn::RigidBody };
    mkdata::Autopilot pilot { mkdata::autopilot_path(game_track()) };
    Control control;
    mkdata::Keys keys;

    OurGame()
    {
        mkdata::build_track_shapes(game_track(), *walls);
        walls->build_bounds(false);
        world.add_obstacle(walls);
        mkdata::build_car_shapes(*car);
        car->build_bounds(true);
        car->set_mass(100, 400);
        world.add_body(car);
        car->set_position({ mkdata::start_x, mkdata::start_y });
        car->set_angle(mkdata::start_angle);
    }

    void drive()
    {
        control.apply(frame_seconds, keys, car->angle(), car->velocity, car->angular_velocity);
        car->change_count += 2;
        keys = pilot.drive(car->position(), car->angle(), car->velocity, car->angular_velocity);
    }
};

#if QUARN_BENCH_BOX2D

b2Vec2 v2(const Point2f& p) { return { p.x, p.y }; }

void set_mass(b2Body* body, float mass, float inertia)
{
    b2MassData m;
    m.mass = mass;
    m.center = { 0, 0 };
    m.I = inertia;
    body->SetMassData(&m);
}

b2FixtureDef fixture_def(const b2Shape* shape)
{
    b2FixtureDef def;
    def.shape = shape;
    def.friction = mixed_friction;
    def.restitution = mixed_restitution;
    def.density = 1;
    return def;
}

struct Box2DGame {
    b2World world { b2Vec2(0, 0) };
    b2Body* car = nullptr;
    mkdata::Autopilot pilot { mkdata::autopilot_path(game_track()) };
    Control control;
    mkdata::Keys keys;

    // The walls are the segments of our track's tree, so both sides hold
    // the very same ones.
    explicit Box2DGame(const dyn::Obstacle& track)
    {
        b2BodyDef wall_def;
        b2Body* walls = world.CreateBody(&wall_def);
        track.primitives.for_each([&](const cls2::PrimitiveTree::Node& n) {
            if (!n.is_leaf() || n.primitive->kind != cls2::kind_segment)
                return;
            const auto& s = static_cast<const cls2::SegmentProxy&>(*n.primitive).shape;
            b2EdgeShape edge;
            edge.SetTwoSided(v2(s.end_a()), v2(s.end_b()));
            const b2FixtureDef def = fixture_def(&edge);
            walls->CreateFixture(&def);
        });
        b2BodyDef car_def;
        car_def.type = b2_dynamicBody;
        car_def.position = { mkdata::start_x, mkdata::start_y };
        car_def.angle = mkdata::start_angle;
        car = world.CreateBody(&car_def);
        for (float x : { mkdata::car_circle_offset, -mkdata::car_circle_offset }) {
            b2CircleShape circle;
            circle.m_p = { x, 0 };
            circle.m_radius = mkdata::car_circle_radius;
            const b2FixtureDef def = fixture_def(&circle);
            car->CreateFixture(&def);
        }
        set_mass(car, 100, 400);
    }

    void drive()
    {
        const b2Vec2 p = car->GetPosition(), v = car->GetLinearVelocity();
        Point2f velocity { v.x, v.y };
        float w = car->GetAngularVelocity();
        control.apply(frame_seconds, keys, car->GetAngle(), velocity, w);
        car->SetLinearVelocity(v2(velocity));
        car->SetAngularVelocity(w);
        keys = pilot.drive({ p.x, p.y }, car->GetAngle(), velocity, w);
    }

    void step(int n)
    {
        for (int i = 0; i < n; ++i)
            world.Step(0.001f, 8, 3);
    }
};

struct Box2DArena {
    b2World world { b2Vec2(0, 0) };

    // The same walls, and balls from the same random sequence, as Arena.
    explicit Box2DArena(int n)
    {
        const float half = Arena::half_size(n);
        b2BodyDef wall_def;
        b2Body* walls = world.CreateBody(&wall_def);
        const b2Vec2 centres[4] = { { -half - 0.5f, 0 }, { half + 0.5f, 0 }, { 0, -half - 0.5f }, { 0, half + 0.5f } };
        const b2Vec2 halves[4] = { { 0.5f, half + 1 }, { 0.5f, half + 1 }, { half + 1, 0.5f }, { half + 1, 0.5f } };
        for (int i = 0; i < 4; ++i) {
            b2PolygonShape box;
            box.SetAsBox(halves[i].x, halves[i].y, centres[i], 0);
            const b2FixtureDef def = fixture_def(&box);
            walls->CreateFixture(&def);
        }
        Arena::scatter(n, [&](Point2f p, Point2f v) {
            b2BodyDef def;
            def.type = b2_dynamicBody;
            def.position = v2(p);
            def.linearVelocity = v2(v);
            b2Body* ball = world.CreateBody(&def);
            b2CircleShape circle;
            circle.m_radius = Arena::ball_radius;
            const b2FixtureDef fdef = fixture_def(&circle);
            ball->CreateFixture(&fdef);
            set_mass(ball, 1, 0.5f);
        });
        for (int i = 0; i < 100; ++i)
            world.Step(0.001f, 8, 3);
    }

    void step(int n)
    {
        for (int i = 0; i < n; ++i)
            world.Step(0.001f, 8, 3);
    }
};

#endif

void Scene_game(benchmark::State& state)
{
    constexpr int episode = 1200;
    std::unique_ptr<OurGame> ours;
#if QUARN_BENCH_BOX2D
    std::unique_ptr<Box2DGame> theirs;
#endif
    int frame = 0, steps = 0;
    physics_bench::side_by_side(
        state,
        [&] {
            steps = step_world(ours->world, frame_seconds);
            return steps;
        },
        [&] {
#if QUARN_BENCH_BOX2D
            theirs->step(steps);
            return steps;
#else
            return 0;
#endif
        },
        [&] {
            if (frame++ % episode == 0) {
                ours = std::make_unique<OurGame>();
#if QUARN_BENCH_BOX2D
                theirs = std::make_unique<Box2DGame>(*ours->walls);
#endif
            }
            ours->drive();
#if QUARN_BENCH_BOX2D
            theirs->drive();
#endif
        });
    state.counters["contacts"] = double(ours->world.contact_count);
}

void Scene_arena(benchmark::State& state)
{
    constexpr int episode = 60;
    const int n = int(state.range(0));
    std::unique_ptr<Arena> ours;
#if QUARN_BENCH_BOX2D
    std::unique_ptr<Box2DArena> theirs;
#endif
    int frame = 0, steps = 0;
    physics_bench::side_by_side(
        state,
        [&] {
            steps = step_world(ours->world, frame_seconds);
            return steps;
        },
        [&] {
#if QUARN_BENCH_BOX2D
            theirs->step(steps);
            return steps;
#else
            return 0;
#endif
        },
        [&] {
            if (frame++ % episode == 0) {
                ours = std::make_unique<Arena>(n);
#if QUARN_BENCH_BOX2D
                theirs = std::make_unique<Box2DArena>(n);
#endif
            }
        });
}

BENCHMARK(Scene_game)->Name("Scene/game")->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(Scene_arena)->Name("Scene/arena")->Arg(256)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
