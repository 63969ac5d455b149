// The library's time base: 64-bit ticks and their frequency.
//
// Ticks come from the processor's time-stamp counter when it runs at a
// constant rate (its rate measured once at start-up), else from the system's
// monotonic clock, else from the millisecond tick count. A clock installed
// with platform::set_clock_source (tests) always takes precedence over the
// time-stamp counter.
#pragma once

#include <cstdint>

namespace quarn {

// The current tick count. The first call probes the processor.
uint64_t get_ticks();

// Ticks per second of get_ticks(); never 0.
int64_t get_tick_frequency();

// Ticks to milliseconds, truncating toward zero, with the frequency cached
// at first use. Exact for every 64-bit tick count.
int64_t ticks_to_ms(int64_t ticks);

} // namespace quarn
