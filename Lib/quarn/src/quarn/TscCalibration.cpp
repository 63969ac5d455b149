#include "quarn/TscCalibration.h"

#include <limits>

namespace quarn::detail {

int64_t measure_tsc_rate(platform::ClockSource& clock, uint64_t (*read_tsc)())
{
    constexpr int samples = 20;
    constexpr int reads_per_sample = 1000;
    constexpr int64_t max_sample = std::numeric_limits<int64_t>::max() / samples;

    const uint64_t frequency = clock.counter_frequency();
    if (frequency == 0)
        return fallback_tsc_rate;

    int64_t sum = 0;
    for (int s = 0; s < samples; ++s) {
        const uint64_t q0 = clock.counter();
        const uint64_t t0 = read_tsc();
        uint64_t q1 = q0;
        for (int i = 0; i < reads_per_sample; ++i)
            q1 = clock.counter();
        const uint64_t t1 = read_tsc();
        // A clock that did not move would divide by zero, which is a trap
        // on this platform rather than a catchable error.
        if (q1 <= q0)
            return fallback_tsc_rate;
        // 128 bits: a sample stretched by a long preemption must not
        // overflow the product.
        // A counter that jumped (a virtual machine moved, say) is capped so
        // the sum cannot overflow either; the average is then useless, but
        // harmless.
        const unsigned __int128 rate = static_cast<unsigned __int128>(t1 - t0) * frequency / (q1 - q0);
        sum += rate > max_sample ? max_sample : static_cast<int64_t>(rate);
    }
    const int64_t rate = sum / samples;
    return rate > 0 ? rate : fallback_tsc_rate;
}

} // namespace quarn::detail
