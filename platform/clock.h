// Monotonic clocks, replaceable so that tests never wait on real time.
#pragma once

#include <cstdint>

namespace platform {

class ClockSource {
public:
    virtual ~ClockSource() = default;
    virtual uint64_t counter() = 0;           // high-resolution ticks
    virtual uint64_t counter_frequency() = 0; // ticks per second
    virtual uint32_t tick_ms() = 0;           // wraps after ~49.7 days
    virtual void sleep_ms(uint32_t ms) = 0;
};

uint64_t counter();
uint64_t counter_frequency();
uint32_t tick_ms();
void sleep_ms(uint32_t ms);

// Replaces the clock for the whole process; null restores the system clock.
// The caller keeps ownership.
void set_clock_source(ClockSource* source);

// The real monotonic clock (nanoseconds), whatever source is installed.
// Measuring hardware against real time must not be fooled by a test clock.
ClockSource& system_clock();

// True while no other source is installed. Code with a faster way to the
// same real time (the processor's time-stamp counter) may take it only
// then, so that an installed test clock still drives everything.
bool system_clock_active();

// A clock that moves only when told to; sleeping advances it.
class ManualClock final : public ClockSource {
public:
    explicit ManualClock(uint64_t frequency = 1'000'000'000) : frequency_(frequency) {}
    uint64_t counter() override { return now_; }
    uint64_t counter_frequency() override { return frequency_; }
    uint32_t tick_ms() override { return static_cast<uint32_t>(now_ / (frequency_ / 1000)); }
    void sleep_ms(uint32_t ms) override { advance_ms(ms); }

    void advance(uint64_t ticks) { now_ += ticks; }
    void advance_ms(uint64_t ms) { now_ += ms * (frequency_ / 1000); }
    void set(uint64_t ticks) { now_ = ticks; }

private:
    uint64_t now_ = 0;
    uint64_t frequency_;
};

} // namespace platform
