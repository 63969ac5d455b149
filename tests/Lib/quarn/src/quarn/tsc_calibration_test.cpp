#include "quarn/CpuInstructions.h"
#include "quarn/TscCalibration.h"

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using quarn::detail::fallback_tsc_rate;
using quarn::detail::measure_tsc_rate;

// A clock that moves a fixed step at every read.
class SteppingClock final : public platform::ClockSource {
public:
    SteppingClock(uint64_t frequency, uint64_t step) : frequency_(frequency), step_(step) {}
    uint64_t counter() override { return now_ += step_; }
    uint64_t counter_frequency() override { return frequency_; }
    uint32_t tick_ms() override { return 0; }
    void sleep_ms(uint32_t) override {}

private:
    uint64_t frequency_;
    uint64_t step_;
    uint64_t now_ = 0;
};

uint64_t fake_tsc_step = 0;
uint64_t fake_tsc_now = 0;
uint64_t fake_tsc() { return fake_tsc_now += fake_tsc_step; }

TEST(TscCalibration, RateIsCounterTicksPerClockSecond)
{
    // Each sample spans 1000 clock steps of 50 ns (50 us) and one counter
    // step of 150000 ticks: 3 GHz.
    SteppingClock clock(1'000'000'000, 50);
    fake_tsc_step = 150'000;
    EXPECT_EQ(measure_tsc_rate(clock, fake_tsc), 3'000'000'000);

    // Each sample truncates: 2999 ticks over 3 s of a 1 kHz clock.
    SteppingClock slow(1000, 3);
    fake_tsc_step = 2999;
    EXPECT_EQ(measure_tsc_rate(slow, fake_tsc), 999);
}

TEST(TscCalibration, AClockThatCannotMeasureGivesTheFallbackRate)
{
    fake_tsc_step = 1000;
    platform::ManualClock stuck(1'000'000'000);
    EXPECT_EQ(measure_tsc_rate(stuck, fake_tsc), fallback_tsc_rate);

    SteppingClock no_frequency(0, 1);
    EXPECT_EQ(measure_tsc_rate(no_frequency, fake_tsc), fallback_tsc_rate);

    // A counter that does not move measures no rate at all.
    fake_tsc_step = 0;
    SteppingClock clock(1'000'000'000, 50);
    EXPECT_EQ(measure_tsc_rate(clock, fake_tsc), fallback_tsc_rate);
}

TEST(TscCalibration, AJumpingCounterCannotOverflowTheSum)
{
    SteppingClock clock(1'000'000'000, 1);
    fake_tsc_step = uint64_t{1} << 62;
    EXPECT_EQ(measure_tsc_rate(clock, fake_tsc), std::numeric_limits<int64_t>::max() / 20);
}

TEST(TscCalibration, RealCounterAgainstTheSystemClockIsPlausible)
{
    const int64_t rate = measure_tsc_rate(platform::system_clock(), quarn::detail::read_tsc);
    EXPECT_GT(rate, 0);
    EXPECT_NE(rate, fallback_tsc_rate);
}

} // namespace
