// Times our code and a reference alternately in one benchmark, so that
// both see the same load on a shared machine, and reports both times per
// item and their ratio (ours over theirs: below 1 is faster).
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

namespace physics_bench {

// `ours()` and `theirs()` each do one round of work and return how many
// items (steps, pairs) it held; untimed() runs between rounds outside the
// clock (resets, control input). The iteration time is ours.
template<class Ours, class Theirs, class Untimed>
void side_by_side(benchmark::State& state, Ours&& ours, Theirs&& theirs, Untimed&& untimed)
{
    using Clock = std::chrono::steady_clock;
    double ours_s = 0, theirs_s = 0;
    int64_t ours_items = 0, theirs_items = 0;
    for (auto _ : state) {
        untimed();
        const auto t0 = Clock::now();
        ours_items += ours();
        const auto t1 = Clock::now();
        theirs_items += theirs();
        const auto t2 = Clock::now();
        const double a = std::chrono::duration<double>(t1 - t0).count();
        ours_s += a;
        theirs_s += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(a);
    }
    state.SetItemsProcessed(ours_items);
    if (ours_items > 0)
        state.counters["ours_ns"] = ours_s * 1e9 / double(ours_items);
    if (theirs_items > 0) {
        state.counters["ref_ns"] = theirs_s * 1e9 / double(theirs_items);
        state.counters["ratio"] = (ours_s / double(ours_items)) / (theirs_s / double(theirs_items));
    }
}

} // namespace physics_bench
