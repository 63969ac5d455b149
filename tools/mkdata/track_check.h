// Proves that the generated track can be raced, with the real physics:
// no gate touches a wall and each gate's ends lie on the walls, a car fits
// at every gate's middle and at the start, and the autopilot drives three
// laps through the gates in order without touching a wall.
#pragma once

#include "physics/physics.h"
#include "tools/mkdata/track.h"

#include <string>
#include <vector>

namespace mkdata {

// The start pose of every race (world coordinates, radians).
inline constexpr float start_x = 92.0f;
inline constexpr float start_y = -133.0f;
inline constexpr float start_angle = 1.0471976f;

struct LapRun {
    int laps = 0;
    int gates_passed = 0;
    int crash_contacts = 0;
    float seconds = 0;
};

// The centre line in world coordinates, for the autopilot, starting at the
// point nearest the start pose.
std::vector<quarn::math::Point2f> autopilot_path(const Track& track);

// Drives three laps at a fixed frame time, as the game does (physics step,
// then the car's control sub-steps, then the gates), and stops at the
// first crash contact.
LapRun drive_laps(const Track& track, float frame_seconds);

// Every fault found, as readable lines; empty when the track is sound.
std::vector<std::string> check_track(const Track& track);

} // namespace mkdata
