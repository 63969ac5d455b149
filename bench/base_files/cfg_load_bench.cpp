// The settings file's load, timed from 1,000 to 1,000,000 distinct keys,
// beside reading the very same file line by line with std::getline: the
// least any load of it costs. The "per_key" column (seconds per key) of
// the load must stay flat as the file grows, where a load that looks each
// key up through the whole list grows ten times with each tenfold file.
// What growth is left is the memory's: once the index of names outgrows
// the caches (some 100,000 keys), each new key costs a miss in it.
//
// Run with --benchmark_format=csv for a table to keep beside the machine's
// description.
#include "engine/base/base.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

// A file of `keys` settings in mixed case, as a player's or a tool's keys
// may be, made once per size in a folder of this run's own.
class Files {
public:
    Files() : folder_(fs::temp_directory_path() / ("quarn_cfg_bench_" + std::to_string(std::random_device {}())))
    {
        fs::create_directories(folder_);
    }
    ~Files()
    {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    Files(const Files&) = delete;
    Files& operator=(const Files&) = delete;

    const std::string& Of(int64_t keys)
    {
        auto [at, made] = names_.try_emplace(keys);
        if (made) {
            at->second = (folder_ / ("keys_" + std::to_string(keys) + ".cfg")).string();
            std::ofstream out(at->second, std::ios::binary);
            for (int64_t i = 0; i < keys; ++i)
                out << (i % 3 ? "track_gate_" : "Best_Lap_") << i << " = " << i * 7919 % 1000003 << '\n';
        }
        return at->second;
    }

private:
    fs::path folder_;
    std::map<int64_t, std::string> names_;
};

Files& files()
{
    static Files all;
    return all;
}

void per_key(benchmark::State& state, int64_t keys)
{
    // Seconds per key: the rate of keys, inverted.
    state.counters["per_key"] = benchmark::Counter(
        static_cast<double>(keys), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void cfg_load(benchmark::State& state)
{
    const int64_t keys = state.range(0);
    const std::string& name = files().Of(keys);
    for (auto _ : state) {
        cfgCTy cfg;
        const cfgLoadTy read = cfg.Load(name.c_str());
        if (read.read != cfgReadTy::whole || cfg.Count() != keys) {
            state.SkipWithError("the file did not load whole");
            break;
        }
        benchmark::DoNotOptimize(cfg.At(0));
    }
    per_key(state, keys);
}

void getline_read(benchmark::State& state)
{
    const int64_t keys = state.range(0);
    const std::string& name = files().Of(keys);
    for (auto _ : state) {
        std::ifstream in(name, std::ios::binary);
        std::string line;
        int64_t lines = 0;
        while (std::getline(in, line))
            ++lines;
        if (lines != keys) {
            state.SkipWithError("the file did not read whole");
            break;
        }
        benchmark::DoNotOptimize(line);
    }
    per_key(state, keys);
}

} // namespace

BENCHMARK(cfg_load)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(getline_read)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
