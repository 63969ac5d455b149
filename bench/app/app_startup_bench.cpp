// The program's start-up to its first presented frame, and its shut-down,
// beside a bare SDL2 program that opens a window of the same size, creates
// its renderer and presents one frame. Needs a display (run it under
// xvfb-run with SDL_AUDIODRIVER=dummy); without one both cases are skipped.
//
// Our side is the whole program minus the process start: the platform
// backend comes up, the application starts (configuration, data folder,
// single-instance lock, window, display device, sound, fonts, grid, game
// hooks), the main loop runs until a frame was drawn and pushed to the
// window, and the shut-down takes everything down again, the backend too.
// "program_over_bare_sdl2" runs both in turn and gives the ratios
// (startup_x, shutdown_x).
#include "engine/app/app.h"

#include "platform/platform.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;

bool drawn = false;
int frames = 0;

bool display_present() { return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"); }

// The program looks for its data folder from the executable's folder
// upwards; an empty one beside the benchmark is found first, wherever the
// build tree lies, and the configuration is saved beside it.
void provide_data_folder()
{
    static const bool made = [] {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(platform::module_file_name()).parent_path() / "DATA", ec);
        return true;
    }();
    (void)made;
}

double seconds(Clock::time_point from, Clock::time_point to) { return std::chrono::duration<double>(to - from).count(); }

// One start-up to the first pushed frame; the shut-down is timed into
// `shutdown_seconds`. False when no frame came.
bool run_program_once(double& startup_seconds, double& shutdown_seconds)
{
    provide_data_folder();
    drawn = false;
    frames = 0;
    const auto t0 = Clock::now();
    platform::use_backend(platform::BackendKind::sdl2);
    g_app = new gaCTy;
    g_app->Init();
    // The loop ends one iteration after the first drawn frame: that
    // iteration's pump pushes the frame to the window.
    g_app->Run();
    const auto t1 = Clock::now();
    delete g_app;
    platform::shutdown();
    const auto t2 = Clock::now();
    startup_seconds = seconds(t0, t1);
    shutdown_seconds = seconds(t1, t2);
    return drawn;
}

bool run_bare_sdl_once(double& startup_seconds, double& shutdown_seconds)
{
    const auto t0 = Clock::now();
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return false;
    SDL_Window* window = SDL_CreateWindow("bare", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480, SDL_WINDOW_SHOWN);
    SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, 0) : nullptr;
    if (renderer) {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        SDL_RenderPresent(renderer);
    }
    const auto t1 = Clock::now();
    if (renderer)
        SDL_DestroyRenderer(renderer);
    if (window)
        SDL_DestroyWindow(window);
    SDL_Quit();
    const auto t2 = Clock::now();
    startup_seconds = seconds(t0, t1);
    shutdown_seconds = seconds(t1, t2);
    return renderer != nullptr;
}

template <bool (*Run)(double&, double&), bool ShutDown>
void BM_Cycle(benchmark::State& state)
{
    if (!display_present()) {
        state.SkipWithError("no display: run under xvfb-run");
        return;
    }
    for (auto _ : state) {
        double up = 0, down = 0;
        if (!Run(up, down)) {
            state.SkipWithError("no frame was presented");
            return;
        }
        state.SetIterationTime(ShutDown ? down : up);
    }
}

// Both programs in turn in every iteration, so that the machine's load
// falls on both alike; the counters are the program's times over the bare
// program's (goal: at most 2 each), from the sums of all iterations.
void BM_Ratios(benchmark::State& state)
{
    if (!display_present()) {
        state.SkipWithError("no display: run under xvfb-run");
        return;
    }
    double ours_up = 0, ours_down = 0, bare_up = 0, bare_down = 0;
    for (auto _ : state) {
        double up = 0, down = 0, bup = 0, bdown = 0;
        if (!run_program_once(up, down) || !run_bare_sdl_once(bup, bdown)) {
            state.SkipWithError("no frame was presented");
            return;
        }
        ours_up += up;
        ours_down += down;
        bare_up += bup;
        bare_down += bdown;
        state.SetIterationTime(up + down);
    }
    state.counters["startup_x"] = bare_up > 0 ? ours_up / bare_up : 0;
    state.counters["shutdown_x"] = bare_down > 0 ? ours_down / bare_down : 0;
}

} // namespace

// The empty scene the program runs before the game exists.
void GamePreInit() {}
void GameInit() {}
int GameFrame()
{
    // Ends the loop once a frame was drawn, or after a bounded wait for the
    // window to become usable.
    if (drawn || ++frames > 1000)
        g_app->quit = 1;
    return 0;
}
int GameDraw()
{
    drawn = true;
    return 1;
}
void GameShutdown() {}
int GameMessageHook(platform::WindowHandle, uint32_t, uintptr_t, intptr_t) { return 0; }
void GameActivate() {}

BENCHMARK(BM_Cycle<run_program_once, false>)->Name("program/startup_to_first_frame")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Cycle<run_bare_sdl_once, false>)->Name("bare_sdl2/startup_to_first_frame")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Cycle<run_program_once, true>)->Name("program/shutdown")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Cycle<run_bare_sdl_once, true>)->Name("bare_sdl2/shutdown")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Ratios)->Name("program_over_bare_sdl2")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
