#include "quarn/Clock.h"

#include "quarn/CpuInfo.h"
#include "quarn/CpuInstructions.h"

#include "platform/clock.h"

#include <atomic>

namespace quarn {

namespace {

bool use_tsc(const CpuInfo& cpu)
{
    return (cpu.flags() & CpuInfo::tsc) && cpu.tsc_rate() > 0 && platform::system_clock_active();
}

// A clock source without a frequency has no high-resolution counter; only
// its millisecond count is left.
bool counter_available() { return platform::counter_frequency() != 0; }

std::atomic<int64_t> cached_frequency{0};

int64_t frequency_for_conversion()
{
    // Only the system clock's frequency is cached: a test clock comes and
    // goes, and must neither use nor leave behind a stale value.
    if (!platform::system_clock_active())
        return get_tick_frequency();
    int64_t frequency = cached_frequency.load(std::memory_order_relaxed);
    if (frequency == 0) {
        frequency = get_tick_frequency();
        cached_frequency.store(frequency, std::memory_order_relaxed);
    }
    return frequency;
}

} // namespace

uint64_t get_ticks()
{
    if (use_tsc(CpuInfo::instance()))
        return detail::read_tsc();
    if (counter_available())
        return platform::counter();
    return platform::tick_ms();
}

int64_t get_tick_frequency()
{
    const CpuInfo& cpu = CpuInfo::instance();
    if (use_tsc(cpu))
        return cpu.tsc_rate();
    if (counter_available())
        return static_cast<int64_t>(platform::counter_frequency());
    return 1000;
}

int64_t ticks_to_ms(int64_t ticks)
{
    // Split so that ticks * 1000 cannot overflow: with a 3 GHz counter the
    // plain product would after about a month of ticks.
    const int64_t frequency = frequency_for_conversion();
    return ticks / frequency * 1000 + ticks % frequency * 1000 / frequency;
}

} // namespace quarn
