#include "tools/mkdata/autopilot.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace mkdata {

namespace {

using quarn::math::Point2f;

constexpr float pi = 3.14159265f;

float wrap(float a)
{
    while (a > pi)
        a -= 2 * pi;
    while (a < -pi)
        a += 2 * pi;
    return a;
}

float heading(Point2f v) { return std::atan2(v.y, v.x); }

} // namespace

Autopilot::Autopilot(std::vector<Point2f> path, size_t start)
    : path_(std::move(path))
    , nearest_(path_.empty() ? 0 : start % path_.size())
{
}

void Autopilot::relocate(Point2f position)
{
    float best = 1e30f;
    for (size_t i = 0; i < path_.size(); ++i) {
        const float d = quarn::math::distance_sq(path_[i], position);
        if (d < best) {
            best = d;
            nearest_ = i;
        }
    }
}

Keys Autopilot::drive(Point2f position, float angle, Point2f velocity, float angular_velocity)
{
    Keys keys;
    const size_t n = path_.size();
    if (n < 3)
        return keys;
    // The nearest point, searched a little behind and ahead of the last
    // one: the track crosses itself, so a search over the whole path could
    // jump to the other branch.
    {
        float best = 1e30f;
        size_t best_i = nearest_;
        for (size_t k = 0; k < 60; ++k) {
            const size_t i = (nearest_ + n - 10 + k) % n;
            const float d = quarn::math::distance_sq(path_[i], position);
            if (d < best) {
                best = d;
                best_i = i;
            }
        }
        nearest_ = best_i;
    }
    const float speed = velocity.length();
    // Looking farther ahead at speed cuts the bends early enough for the
    // slow-turning nose.
    const size_t ahead = size_t((60.0f + speed * 0.2f) / 2.0f);
    const Point2f target = path_[(nearest_ + ahead) % n];

    // The sharpest turn of the centre line over the next stretch sets the
    // speed.
    float turn = 0;
    const Point2f d0 = path_[(nearest_ + 4) % n] - path_[nearest_];
    for (size_t k = 10; k < 90; k += 5) {
        const size_t i = (nearest_ + k) % n;
        const Point2f d = path_[(i + 4) % n] - path_[i];
        turn = std::max(turn, std::fabs(wrap(heading(d) - heading(d0))));
    }
    const float want_speed = corner_speed + (top_speed - corner_speed) * std::max(0.0f, 1.0f - turn / 1.2f);

    Point2f to_target = target - position;
    const float dist = to_target.length();
    if (dist < 1e-3f)
        return keys;
    to_target *= 1.0f / dist;
    const Point2f want = to_target * want_speed;
    const Point2f need = want - velocity; // the velocity change still needed
    const float need_len = need.length();

    // Where to point: along the needed change, leaning toward the target
    // so that a small change does not swing the nose about; slowing down
    // is left to damping and reverse thrust, with the nose kept forward.
    Point2f aim = need;
    const float along = quarn::math::dot(need, to_target);
    if (along < 0)
        aim = need - to_target * along;
    aim += to_target * 40.0f;
    const float error = wrap(heading(aim) - angle);
    const float u = error - 0.12f * angular_velocity;
    keys.left = u > 0.02f;
    keys.right = u < -0.02f;

    if (need_len > 8.0f) {
        const float c = std::cos(heading(need) - angle);
        keys.up = c > 0.3f;
        keys.down = c < -0.5f;
    }
    return keys;
}

std::string Autopilot::path_text(const std::vector<Point2f>& path)
{
    std::ostringstream out;
    for (const Point2f& p : path)
        out << p.x << ' ' << p.y << '\n';
    return out.str();
}

std::vector<Point2f> Autopilot::load(const std::string& file)
{
    std::vector<Point2f> path;
    std::ifstream in(file);
    Point2f p;
    while (in >> p.x >> p.y)
        path.push_back(p);
    return path;
}

} // namespace mkdata
