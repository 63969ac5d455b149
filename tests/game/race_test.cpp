// The race's segment test and its gate, lap and finish rules.
#include "game/game.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_heard;

TEST(SegmentsIntersect, Cases)
{
    const struct {
        Gate motion, gate;
        bool meet;
        const char* what;
    } cases[] = {
        { { 0, 0, 10, 10 }, { 0, 10, 10, 0 }, true, "crossing" },
        { { 0, 0, 5, 5 }, { 0, 10, 10, 0 }, true, "ending on the gate" },
        { { 0, 0, 4.9f, 4.9f }, { 0, 10, 10, 0 }, false, "stopping short" },
        { { -5, 10, 5, 10 }, { 0, 10, 10, 0 }, true, "through an end point" },
        { { 0, 0, 10, 0 }, { 0, 0, 10, 0 }, false, "overlapping, parallel" },
        { { 0, 1, 10, 1 }, { 0, 0, 10, 0 }, false, "parallel" },
        { { 5, -5, 5, 5 }, { 0, 0, 10, 0 }, true, "vertical motion" },
        { { -5, 5, 5, 5 }, { 0, 0, 0, 10 }, true, "vertical gate" },
        { { 3, 0, 3, 10 }, { 0, 0, 0, 10 }, false, "both vertical" },
        { { 5, 5, 5, 5 }, { 0, 10, 10, 0 }, false, "standing on the gate's line" },
        { { 20, -10, 20, -10 }, { 0, 10, 10, 0 }, false, "standing on the line beyond the gate" },
        { { 0, 0, 10, 10 }, { 20, 30, 30, 20 }, false, "the gate further on" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(SegmentsIntersect(c.motion, c.gate), c.meet) << c.what;
}

class RaceTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_heard.clear();
        g_soundListener = [](const char* path) { g_heard.emplace_back(path); };
        car = quarn::RefPtr<Car>(new Car);
        race.BuildGates();
    }
    void TearDown() override { g_soundListener = nullptr; }

    // Moves the car to (x, y) and checks the motion.
    void MoveTo(float x, float y)
    {
        car->set_position({ x, y });
        race.Update();
    }
    // A point just before and just after gate i along its normal.
    std::pair<quarn::math::Point2f, quarn::math::Point2f> Across(int i)
    {
        const Gate& g = race.gates[size_t(i)];
        const quarn::math::Point2f m = GateMidpoint({ g.x1, g.y1 }, { g.x2, g.y2 });
        quarn::math::Point2f n { g.y1 - g.y2, g.x2 - g.x1 };
        n.normalize();
        return { m - n * 3, m + n * 3 };
    }
    void Pass(int i)
    {
        const auto [before, after] = Across(i);
        MoveTo(before.x, before.y);
        MoveTo(after.x, after.y);
    }

    quarn::RefPtr<Car> car;
    RaceState race;
};

TEST_F(RaceTest, ResetStartsThreeLapsAfterTheLastGate)
{
    EXPECT_TRUE(race.IsFinished()) << "not started";
    car->set_position({ 92, -133 });
    race.AttachCar(car);
    race.Reset();
    EXPECT_EQ(race.lastGate, 5);
    EXPECT_EQ(race.nextGate, 0);
    EXPECT_EQ(race.lapsDone, 0);
    EXPECT_EQ(race.lapsTotal, 3);
    EXPECT_FALSE(race.IsFinished());
    EXPECT_LT(race.raceClock.elapsed_ms(), 50);
}

TEST_F(RaceTest, GatesInOrderLapsAndTheFinish)
{
    race.AttachCar(car);
    race.Reset();
    Pass(1); // not the next gate
    EXPECT_EQ(race.nextGate, 0);
    EXPECT_TRUE(g_heard.empty());

    // One long motion across gates 0 and 1.
    MoveTo(340, -95);
    MoveTo(470, -305);
    EXPECT_EQ(race.nextGate, 2);
    EXPECT_EQ(race.lastGate, 1);
    EXPECT_EQ(g_heard, std::vector<std::string>(2, "DATA/checkpoint.wav"));

    // Backwards counts like forwards.
    const auto [before, after] = Across(2);
    MoveTo(after.x, after.y);
    MoveTo(before.x, before.y);
    EXPECT_EQ(race.nextGate, 3);

    for (int lap = 0; lap < 3; ++lap) {
        for (int g = (lap == 0 ? 3 : 0); g < 6; ++g)
            Pass(g);
        EXPECT_EQ(race.lapsDone, lap + 1);
        EXPECT_EQ(race.nextGate, 0);
        EXPECT_EQ(g_heard.back(), "DATA/lap.wav");
    }
    EXPECT_TRUE(race.IsFinished());
    EXPECT_TRUE(race.raceClock.paused());
    EXPECT_EQ(g_heard.size(), 18u);
    Pass(0); // after the finish nothing counts
    EXPECT_EQ(g_heard.size(), 18u);
}

TEST_F(RaceTest, FewerThanTwoGatesCountNothing)
{
    race.gates.resize(1);
    race.AttachCar(car);
    race.Reset();
    Pass(0);
    EXPECT_EQ(race.nextGate, 0);
    EXPECT_TRUE(g_heard.empty());
}

} // namespace
