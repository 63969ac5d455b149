// A soundfont named by the game that does not load gives way to the
// system's: the music still has a synthesiser, and the log says what
// happened. A program of its own, since the synthesiser is made once per
// process.
#include "sound_log_capture.h"

#include "engine/sound/sound.h"
#include "platform/midi.h"
#include "platform/midi/midi_internal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the hook renames over the soundfont's name once it was checked.
std::string swapped_in;

void swap_soundfont(const std::string& soundfont) { std::rename(swapped_in.c_str(), soundfont.c_str()); }

TEST(SoundfontFallback, BrokenSoundfontGivesWayToTheSystems)
{
    const std::string system = platform::default_midi_soundfont();
    if (system.empty())
        GTEST_SKIP() << "no General MIDI soundfont installed (scripts/install-deps.sh installs timgm6mb-soundfont)";
    const auto dir = std::filesystem::temp_directory_path() / ("soundfont_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string broken = (dir / "broken.sf2").string();
    std::ofstream(broken, std::ios::binary) << "RIFF\x10\0\0\0sfbkLIST\x04\0\0\0INFO";
    // A FIFO held the synthesiser's open for good; in a child, whose alarm
    // ends a wait, it is refused like a broken file.
    const std::string fifo = (dir / "fifo.sf2").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EXIT(
        {
            ::alarm(10);
            MidiPlayer::SetSoundfont(fifo.c_str());
            MidiPlayer music(nullptr);
            music.Play("");
            const platform::MidiSoundfontState state = platform::midi_soundfont_state();
            std::_Exit(state.refused && state.why == "Not a regular file" ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    {
        soundtest::SoundLogCapture log(dir / "music.log");
        MidiPlayer::SetSoundfont(broken.c_str());
        MidiPlayer music(nullptr);
        music.Play("");
        platform::MidiOutCaps caps;
        ASSERT_EQ(platform::midi_out_caps(platform::midi_mapper, caps), platform::MidiResult::ok);
        EXPECT_TRUE(caps.renders_audio) << "the music has no synthesiser";
        const platform::MidiSoundfontState state = platform::midi_soundfont_state();
        EXPECT_TRUE(state.refused);
        EXPECT_EQ(state.loaded, system);
        // The reason too: the player named the file.
        EXPECT_EQ(log.text(), "[sound] warning: can't load the soundfont \"" + broken +
                                  "\" (not a soundfont the synthesiser can load); the music plays with \"" + system +
                                  "\"\n[sound] warning: can't read the music \"\"; no music plays\n");
    }
    std::filesystem::remove_all(dir);
}

// The synthesiser's library and its soundfont are loaded when the music
// first plays, not when the player is made: a start with the music off
// (the game still makes its player) maps neither. Then, a library that
// cannot be opened is named with the loader's reason. Each in a start of
// its own: the library is opened once per process.
TEST(SoundfontFallback, TheSynthesiserLoadsWhenTheMusicPlaysAndALibraryNotThereIsNamed)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            MidiPlayer music(nullptr);
            std::_Exit(platform::midi_soundfont_state().tried ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            const auto dir = std::filesystem::temp_directory_path() / ("soundfont_lib_" + std::to_string(::getpid()));
            std::filesystem::create_directories(dir);
            const std::string soundfont = (dir / "race.sf2").string();
            std::ofstream(soundfont, std::ios::binary) << "RIFF\x10\0\0\0sfbkLIST\x04\0\0\0INFO";
            platform::midi_detail::set_synth_library_name("libquarn-no-such-synth.so.3");
            MidiPlayer::SetSoundfont(soundfont.c_str());
            MidiPlayer music(nullptr);
            music.Play("");
            const bool refused = platform::midi_soundfont_state().refused;
            std::filesystem::remove_all(dir);
            std::_Exit(refused ? 0 : 1);
        },
        testing::ExitedWithCode(0),
        "can't load the soundfont .*race.sf2\" \\(libquarn-no-such-synth.so.3: cannot open shared object file");
}

// The synthesiser loads the file that was checked: another user who
// renames a FIFO (which held the load for good) or a broken file over the
// name after the check changes nothing. In a child of its own start (the
// synthesiser's threads in this process do not survive a fork), whose
// alarm ends a wait.
TEST(SoundfontFallback, LoadReadsTheFileThatWasChecked)
{
    const std::string system = platform::default_midi_soundfont();
    if (system.empty())
        GTEST_SKIP() << "no General MIDI soundfont installed (scripts/install-deps.sh installs timgm6mb-soundfont)";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(10);
            const auto dir = std::filesystem::temp_directory_path() / ("soundfont_swap_" + std::to_string(::getpid()));
            std::filesystem::create_directories(dir);
            const std::string soundfont = (dir / "race.sf2").string();
            swapped_in = (dir / "swapped").string();
            platform::midi_detail::set_soundfont_checked_hook(swap_soundfont);
            int failed = 0;
            for (const bool fifo : {true, false}) {
                std::filesystem::remove(soundfont);
                std::filesystem::create_symlink(system, soundfont);
                if (fifo)
                    ::mkfifo(swapped_in.c_str(), 0600);
                else
                    std::ofstream(swapped_in, std::ios::binary) << "RIFF\x10\0\0\0sfbkLIST\x04\0\0\0INFO";
                const platform::MidiSynth synth(soundfont, 44100);
                if (!synth.ok() || std::filesystem::exists(swapped_in))
                    failed = fifo ? 1 : 2;
            }
            std::filesystem::remove_all(dir);
            std::_Exit(failed);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
