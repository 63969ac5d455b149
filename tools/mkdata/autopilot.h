// A driver for the car that follows the track's centre line: the data
// tool uses it to prove that the track can be raced, and the game's
// end-to-end test drives the real game with it.
//
// The car has no grip: thrust along its heading and damping are all that
// change its velocity. So the driver steers the velocity rather than the
// heading: it picks a point ahead on the centre line (pure pursuit), asks
// for a velocity toward it at a speed fitted to the bends ahead, and turns
// the car toward the acceleration that velocity needs.
#pragma once

#include "physics/physics.h"

#include <string>
#include <vector>

namespace mkdata {

struct Keys {
    bool up = false, down = false, left = false, right = false;
};

class Autopilot {
public:
    // `path`: the closed centre line in world coordinates, in the direction
    // of travel, points about 2 units apart. `start`: the index nearest to
    // where the car starts.
    explicit Autopilot(std::vector<quarn::math::Point2f> path, size_t start = 0);

    // The keys to hold for the next frame.
    Keys drive(quarn::math::Point2f position, float angle, quarn::math::Point2f velocity, float angular_velocity);

    // Puts the driver back on the path point nearest to `position` (after
    // the car was moved).
    void relocate(quarn::math::Point2f position);

    // The path file the tool writes: one "x y" line per point.
    static std::string path_text(const std::vector<quarn::math::Point2f>& path);
    static std::vector<quarn::math::Point2f> load(const std::string& file);

    float top_speed = 220.0f;
    float corner_speed = 100.0f;

private:
    std::vector<quarn::math::Point2f> path_;
    size_t nearest_ = 0;
};

} // namespace mkdata
