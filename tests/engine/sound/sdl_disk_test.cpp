// A WAV played through the SDL2 backend on SDL's disk audio driver: its
// samples, unchanged, are in the file the driver writes.
#include "sound_fixture.h"

#include "engine/sound/sound.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace soundtest;

namespace {

std::vector<int16_t> read_raw(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> pcm(bytes.size() / 2);
    if (!pcm.empty())
        std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

TEST(SdlDiskAudio, WavSamplesReachTheDriversFile)
{
    const auto raw = mpegtest::work_dir() / "disk_audio.raw";
    const auto wav = mpegtest::work_dir() / "disk_click.wav";
    const auto pcm = pcm16(11025, 21);
    write_file(wav.string(), wav_image({}, bytes_of(pcm)));
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    // A millisecond per buffer instead of its playing time.
    setenv("SDL_DISKAUDIODELAY", "1", 1);
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
    // The driver writes as it is pulled; wait for the file, not a clock:
    // a bounded number of short yields while it grows.
    std::vector<int16_t> out;
    for (int i = 0; i < 20000 && out.size() < 2 * (pcm.size() + 44100); ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        if (i % 50 == 0)
            out = read_raw(raw);
    }
    sndDone();
    platform::shutdown();
    for (const char* name : {"SDL_VIDEODRIVER", "SDL_AUDIODRIVER", "SDL_DISKAUDIOFILE", "SDL_DISKAUDIODELAY"})
        unsetenv(name);
    platform::use_backend(platform::BackendKind::headless);

    out = read_raw(raw);
    const auto first = std::find_if(out.begin(), out.end(), [](int16_t v) { return v != 0; });
    ASSERT_NE(first, out.end()) << "only silence in " << out.size() << " samples";
    const size_t at = size_t(first - out.begin()) & ~size_t(1);
    ASSERT_GE(out.size(), at + 2 * pcm.size());
    size_t mismatches = 0;
    for (size_t i = 0; i < pcm.size(); ++i)
        mismatches += out[at + 2 * i] != pcm[i] || out[at + 2 * i + 1] != pcm[i];
    EXPECT_EQ(mismatches, 0u);
}

} // namespace
