// The narrow phase's record store and tree walk, and the broad phase,
// including the broad phase against brute force on seeded random scenes.
#include "physics_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>

namespace {

using namespace physics_test;

// Counts the shape tests it is asked for and which owners they were for.
struct CountingCollider : cls2::DefaultCollider {
    void find_contacts(const cls2::Primitive& a, const cls2::Primitive& b) override
    {
        ++finds;
        pairs.emplace_back(a.owner, b.owner);
        DefaultCollider::find_contacts(a, b);
    }
    bool intersecting(const cls2::Primitive& a, const cls2::Primitive& b) override
    {
        ++overlaps;
        return DefaultCollider::intersecting(a, b);
    }
    int finds = 0;
    int overlaps = 0;
    std::vector<std::pair<cls2::Collidable*, cls2::Collidable*>> pairs;
};

struct Thing : cls2::Collidable {
    Thing(float x, float y, float r)
    {
        set_pose_position({ x, y });
        give_shapes(*this, { proxy(circle(0, 0, r)) });
    }
};

size_t records_between(const cls2::Collider& c, const cls2::Collidable& x, const cls2::Collidable& y)
{
    size_t n = 0;
    c.for_each_record([&](const cls2::CollisionRecord& r) {
        if ((r.a->owner == &x && r.b->owner == &y) || (r.a->owner == &y && r.b->owner == &x))
            ++n;
    });
    return n;
}

TEST(Collider, RecordsAreKeptPerPairOfOwners)
{
    cls2::DefaultCollider collider;
    Thing a(0, 0, 1), b(1.5f, 0, 1), c(-1.5f, 0, 1), d(0.75f, 1.2f, 1);
    const auto& pa = a.primitives.root()->primitive;
    const auto& pb = b.primitives.root()->primitive;
    // Either order of the owners is one key.
    collider.add_contact(pa.get(), { 0, 0 }, pb.get(), { 1, 0 });
    collider.add_contact(pb.get(), { 1, 0 }, pa.get(), { 0, 0 });
    collider.collide(a, c);
    collider.collide(d, a);
    collider.collide(b, d);
    EXPECT_EQ(collider.size(), 5u);
    EXPECT_EQ(records_between(collider, a, b), 2u);
    EXPECT_TRUE(a.partners.count(&b) && b.partners.count(&a) && d.partners.count(&a));

    collider.remove_contacts(a);
    EXPECT_EQ(collider.size(), 1u) << "only b-d is left";
    EXPECT_EQ(records_between(collider, b, d), 1u);
    EXPECT_EQ(a.partners.size(), 3u) << "partner sets stay";
    collider.remove_contacts(b);
    EXPECT_EQ(collider.size(), 0u);
    collider.clear();
}

TEST(Collider, GrowsAndKeepsEveryRecord)
{
    cls2::DefaultCollider collider;
    EXPECT_EQ(collider.bucket_count(), 193u) << "room for 100";
    std::vector<std::unique_ptr<Thing>> things;
    for (int i = 0; i < 40; ++i)
        things.push_back(std::make_unique<Thing>(float(i), 0, 0.6f));
    for (int round = 0; round < 20; ++round)
        for (int i = 0; i + 1 < 40; ++i)
            collider.collide(*things[i], *things[i + 1]);
    EXPECT_EQ(collider.size(), 20u * 39u);
    EXPECT_GT(collider.bucket_count(), 193u);
    size_t walked = 0;
    collider.for_each_record([&](const cls2::CollisionRecord&) { ++walked; });
    EXPECT_EQ(walked, collider.size());
    collider.remove_contacts(*things[10]);
    EXPECT_EQ(collider.size(), 20u * 37u);
    // A Collidable that goes leaves no partner set pointing at it.
    collider.remove_contacts(*things[20]);
    EXPECT_EQ(things[19]->partners.size(), 2u);
    things[20].reset();
    EXPECT_EQ(things[19]->partners.size(), 1u);
    EXPECT_EQ(things[21]->partners.size(), 1u);
    collider.clear();
}

// Records live in entries that are reused once erased: a store that has
// been filled, thinned and cleared over and over must give the very same
// records in the same order as a fresh one, for every pair with contacts.
TEST(Collider, ReusedEntriesGiveTheRecordsOfAFreshStore)
{
    using Pair = std::pair<RefPtr<cls2::Primitive>, RefPtr<cls2::Primitive>>;
    std::vector<std::unique_ptr<cls2::Collidable>> owners;
    std::vector<Pair> pairs;
    auto add = [&](auto a, auto b) {
        owners.push_back(std::make_unique<cls2::Collidable>());
        owners.push_back(std::make_unique<cls2::Collidable>());
        pairs.emplace_back(proxy(a, owners[owners.size() - 2].get()), proxy(b, owners.back().get()));
    };
    // Twenty copies of the table, each shifted along x: more records than
    // the store's first block of entries holds.
    for (int k = 0; k < 20; ++k) {
        const float x = float(k) * 10;
        add(circle(x, 0, 1), circle(x + 1.5f, 0.3f, 1));
        add(box(x, 0, 1, 1), circle(x + 1.6f, 0.2f, 1));
        add(circle(x + 0.1f, 0, 1), box(x, 0, 1, 1));
        add(Point2f(x + 0.5f, 0.25f), circle(x, 0, 1));
        add(Segment::from_points({ x - 2, 0 }, { x + 2, 0 }), circle(x + 0.3f, 0.5f, 1));
        add(Tube::from_points({ x - 2, 0 }, { x + 2, 0 }, 0.5f), circle(x - 0.7f, 1.2f, 1));
        add(Point2f(x + 0.2f, 0.1f), Tube::from_points({ x - 2, 0 }, { x + 2, 0 }, 0.5f));
        add(box(x, 0, 1, 1), box(x + 2, 0.5f, 1, 1));
    }
    std::map<const cls2::Primitive*, size_t> index;
    for (const Pair& p : pairs) {
        index.emplace(p.first.get(), index.size());
        index.emplace(p.second.get(), index.size());
    }
    auto records_of = [&](cls2::DefaultCollider& c) {
        for (const Pair& p : pairs)
            c.find_contacts(*p.first, *p.second);
        std::vector<std::string> out;
        c.for_each_record([&](const cls2::CollisionRecord& r) {
            out.push_back(std::to_string(index.at(r.a)) + " " + std::to_string(index.at(r.b)) + " " + f32(r.point_a.x)
                + f32(r.point_a.y) + f32(r.point_b.x) + f32(r.point_b.y));
        });
        return out;
    };
    cls2::DefaultCollider fresh, reused;
    const auto expected = records_of(fresh);
    ASSERT_EQ(expected.size(), 20u * 9u) << "one record a pair, two for the boxes";
    // Erasing by owner here and there leaves the free entries in an order
    // of their own; no round holds more records than the fresh store, so
    // both keep the same buckets.
    for (int round = 0; round < 3; ++round) {
        records_of(reused);
        for (size_t i = size_t(round); i < owners.size(); i += 3)
            reused.remove_contacts(*owners[i]);
        reused.clear();
    }
    EXPECT_EQ(records_of(reused), expected);
    EXPECT_EQ(reused.bucket_count(), fresh.bucket_count());
}

TEST(Collider, TreeWalkPrunesWithBounds)
{
    CountingCollider collider;
    struct Two : cls2::Collidable {
    } car, wall;
    give_shapes(car, { proxy(circle(-1, 0, 0.5f)), proxy(circle(1, 0, 0.5f)) });
    car.build_bounds(true);
    // Two walls, each under a bounding box of its own.
    auto* root = wall.primitives.add_root(proxy(box(5, 0, 5.5f, 5)));
    wall.primitives.add_child(wall.primitives.add_child(root, proxy(box(0, 0, 0.5f, 5))), proxy(box(0, 0, 0.5f, 5)));
    wall.primitives.add_child(wall.primitives.add_child(root, proxy(box(10, 0, 0.5f, 5))), proxy(box(10, 0, 0.5f, 5)));
    wall.set_owners();

    car.set_pose_position({ 0, 20 });
    collider.collide(car, wall);
    EXPECT_EQ(collider.finds, 0) << "roots apart: no shape test at all";
    EXPECT_EQ(collider.overlaps, 1);

    car.set_pose_position({ 1.9f, 0 });
    collider.collide(car, wall);
    EXPECT_EQ(collider.finds, 1) << "only the left wheel with the near wall";
    EXPECT_EQ(collider.size(), 1u) << "the left wheel touches the wall";

    // A single shape is a leaf and meets the other tree directly.
    CountingCollider direct;
    Thing ball(0.9f, 0, 0.5f);
    direct.collide(ball, wall);
    EXPECT_EQ(direct.finds, 1);
    EXPECT_EQ(direct.size(), 1u);
    direct.clear();
    collider.clear();
}

// A DefaultCollider walks two trees with its pair tests bound directly; a
// class derived from it walks through the virtual tests. Both must find the
// same records in the same order: a car of two wheels against a wall of
// segments in groups under bounding circles, at seeded random poses.
TEST(Collider, DirectWalkFindsWhatTheVirtualWalkFinds)
{
    struct Derived : cls2::DefaultCollider {
    };
    struct Body : cls2::Collidable {
    } car, wall;
    give_shapes(car, { proxy(circle(-1, 0, 0.8f)), proxy(circle(1, 0, 0.8f)) });
    car.build_bounds(true);
    auto* root = wall.primitives.add_root(proxy(circle(0, 0, 30)));
    for (int g = 0; g < 4; ++g) {
        auto* group = wall.primitives.add_child(root, proxy(circle(float(g) * 10 - 15, 0, 8)));
        for (int i = 0; i < 5; ++i) {
            const float x = float(g) * 10 - 20 + float(i) * 2;
            wall.primitives.add_child(group, proxy(Segment::from_points({ x, float(i % 2) }, { x + 2, float((i + 1) % 2) })));
        }
    }
    wall.set_owners();
    auto records_of = [](const cls2::Collider& c) {
        std::vector<std::tuple<const void*, const void*, std::string>> out;
        c.for_each_record([&](const cls2::CollisionRecord& r) {
            out.emplace_back(r.a, r.b, f32(r.point_a.x) + f32(r.point_a.y) + f32(r.point_b.x) + f32(r.point_b.y));
        });
        return out;
    };
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> x(-22, 22), y(-2, 2), angle(0, 6.3f);
    size_t found = 0;
    for (int k = 0; k < 200; ++k) {
        car.set_pose_position({ x(rng), y(rng) });
        car.set_pose_angle(angle(rng));
        cls2::DefaultCollider direct;
        Derived virtual_calls;
        direct.collide(car, wall);
        virtual_calls.collide(car, wall);
        ASSERT_EQ(records_of(direct), records_of(virtual_calls)) << "pose " << k;
        found += direct.size();
    }
    EXPECT_GT(found, 100u) << "most poses touch the wall";
}

TEST(Space, PlacesBySizeBucket)
{
    cls2::DefaultCollider collider;
    cls2::Space space(&collider);
    Thing small(0, 0, 0.4f), exact(5, 0, 0.5f), big(50, 0, 20);
    space.add(small);
    space.add(exact);
    space.add(big);
    EXPECT_EQ(small.space_bucket, &space.buckets().at(1.0f));
    EXPECT_EQ(exact.space_bucket, &space.buckets().at(1.0f)) << "a bucket takes its maximum";
    EXPECT_EQ(big.space_bucket, &space.buckets().at(std::numeric_limits<float>::infinity()));
    EXPECT_FLOAT_EQ(small.space_record->first, -0.4f);
    EXPECT_FLOAT_EQ(small.space_record->second.high, 0.4f);

    space.mark_moved(small);
    space.mark_moved(small);
    EXPECT_EQ(space.moved().size(), 1u) << "queued once";
    EXPECT_EQ(small.space_bucket, nullptr);
    space.update();
    EXPECT_TRUE(space.moved().empty());
    EXPECT_EQ(small.space_bucket, &space.buckets().at(1.0f));
    EXPECT_EQ(small.moved, 0);

    // Not a finite interval: left out rather than breaking the order.
    Thing lost(std::nanf(""), 0, 1);
    space.add(lost);
    EXPECT_EQ(lost.space_bucket, nullptr);
    EXPECT_EQ(lost.space, nullptr);
}

TEST(Space, WhichPairsReachTheCollider)
{
    CountingCollider collider;
    cls2::Space space(&collider);
    space.update();
    EXPECT_EQ(collider.finds, 0) << "nothing moved: nothing searched";

    Thing a(0, 0, 1), touching(2, 0, 1), level(0, 2, 1), masked(0.5f, 0, 1), empty(0, 0, 1);
    masked.mask = 0x2;
    a.mask = 0x1;
    touching.mask = level.mask = empty.mask = 0x3;
    empty.primitives.clear();
    for (auto* t : { &touching, &level, &masked, &empty })
        space.add(*t);
    space.mark_moved(a);
    space.update();
    std::set<cls2::Collidable*> met;
    for (auto [x, y] : collider.pairs) {
        EXPECT_EQ(x, &a) << "the moved one comes first";
        met.insert(y);
    }
    EXPECT_EQ(met, (std::set<cls2::Collidable*> { &touching, &level }));

    // Two moved ones that overlap meet once, the later first.
    collider.pairs.clear();
    Thing p(100, 100, 1), q(100.5f, 100, 1);
    space.mark_moved(p);
    space.mark_moved(q);
    space.update();
    ASSERT_EQ(collider.pairs.size(), 1u);
    EXPECT_EQ(collider.pairs[0].first, &q);
    EXPECT_EQ(collider.pairs[0].second, &p);
    collider.clear();
}

// Random scenes: after every update the pairs passed to the collider are
// exactly those a brute-force test of the bounding squares finds among the
// pairs with a moved member.
TEST(Space, MatchesBruteForceOnRandomScenes)
{
    for (uint32_t seed : { 1u, 7u, 42u, 1234u }) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> pos(-60, 60), size(0.05f, 1.0f), pick(0, 1);
        CountingCollider collider;
        cls2::Space space(&collider);
        std::vector<std::unique_ptr<Thing>> things;
        for (int i = 0; i < 300; ++i) {
            // Mostly small, some large, so that every bucket is used.
            const float r = pick(rng) < 0.9f ? size(rng) : size(rng) * 25;
            things.push_back(std::make_unique<Thing>(pos(rng), pos(rng), r));
            things.back()->mask = pick(rng) < 0.1f ? 0x2 : 0x3;
        }
        for (auto& t : things)
            space.add(*t);
        for (int round = 0; round < 6; ++round) {
            std::set<cls2::Collidable*> moved;
            for (auto& t : things) {
                if (pick(rng) < 0.3f) {
                    space.mark_moved(*t);
                    t->set_pose_position({ pos(rng), pos(rng) });
                    moved.insert(t.get());
                }
            }
            collider.pairs.clear();
            space.update();
            std::set<std::pair<cls2::Collidable*, cls2::Collidable*>> got;
            for (auto [x, y] : collider.pairs)
                got.insert(std::minmax(x, y));
            EXPECT_EQ(got.size(), collider.pairs.size()) << "each pair once";

            std::set<std::pair<cls2::Collidable*, cls2::Collidable*>> want;
            for (size_t i = 0; i < things.size(); ++i) {
                for (size_t j = i + 1; j < things.size(); ++j) {
                    Thing& u = *things[i];
                    Thing& v = *things[j];
                    if (!moved.count(&u) && !moved.count(&v))
                        continue;
                    const float reach = (u.extent + v.extent) * 0.5f;
                    if (std::fabs(u.position.x - v.position.x) <= reach && std::fabs(u.position.y - v.position.y) <= reach
                        && (u.mask & v.mask))
                        want.insert(std::minmax<cls2::Collidable*>(&u, &v));
                }
            }
            EXPECT_EQ(got, want) << "seed " << seed << " round " << round;
        }
        collider.clear();
    }
}

TEST(Space, ForgetsCollidablesThatGo)
{
    cls2::DefaultCollider collider;
    auto space = std::make_unique<cls2::Space>(&collider);
    auto a = std::make_unique<Thing>(0, 0, 1);
    auto b = std::make_unique<Thing>(1, 0, 1);
    space->add(*a);
    space->mark_moved(*b);
    space->update();
    EXPECT_EQ(collider.size(), 1u);
    a.reset(); // leaves its bucket and drops its records
    EXPECT_EQ(collider.size(), 0u);
    EXPECT_EQ(b->partners.size(), 0u);
    space->mark_moved(*b);
    space.reset(); // b outlives the Space
    EXPECT_EQ(b->space, nullptr);
    EXPECT_EQ(b->moved, 0);
}

} // namespace
