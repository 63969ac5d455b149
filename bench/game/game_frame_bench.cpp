// One steady-state frame of the game, headless, on the generated data:
// the physics step, the car and the race, the buttons, the dirty-rectangle
// redraw of the sprite list and the present to the in-memory window, with
// the autopilot driving. The outside reference is memcpy of one 800 x 600
// frame of 16-bit pels, the least any frame could cost.
//
// Run with --benchmark_format=csv for a table to keep beside the machine's
// name.
#include "game/game.h"

#include "engine/app/app_internal.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "tests/game/game_folder.h"
#include "tools/mkdata/autopilot.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The game started once for all runs, in a scratch copy of its data.
struct Session {
    platform::ManualClock clock;
    std::unique_ptr<mkdata::Autopilot> pilot;

    Session()
    {
        platform::use_backend(platform::BackendKind::headless);
        platform::set_clock_source(&clock);
        platform::set_box_policy([](const platform::BoxRequest&) { return platform::BoxAnswer::ignore; });
        gaEngine = gaEngineDefaults();
        const fs::path root = fs::temp_directory_path() / "quarn_game_bench";
        game_test::make_game_folder(root);
        g_app = new gaCTy;
        g_app->Init();
        pilot = std::make_unique<mkdata::Autopilot>(mkdata::Autopilot::load("DATA/track.path"));
    }

    ~Session()
    {
        delete g_app; // the shut-down stops the sound system's thread
        g_app = nullptr;
        gaEngine = gaEngineDefaults();
        platform::shutdown();
        platform::set_clock_source(nullptr);
    }

    // One turn of the main loop, 16 ms of game time.
    void frame()
    {
        if (g_race.IsFinished()) {
            NewRace();
            pilot->relocate(g_car->position());
        }
        g_app->Pump();
        inpPoll();
        const mkdata::Keys k = pilot->drive(g_car->position(), g_car->angle(), g_car->velocity, g_car->angular_velocity);
        g_input.keys[platform::vk::up] = k.up ? 0x80 : 0;
        g_input.keys[platform::vk::left] = k.left ? 0x80 : 0;
        g_input.keys[platform::vk::right] = k.right ? 0x80 : 0;
        g_input.keys[platform::vk::down] = k.down ? 0x80 : 0;
        g_app->OnFrame();
        if (GameDraw())
            g_app->UpdateScreen();
        clock.advance_ms(16);
    }
};

Session& session()
{
    static Session s;
    return s;
}

void BM_GameFrame(benchmark::State& state)
{
    Session& s = session();
    for (int i = 0; i < 60; ++i) // past the first frames, which redraw everything
        s.frame();
    for (auto _ : state)
        s.frame();
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_GameFrame);

void BM_MemcpyFrame(benchmark::State& state)
{
    std::vector<uint8_t> from(800 * 600 * 2, 1), to(800 * 600 * 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_MemcpyFrame);

} // namespace
