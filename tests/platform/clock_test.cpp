#include "platform/platform.h"

#include <gtest/gtest.h>

namespace {

TEST(SystemClock, IsMonotonicWithNanosecondFrequency)
{
    EXPECT_EQ(platform::counter_frequency(), 1'000'000'000u);
    uint64_t a = platform::counter();
    uint64_t b = platform::counter();
    EXPECT_LE(a, b);
}

TEST(ManualClock, ReplacesTheSystemClockUntilRemoved)
{
    platform::ManualClock clock(1'000'000);
    platform::set_clock_source(&clock);
    EXPECT_EQ(platform::counter(), 0u);
    EXPECT_EQ(platform::counter_frequency(), 1'000'000u);
    platform::sleep_ms(1500);
    EXPECT_EQ(platform::tick_ms(), 1500u);
    clock.advance(250);
    EXPECT_EQ(platform::counter(), 1'500'250u);
    platform::set_clock_source(nullptr);
    EXPECT_EQ(platform::counter_frequency(), 1'000'000'000u);
}

TEST(ManualClock, TickWrapsAt32Bits)
{
    platform::ManualClock clock(1000);
    clock.set(uint64_t{1} << 32);
    EXPECT_EQ(clock.tick_ms(), 0u);
    clock.advance(5);
    EXPECT_EQ(clock.tick_ms(), 5u);
}

TEST(SystemClock, StaysReachableWhileAnotherSourceIsInstalled)
{
    EXPECT_TRUE(platform::system_clock_active());
    platform::ManualClock clock(1000);
    platform::set_clock_source(&clock);
    EXPECT_FALSE(platform::system_clock_active());
    EXPECT_EQ(platform::system_clock().counter_frequency(), 1'000'000'000u);
    EXPECT_GT(platform::system_clock().counter(), 0u);
    EXPECT_EQ(platform::counter(), 0u);
    platform::set_clock_source(nullptr);
    EXPECT_TRUE(platform::system_clock_active());
}

} // namespace
