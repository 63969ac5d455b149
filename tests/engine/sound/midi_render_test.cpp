// The player through the FluidSynth sink, rendered offline on the stream's
// manual clock: the music is heard, and each note starts where it was due.
#include "engine/sound/mid_internal.h"
#include "engine/sound/midi_player.h"
#include "engine/sound/sound.h"
#include "tests/engine/sound/growing_file.h"
#include "tests/engine/sound/midi_fixture.h"

#include "platform/platform.h"
#include "tools/mkdata/sounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

using namespace miditest;

namespace {

constexpr uint32_t rate = 44100;

// Plays the file once through the player into a synthesiser on a manual
// clock that starts at 1 s, then renders `total_ms` from time 0 in pieces
// of 256 frames, as a mixer asks. Empty when the synthesiser does not load.
std::vector<int16_t> play_and_render(const Bytes& file, uint32_t total_ms)
{
    platform::MidiSynth synth("", rate);
    if (!synth.ok())
        return {};
    platform::ManualMidiClock clock;
    clock.advance_ms(1000);
    platform::set_midi_device_override(&synth, &clock);
    const auto path = scratch_path("quarn_midi_render_test").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    platform::WindowHandle window = platform::create_window({.title = "render"});
    {
        MidiPlayer player(window);
        player.Play(path.c_str());
        for (uint32_t ms = 1000; ms < total_ms; ms += 5) {
            clock.advance_ms(5);
            platform::midi_wait_idle();
        }
    }
    platform::destroy_window(window);
    platform::set_midi_device_override(nullptr, nullptr);
    std::filesystem::remove(path);

    std::vector<int16_t> pcm(size_t(rate) * total_ms / 1000);
    for (size_t at = 0; at < pcm.size(); at += 256) {
        const uint32_t frames = uint32_t(std::min<size_t>(256, pcm.size() - at));
        synth.render(pcm.data() + at, frames, 1, uint64_t(at) * 1'000'000'000 / rate);
    }
    return pcm;
}

// A folder of the row's own in the program's temporary folder, removed
// with everything in it when the row ends.
struct RowDir {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("quarn_midi_disk_" + std::to_string(std::random_device{}()));
    RowDir() { std::filesystem::create_directories(path); }
    ~RowDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

int peak_of(const std::vector<int16_t>& pcm, uint64_t from_ms, uint64_t to_ms)
{
    int level = 0;
    for (size_t i = from_ms * rate / 1000; i < to_ms * rate / 1000 && i < pcm.size(); ++i)
        level = std::max(level, std::abs(int(pcm[i])));
    return level;
}

} // namespace

TEST(MidiRender, NotesSoundWithinMillisecondsOfTheirScheduledTimes)
{
    if (platform::default_midi_soundfont().empty())
        GTEST_SKIP() << "no General MIDI soundfont installed (scripts/install-deps.sh installs timgm6mb-soundfont)";
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
    const std::vector<int16_t> pcm = play_and_render(smf(100, {t.end()}), 3000); // 5 ms a tick
    ASSERT_FALSE(pcm.empty());
    auto peak = [&](uint64_t from_ms, uint64_t to_ms) { return peak_of(pcm, from_ms, to_ms); };
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

TEST(MidiRender, TheGamesMusicIsHeardFromStartToEnd)
{
    if (platform::default_midi_soundfont().empty())
        GTEST_SKIP() << "no General MIDI soundfont installed (scripts/install-deps.sh installs timgm6mb-soundfont)";
    const Bytes music = mkdata::make_music();
    midFileTy song;
    song.data = music;
    ASSERT_EQ(midParseFile(song), MID_OK);
    uint32_t tempo = 500000;
    midRewind(song);
    midEventTy e;
    while (midNextEvent(song, e, MID_NO_TICK_LIMIT) == MID_OK) {
        if (e.status == 0xFF && e.data[0] == 0x51)
            tempo = uint32_t(e.params[0]) << 16 | e.params[1] << 8 | e.params[2];
    }
    // One tempo for the whole tune (the data tool writes one).
    const uint64_t song_ms = uint64_t(song.songLength) * tempo / 1000 / song.timeDivision;
    ASSERT_GT(song_ms, 4000u);
    const std::vector<int16_t> pcm = play_and_render(music, uint32_t(1000 + song_ms + 500));
    ASSERT_FALSE(pcm.empty());
    EXPECT_LT(peak_of(pcm, 0, 990), 10);
    for (uint64_t at = 1000; at + 500 < 1000 + song_ms; at += 500)
        EXPECT_GT(peak_of(pcm, at, at + 500), 500) << "silent from " << at << " ms";
}

// The whole way out: the player on the synthesiser device, mixed by the
// sound system into the SDL2 backend's output on SDL's disk driver.
TEST(MidiRender, TheGamesMusicReachesTheDiskDriversFile)
{
    if (platform::default_midi_soundfont().empty())
        GTEST_SKIP() << "no General MIDI soundfont installed";
    const RowDir dir;
    const auto raw = (dir.path / "disk_audio.raw").string();
    const auto mid = (dir.path / "disk_music.mid").string();
    const Bytes music = mkdata::make_music();
    std::ofstream(mid, std::ios::binary).write(reinterpret_cast<const char*>(music.data()), std::streamsize(music.size()));
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    platform::shutdown();
    platform::use_backend(platform::BackendKind::sdl2);
    if (platform::backend_kind() != platform::BackendKind::sdl2) {
        // The dummy driver needs nothing from the machine.
        const std::string why = platform::backend_error_text();
        platform::use_backend(platform::BackendKind::headless);
        FAIL() << why;
    }
    sndInit(nullptr);
    size_t loud = 0;
    {
        MidiPlayer player(nullptr);
        player.Play(mid.c_str());
        // The tune starts with notes at once; read the file as it grows
        // until it shows them (two minutes at most).
        soundtest::GrowingFile file(raw);
        size_t counted = 0;
        file.read_until(
            [&](const std::vector<int16_t>& out) {
                for (; counted < out.size(); ++counted)
                    loud += std::abs(int(out[counted])) > 300;
                return loud >= 1000;
            },
            std::chrono::seconds(120));
    }
    sndDone();
    platform::shutdown();
    for (const char* name : {"SDL_VIDEODRIVER", "SDL_AUDIODRIVER", "SDL_DISKAUDIOFILE"})
        unsetenv(name);
    platform::use_backend(platform::BackendKind::headless);
    EXPECT_GE(loud, 1000u) << "the music is not in the driver's file";
}
