// Zone maps: values that depend on where a body is. Each map has a default
// and a sequence of rectangular regions; a point takes the payload of the
// first region that contains it, else the default.
#pragma once

#include "physics/Math.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace quarn::dyn {

template<class Payload>
class ZoneMap {
public:
    struct Region {
        uint32_t tag = 0; // no part in the lookup
        math::Rect<float> rect;
        Payload payload;
    };

    const Payload& find(const math::Point2f& p) const
    {
        for (const Region& r : regions)
            if (r.rect.contains(p))
                return r.payload;
        return fallback;
    }

    Payload fallback {};
    std::vector<Region> regions;
};

// An acceleration by region.
class ForceZoneMap : public ZoneMap<math::Point2f> {
};

struct Drag {
    float linear[3] = {}; // k0, k1, k2
    float linear_friction = 0;
    float angular[3] = {};
    float angular_friction = 0;
};

// Drag and ground friction by region.
class DragZoneMap : public ZoneMap<Drag> {
public:
    // Each velocity component c loses |(|c| * (k0 + k1 * |c|) + k2) * dt|,
    // stopping at 0.
    void apply_linear(math::Point2f& velocity, float dt, const math::Point2f& position) const;
    void apply_angular(float& angular_velocity, float dt, const math::Point2f& position) const;
    // (linear factor, angular factor).
    std::pair<float, float> friction_factors(const math::Point2f& position) const;
};

} // namespace quarn::dyn
