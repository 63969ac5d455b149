// Our operation and its reference timed in one benchmark, turn about (the
// order swaps every iteration, so neither always finds the caches warmed
// by the other), on the same bytes. The benchmark's time is ours; the
// counters give both rates and "x_ref", the reference's time over ours:
// 1.0 or more means we are at least as fast.
#pragma once

#include "img/Spans.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace img_bench {

template <class Ours, class Reference>
void side_by_side(benchmark::State& state, int64_t pixels, Ours&& ours, Reference&& reference)
{
    using Clock = std::chrono::steady_clock;
    double ours_seconds = 0;
    double reference_seconds = 0;
    bool ours_first = true;
    const auto timed = [](auto& f) {
        const auto start = Clock::now();
        f();
        benchmark::ClobberMemory();
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    for (auto _ : state) {
        double mine;
        if (ours_first) {
            mine = timed(ours);
            reference_seconds += timed(reference);
        } else {
            reference_seconds += timed(reference);
            mine = timed(ours);
        }
        ours_first = !ours_first;
        ours_seconds += mine;
        state.SetIterationTime(mine);
    }
    const double n = double(pixels) * double(state.iterations());
    state.counters["Mpix/s"] = n / ours_seconds / 1e6;
    state.counters["ref_Mpix/s"] = n / reference_seconds / 1e6;
    state.counters["x_ref"] = reference_seconds / ours_seconds;
}

// Span level of a benchmark argument: 2 the best the processor has, 1 SSE2
// at most, 0 none (the pixel loops alone). Restores the best on leaving.
class SpanLevelScope {
public:
    SpanLevelScope(benchmark::State& state, int64_t level)
    {
        quarn::g::set_span_level(level >= 2 ? quarn::g::best_span_level()
                : level == 1              ? quarn::g::SpanLevel::sse2
                                          : quarn::g::SpanLevel::none);
        static const char* const names[] = { "pixel loops", "sse2", "avx2" };
        state.SetLabel(names[int(quarn::g::span_level())]);
    }
    ~SpanLevelScope() { quarn::g::set_span_level(quarn::g::best_span_level()); }
    SpanLevelScope(const SpanLevelScope&) = delete;
    SpanLevelScope& operator=(const SpanLevelScope&) = delete;
};

} // namespace img_bench
