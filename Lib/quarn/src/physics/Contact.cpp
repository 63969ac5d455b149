#include "physics/Contact.h"

#include "physics/Body.h"
#include "physics/Collider.h"
#include "physics/Material.h"

#include <algorithm>
#include <cmath>

namespace quarn::dyn {

namespace {

constexpr float machine_epsilon = 1.1920929e-07f;
// A resolve counts as a change when its impulse is at least this (squared).
constexpr float change_threshold_sq = 1e-4f;
constexpr float tangent_slack = 0.001f;

float cross(const math::Point2f& r, const math::Point2f& v) { return r.x * v.y - r.y * v.x; }

struct Geometry {
    math::Point2f point_a, point_b, point, normal;
    float depth;
};

Geometry geometry(const math::Point2f& pa, const math::Point2f& pb)
{
    Geometry g;
    g.point_a = pa;
    g.point_b = pb;
    g.point = (pa + pb) * 0.5f;
    g.depth = (pa - pb).length();
    const math::Point2f d = pa - pb;
    g.normal = { d.x / g.depth, d.y / g.depth };
    return g;
}

} // namespace

int32_t sign(float v) { return v == 0 ? 0 : (v > 0 ? 1 : -1); }

RigidStaticContact::RigidStaticContact(const cls2::CollisionRecord& record, const MaterialTable& materials, bool body_on_b)
{
    const cls2::Primitive* mine = body_on_b ? record.b : record.a;
    const cls2::Primitive* other = body_on_b ? record.a : record.b;
    const Geometry g = body_on_b ? geometry(record.point_b, record.point_a) : geometry(record.point_a, record.point_b);
    point_a = g.point_a;
    point_b = g.point_b;
    point = g.point;
    depth = g.depth;
    normal = g.normal;
    body = static_cast<RigidBody*>(mine->owner);

    // combine_materials
    const RefPtr<Material> m1 = material_of(*mine, materials);
    const RefPtr<Material> m2 = material_of(*other, materials);
    friction = m1->friction * m2->friction;
    restitution = m1->restitution * m2->restitution;

    // init_factors
    const math::Point2f r = point_a - body->position();
    const float rn = cross(r, normal);
    float d = rn * rn * body->inv_inertia() + body->inv_mass();
    normal_factor = d > machine_epsilon ? -(1 + restitution) / d : 0;
    tangent = { -normal.y, normal.x };
    const float rt = cross(r, tangent);
    d = rt * rt * body->inv_inertia() + body->inv_mass();
    tangent_factor = d > machine_epsilon ? 1 / d : 0;
}

bool RigidStaticContact::resolve(float dt)
{
    const math::Point2f vp = body->point_velocity(point_a);
    const float vn = math::dot(vp, normal);
    if (vn <= 0 || (normal_factor == 0 && tangent_factor == 0))
        return false;
    const float j = depth / (50 * dt) * normal_factor + vn * normal_factor;
    body->register_impact(j);
    math::Point2f impulse = normal * j;
    float vt = math::dot(vp, tangent);
    if (std::fabs(vt) > tangent_slack) {
        if (std::fabs(vt) > vn * friction)
            vt = float(sign(vt)) * vn * friction;
        const float jt = -vt * tangent_factor;
        body->register_impact(jt);
        impulse += tangent * jt;
    }
    body->apply_impulse(impulse);
    body->apply_angular_impulse(point_a, impulse);
    return impulse.length_sq() >= change_threshold_sq;
}

RigidRigidContact::RigidRigidContact(const cls2::CollisionRecord& record, const MaterialTable& materials)
{
    const Geometry g = geometry(record.point_a, record.point_b);
    point_a = g.point_a;
    point_b = g.point_b;
    point = g.point;
    depth = g.depth;
    normal = g.normal;
    body_a = static_cast<RigidBody*>(record.a->owner);
    body_b = static_cast<RigidBody*>(record.b->owner);

    const RefPtr<Material> m1 = material_of(*record.a, materials);
    const RefPtr<Material> m2 = material_of(*record.b, materials);
    friction = m1->friction * m2->friction;
    restitution = m1->restitution * m2->restitution;

    // Both arms from the midpoint; no guard: two bodies of infinite mass
    // must not meet.
    const math::Point2f ra = point - body_a->position();
    const math::Point2f rb = point - body_b->position();
    const float rna = cross(ra, normal), rnb = cross(rb, normal);
    normal_factor = -(1 + restitution)
        / (rnb * rnb * body_b->inv_inertia() + rna * rna * body_a->inv_inertia() + body_b->inv_mass() + body_a->inv_mass());
    tangent = { -normal.y, normal.x };
    const float rta = cross(ra, tangent), rtb = cross(rb, tangent);
    tangent_factor = 1
        / (rtb * rtb * body_b->inv_inertia() + rta * rta * body_a->inv_inertia() + body_b->inv_mass() + body_a->inv_mass());
}

bool RigidRigidContact::resolve(float dt)
{
    if (body_a->change_count == seen_count_a && body_b->change_count == seen_count_b)
        return false;
    const math::Point2f dv = body_a->point_velocity(point) - body_b->point_velocity(point);
    const float vn = math::dot(dv, normal);
    if (vn <= 0) {
        seen_count_a = body_a->change_count;
        seen_count_b = body_b->change_count;
        return false;
    }
    const float j = depth / (50 * dt) * normal_factor + vn * normal_factor;
    body_a->register_impact(j);
    body_b->register_impact(j);
    math::Point2f impulse = normal * j;
    float q = math::dot(dv, tangent) * tangent_factor;
    if (std::fabs(q) > tangent_slack) {
        if (std::fabs(q) > friction * tangent_factor * vn)
            q = float(sign(q)) * friction * tangent_factor * vn;
        body_a->register_impact(q);
        body_b->register_impact(q);
        impulse += tangent * -q;
    }
    body_a->apply_impulse(impulse);
    body_a->apply_angular_impulse(point, impulse);
    body_b->apply_impulse(-impulse);
    body_b->apply_angular_impulse(point, -impulse);
    seen_count_a = body_a->change_count;
    seen_count_b = body_b->change_count;
    return impulse.length_sq() >= change_threshold_sq;
}

RigidFrictionContact::RigidFrictionContact(RigidBody* body, float linear_factor, float angular_factor)
    : linear_factor(linear_factor)
    , angular_factor(angular_factor)
    , body(body)
{
    if (body->velocity.length() > 1.0f)
        this->linear_factor = linear_factor * 0.7f;
    // Only a counter-clockwise spin above 1 is eased; a clockwise one keeps
    // the full factor, as it always has.
    if (body->angular_velocity > 1.0f)
        this->angular_factor = angular_factor * 0.7f;
}

bool RigidFrictionContact::resolve(float dt)
{
    bool acted = false;
    const float m = body->mass(), inertia = body->inertia();
    if (linear_factor != 0 && body->velocity.length_sq() != 0) {
        const float budget = m * linear_factor * dt;
        const math::Point2f p = body->velocity * m;
        const float size = p.length();
        const float a = std::min(budget, size);
        body->apply_impulse(math::Point2f(-(p.x / size), -(p.y / size)) * a);
        linear_factor = (budget - a) / (m * dt);
        acted = true;
    }
    float& w = body->angular_velocity;
    if (angular_factor != 0 && w != 0) {
        const float budget = inertia * angular_factor * dt;
        const float l = inertia * w;
        const float a = std::min(budget, std::fabs(l));
        w = w - float(sign(l)) * a / inertia;
        ++body->change_count;
        angular_factor = (budget - a) / (inertia * dt);
        acted = true;
    }
    return acted;
}

} // namespace quarn::dyn
