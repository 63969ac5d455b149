// The MIDI player's state machine over the recording device on a manual
// clock: a whole pass, the end message and the restart, a second Play, a
// refused buffer, a bad file and the destructor during play.
#include "engine/sound/mid_internal.h"
#include "engine/sound/midi_player.h"
#include "tests/engine/sound/midi_fixture.h"

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace miditest;

namespace {

class MidiPlayerTest : public testing::Test {
protected:
    platform::MidiRecorder recorder;
    platform::ManualMidiClock clock;
    platform::WindowHandle window = nullptr;
    std::string path = scratch_path("quarn_midi_player_test").string();

    void SetUp() override
    {
        platform::set_midi_device_override(&recorder, &clock);
        window = platform::create_window({.title = "midi"});
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        platform::destroy_window(window);
        platform::set_midi_device_override(nullptr, nullptr);
        std::filesystem::remove(path);
    }
    void write(const Bytes& bytes)
    {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    // Moves the clock on `step` milliseconds at a time until the end
    // message comes (true) or `ms` have passed.
    bool run_until_end(uint32_t ms, uint32_t step = 1)
    {
        for (uint32_t i = 0; i < ms; i += step) {
            clock.advance_ms(step);
            platform::midi_wait_idle();
            platform::Message m;
            while (platform::peek_message(m, window)) {
                if (m.id == MID_END_MESSAGE && m.lparam == 1)
                    return true;
            }
        }
        return false;
    }
};

// Two tracks: notes on channel 1 in the second, a tempo change in the first.
Bytes two_track_song()
{
    return smf(96, {Track{}.tempo(0, 500000).tempo(192, 250000).end(96),
                    Track{}
                        .raw(0, {0x91, 60, 100})
                        .raw(96, {0x81, 60, 0})
                        .raw(96, {0x91, 62, 100}) // at the tempo change: the first track's event comes first
                        .raw(96, {0x81, 62, 0})
                        .end()});
}

// The player's state, read under its lock: the stream's thread writes it.
uint32_t state_of(const MidiPlayer& player)
{
    std::lock_guard lock(player.StateBlock()->mutex);
    return player.StateBlock()->state;
}

} // namespace

TEST_F(MidiPlayerTest, PlaysTheSongAtItsTimesPostsTheEndMessageAndLoopsOnIt)
{
    write(two_track_song());
    MidiPlayer player(window);
    player.Play(path.c_str());
    ASSERT_EQ(state_of(player), uint32_t(MID_PLAYING));
    ASSERT_TRUE(run_until_end(2000));
    EXPECT_EQ(state_of(player), uint32_t(MID_OPENED));
    EXPECT_EQ(player.StateBlock()->stream, nullptr);
    EXPECT_EQ(recorder.notes_off_count(), 1u); // the close silences

    using E = platform::MidiRecorder::Entry;
    // 96 ticks a quarter: 500 ms a quarter, then 250 ms from tick 192.
    const std::vector<E> pass{{0, {0x91, 60, 100}},
                              {500'000'000, {0x81, 60, 0}},
                              {1'000'000'000, {0x91, 62, 100}},
                              {1'250'000'000, {0x81, 62, 0}}};
    EXPECT_EQ(recorder.entries(), pass);

    recorder.clear();
    const uint64_t restart = clock.now_ns();
    player.OnMessage(0x401); // not the end message: ignored
    EXPECT_EQ(state_of(player), uint32_t(MID_OPENED));
    player.OnMessage(MID_END_MESSAGE);
    EXPECT_EQ(state_of(player), uint32_t(MID_PLAYING));
    ASSERT_TRUE(run_until_end(2000));
    std::vector<E> again = pass;
    for (E& e : again)
        e.time_ns += restart;
    EXPECT_EQ(recorder.entries(), again);
}

TEST_F(MidiPlayerTest, ASecondPlayIsRefusedAndTheSongGoesOn)
{
    write(two_track_song());
    MidiPlayer player(window);
    player.Play(path.c_str());
    clock.advance_ms(600);
    platform::midi_wait_idle();
    player.Play(path.c_str());
    EXPECT_EQ(midOpen(*player.StateBlock()), uint32_t(MCIERR_UNSUPPORTED_FUNCTION));
    EXPECT_EQ(state_of(player), uint32_t(MID_PLAYING));
    ASSERT_TRUE(run_until_end(2000));
    EXPECT_EQ(recorder.entries().size(), 4u);
    EXPECT_EQ(recorder.notes_off_count(), 1u);
}

TEST_F(MidiPlayerTest, ARefusedBufferEndsThePassWithTheMessageAndTheNextPassPlays)
{
    write(song(400, 3, 7)); // many buffers long
    recorder.refuse_buffers_after(5); // the state buffer and the four buffers
    MidiPlayer player(window);
    player.Play(path.c_str());
    ASSERT_TRUE(run_until_end(100000, 20));
    EXPECT_EQ(state_of(player), uint32_t(MID_OPENED));
    EXPECT_GE(recorder.notes_off_count(), 1u);
    const size_t played = recorder.entries().size();
    EXPECT_GT(played, 0u);
    EXPECT_LT(played, 400u * 2);

    recorder.clear();
    player.OnMessage(MID_END_MESSAGE);
    ASSERT_TRUE(run_until_end(100000, 20));
    EXPECT_EQ(recorder.entries().size(), 400u * 2 + 3 * 2);
}

TEST_F(MidiPlayerTest, ABadFilePlaysNothing)
{
    write({'M', 'T', 'h', 'd', 0, 0});
    MidiPlayer player(window);
    player.Play(path.c_str());
    EXPECT_EQ(state_of(player), uint32_t(MID_CLOSED));
    player.OnMessage(MID_END_MESSAGE);
    EXPECT_EQ(player.StateBlock()->stream, nullptr);
    EXPECT_FALSE(run_until_end(10));
}

TEST_F(MidiPlayerTest, TheDestructorStopsThePlayingSong)
{
    write(song(200, 2, 3));
    {
        MidiPlayer player(window);
        player.Play(path.c_str());
        clock.advance_ms(500);
        platform::midi_wait_idle();
    }
    const size_t played = recorder.entries().size();
    EXPECT_GT(played, 0u);
    EXPECT_GE(recorder.notes_off_count(), 1u);
    EXPECT_FALSE(run_until_end(3000));
    EXPECT_EQ(recorder.entries().size(), played);
}
