// The layer's formatter beside glibc's snprintf on the messages the engine
// formats most: file-name messages, numbered file names, number columns and
// the debug box's code line. Both write into the same 512-byte buffer.
#include "engine/base/base.h"

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

char buffer[STR_MESSAGE_BUFFER_SIZE];
const char* const path = "DATA/sounds/checkpoint.wav";

void ours_file_message(benchmark::State& state)
{
    for (auto _ : state) {
        strFormat(buffer, sizeof buffer, "Can't open file '%s'", path);
        benchmark::DoNotOptimize(buffer);
    }
}
void snprintf_file_message(benchmark::State& state)
{
    for (auto _ : state) {
        std::snprintf(buffer, sizeof buffer, "Can't open file '%s'", path);
        benchmark::DoNotOptimize(buffer);
    }
}

void ours_numbered_name(benchmark::State& state)
{
    int n = 0;
    for (auto _ : state) {
        strFormat(buffer, sizeof buffer, "%s/%s%d%s", "DATA", "hit", ++n & 7, ".wav");
        benchmark::DoNotOptimize(buffer);
    }
}
void snprintf_numbered_name(benchmark::State& state)
{
    int n = 0;
    for (auto _ : state) {
        std::snprintf(buffer, sizeof buffer, "%s/%s%d%s", "DATA", "hit", ++n & 7, ".wav");
        benchmark::DoNotOptimize(buffer);
    }
}

void ours_number_columns(benchmark::State& state)
{
    int n = 12345;
    for (auto _ : state) {
        ++n;
        strFormat(buffer, sizeof buffer, "%d|%5d|%-5d|%05d|%x", -n, n & 0xFFF, n & 0xFF, n & 0xF, n);
        benchmark::DoNotOptimize(buffer);
    }
}
void snprintf_number_columns(benchmark::State& state)
{
    int n = 12345;
    for (auto _ : state) {
        ++n;
        std::snprintf(buffer, sizeof buffer, "%d|%5d|%-5d|%05d|%x", -n, n & 0xFFF, n & 0xFF, n & 0xF, n);
        benchmark::DoNotOptimize(buffer);
    }
}

void ours_code_line(benchmark::State& state)
{
    int code = -97;
    for (auto _ : state) {
        strFormat(buffer, sizeof buffer, "Error Code  : 0x%08X (%d)", code, static_cast<int16_t>(code));
        benchmark::DoNotOptimize(buffer);
        code -= 1;
    }
}
void snprintf_code_line(benchmark::State& state)
{
    int code = -97;
    for (auto _ : state) {
        std::snprintf(buffer, sizeof buffer, "Error Code  : 0x%08X (%d)", static_cast<unsigned>(code),
                      static_cast<int16_t>(code));
        benchmark::DoNotOptimize(buffer);
        code -= 1;
    }
}

} // namespace

BENCHMARK(ours_file_message);
BENCHMARK(snprintf_file_message);
BENCHMARK(ours_numbered_name);
BENCHMARK(snprintf_numbered_name);
BENCHMARK(ours_number_columns);
BENCHMARK(snprintf_number_columns);
BENCHMARK(ours_code_line);
BENCHMARK(snprintf_code_line);
