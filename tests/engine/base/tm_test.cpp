#include "base_test_support.h"

namespace {

class TimerTest : public testing::Test {
protected:
    void SetUp() override
    {
        tmDone();
        platform::set_clock_source(&clock_);
    }
    void TearDown() override
    {
        tmDone();
        platform::set_clock_source(nullptr);
    }
    platform::ManualClock clock_{1'000'000'000};
};

TEST_F(TimerTest, CountsMillisecondsOfTheCounter)
{
    clock_.set(5'000'000'000ULL);
    tmInit();
    EXPECT_EQ(tmGetMs(), 5000u);
    clock_.advance(1'999'999);
    EXPECT_EQ(tmGetMs(), 5001u);
    clock_.advance_ms(250);
    EXPECT_EQ(tmGetMs(), 5251u);
}

TEST_F(TimerTest, ReadingBeforeInitCalibratesByItself)
{
    platform::ManualClock slow(3'579'545); // 3579 ticks per millisecond
    platform::set_clock_source(&slow);
    slow.set(3579 * 40);
    EXPECT_EQ(tmGetMs(), 40u);
}

TEST_F(TimerTest, CalibratesOnceUntilDone)
{
    tmInit();
    platform::ManualClock other(2000);
    platform::set_clock_source(&other);
    other.set(2000);
    // Still a nanosecond calibration: 2000 ticks are 0 ms.
    tmInit();
    EXPECT_EQ(tmGetMs(), 0u);
    tmDone();
    EXPECT_EQ(tmGetMs(), 1000u);
}

TEST_F(TimerTest, CounterSlowerThanAKilohertzDoesNotDivideByZero)
{
    platform::ManualClock crawl(10);
    platform::set_clock_source(&crawl);
    crawl.set(77);
    EXPECT_EQ(tmGetMs(), 77u);
}

} // namespace
