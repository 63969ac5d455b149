// gPresent of an 800x600 16-bit back surface: on the headless backend
// (a copy into the primary in memory) and on the SDL2 backend (the copy,
// then the push of the primary through a streaming texture; SDL's dummy
// driver and software renderer when there is no display), beside memcpy of
// the frame's bytes. Each present row carries x_memcpy: its time per frame
// over memcpy's, measured in the same run.
#include "engine/gfx/gfx.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kW = 800, kH = 600;
constexpr size_t kFrameBytes = size_t(kW) * kH * 2;

double seconds_now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The best of a few timed memcpy runs of one frame, in seconds.
double memcpy_seconds()
{
    static const double best = [] {
        std::vector<uint8_t> a(kFrameBytes, 0x5A), b(kFrameBytes);
        double t = 1e9;
        for (int round = 0; round < 20; ++round) {
            const double start = seconds_now();
            for (int i = 0; i < 10; ++i) {
                std::memcpy(b.data(), a.data(), kFrameBytes);
                benchmark::DoNotOptimize(b.data());
            }
            t = std::min(t, (seconds_now() - start) / 10);
        }
        return t;
    }();
    return best;
}

void Memcpy(benchmark::State& state)
{
    std::vector<uint8_t> a(kFrameBytes, 0x5A), b(kFrameBytes);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), kFrameBytes);
        benchmark::DoNotOptimize(b.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}

void Present(benchmark::State& state, platform::BackendKind kind)
{
    if (kind == platform::BackendKind::sdl2 && !std::getenv("DISPLAY"))
        setenv("SDL_VIDEODRIVER", "dummy", 1);
    platform::shutdown();
    platform::use_backend(kind);
    if (platform::backend_kind() != kind) {
        state.SkipWithError("the backend cannot start here");
        platform::use_backend(platform::BackendKind::headless);
        return;
    }
    errInit();
    auto window = platform::create_window({.client = {kW, kH}});
    // Full screen at 16 bits: the surfaces are 5:6:5 whatever the desktop.
    if (!window || gCreate(window, g_FULL_SCREEN, kW, kH, 16) != 0) {
        state.SkipWithError("no display device");
        return;
    }
    gMode.device->back->Fill(0x1234, nullptr);
    const double start = seconds_now();
    for (auto _ : state) {
        (void)gPresent();
        platform::display::flush();
    }
    const double per_frame = (seconds_now() - start) / double(std::max<int64_t>(state.iterations(), 1));
    state.counters["x_memcpy"] = per_frame / memcpy_seconds();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
    gRelease();
    platform::destroy_window(window);
    platform::shutdown();
    platform::use_backend(platform::BackendKind::headless);
}

} // namespace

BENCHMARK(Memcpy);
BENCHMARK_CAPTURE(Present, headless, platform::BackendKind::headless);
BENCHMARK_CAPTURE(Present, sdl2, platform::BackendKind::sdl2);
