// Sound and music files that cannot be read: each plays as silence and is
// named in the log.
#include "sound_fixture.h"
#include "sound_log_capture.h"

#include "engine/sound/snd_system.h"
#include "platform/midi.h"

#include <gtest/gtest.h>

using namespace soundtest;

namespace {

TEST(SndLog, UnreadableFilesAreNamedInTheLog)
{
    const auto dir = mpegtest::work_dir() / "unreadable";
    std::filesystem::create_directories(dir);
    const std::string damaged_wav = (dir / "damaged.wav").string();
    const std::string damaged_mp3 = (dir / "damaged.mp3").string();
    write_file(damaged_wav, {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
    write_file(damaged_mp3, std::vector<uint8_t>(3000, 0x55));
    SoundLogCapture log(dir / "sound.log");
    dsConfig config;
    config.manualFeed = true;
    dsSetConfig(config);
    sndInit(nullptr);

    struct Case {
        std::string path;
        bool plays_silence_on_a_channel; // a WAV source always opens
    };
    const Case cases[] = {
        {(dir / "missing.wav").string(), true},
        {damaged_wav, true},
        {(dir / "missing.mp3").string(), false},
        {damaged_mp3, false},
        {(dir / "missing.ogg").string(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        sndPlayFile(c.path.c_str());
        EXPECT_EQ(snd.channelInstances[0] != nullptr, c.plays_silence_on_a_channel);
        sndStopEffects();
        // Named as it was asked for, with one separator.
        const std::string line = "[sound] warning: can't read the sound \"" + c.path + "\"; it plays as silence\n";
        EXPECT_NE(log.text().find(line), std::string::npos) << log.text();
    }
    // A WAV cut inside its data plays the part that is there, and is named.
    const std::string cut_wav = (dir / "cut.wav").string();
    write_file(cut_wav, wav_image({.data_size_delta = 1000}, {1, 2, 3, 4}));
    sndPlayFile(cut_wav.c_str());
    sndStopEffects();
    EXPECT_NE(log.text().find("[sound] warning: the sound \"" + dir.string() +
                              "/cut.wav\" is cut short: 4 of its 1004 bytes of sound are there\n"),
              std::string::npos)
        << log.text();
    sndDone();
    dsSetConfig(dsConfig{});

    // The music, on the recording device so that no synthesiser loads.
    platform::MidiRecorder recorder;
    platform::set_midi_device_override(&recorder, nullptr);
    {
        MidiPlayer music(nullptr);
        const std::string missing = (dir / "missing.mid").string();
        music.Play(missing.c_str());
        EXPECT_NE(log.text().find("[sound] warning: can't read the music \"" + missing + "\"; no music plays\n"),
                  std::string::npos)
            << log.text();
    }
    platform::set_midi_device_override(nullptr, nullptr);
}

} // namespace
