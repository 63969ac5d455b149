// A soundfont named by the game that does not load gives way to the
// system's: the music still has a synthesiser, and the log says what
// happened. A program of its own, since the synthesiser is made once per
// process.
#include "sound_log_capture.h"
#include "tests/support/no_free_descriptor.h"

#include "engine/sound/sound.h"
#include "platform/midi.h"
#include "platform/midi/midi_internal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What two players that start their music write to the log, the folder
// `dir` removed after: a message meant once per run is there once.
std::string LogOfTwoStarts(const std::filesystem::path& dir)
{
    std::string text;
    {
        soundtest::SoundLogCapture log(dir / "music.log");
        for (int player = 0; player < 2; ++player)
            MidiPlayer(nullptr).Play("");
        text = log.text();
    }
    std::filesystem::remove_all(dir);
    return text;
}

bool SaidOnce(const std::string& text, const std::string& line)
{
    const size_t at = text.find(line);
    return at != std::string::npos && text.find(line, at + 1) == std::string::npos;
}

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
// (the game still makes its player) maps neither.
TEST(SoundfontFallback, TheSynthesiserLoadsWhenTheMusicPlays)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            MidiPlayer music(nullptr);
            std::_Exit(platform::midi_soundfont_state().tried ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
}

// A synthesiser library that is missing or broken silenced the music
// without a word under the shipped settings, and with a soundfont named it
// was that soundfont's fault. It is said as the library's, once for two
// players, on stderr and in the log (the loader's words, then the package
// that brings it back). Each row in a start of its own: the library is
// opened once per process.
TEST(SoundfontFallback, AMissingOrBrokenSynthesiserLibraryIsSaidOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        bool made; // an empty file in the test's folder, else a name the loader finds nowhere
        bool soundfont; // one named in the settings, else the shipped settings
        const char* reason;
    } rows[] = { { false, false, "libquarn-no-such-synth\\.so\\.3: cannot open shared object file" },
        { true, false, "/libfluidsynth\\.so\\.3: file too short" },
        { true, true, "/libfluidsynth\\.so\\.3: file too short" } };
    const std::string way_out = "the music is silent: install the package libfluidsynth3 "
                                "('sudo apt-get install --reinstall libfluidsynth3')";
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.reason) + (row.soundfont ? ", a soundfont named" : ""));
        EXPECT_EXIT(
            {
                const auto dir = std::filesystem::temp_directory_path() / ("synth_lib_" + std::to_string(::getpid()));
                std::filesystem::create_directories(dir);
                const std::string library
                    = row.made ? (dir / "libfluidsynth.so.3").string() : "libquarn-no-such-synth.so.3";
                std::ofstream(dir / "libfluidsynth.so.3").flush();
                std::ofstream(dir / "race.sf2", std::ios::binary) << "RIFF\x10\0\0\0sfbkLIST\x04\0\0\0INFO";
                // The loader's own words for the library are the reason expected.
                const bool loads = ::dlopen(library.c_str(), RTLD_LAZY | RTLD_LOCAL) != nullptr;
                const std::string line = "[sound] warning: can't load the synthesiser library ("
                    + std::string(loads ? "" : ::dlerror()) + "); " + way_out + "\n";
                platform::midi_detail::set_synth_library_name(library.c_str());
                if (row.soundfont)
                    MidiPlayer::SetSoundfont((dir / "race.sf2").c_str());
                const std::string text = LogOfTwoStarts(dir);
                const bool once = SaidOnce(text, line);
                std::_Exit(once && !platform::midi_soundfont_state().refused ? 0 : 1);
            },
            testing::ExitedWithCode(0),
            testing::MatchesRegex("can't load the synthesiser library \\([^\n]*" + std::string(row.reason)
                + "[^\n]*\\); " + std::regex_replace(way_out, std::regex("[()]"), "\\$&") + "\n"));
    }
}

// A system without a soundfont played no music and said nothing. Said
// once for two players, on stderr and in the log, with the packages that
// bring one; a soundfont set that does not load, with none to stand in,
// likewise. The system's, installed but broken, was called missing (or
// not named at all with none set): it is named with its reason and a way
// out that mends it. The system's soundfonts are searched in a folder of
// the test's own. Each row in a start of its own: the synthesiser is made
// once per process.
TEST(SoundfontFallback, NoSoundfontThatLoadsIsSaidOnceWithTheWayOut)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string install = "the music is silent: install one ('sudo apt-get install timgm6mb-soundfont', or "
                                "fluid-soundfont-gm), or name one with the setting 'soundfont'";
    const std::string broken = "(not a soundfont the synthesiser can load)";
    const std::string system = "the system's soundfont \"<dir>/sf2/TimGM6mb.sf2\" " + broken;
    const std::string mend = "the music is silent: make it readable, or reinstall the package that installed it "
                             "('dpkg -S' with its path names it), or name another soundfont with the setting "
                             "'soundfont'";
    const std::string race = "race\x1b[2J\xe2\x80\xae.sf2"; // broken, and named with control bytes
    const struct {
        std::string set; // the soundfont named in the settings, in the test's folder; "": none
        bool system; // the system's folder holds a broken soundfont, else none
        std::string said;
    } rows[] = {
        {"", false, "no soundfont is set, and none is installed in <dir>/sf2; " + install},
        {race, false, "can't load the soundfont \"<dir>/race\\x1b[2J\\u202e.sf2\" " + broken +
                          "; no other soundfont is installed, " + install},
        {"", true, "can't load " + system + ", and no soundfont is set; " + mend},
        {"missing.sf2", true,
         "can't load the soundfont \"<dir>/missing.sf2\" (No such file or directory); nor " + system + "; " + mend},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.said.substr(0, 40));
        // The same name in the child, which runs the test again from its
        // start, under the test's own temporary folder.
        const auto dir = std::filesystem::temp_directory_path() / "no_soundfont";
        const std::string said = std::regex_replace(row.said, std::regex("<dir>"), dir.string()) + "\n";
        EXPECT_EXIT(
            {
                std::filesystem::create_directories(dir / "sf2");
                for (const auto& file : {dir / race, dir / (row.system ? "sf2/TimGM6mb.sf2" : race)})
                    std::ofstream(file, std::ios::binary) << "RIFF\x10\0\0\0sfbkLIST\x04\0\0\0INFO";
                platform::midi_detail::set_soundfont_folder(dir.c_str());
                if (!row.set.empty())
                    MidiPlayer::SetSoundfont((dir / row.set).c_str());
                const std::string text = LogOfTwoStarts(dir);
                const std::string line = "[sound] warning: " + said;
                const bool once = SaidOnce(text, line);
                std::_Exit(once && platform::midi_soundfont_state().loaded.empty() ? 0 : 1);
            },
            testing::ExitedWithCode(0), testing::HasSubstr(said));
    }
}

// Only a library that is missing or broken is mended by reinstalling its
// package: one the loader could not open for want of descriptors or
// memory is fine. The loader's texts as it makes them, the system's
// reason after its own words.
TEST(SoundfontFallback, TheLoadersReasonTellsABrokenLibraryFromAShortage)
{
    using platform::SynthLibraryFault;
    const std::string name = "libfluidsynth.so.3: ";
    const struct {
        std::string text;
        SynthLibraryFault fault;
    } rows[] = {
        {name + "cannot open shared object file: No such file or directory", SynthLibraryFault::broken},
        {name + "file too short", SynthLibraryFault::broken},
        {name + "invalid ELF header", SynthLibraryFault::broken},
        {name + "undefined symbol: fluid_synth_sysex", SynthLibraryFault::broken},
        {name + "cannot open shared object file: " + std::strerror(EMFILE), SynthLibraryFault::open_files},
        {"libglib-2.0.so.0: cannot open shared object file: " + std::string(std::strerror(EMFILE)),
         SynthLibraryFault::open_files},
        {name + "cannot open shared object file: " + std::strerror(ENFILE), SynthLibraryFault::system_files},
        {name + "cannot open shared object file: " + std::strerror(ENOMEM), SynthLibraryFault::memory},
        {"libmp3lame.so.0: failed to map segment from shared object", SynthLibraryFault::memory},
    };
    for (const auto& row : rows)
        EXPECT_EQ(platform::midi_detail::synth_library_fault(row.text), row.fault) << row.text;
}

// With no descriptor left when the music starts (`ulimit -n` at 6 or 7),
// the library could not be opened and the player was told to reinstall
// it. Said once, with the loader's reason and the limit as the way out.
TEST(SoundfontFallback, ALibraryOpenedWithoutDescriptorsIsNotCalledBroken)
{
    if (test_support::sanitizer_needs_descriptors)
        GTEST_SKIP() << test_support::sanitizer_needs_descriptors_reason;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string way_out = "the music is silent: the game may open no more files: raise the limit on open "
                                "files \\(ulimit -n\\) and start it again";
    EXPECT_EXIT(
        {
            const auto dir = std::filesystem::temp_directory_path() / ("synth_files_" + std::to_string(::getpid()));
            std::filesystem::create_directories(dir);
            std::string text;
            {
                soundtest::SoundLogCapture log(dir / "music.log");
                // The log's file is opened by its first line.
                *quarn::default_log_stream() << "before the music\n" << std::flush;
                rlimit before{};
                ::getrlimit(RLIMIT_NOFILE, &before);
                test_support::leave_no_free_descriptor();
                for (int player = 0; player < 2; ++player)
                    MidiPlayer(nullptr).Play("");
                ::setrlimit(RLIMIT_NOFILE, &before);
                text = log.text();
            }
            std::filesystem::remove_all(dir);
            const std::regex line("\\[sound\\] warning: can't load the synthesiser library \\([^\n]*: "
                + std::string(std::strerror(EMFILE)) + "\\); " + way_out + "\n");
            const auto found = std::sregex_iterator(text.begin(), text.end(), line);
            const bool once = std::distance(found, std::sregex_iterator()) == 1;
            std::_Exit(once && text.find("reinstall") == std::string::npos ? 0 : 1);
        },
        testing::ExitedWithCode(0),
        testing::MatchesRegex("can't load the synthesiser library \\([^\n]*Too many open files\\); " + way_out
            + "\n(.|\n)*"));
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
