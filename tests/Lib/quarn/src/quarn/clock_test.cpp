#include "quarn/quarn.h"

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

// A clock without a high-resolution counter: only milliseconds are left.
class TickCountOnlyClock final : public platform::ClockSource {
public:
    uint64_t counter() override { return 0; }
    uint64_t counter_frequency() override { return 0; }
    uint32_t tick_ms() override { return ms; }
    void sleep_ms(uint32_t d) override { ms += d; }
    uint32_t ms = 77;
};

class InstalledClock : public testing::Test {
protected:
    void TearDown() override { platform::set_clock_source(nullptr); }
};

TEST(Clock, SystemTicksMoveForwardAtTheReportedFrequency)
{
    const quarn::CpuInfo& cpu = quarn::CpuInfo::instance();
    const int64_t frequency = quarn::get_tick_frequency();
    if (cpu.flags() & quarn::CpuInfo::tsc)
        EXPECT_EQ(frequency, cpu.tsc_rate());
    else
        EXPECT_EQ(frequency, 1'000'000'000);
    const uint64_t a = quarn::get_ticks();
    const uint64_t b = quarn::get_ticks();
    EXPECT_LE(a, b);
    EXPECT_EQ(quarn::ticks_to_ms(frequency * 7), 7000);
    EXPECT_EQ(quarn::ticks_to_ms(frequency - 1), 999);
}

TEST_F(InstalledClock, TakesPrecedenceOverTheTimeStampCounter)
{
    // Fill the conversion cache with the system frequency first: the test
    // clock must not be converted with it.
    (void)quarn::ticks_to_ms(1);
    platform::ManualClock clock(1'000'000);
    clock.set(123'456'789);
    platform::set_clock_source(&clock);
    EXPECT_EQ(quarn::get_ticks(), 123'456'789u);
    EXPECT_EQ(quarn::get_tick_frequency(), 1'000'000);
    EXPECT_EQ(quarn::ticks_to_ms(2'500'000), 2500);

    platform::set_clock_source(nullptr);
    // Back on the system clock, the cached frequency is the system's again.
    EXPECT_EQ(quarn::ticks_to_ms(quarn::get_tick_frequency()), 1000);
}

TEST_F(InstalledClock, WithoutACounterTicksAreMilliseconds)
{
    TickCountOnlyClock clock;
    platform::set_clock_source(&clock);
    EXPECT_EQ(quarn::get_ticks(), 77u);
    EXPECT_EQ(quarn::get_tick_frequency(), 1000);
    EXPECT_EQ(quarn::ticks_to_ms(1234), 1234);

    quarn::Stopwatch watch;
    clock.sleep_ms(40);
    EXPECT_EQ(watch.elapsed_ms(), 40);
}

TEST_F(InstalledClock, MillisecondsAreExactForEveryTickCount)
{
    // A 3 GHz counter: ticks * 1000 overflows 64 bits after about a month.
    platform::ManualClock clock(3'000'000'000);
    platform::set_clock_source(&clock);
    const auto exact = [](int64_t t) { return static_cast<int64_t>(static_cast<__int128>(t) * 1000 / 3'000'000'000); };
    const int64_t max = std::numeric_limits<int64_t>::max();
    for (int64_t t : {int64_t{0}, int64_t{2'999'999}, int64_t{3'000'000}, max / 1000 + 1, max - 1, max})
        EXPECT_EQ(quarn::ticks_to_ms(t), exact(t)) << t;
    // Negative counts (a stopwatch started in the future) truncate toward 0.
    for (int64_t t : {int64_t{-1}, int64_t{-2'999'999}, int64_t{-3'000'000}, -max})
        EXPECT_EQ(quarn::ticks_to_ms(t), exact(t)) << t;
}

} // namespace
