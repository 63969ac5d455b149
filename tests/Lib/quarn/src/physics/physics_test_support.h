// Builders for the physics tests: shapes as primitives, Collidables with a
// few shapes, and the records a pair of shapes gives.
#pragma once

#include "physics/physics.h"

#include <cstring>
#include <string>
#include <vector>

namespace physics_test {

using namespace quarn;
using cls2::Box;
using cls2::Circle;
using cls2::Point2f;
using cls2::Segment;
using cls2::Tube;

template<class T>
RefPtr<cls2::Primitive> proxy(const T& shape, cls2::Collidable* owner = nullptr)
{
    return RefPtr<cls2::Primitive>(new cls2::PrimitiveProxy<T>(shape, owner, {}));
}

inline Box box(float cx, float cy, float hx, float hy) { return { { cx, cy }, hx, hy }; }
inline Circle circle(float cx, float cy, float r) { return { { cx, cy }, r }; }

// The records of one find_contacts call, in the order they were added.
inline std::vector<cls2::CollisionRecord> contacts_of(const cls2::Primitive& a, const cls2::Primitive& b,
    float eps = 1.1920929e-07f)
{
    cls2::DefaultCollider collider(eps);
    collider.find_contacts(a, b);
    std::vector<cls2::CollisionRecord> out;
    collider.for_each_record([&](const cls2::CollisionRecord& r) { out.push_back(r); });
    return out;
}

// Fills `c` with one shape per argument, under a root that bounds them all
// (a single shape is the root itself).
template<class C>
void give_shapes(C& c, const std::vector<RefPtr<cls2::Primitive>>& shapes)
{
    c.primitives.clear();
    if (shapes.size() == 1) {
        c.primitives.add_root(shapes[0]);
    } else {
        auto* root = c.primitives.add_root(proxy(circle(0, 0, 0)));
        for (const auto& s : shapes)
            c.primitives.add_child(root, s);
    }
    c.set_owners();
}

inline uint32_t bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

inline std::string le32(uint32_t v)
{
    const char b[4] = { char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF) };
    return std::string(b, 4);
}
inline std::string f32(float f) { return le32(bits(f)); }
inline std::string u8(uint8_t v) { return std::string(1, char(v)); }
// A factory reference of the native registry the first time a name appears.
inline std::string new_name(const std::string& name) { return le32(0) + le32(uint32_t(name.size())) + name; }

} // namespace physics_test
