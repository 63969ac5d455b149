// A soundfont named by the game that does not load gives way to the
// system's: the music still has a synthesiser, and the log says what
// happened. A program of its own, since the synthesiser is made once per
// process.
#include "sound_log_capture.h"

#include "engine/sound/sound.h"
#include "platform/midi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
            std::_Exit(platform::midi_soundfont_state().refused ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    {
        soundtest::SoundLogCapture log(dir / "music.log");
        MidiPlayer::SetSoundfont(broken.c_str());
        MidiPlayer music(nullptr);
        platform::MidiOutCaps caps;
        ASSERT_EQ(platform::midi_out_caps(platform::midi_mapper, caps), platform::MidiResult::ok);
        EXPECT_TRUE(caps.renders_audio) << "the music has no synthesiser";
        const platform::MidiSoundfontState state = platform::midi_soundfont_state();
        EXPECT_TRUE(state.refused);
        EXPECT_EQ(state.loaded, system);
        EXPECT_EQ(log.text(), "[sound] warning: can't load the soundfont \"" + broken + "\"; the music plays with \"" +
                                  system + "\"\n");
    }
    std::filesystem::remove_all(dir);
}

} // namespace
