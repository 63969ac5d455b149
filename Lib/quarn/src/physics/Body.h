// Bodies: the Collidables the World moves.
//
// A RigidBody has a mass and a moment of inertia, a linear and an angular
// velocity, damping, and a record of the impacts it has taken (damage and
// a destroyed flag). The World steps it in fixed sub-steps; its pose is
// not moved at every sub-step: the motion is gathered as a pending
// translation and rotation and applied only when it has grown past a
// threshold, so that a resting or crawling body does not disturb the broad
// phase.
#pragma once

#include "physics/Collidable.h"
#include "quarn/quarn.h"

#include <cstdint>

namespace quarn {

// Gives watchers of an object a shared flag that says whether it is still
// alive. Nothing is shared until a watcher installs a flag.
class VitalityInformer {
public:
    VitalityInformer() = default;
    VitalityInformer(const VitalityInformer&) = delete;
    VitalityInformer& operator=(const VitalityInformer&) = delete;
    // Marks the flag dead and gives up this holder's share.
    ~VitalityInformer()
    {
        if (life)
            life->release();
    }

    AliveFlag* life = nullptr;
};

} // namespace quarn

namespace quarn::dyn {

class World;

class Body : public cls2::Collidable, public VitalityInformer {
public:
    ~Body() override = default;
    // Called first in every sub-step.
    virtual void pre_step(float dt) = 0;
    // Called last in every sub-step, after the contacts.
    virtual void integrate(float dt) = 0;

    World* world = nullptr; // set by World::add_body
    // Goes up at every change of the body's motion; contacts between two
    // bodies compare it to skip work. Whoever writes the velocities of a
    // RigidBody directly raises it too.
    uint32_t change_count = 0;
    float min_impact = 0; // impacts not above this add no damage
    float damage = 0;
    float fatal_impact = -1; // at or above: destroyed; 0 or less: never
    uint8_t destroyed = 0;
};

class RigidBody : public Body {
public:
    RigidBody() = default;
    ~RigidBody() override = default;

    void pre_step(float) override { }
    void integrate(float dt) override;

    void set_mass(float mass, float inertia);
    float mass() const { return mass_; }
    float inertia() const { return inertia_; }
    float inv_mass() const { return inv_mass_; }
    float inv_inertia() const { return inv_inertia_; }

    // The body's own copy of its pose, mirrored into the Collidable's. It
    // lags the integrated motion by at most the pending amounts.
    const math::Point2f& position() const { return position_; }
    const float& angle() const { return angle_; }
    const math::Point2f& pending_translation() const { return pending_translation_; }
    float pending_rotation() const { return pending_rotation_; }
    // Set the pose (telling the World's Space first when it really changes)
    // and clear the pending motion.
    void set_position(const math::Point2f& p);
    void set_angle(float a);

    // velocity += J / mass; then the fatal test on |J|.
    void apply_impulse(const math::Point2f& impulse);
    // The angular part of an impulse J applied at point p.
    void apply_angular_impulse(const math::Point2f& point, const math::Point2f& impulse);
    // The velocity of the body's material at p.
    math::Point2f point_velocity(const math::Point2f& p) const;
    // Impact accounting of one signed impulse.
    void register_impact(float j);

    math::Point2f velocity; // world units per second
    float angular_velocity = 0; // radians per second, counter-clockwise
    float angular_damping = 0; // per second
    float linear_damping = 0; // per second
    float force_scale = 1.0f; // factor on the force zone's acceleration
    uint8_t suppress_damage = 0; // while set, impacts add no damage

private:
    float inv_mass_ = 1.0f;
    float inv_inertia_ = 1.0f;
    float mass_ = 1.0f;
    float inertia_ = 1.0f;
    math::Point2f position_;
    float angle_ = 0;
    math::Point2f pending_translation_;
    float pending_rotation_ = 0;
};

// A kind of body the contact creation knows by its type; nothing makes one.
class RopeBody : public Body {
public:
    void pre_step(float) override { }
    void integrate(float) override { }
};

// 1 for a RigidBody, 2 for a RopeBody, 0 for anything else (and for none).
int32_t body_kind(const cls2::Collidable* c);

} // namespace quarn::dyn
