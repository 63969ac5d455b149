// The ball arena the physics benchmarks share: N balls of radius 0.5 at
// random in a box of four walls, moving at random, settled for 0.1 s.
#pragma once

#include "physics/physics.h"

#include <cmath>
#include <random>

namespace physics_bench {

class Arena {
public:
    static constexpr float ball_radius = 0.5f;

    // Half the inner width of the box for n balls.
    static float half_size(int n) { return std::sqrt(float(n)) * 2; }

    // Calls place(position, velocity) for each of n balls, from one seeded
    // random sequence.
    template<class F>
    static void scatter(int n, F&& place)
    {
        const float half = half_size(n);
        std::mt19937 rng(12345);
        std::uniform_real_distribution<float> pos(-half + 1, half - 1), vel(-5, 5);
        for (int i = 0; i < n; ++i) {
            const quarn::cls2::Point2f p { pos(rng), pos(rng) };
            const quarn::cls2::Point2f v { vel(rng), vel(rng) };
            place(p, v);
        }
    }

    explicit Arena(int n)
    {
        using quarn::cls2::Box;
        const float half = half_size(n);
        quarn::RefPtr<quarn::dyn::Obstacle> walls(new quarn::dyn::Obstacle);
        auto* root = walls->primitives.add_root(shape(Box { { 0, 0 }, half + 1, half + 1 }));
        walls->primitives.add_child(root, shape(Box { { -half - 0.5f, 0 }, 0.5f, half + 1 }));
        walls->primitives.add_child(root, shape(Box { { half + 0.5f, 0 }, 0.5f, half + 1 }));
        walls->primitives.add_child(root, shape(Box { { 0, -half - 0.5f }, half + 1, 0.5f }));
        walls->primitives.add_child(root, shape(Box { { 0, half + 0.5f }, half + 1, 0.5f }));
        walls->set_owners();
        world.add_obstacle(walls);
        scatter(n, [&](quarn::cls2::Point2f p, quarn::cls2::Point2f v) {
            quarn::RefPtr<quarn::dyn::RigidBody> b(new quarn::dyn::RigidBody);
            b->primitives.add_root(shape(quarn::cls2::Circle { { 0, 0 }, ball_radius }));
            b->set_owners();
            b->set_mass(1, 0.5f);
            b->set_position(p);
            b->velocity = v;
            world.add_body(b);
        });
        // Settle the first contacts before timing.
        world.step(0.1f);
    }

    template<class T>
    static quarn::RefPtr<quarn::cls2::Primitive> shape(const T& s)
    {
        return quarn::RefPtr<quarn::cls2::Primitive>(new quarn::cls2::PrimitiveProxy<T>(s, nullptr, {}));
    }

    quarn::dyn::World world;
};

} // namespace physics_bench
