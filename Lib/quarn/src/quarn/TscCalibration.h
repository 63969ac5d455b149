// Measuring the time-stamp counter against a clock of known frequency.
// Private to the quarn library (tests may use it).
#pragma once

#include "platform/clock.h"

#include <cstdint>

namespace quarn::detail {

// The rate assumed when it cannot be measured.
inline constexpr int64_t fallback_tsc_rate = 100'000'000;

// Time-stamp counter ticks per second, averaged over 20 samples of 1000
// clock reads each; fallback_tsc_rate when the clock has no frequency or
// does not move during a sample.
int64_t measure_tsc_rate(platform::ClockSource& clock, uint64_t (*read_tsc)());

} // namespace quarn::detail
