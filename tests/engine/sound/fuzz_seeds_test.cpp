// Writes the seed corpora of the sound fuzz targets with the fixture
// builder. Not a test: run it by hand when the sources change,
//
//     QUARN_SEED_DIR=fuzz/corpus test_engine_sound
//         --gtest_also_run_disabled_tests --gtest_filter='*WriteFuzzSeeds*'
//
// then minimise each corpus with the fuzzer's -merge=1.
#include "sound_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace soundtest;

namespace {

void put(const std::filesystem::path& dir, const std::string& name, const std::vector<uint8_t>& data)
{
    std::filesystem::create_directories(dir);
    write_file((dir / name).string(), data);
}

TEST(FuzzSeeds, DISABLED_WriteFuzzSeeds)
{
    const char* root = std::getenv("QUARN_SEED_DIR");
    ASSERT_NE(root, nullptr) << "set QUARN_SEED_DIR";
    const std::filesystem::path base(root);

    const auto pcm = bytes_of(pcm16(64, 1));
    put(base / "sound_wav_parse", "mono16", wav_image({}, pcm));
    put(base / "sound_wav_parse", "stereo8_fmt18_list", wav_image({.channels = 2, .bits = 8, .fmt_size = 18, .extra_chunk = true}, pcm));
    put(base / "sound_wav_parse", "data_too_long", wav_image({.data_size_delta = 100}, pcm));

    const auto mono = mpegtest::sine(22050, 1, 0.3, 440, 440, 0.5);
    const auto stereo = mpegtest::sine(44100, 2, 0.2, 300, 500, 0.5);
    put(base / "sound_mp3_frames", "l3_mono_22k", mpegtest::lame(mono, "-b 32 -m m", "seed_l3m"));
    put(base / "sound_mp3_frames", "l3_joint_44k", mpegtest::lame(stereo, "-b 96", "seed_l3j"));
    put(base / "sound_mp3_frames", "l2_44k", mpegtest::twolame(stereo, "-b 128", "seed_l2"));
    std::vector<uint8_t> tagged(50, 0xFF);
    const uint8_t header[10] = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 40};
    std::copy(header, header + 10, tagged.begin());
    const auto l3 = mpegtest::lame(mono, "-b 32 -m m", "seed_tag");
    tagged.insert(tagged.end(), l3.begin(), l3.end());
    put(base / "sound_mp3_frames", "id3_then_l3", tagged);

    put(base / "sound_ogg_source", "mono_22k", vorbis_encode(mono));
    put(base / "sound_ogg_source", "stereo_44k", vorbis_encode(stereo));
    put(base / "sound_ogg_source", "multiplexed", vorbis_encode(mono, 7));
}

} // namespace
