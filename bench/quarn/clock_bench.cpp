// Reading the library's clock and a stopwatch, beside the operating
// system's monotonic clock read directly and through std::chrono.
#include "quarn/quarn.h"

#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <string>

namespace {

void BM_quarn_get_ticks(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(quarn::get_ticks());
}
BENCHMARK(BM_quarn_get_ticks);

void BM_clock_gettime_monotonic(benchmark::State& state)
{
    timespec ts{};
    for (auto _ : state) {
        clock_gettime(CLOCK_MONOTONIC, &ts);
        benchmark::DoNotOptimize(ts);
    }
}
BENCHMARK(BM_clock_gettime_monotonic);

void BM_steady_clock_now(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(std::chrono::steady_clock::now());
}
BENCHMARK(BM_steady_clock_now);

// The path the library takes without a usable time-stamp counter.
void BM_platform_counter(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::counter());
}
BENCHMARK(BM_platform_counter);

void BM_quarn_stopwatch_elapsed_ms(benchmark::State& state)
{
    quarn::Stopwatch watch;
    for (auto _ : state)
        benchmark::DoNotOptimize(watch.elapsed_ms());
}
BENCHMARK(BM_quarn_stopwatch_elapsed_ms);

// The same question answered with the standard library alone.
void BM_steady_clock_elapsed_ms(benchmark::State& state)
{
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        benchmark::DoNotOptimize(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
    }
}
BENCHMARK(BM_steady_clock_elapsed_ms);

void BM_quarn_ticks_to_ms(benchmark::State& state)
{
    int64_t ticks = quarn::get_tick_frequency() * 12345;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ticks);
        benchmark::DoNotOptimize(quarn::ticks_to_ms(ticks));
    }
}
BENCHMARK(BM_quarn_ticks_to_ms);

// Probes the processor before any timing and records which counter serves.
const bool context_added = [] {
    const quarn::CpuInfo& cpu = quarn::CpuInfo::instance();
    const bool tsc = (cpu.flags() & quarn::CpuInfo::tsc) != 0;
    benchmark::AddCustomContext("quarn_tick_source", tsc ? "time-stamp counter" : "monotonic clock");
    benchmark::AddCustomContext("quarn_tick_frequency", std::to_string(quarn::get_tick_frequency()));
    return true;
}();

} // namespace
