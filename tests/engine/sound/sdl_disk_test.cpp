// A WAV played through the SDL2 backend on SDL's disk audio driver: its
// samples, unchanged, are in the file the driver writes.
#include "growing_file.h"
#include "sound_fixture.h"

#include "engine/sound/sound.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace soundtest;

namespace {

TEST(SdlDiskAudio, WavSamplesReachTheDriversFile)
{
    const auto raw = mpegtest::work_dir() / "disk_audio.raw";
    const auto wav = mpegtest::work_dir() / "disk_click.wav";
    const auto pcm = pcm16(11025, 21);
    write_file(wav.string(), wav_image({}, bytes_of(pcm)));
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    // The driver writes each buffer after its playing time, so the file
    // grows by the output's rate and stays small however long the wait.
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
    ASSERT_EQ(sndOutputFormat().rate, 22050u) << platform::backend_error_text();
    sndSetVolume(100);
    sndPlayFile(wav.string().c_str());
    // Read until the sound's first sample and all the frames after it that
    // are checked are in the file (two minutes at most), then stop the
    // device.
    auto first_sound = [](const std::vector<int16_t>& out) {
        return size_t(std::find_if(out.begin(), out.end(), [](int16_t v) { return v != 0; }) - out.begin());
    };
    GrowingFile file(raw);
    file.read_until(
        [&](const std::vector<int16_t>& out) {
            const size_t first = first_sound(out);
            return first < out.size() && out.size() >= (first & ~size_t(1)) + 2 * pcm.size();
        },
        std::chrono::seconds(120));
    sndDone();
    platform::shutdown();
    for (const char* name : {"SDL_VIDEODRIVER", "SDL_AUDIODRIVER", "SDL_DISKAUDIOFILE"})
        unsetenv(name);
    platform::use_backend(platform::BackendKind::headless);

    const std::vector<int16_t>& out = file.read();
    const size_t first = first_sound(out);
    ASSERT_LT(first, out.size()) << "only silence in " << out.size() << " samples";
    const size_t at = first & ~size_t(1);
    ASSERT_GE(out.size(), at + 2 * pcm.size());
    size_t mismatches = 0;
    for (size_t i = 0; i < pcm.size(); ++i)
        mismatches += out[at + 2 * i] != pcm[i] || out[at + 2 * i + 1] != pcm[i];
    EXPECT_EQ(mismatches, 0u);
}

} // namespace
