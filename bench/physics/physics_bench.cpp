// The physics world and the shape-pair tests, each beside a straightforward
// reference on the same data in the same run:
//
//  - World/N: one 1/60 s frame (16 sub-steps) of N balls in a walled arena,
//    through the World (size buckets, incremental search). BruteForce/N:
//    the same sub-steps with every pair of Collidables handed to the
//    Collider in every sub-step, contacts made and resolved the same way.
//  - Pairs/<pair>: the contact finder through DefaultCollider (table
//    dispatch, world shapes, records), timed in the same run beside the
//    same geometry written out inline for two plain shapes, no records
//    (ratio = table time over inline time).
//
// items/s counts sub-steps for the worlds and shape pairs for the tests.
// --benchmark_format=csv gives CSV; record the machine beside the results.
#include "arena.h"
#include "side_by_side.h"

#include "physics/physics.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <list>
#include <random>
#include <vector>

namespace {

using namespace quarn;
using cls2::Box;
using cls2::Circle;
using cls2::Point2f;

using physics_bench::Arena;

template<class T>
RefPtr<cls2::Primitive> shape(const T& s)
{
    return Arena::shape(s);
}

void World(benchmark::State& state)
{
    Arena arena(int(state.range(0)));
    for (auto _ : state)
        arena.world.step(1.0f / 60);
    state.SetItemsProcessed(state.iterations() * 16);
}

// The World's sub-step with the broad phase replaced by testing every pair.
void brute_sub_step(dyn::World& w, std::vector<cls2::Collidable*>& all, float dt)
{
    const float h = w.time_step;
    auto& collider = *w.collider;
    collider.clear();
    for (size_t i = 0; i < all.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if ((all[i]->mask & all[j]->mask) != 0)
                collider.collide(*all[i], *all[j]);
    std::list<RefPtr<dyn::Contact>> found;
    collider.for_each_record([&](const cls2::CollisionRecord& r) {
        if (dyn::Contact* c = w.make_contact(r, w.materials))
            found.push_back(RefPtr<dyn::Contact>(c));
    });
    for (int pass = 0; pass < dyn::World::max_passes; ++pass) {
        bool changed = false;
        for (auto& c : found)
            changed = c->resolve(dt) || changed;
        if (!changed)
            break;
    }
    for (auto& b : w.bodies)
        b->integrate(h);
}

void BruteForce(benchmark::State& state)
{
    Arena arena(int(state.range(0)));
    dyn::World& w = arena.world;
    std::vector<cls2::Collidable*> all;
    for (auto& o : w.obstacles)
        all.push_back(o.get());
    for (auto& b : w.bodies)
        all.push_back(b.get());
    for (auto _ : state)
        for (int i = 0; i < 16; ++i)
            brute_sub_step(w, all, 1.0f / 60);
    state.SetItemsProcessed(state.iterations() * 16);
}

BENCHMARK(World)->Arg(16)->Arg(64)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BruteForce)->Arg(16)->Arg(64)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);

// Shape pairs: 1024 random pairs of each kind, half of them touching.
constexpr int pair_count = 1024;

template<class A, class B>
struct Pairs {
    std::vector<RefPtr<cls2::Primitive>> a, b;
    std::vector<A> plain_a;
    std::vector<B> plain_b;
};

Circle random_circle(std::mt19937& rng)
{
    std::uniform_real_distribution<float> pos(-2, 2), r(0.5f, 1.5f);
    return { { pos(rng), pos(rng) }, r(rng) };
}

Box random_box(std::mt19937& rng, float x)
{
    std::uniform_real_distribution<float> pos(-2, 2), h(0.5f, 1.5f);
    return { { x, pos(rng) }, h(rng), h(rng) };
}

template<class A, class B, class MakeA, class MakeB>
Pairs<A, B> make_pairs(MakeA make_a, MakeB make_b)
{
    std::mt19937 rng(7);
    Pairs<A, B> p;
    for (int i = 0; i < pair_count; ++i) {
        p.plain_a.push_back(make_a(rng, i));
        p.plain_b.push_back(make_b(rng, i));
        p.a.push_back(shape(p.plain_a.back()));
        p.b.push_back(shape(p.plain_b.back()));
    }
    return p;
}

// One round of the pair table over every pair; the records are cleared
// after each round, as a step does.
template<class A, class B>
int table_round(cls2::DefaultCollider& collider, const Pairs<A, B>& p)
{
    for (int i = 0; i < pair_count; ++i)
        collider.find_contacts(*p.a[i], *p.b[i]);
    benchmark::DoNotOptimize(collider.size());
    collider.clear();
    return pair_count;
}

auto circle_pairs() { return make_pairs<Circle, Circle>([](auto& r, int) { return random_circle(r); }, [](auto& r, int) { return random_circle(r); }); }
auto box_circle_pairs() { return make_pairs<Box, Circle>([](auto& r, int) { return random_box(r, 0); }, [](auto& r, int) { return random_circle(r); }); }
// Boxes side by side (touching or apart), never overlapping.
auto box_pairs()
{
    return make_pairs<Box, Box>([](auto& r, int) { return Box { { 0, std::uniform_real_distribution<float>(-1, 1)(r) }, 1, 1 }; },
        [](auto& r, int i) { return Box { { i % 2 ? 2.0f : 3.0f, std::uniform_real_distribution<float>(-1, 1)(r) }, 1, 1 }; });
}

// The references: the same contact points, computed inline.
int inline_round(const Pairs<Circle, Circle>& p)
{
    float sink = 0;
    for (int i = 0; i < pair_count; ++i) {
        const Circle& a = p.plain_a[i];
        const Circle& b = p.plain_b[i];
        const float dx = b.centre.x - a.centre.x, dy = b.centre.y - a.centre.y;
        const float d2 = dx * dx + dy * dy, r = a.radius + b.radius;
        if (r * r >= d2) {
            const float d = std::sqrt(d2);
            sink += a.centre.x + dx * a.radius / d + b.centre.x - dx * b.radius / d;
        }
    }
    benchmark::DoNotOptimize(sink);
    return pair_count;
}

int inline_round(const Pairs<Box, Circle>& p)
{
    float sink = 0;
    for (int i = 0; i < pair_count; ++i) {
        const Box& a = p.plain_a[i];
        const Circle& c = p.plain_b[i];
        const float qx = std::clamp(c.centre.x, a.left(), a.right());
        const float qy = std::clamp(c.centre.y, a.bottom(), a.top());
        const float dx = qx - c.centre.x, dy = qy - c.centre.y;
        const float d = std::sqrt(dx * dx + dy * dy);
        if (c.radius >= d && d > 0)
            sink += qx + c.centre.x + dx * c.radius / d;
    }
    benchmark::DoNotOptimize(sink);
    return pair_count;
}

int inline_round(const Pairs<Box, Box>& p)
{
    float sink = 0;
    for (int i = 0; i < pair_count; ++i) {
        const Box& a = p.plain_a[i];
        const Box& b = p.plain_b[i];
        if (a.right() <= b.left() && b.left() - a.right() < 1e-6f) {
            const float lo = std::max(a.bottom(), b.bottom()), hi = std::min(a.top(), b.top());
            sink += lo + hi;
        }
    }
    benchmark::DoNotOptimize(sink);
    return pair_count;
}

template<class A, class B>
void run_pairs(benchmark::State& state, const Pairs<A, B>& p)
{
    cls2::DefaultCollider collider;
    physics_bench::side_by_side(
        state, [&] { return table_round(collider, p); }, [&] { return inline_round(p); }, [] {});
}

void Pairs_CircleCircle(benchmark::State& state) { run_pairs(state, circle_pairs()); }
void Pairs_BoxCircle(benchmark::State& state) { run_pairs(state, box_circle_pairs()); }
void Pairs_BoxBox(benchmark::State& state) { run_pairs(state, box_pairs()); }

BENCHMARK(Pairs_CircleCircle)->Name("Pairs/CircleCircle")->UseManualTime();
BENCHMARK(Pairs_BoxCircle)->Name("Pairs/BoxCircle")->UseManualTime();
BENCHMARK(Pairs_BoxBox)->Name("Pairs/BoxBox")->UseManualTime();

} // namespace
