#include "tools/mkdata/track.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace mkdata {

namespace {

// World (x, y) to screen (x, -y).
Vec2 screen(float x, float y) { return { x, -y }; }

// A point the centre line passes. Gates fix the direction and the width;
// the free points between them take the direction of their neighbours'
// chord (as a Catmull-Rom spline does) and a road of ordinary width.
struct ControlPoint {
    Vec2 p;
    std::optional<Vec2> direction;
    float half_width;
};

constexpr float free_half_width = 34.0f;
constexpr float step = 2.0f; // centre-line spacing
constexpr float wall_step = 8.0f; // wall vertex spacing

ControlPoint gate_point(int index)
{
    const Gate& g = race_gates()[size_t(index)];
    const Vec2 across = g.b - g.a;
    // The travel direction is the gate's normal; the designed route below
    // decides which of the two it is.
    static constexpr float sign[6] = { -1, -1, -1, 1, 1, 1 };
    return { (g.a + g.b) * 0.5f, normalized(perp(across)) * sign[index], length(across) * 0.5f + 0.5f };
}

ControlPoint free_point(float x, float y) { return { { x, y }, std::nullopt, free_half_width }; }

// From the start gate over the top-left to gate 0, across the crossing to
// gate 1, round the right lobe through gates 2 and 3, back across the
// crossing to gate 4 and round the bottom-left to the start.
std::vector<ControlPoint> route()
{
    return {
        gate_point(5),
        free_point(150, 62),
        free_point(245, 48),
        gate_point(0),
        gate_point(1),
        free_point(540, 392),
        free_point(648, 420),
        free_point(738, 340),
        gate_point(2),
        free_point(712, 82),
        free_point(620, 50),
        free_point(520, 64),
        gate_point(3),
        gate_point(4),
        free_point(338, 390),
        free_point(240, 450),
        free_point(110, 420),
        free_point(48, 300),
    };
}

Vec2 hermite(Vec2 p0, Vec2 m0, Vec2 p1, Vec2 m1, float t)
{
    const float t2 = t * t, t3 = t2 * t;
    return p0 * (2 * t3 - 3 * t2 + 1) + m0 * (t3 - 2 * t2 + t) + p1 * (-2 * t3 + 3 * t2) + m1 * (t3 - t2);
}

// Distance from p to the centre line, leaving out the part of the line
// within `skip_arc` of arc length `s` (the road p belongs to itself);
// negative skip_arc leaves out nothing. The result is that distance minus
// the half width there: negative on that part of the road.
float road_distance(const Track& track, Vec2 p, float s, float skip_arc)
{
    float best = 1e30f;
    const size_t n = track.centre.size();
    for (size_t i = 0; i < n; ++i) {
        const TrackPoint& a = track.centre[i];
        const TrackPoint& b = track.centre[(i + 1) % n];
        if (skip_arc >= 0) {
            float ds = std::fabs(a.s - s);
            ds = std::min(ds, track.length - ds);
            if (ds < skip_arc)
                continue;
        }
        float t;
        const float d = segment_distance(p, a.p, b.p, &t);
        best = std::min(best, d - (a.half_width + (b.half_width - a.half_width) * t));
    }
    return best;
}

// One wall: the centre line moved sideways by the half width, cut where
// it enters the other branch's road. A cut end is found by bisection, so
// the wall stops on the other road's edge.
void add_wall(Track& track, float side)
{
    auto wall_point = [&](const TrackPoint& c) { return c.p + perp(c.tangent) * (c.half_width * side); };
    const float skip = 4 * free_half_width + 40;
    auto inside_other = [&](Vec2 q, float s) { return road_distance(track, q, s, skip) < 0; };

    std::vector<Vec2> current;
    const size_t every = size_t(wall_step / step);
    std::vector<size_t> picks;
    for (size_t i = 0; i < track.centre.size(); i += every)
        picks.push_back(i);
    for (size_t g : track.gate_index)
        picks.push_back(g);
    std::sort(picks.begin(), picks.end());
    picks.erase(std::unique(picks.begin(), picks.end()), picks.end());
    picks.push_back(picks.front()); // closes the loop

    std::vector<std::vector<Vec2>> pieces;
    bool was_inside = true;
    Vec2 prev {};
    float prev_s = 0;
    for (size_t k = 0; k < picks.size(); ++k) {
        const TrackPoint& c = track.centre[picks[k]];
        const Vec2 q = wall_point(c);
        const bool inside = inside_other(q, c.s);
        if (k > 0 && inside != was_inside) {
            Vec2 lo = prev, hi = q; // lo on the side of was_inside
            for (int i = 0; i < 30; ++i) {
                const Vec2 mid = (lo + hi) * 0.5f;
                if (inside_other(mid, c.s) == was_inside)
                    lo = mid;
                else
                    hi = mid;
            }
            const Vec2 edge = (lo + hi) * 0.5f;
            if (was_inside) {
                current = { edge };
            } else {
                current.push_back(edge);
                pieces.push_back(std::move(current));
                current.clear();
            }
        }
        if (!inside)
            current.push_back(q);
        was_inside = inside;
        prev = q;
        prev_s = c.s;
    }
    (void)prev_s;
    if (!current.empty()) {
        // The loop closed outside the other road: the first piece continues
        // this one.
        if (!pieces.empty() && !inside_other(wall_point(track.centre[picks.front()]), 0)) {
            current.insert(current.end(), pieces.front().begin() + 1, pieces.front().end());
            pieces.front() = std::move(current);
        } else {
            pieces.push_back(std::move(current));
        }
    }
    for (auto& piece : pieces)
        if (piece.size() >= 2)
            track.walls.push_back(std::move(piece));
}

} // namespace

const std::array<Gate, 6>& race_gates()
{
    static const std::array<Gate, 6> gates = { {
        { screen(369, -78), screen(319, -128) },
        { screen(487, -279), screen(444, -317) },
        { screen(701, -185), screen(757, -173) },
        { screen(418, -94), screen(477, -138) },
        { screen(334, -250), screen(390, -273) },
        { screen(129, -160), screen(61, -111) },
    } };
    return gates;
}

Track design_track()
{
    const std::vector<ControlPoint> points = route();
    const size_t n = points.size();
    Track track;
    // The gates among the control points, in route order: 5, 0, 1, 2, 3, 4.
    static constexpr int gate_at[] = { 5, -1, -1, 0, 1, -1, -1, -1, 2, -1, -1, -1, 3, 4, -1, -1, -1, -1 };
    static_assert(sizeof gate_at / sizeof gate_at[0] == 18);

    auto direction = [&](size_t i) {
        if (points[i].direction)
            return *points[i].direction;
        return normalized(points[(i + 1) % n].p - points[(i + n - 1) % n].p);
    };
    for (size_t i = 0; i < n; ++i) {
        const ControlPoint& a = points[i];
        const ControlPoint& b = points[(i + 1) % n];
        const float chord = length(b.p - a.p);
        const Vec2 m0 = direction(i) * chord;
        const Vec2 m1 = direction((i + 1) % n) * chord;
        if (gate_at[i] >= 0)
            track.gate_index[size_t(gate_at[i])] = track.centre.size();
        const int steps = std::max(4, int(std::ceil(chord * 1.3f / step)));
        for (int k = 0; k < steps; ++k) {
            const float t = float(k) / float(steps);
            TrackPoint tp;
            tp.p = hermite(a.p, m0, b.p, m1, t);
            // Smooth width change: the road narrows to a gate gently.
            const float w = t * t * (3 - 2 * t);
            tp.half_width = a.half_width + (b.half_width - a.half_width) * w;
            track.centre.push_back(tp);
        }
    }
    const size_t count = track.centre.size();
    float s = 0;
    for (size_t i = 0; i < count; ++i) {
        TrackPoint& tp = track.centre[i];
        tp.s = s;
        const Vec2 next = track.centre[(i + 1) % count].p;
        const Vec2 prev = track.centre[(i + count - 1) % count].p;
        tp.tangent = normalized(next - prev);
        s += length(next - tp.p);
    }
    track.length = s;
    // At the gates the tangent is the gate's normal exactly.
    for (size_t g = 0; g < 6; ++g) {
        TrackPoint& tp = track.centre[track.gate_index[g]];
        const ControlPoint cp = gate_point(int(g));
        tp.tangent = *cp.direction;
        tp.p = cp.p;
    }
    add_wall(track, 1);
    add_wall(track, -1);
    return track;
}

bool on_road(const Track& track, Vec2 p) { return road_distance(track, p, 0, -1) < 0; }

} // namespace mkdata
