// One log line through a channel into the log file, beside the same line
// written with fprintf into a plain file (the limit: no prefix, no lock, no
// filter).
#include "quarn/quarn.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

constexpr quarn::LogChannel bench_channel("bench", 2);

void BM_LogLine(benchmark::State& state)
{
    int n = 0;
    for (auto _ : state) {
        quarn::open_entry(bench_channel) << "frame " << n++ << " took " << 16.5 << " ms" << std::endl;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogLine);

void BM_LogLineFilteredOut(benchmark::State& state)
{
    // A channel silenced by its limits: the cost every disabled trace pays.
    static constexpr quarn::LogChannel quiet("bench.quiet", 4);
    if (quarn::LogSettings* settings = quarn::log_settings("bench.quiet"))
        settings->limit[2] = -1;
    int n = 0;
    for (auto _ : state) {
        quarn::open_entry(quiet) << "frame " << n++ << std::endl;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogLineFilteredOut);

void BM_FprintfLine(benchmark::State& state)
{
    std::string path = quarn::default_log_file_name() + ".fprintf";
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        state.SkipWithError("can't create the comparison file");
        return;
    }
    int n = 0;
    for (auto _ : state) {
        std::fprintf(f, "[bench] warning: frame %d took %g ms\n", n++, 16.5);
        std::fflush(f);
    }
    std::fclose(f);
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FprintfLine);

} // namespace
