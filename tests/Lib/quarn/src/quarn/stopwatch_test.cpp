#include "quarn/quarn.h"

#include "platform/platform.h"

#include <gtest/gtest.h>

namespace {

// One tick per microsecond, so that 1000 ticks are a millisecond.
class StopwatchTest : public testing::Test {
protected:
    void SetUp() override
    {
        clock_.set(5'000'000);
        platform::set_clock_source(&clock_);
    }
    void TearDown() override { platform::set_clock_source(nullptr); }

    void wait_ms(uint64_t ms) { clock_.advance_ms(ms); }

    platform::ManualClock clock_{1'000'000};
};

TEST_F(StopwatchTest, RunsWithTheClockFromItsOffset)
{
    quarn::Stopwatch watch;
    EXPECT_EQ(watch.elapsed_ms(), 0);
    wait_ms(250);
    EXPECT_EQ(watch.elapsed_ticks(), 250'000u);
    EXPECT_EQ(watch.elapsed_ms(), 250);

    quarn::Stopwatch head_start(-40'000);
    EXPECT_EQ(head_start.elapsed_ms(), 40);

    // Started in the future: negative until the clock gets there.
    quarn::Stopwatch countdown(3'000);
    EXPECT_EQ(countdown.elapsed_ms(), -3);
    wait_ms(5);
    EXPECT_EQ(countdown.elapsed_ms(), 2);
    EXPECT_FALSE(countdown.paused());
}

TEST_F(StopwatchTest, PauseFreezesAndResumeSkipsThePausedInterval)
{
    quarn::Stopwatch watch;
    wait_ms(100);
    watch.pause();
    EXPECT_TRUE(watch.paused());
    wait_ms(1000);
    EXPECT_EQ(watch.elapsed_ms(), 100);

    // A second pause keeps the first frozen value.
    watch.pause();
    EXPECT_EQ(watch.elapsed_ms(), 100);

    watch.resume();
    EXPECT_FALSE(watch.paused());
    EXPECT_EQ(watch.elapsed_ms(), 100);
    wait_ms(30);
    EXPECT_EQ(watch.elapsed_ms(), 130);

    // Resuming a running stopwatch changes nothing.
    watch.resume();
    wait_ms(20);
    EXPECT_EQ(watch.elapsed_ms(), 150);

    // Pausing again after a resume freezes the new value, not the old one.
    watch.pause();
    wait_ms(500);
    watch.resume();
    EXPECT_EQ(watch.elapsed_ms(), 150);
}

TEST_F(StopwatchTest, SetRestartsTheCountFromTheGivenTicks)
{
    quarn::Stopwatch watch;
    wait_ms(700);
    watch.set(0);
    EXPECT_EQ(watch.elapsed_ms(), 0);
    wait_ms(3);
    EXPECT_EQ(watch.elapsed_ms(), 3);

    watch.set(2'000'000);
    EXPECT_EQ(watch.elapsed_ms(), 2000);
    wait_ms(1);
    EXPECT_EQ(watch.elapsed_ms(), 2001);
}

TEST_F(StopwatchTest, SetBeyondTheClockStartsAtTickZero)
{
    quarn::Stopwatch watch;
    const uint64_t now = clock_.counter();
    watch.set(now + 1);
    EXPECT_EQ(watch.elapsed_ticks(), now);
    watch.set(now);
    EXPECT_EQ(watch.elapsed_ticks(), now);
    watch.set(now - 1);
    EXPECT_EQ(watch.elapsed_ticks(), now - 1);
}

TEST_F(StopwatchTest, SetWhilePausedShowsTheValueAndGoesOnFromItOnResume)
{
    quarn::Stopwatch watch;
    wait_ms(50);
    watch.pause();
    watch.set(10'000);
    EXPECT_TRUE(watch.paused());
    wait_ms(400);
    EXPECT_EQ(watch.elapsed_ms(), 10);
    watch.resume();
    EXPECT_EQ(watch.elapsed_ms(), 10);
    wait_ms(5);
    EXPECT_EQ(watch.elapsed_ms(), 15);
}

} // namespace
