#include "tools/mkdata/track_check.h"

#include "tools/mkdata/autopilot.h"
#include "tools/mkdata/shapes.h"

#include <cmath>
#include <cstdio>

namespace mkdata {

namespace {

using quarn::RefPtr;
using quarn::math::Point2f;

Point2f world(Vec2 p) { return { p.x, -p.y }; }

// The game's car, as far as motion goes: thrust and turning from the keys
// in 0.01 s sub-steps with their own damping.
class SimCar : public quarn::dyn::RigidBody {
public:
    void update(float dt, const Keys& keys)
    {
        time_accu_ += dt;
        while (time_accu_ >= 0.01f) {
            time_accu_ -= 0.01f;
            const Point2f dir { std::cos(angle()), std::sin(angle()) };
            if (keys.up)
                velocity = velocity + dir * 400.1f * 0.01f;
            if (keys.down)
                velocity = velocity - dir * 400.1f * 0.01f;
            if (keys.left)
                angular_velocity += 0.01f * 14.02f;
            if (keys.right)
                angular_velocity -= 0.01f * 14.02f;
            velocity = velocity * 0.991f;
            angular_velocity *= 0.97f;
            change_count += 6;
        }
    }

private:
    float time_accu_ = 0;
};

struct Scene {
    quarn::dyn::World world;
    RefPtr<SimCar> car { new SimCar };

    explicit Scene(const Track& track)
    {
        RefPtr<quarn::dyn::Obstacle> walls(new quarn::dyn::Obstacle);
        build_track_shapes(track, *walls);
        walls->build_bounds(false);
        world.add_obstacle(walls);
        build_car_shapes(*car);
        car->build_bounds(true);
        car->set_mass(100, 400);
        world.add_body(car);
    }

    void place(Point2f p, float angle)
    {
        car->set_position(p);
        car->set_angle(angle);
        car->velocity = { 0, 0 };
        car->angular_velocity = 0;
        car->change_count += 2;
    }

    // Crash contacts of one physics step.
    int step(float dt)
    {
        world.step(dt);
        int crashes = 0;
        for (const auto& c : world.contacts)
            if (dynamic_cast<quarn::dyn::RigidStaticContact*>(c.get()))
                ++crashes;
        world.contacts.clear();
        return crashes;
    }
};

bool segments_cross(Point2f a1, Point2f a2, Point2f b1, Point2f b2)
{
    const Point2f da = a2 - a1, db = b2 - b1, d = a1 - b1;
    const float den = da.x * db.y - da.y * db.x;
    if (den == 0)
        return false;
    const float t = (db.x * d.y - db.y * d.x) / den;
    const float u = (da.x * d.y - da.y * d.x) / den;
    return t >= 0 && t <= 1 && u >= 0 && u <= 1;
}

float segment_gap(Vec2 a1, Vec2 a2, Vec2 b1, Vec2 b2)
{
    if (segments_cross(world(a1), world(a2), world(b1), world(b2)))
        return 0;
    return std::min({ segment_distance(a1, b1, b2), segment_distance(a2, b1, b2), segment_distance(b1, a1, a2),
        segment_distance(b2, a1, a2) });
}

std::string format(const char* f, double a, double b = 0)
{
    char text[200];
    std::snprintf(text, sizeof text, f, a, b);
    return text;
}

} // namespace

std::vector<Point2f> autopilot_path(const Track& track)
{
    std::vector<Point2f> path;
    size_t start = 0;
    float best = 1e30f;
    for (size_t i = 0; i < track.centre.size(); ++i) {
        const float d = quarn::math::distance_sq(world(track.centre[i].p), { start_x, start_y });
        if (d < best) {
            best = d;
            start = i;
        }
    }
    for (size_t k = 0; k < track.centre.size(); ++k)
        path.push_back(world(track.centre[(start + k) % track.centre.size()].p));
    return path;
}

LapRun drive_laps(const Track& track, float frame_seconds)
{
    Scene scene(track);
    scene.place({ start_x, start_y }, start_angle);
    Autopilot pilot(autopilot_path(track));
    const auto& gates = race_gates();
    size_t next_gate = 0;
    Point2f last = scene.car->position();
    LapRun run;
    const int frame_limit = int(180.0f / frame_seconds);
    for (int frame = 0; frame < frame_limit && run.laps < 3; ++frame) {
        const Keys keys = pilot.drive(
            scene.car->position(), scene.car->angle(), scene.car->velocity, scene.car->angular_velocity);
        run.crash_contacts += scene.step(frame_seconds);
        if (run.crash_contacts)
            break;
        scene.car->update(frame_seconds, keys);
        const Point2f now = scene.car->position();
        while (run.laps < 3 && segments_cross(last, now, world(gates[next_gate].a), world(gates[next_gate].b))) {
            ++run.gates_passed;
            if (++next_gate == gates.size()) {
                next_gate = 0;
                ++run.laps;
            }
        }
        last = now;
        run.seconds += frame_seconds;
    }
    return run;
}

std::vector<std::string> check_track(const Track& track)
{
    std::vector<std::string> faults;
    const auto& gates = race_gates();
    for (size_t g = 0; g < gates.size(); ++g) {
        float gap = 1e30f, end_a = 1e30f, end_b = 1e30f;
        for (const auto& wall : track.walls)
            for (size_t i = 0; i + 1 < wall.size(); ++i) {
                gap = std::min(gap, segment_gap(gates[g].a, gates[g].b, wall[i], wall[i + 1]));
                end_a = std::min(end_a, segment_distance(gates[g].a, wall[i], wall[i + 1]));
                end_b = std::min(end_b, segment_distance(gates[g].b, wall[i], wall[i + 1]));
            }
        if (gap <= 0)
            faults.push_back(format("gate %.0f touches a wall", double(g)));
        if (end_a > 1 || end_b > 1)
            faults.push_back(format("gate %.0f: an end is %.2f from the walls", double(g), std::max(end_a, end_b)));
    }

    Scene scene(track);
    auto clear_at = [&](Point2f p, float angle, const char* what, double index) {
        scene.place(p, angle);
        if (scene.step(0.002f))
            faults.push_back(format(what, index));
    };
    clear_at({ start_x, start_y }, start_angle, "the start pose touches a wall", 0);
    for (size_t g = 0; g < gates.size(); ++g) {
        // Where a crash puts the car: the gate's middle, truncated, with
        // any heading.
        const Point2f m = world((gates[g].a + gates[g].b) * 0.5f);
        for (float a = 0; a < 6.28f; a += 0.5f)
            clear_at({ std::trunc(m.x), std::trunc(m.y) }, a, "a car at the middle of gate %.0f touches a wall",
                double(g));
    }

    const LapRun run = drive_laps(track, 0.016f);
    if (run.laps < 3 || run.crash_contacts)
        faults.push_back(format("the autopilot drove %.0f gates and crashed %.0f times", run.gates_passed,
            run.crash_contacts));
    return faults;
}

} // namespace mkdata
