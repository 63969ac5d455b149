#include "physics/Zones.h"

#include <cmath>

namespace quarn::dyn {

namespace {

float drag(float c, const float (&k)[3], float dt)
{
    const float a = std::fabs(c);
    const float d = std::fabs((a * (k[0] + k[1] * a) + k[2]) * dt);
    if (d >= a)
        return 0;
    return c >= 0 ? c - d : c + d;
}

} // namespace

void DragZoneMap::apply_linear(math::Point2f& velocity, float dt, const math::Point2f& position) const
{
    const Drag& d = find(position);
    velocity.x = drag(velocity.x, d.linear, dt);
    velocity.y = drag(velocity.y, d.linear, dt);
}

void DragZoneMap::apply_angular(float& angular_velocity, float dt, const math::Point2f& position) const
{
    angular_velocity = drag(angular_velocity, find(position).angular, dt);
}

std::pair<float, float> DragZoneMap::friction_factors(const math::Point2f& position) const
{
    const Drag& d = find(position);
    return { d.linear_friction, d.angular_friction };
}

} // namespace quarn::dyn
