// Contacts: the constraints the World resolves in each sub-step. A touching
// pair of shapes becomes a RigidStaticContact (a rigid body against
// something static) or a RigidRigidContact (two rigid bodies); a body's
// ground friction is a RigidFrictionContact. Each resolve applies impulses
// and says whether it changed anything.
#pragma once

#include "physics/Math.h"

#include <cstdint>

namespace quarn::cls2 {
struct CollisionRecord;
}

namespace quarn::dyn {

class MaterialTable;
class RigidBody;

// 0 for 0, 1 for a positive value, -1 otherwise.
int32_t sign(float v);

class Contact {
public:
    virtual ~Contact() = default;
    // dt is the frame time the World was stepped with.
    virtual bool resolve(float dt) = 0;

    float depth = 0; // distance between the two contact points
    math::Point2f point; // their midpoint
    math::Point2f point_a; // on the first shape (a rigid-static contact's: the body's)
    math::Point2f point_b;
};

class RigidStaticContact : public Contact {
public:
    // The body owns `record.a` (or, with `body_on_b`, `record.b`; the sides
    // are then swapped so that point_a and the first material are the
    // body's).
    RigidStaticContact(const cls2::CollisionRecord& record, const MaterialTable& materials, bool body_on_b);
    bool resolve(float dt) override;

    RigidBody* body = nullptr; // kept alive by the World's body list
    float friction = 0;
    float restitution = 0;
    math::Point2f normal; // (point_a - point_b) / depth
    math::Point2f tangent; // normal turned a quarter turn counter-clockwise
    float normal_factor = 0;
    float tangent_factor = 0;
};

class RigidRigidContact : public Contact {
public:
    RigidRigidContact(const cls2::CollisionRecord& record, const MaterialTable& materials);
    bool resolve(float dt) override;

    RigidBody* body_a = nullptr;
    RigidBody* body_b = nullptr;
    float friction = 0;
    float restitution = 0;
    math::Point2f normal;
    math::Point2f tangent;
    float normal_factor = 0;
    float tangent_factor = 0;
    // The bodies' change counts when this contact last acted; all bits set
    // at first, so that the first resolve always runs.
    uint32_t seen_count_a = 0xFFFFFFFF;
    uint32_t seen_count_b = 0xFFFFFFFF;
};

// Ground friction: a budget of momentum per second that it may take away.
class RigidFrictionContact : public Contact {
public:
    RigidFrictionContact(RigidBody* body, float linear_factor, float angular_factor);
    bool resolve(float dt) override;

    float linear_factor = 0;
    float angular_factor = 0;
    RigidBody* body = nullptr;
};

} // namespace quarn::dyn
