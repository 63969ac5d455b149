// The game's music, headless, on the data the build generated: the real
// framework start-up and shut-down and the real hooks, with the MIDI output
// replaced by the recording device on a manual MIDI clock. A program of its
// own: the game starts once per process.
#include "game/game.h"

#include "engine/app/app_internal.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "tests/game/game_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// race.cfg asks for music, so GameInit starts the tune; its end message
// comes through the window procedure to the game's hook, which starts it
// again; the shut-down stops it.
TEST(GameMusic, LoopsThroughTheGamesMessageHookAndStopsAtShutDown)
{
    platform::shutdown();
    platform::use_backend(platform::BackendKind::headless);
    platform::ManualClock clock;
    platform::set_clock_source(&clock);
    platform::set_box_policy([](const platform::BoxRequest&) { return platform::BoxAnswer::ignore; });
    const fs::path start_dir = fs::current_path();
    const fs::path root = fs::temp_directory_path() / "quarn_game_music_test";
    game_test::make_game_folder(root);
    gaEngine = gaEngineDefaults();

    platform::MidiRecorder recorder;
    platform::ManualMidiClock midi_clock;
    platform::set_midi_device_override(&recorder, &midi_clock);
    g_app = new gaCTy;
    g_app->Init();
    ASSERT_TRUE(g_music);
    // A frame now and then hands the posted end message to the hook.
    auto play_ms = [&](int ms) {
        for (int t = 0; t < ms; t += 50) {
            midi_clock.advance_ms(50);
            platform::midi_wait_idle();
            g_app->Pump();
            clock.advance_ms(16);
        }
    };
    play_ms(1000);
    const std::vector<platform::MidiRecorder::Entry> opening = recorder.entries();
    EXPECT_FALSE(opening.empty()) << "the tune does not start";
    for (int i = 0; i < 600 && recorder.notes_off_count() == 0; ++i)
        play_ms(50);
    EXPECT_EQ(recorder.notes_off_count(), 1u) << "the tune does not end";
    const size_t first_pass = recorder.entries().size();
    play_ms(1500);
    const std::vector<platform::MidiRecorder::Entry> all = recorder.entries();
    EXPECT_GE(all.size(), first_pass + opening.size()) << "the tune does not start again";
    for (size_t i = 0; i < opening.size() && first_pass + i < all.size(); ++i)
        EXPECT_EQ(all[first_pass + i].bytes, opening[i].bytes) << i;

    delete g_app;
    g_app = nullptr;
    EXPECT_FALSE(g_music);
    EXPECT_EQ(recorder.notes_off_count(), 3u); // the reset and the close at shut-down
    const size_t at_exit = recorder.entries().size();
    midi_clock.advance_ms(1000);
    platform::midi_wait_idle();
    EXPECT_EQ(recorder.entries().size(), at_exit);

    platform::set_midi_device_override(nullptr, nullptr);
    gaInstanceLock().reset();
    fs::current_path(start_dir);
    std::error_code ec;
    fs::remove_all(root, ec);
    gaExePath.clear();
    gaEngine = gaEngineDefaults();
    platform::set_box_policy(nullptr);
    platform::shutdown();
    platform::set_clock_source(nullptr);
}

} // namespace
