// The player through the FluidSynth sink, rendered offline on the stream's
// manual clock: the music is heard, and each note starts where it was due.
#include "engine/sound/midi_player.h"
#include "tests/engine/sound/midi_fixture.h"

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace miditest;

TEST(MidiRender, NotesSoundWithinMillisecondsOfTheirScheduledTimes)
{
    if (platform::default_midi_soundfont().empty())
        GTEST_SKIP() << "no General MIDI soundfont installed (scripts/install-deps.sh installs timgm6mb-soundfont)";
    constexpr uint32_t rate = 44100;
    platform::MidiSynth synth("", rate);
    ASSERT_TRUE(synth.ok());
    platform::ManualMidiClock clock;
    clock.advance_ms(1000); // the song starts a second in
    platform::set_midi_device_override(&synth, &clock);

    // The same note every 480 ms, 120 ms long (one key: its sample's own
    // attack is the same every time).
    Track t;
    t.raw(0, {0xC0, 0}).tempo(0, 500000);
    std::vector<uint64_t> onsets_ms;
    for (uint8_t i = 0; i < 4; ++i) {
        t.raw(i == 0 ? 0 : 72, {0x90, 60, 110});
        t.raw(24, {0x80, 60, 0});
        onsets_ms.push_back(1000 + 480 * i);
    }
    const Bytes file = smf(100, {t.end()}); // 5 ms a tick;
    const auto path = (std::filesystem::temp_directory_path() / "quarn_midi_render_test.mid").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    platform::WindowHandle window = platform::create_window({.title = "render"});
    {
        MidiPlayer player(window);
        player.Play(path.c_str());
        for (int ms = 0; ms < 2000; ms += 5) {
            clock.advance_ms(5);
            platform::midi_wait_idle();
        }
    }
    platform::destroy_window(window);
    platform::set_midi_device_override(nullptr, nullptr);
    std::filesystem::remove(path);

    // Three seconds from time 0, in pieces of 256 frames as a mixer asks.
    std::vector<int16_t> pcm(rate * 3);
    for (size_t at = 0; at < pcm.size(); at += 256) {
        const uint32_t frames = uint32_t(std::min<size_t>(256, pcm.size() - at));
        synth.render(pcm.data() + at, frames, 1, uint64_t(at) * 1'000'000'000 / rate);
    }
    auto peak = [&](uint64_t from_ms, uint64_t to_ms) {
        int level = 0;
        for (size_t i = from_ms * rate / 1000; i < to_ms * rate / 1000 && i < pcm.size(); ++i)
            level = std::max(level, std::abs(int(pcm[i])));
        return level;
    };
    EXPECT_LT(peak(0, 999), 10) << "silence before the song";
    ASSERT_GT(peak(1000, 3000), 1000) << "the notes are heard";
    // The synthesiser starts events on its 64-frame blocks (1.5 ms here)
    // and the piano's attack takes a few milliseconds to pass the floor:
    // each onset lies a little behind its note-on, by the same amount
    // within a block.
    std::vector<double> heard;
    for (uint64_t due : onsets_ms) {
        // The onset: the first sample clearly above what sounded just before.
        const int floor = std::max(40, 3 * peak(due - 40, due - 15));
        size_t i = (due - 15) * rate / 1000;
        while (i < (due + 40) * rate / 1000 && std::abs(int(pcm[i])) <= floor)
            ++i;
        heard.push_back(double(i) * 1000 / rate);
        EXPECT_NEAR(heard.back(), double(due) + 3, 3.0) << "note due at " << due << " ms";
    }
    for (size_t n = 1; n < heard.size(); ++n)
        EXPECT_NEAR(heard[n] - heard[n - 1], 480.0, 1.6) << "between notes " << n - 1 << " and " << n;
}
