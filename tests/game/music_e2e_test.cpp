// The game's music, headless, on the data the build generated: the real
// framework start-up and shut-down and the real hooks, with the MIDI output
// replaced by the recording device on a manual MIDI clock. A program of its
// own: the game starts once per process.
#include "game/game.h"

#include "engine/app/app_internal.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "tests/game/game_run.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The game with its MIDI output on the recording device, driven by a manual
// MIDI clock.
class GameMusic : public game_test::GameRun {
protected:
    GameMusic() : GameRun("quarn_game_music_") {}

    void SetUp() override
    {
        GameRun::SetUp();
        platform::set_midi_device_override(&recorder_, &midi_clock_);
    }

    // The game's shut-down still plays to the recorder, so the override
    // stays until the game is gone, and goes before the platform does.
    void TearDown() override
    {
        delete g_app;
        g_app = nullptr;
        platform::set_midi_device_override(nullptr, nullptr);
        GameRun::TearDown();
    }

    platform::MidiRecorder recorder_;
    platform::ManualMidiClock midi_clock_;
};

// race.cfg asks for music, so GameInit starts the tune; its end message
// comes through the window procedure to the game's hook, which starts it
// again; the shut-down stops it.
TEST_F(GameMusic, LoopsThroughTheGamesMessageHookAndStopsAtShutDown)
{
    g_app = new gaCTy;
    g_app->Init();
    ASSERT_TRUE(g_music);
    // A frame now and then hands the posted end message to the hook.
    auto play_ms = [&](int ms) {
        for (int t = 0; t < ms; t += 50) {
            midi_clock_.advance_ms(50);
            platform::midi_wait_idle();
            g_app->Pump();
            clock_.advance_ms(16);
        }
    };
    play_ms(1000);
    const std::vector<platform::MidiRecorder::Entry> opening = recorder_.entries();
    EXPECT_FALSE(opening.empty()) << "the tune does not start";
    // The pass's end closes its stream (all notes off) and posts the end
    // message, which only the next frame hands to the hook: the pass is
    // counted before that frame, when nothing of the next one can have been
    // sent yet.
    for (int i = 0; i < 600 && recorder_.notes_off_count() == 0; ++i) {
        g_app->Pump();
        clock_.advance_ms(16);
        midi_clock_.advance_ms(50);
        platform::midi_wait_idle();
    }
    ASSERT_EQ(recorder_.notes_off_count(), 1u) << "the tune does not end";
    const size_t first_pass = recorder_.entries().size();
    // That frame starts the tune again; its first events are due at once.
    g_app->Pump();
    platform::midi_wait_idle();
    EXPECT_GT(recorder_.entries().size(), first_pass) << "the hook does not start the tune again";
    play_ms(1500);
    const std::vector<platform::MidiRecorder::Entry> all = recorder_.entries();
    EXPECT_GE(all.size(), first_pass + opening.size()) << "the tune does not start again";
    for (size_t i = 0; i < opening.size() && first_pass + i < all.size(); ++i)
        EXPECT_EQ(all[first_pass + i].bytes, opening[i].bytes) << i;

    delete g_app;
    g_app = nullptr;
    EXPECT_FALSE(g_music);
    EXPECT_EQ(recorder_.notes_off_count(), 3u); // the reset and the close at shut-down
    const size_t at_exit = recorder_.entries().size();
    midi_clock_.advance_ms(1000);
    platform::midi_wait_idle();
    EXPECT_EQ(recorder_.entries().size(), at_exit);
}

} // namespace
