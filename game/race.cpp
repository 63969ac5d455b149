// The race: gates in order, laps, the race clock.
#include "game/game.h"

namespace {

// The track's gates in passing order (world coordinates).
constexpr Gate track_gates[] = {
    { 369, -78, 319, -128 },
    { 487, -279, 444, -317 },
    { 701, -185, 757, -173 },
    { 418, -94, 477, -138 },
    { 334, -250, 390, -273 },
    { 129, -160, 61, -111 },
};

} // namespace

bool SegmentsIntersect(const Gate& a, const Gate& b)
{
    // A car that stands still passes nothing. Without this test a car
    // standing on the line through the next gate would pass it: its slope
    // is NaN, which equals nothing, and the parameters below become NaN,
    // which no bound rejects.
    if (a.x1 == a.x2 && a.y1 == a.y2)
        return false;
    // Parallel segments never meet (a vertical one has an infinite slope).
    const float slope_a = (a.y1 - a.y2) / (a.x1 - a.x2);
    const float slope_b = (b.y1 - b.y2) / (b.x1 - b.x2);
    if (slope_a == slope_b)
        return false;
    const float dax = a.x2 - a.x1, day = a.y2 - a.y1;
    const float dbx = b.x2 - b.x1, dby = b.y2 - b.y1;
    const float dx = a.x1 - b.x1, dy = a.y1 - b.y1;
    const float inv = 1.0f / (dax * dby - day * dbx);
    const float t = (dbx * dy - dby * dx) * inv;
    if (t < 0 || t > 1)
        return false;
    const float u = (dax * dy - day * dx) * inv;
    if (u < 0 || u > 1)
        return false;
    return true;
}

quarn::math::Point2f GateMidpoint(const quarn::math::Point2f& p, const quarn::math::Point2f& q)
{
    return { (p.x + q.x) * 0.5f, (p.y + q.y) * 0.5f };
}

void RaceState::BuildGates()
{
    for (const Gate& g : track_gates)
        gates.push_back(g);
}

void RaceState::AttachCar(const quarn::RefPtr<Car>& newCar)
{
    car = newCar;
    lastPos = car->position();
}

void RaceState::Reset()
{
    raceClock.set(0);
    raceClock.resume();
    lapsDone = 0;
    nextGate = 0;
    lapsTotal = 3;
    lastGate = int32_t(gates.size()) - 1;
}

void RaceState::Update()
{
    const quarn::math::Point2f p = car->position();
    const Gate motion { lastPos.x, lastPos.y, p.x, p.y };
    lastPos = p;
    if (lapsDone >= lapsTotal || gates.size() < 2)
        return;
    // One long motion may pass several gates, each with its own sound.
    while (SegmentsIntersect(motion, gates[size_t(nextGate)])) {
        lastGate = nextGate;
        ++nextGate;
        if (nextGate >= int32_t(gates.size())) {
            ++lapsDone;
            nextGate = 0;
            GamePlaySound("DATA/lap.wav");
        } else {
            GamePlaySound("DATA/checkpoint.wav");
        }
        if (lapsDone >= lapsTotal) {
            raceClock.pause();
            return;
        }
    }
}
