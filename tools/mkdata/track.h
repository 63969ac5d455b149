// The race track: a closed figure-eight road through the six gates of the
// race in their order, crossing itself once at grade.
//
// Everything here is in screen coordinates (x right, y down); the world is
// (x, -y) of it. The road is a centre line with a half width at every
// point. At a gate the centre line passes through the gate's middle at a
// right angle and the half width is half the gate's length plus half a
// pel, so the walls pass just outside the gate's ends and nothing can go
// round a gate.
#pragma once

#include "tools/mkdata/canvas.h"

#include <array>
#include <vector>

namespace mkdata {

struct Gate {
    Vec2 a, b;
};

// The race's gates in passing order, as the game's race holds them.
const std::array<Gate, 6>& race_gates();

struct TrackPoint {
    Vec2 p;
    Vec2 tangent; // unit, along the direction of travel
    float half_width = 0;
    float s = 0; // arc length from the start
};

struct Track {
    // The closed centre line, from the last gate round to it again (the
    // last point is not repeated).
    std::vector<TrackPoint> centre;
    float length = 0;
    // Index into `centre` of each gate's middle.
    std::array<size_t, 6> gate_index {};
    // The walls as polylines, cut where the road crosses itself.
    std::vector<std::vector<Vec2>> walls;
};

Track design_track();

// Whether p lies on the road (within the half width of the centre line).
bool on_road(const Track& track, Vec2 p);

} // namespace mkdata
