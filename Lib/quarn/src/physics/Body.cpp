#include "physics/Body.h"

#include "physics/World.h"

#include <cmath>

namespace quarn::dyn {

namespace {

// The thresholds past which pending motion moves the pose, as the
// single-precision values of 1e-4 (a squared distance) and 1e-3 (radians).
constexpr float translation_threshold_sq = 1e-4f;
constexpr float rotation_threshold = 1e-3f;

// Moves c toward 0 by d; stops at 0 instead of crossing it.
float damp(float c, float d)
{
    if (d >= std::fabs(c))
        return 0;
    return c >= 0 ? c - d : c + d;
}

} // namespace

int32_t body_kind(const cls2::Collidable* c)
{
    if (dynamic_cast<const RigidBody*>(c))
        return 1;
    if (dynamic_cast<const RopeBody*>(c))
        return 2;
    return 0;
}

void RigidBody::set_mass(float mass, float inertia)
{
    mass_ = mass;
    inertia_ = inertia;
    inv_mass_ = 1 / mass;
    inv_inertia_ = 1 / inertia;
}

void RigidBody::set_position(const math::Point2f& p)
{
    if (p == position_) {
        pending_translation_ = {};
        return;
    }
    if (world)
        world->mark_moved(*this);
    position_ = p;
    set_pose_position(p);
    pending_translation_ = {};
}

void RigidBody::set_angle(float a)
{
    if (a == angle_) {
        pending_rotation_ = 0;
        return;
    }
    if (world)
        world->mark_moved(*this);
    angle_ = a;
    set_pose_angle(a);
    pending_rotation_ = 0;
}

void RigidBody::integrate(float dt)
{
    const float k = linear_damping * dt;
    velocity.x = damp(velocity.x, std::fabs(velocity.x * k));
    velocity.y = damp(velocity.y, std::fabs(velocity.y * k));
    angular_velocity = damp(angular_velocity, std::fabs(angular_damping * angular_velocity * dt));
    ++change_count;
    pending_translation_ += velocity * dt;
    pending_rotation_ += dt * angular_velocity;
    if (pending_translation_.length_sq() > translation_threshold_sq)
        set_position(position_ + pending_translation_);
    if (std::fabs(pending_rotation_) > rotation_threshold)
        set_angle(angle_ + pending_rotation_);
}

void RigidBody::apply_impulse(const math::Point2f& impulse)
{
    velocity += impulse * inv_mass_;
    ++change_count;
    if (fatal_impact > 0 && fatal_impact * fatal_impact <= impulse.length_sq())
        destroyed = 1;
}

void RigidBody::apply_angular_impulse(const math::Point2f& point, const math::Point2f& impulse)
{
    angular_velocity += ((point.x - position_.x) * impulse.y - (point.y - position_.y) * impulse.x) * inv_inertia_;
    ++change_count;
}

math::Point2f RigidBody::point_velocity(const math::Point2f& p) const
{
    return { velocity.x - (p.y - position_.y) * angular_velocity, velocity.y + (p.x - position_.x) * angular_velocity };
}

void RigidBody::register_impact(float j)
{
    const float size = std::fabs(j);
    if (!suppress_damage && size > min_impact)
        damage += size;
    if (fatal_impact > 0 && size >= fatal_impact)
        destroyed = 1;
}

} // namespace quarn::dyn
