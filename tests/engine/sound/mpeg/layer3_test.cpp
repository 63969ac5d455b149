// Layer III: streams encoded by lame at test time, decoded by us and by
// libavcodec, checked against each other and against the input signal.
#include "mpeg_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace mpegtest;

namespace {

struct Case {
    const char* name;
    int32_t rate;
    int32_t channels;
    const char* args;
    double ref_snr;  // least SNR of our output against libavcodec's
};

class Layer3Streams : public testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        if (!have_tool("lame")) GTEST_SKIP() << "lame is not installed (scripts/install-deps.sh)";
    }
};

TEST_P(Layer3Streams, MatchReferenceDecoderAndInput)
{
    const Case& c = GetParam();
    const double f_left = c.rate / 32.0 + 3.0, f_right = c.rate / 20.0 - 7.0;
    const Signal s = sine(c.rate, c.channels, 1.5, f_left, f_right, 0.5);
    const auto mp3 = lame(s, c.args, c.name);
    ASSERT_FALSE(mp3.empty());

    const Decoded ours = decode(mp3);
    ASSERT_TRUE(ours.ok);
    EXPECT_EQ(ours.info.sample_rate, c.rate);
    EXPECT_EQ(ours.info.channels, c.channels);
    EXPECT_EQ(ours.info.bits, 16);
    const Decoded ref = decode_reference(mp3);
    ASSERT_TRUE(ref.ok);
    ASSERT_EQ(ref.info.channels, c.channels);
    // Every frame decodes: the output is as long as the reference's, give
    // or take the frames the reference holds back at the end of its feed.
    EXPECT_GE(ours.pcm.size(), ref.pcm.size());
    EXPECT_LE(ours.pcm.size(), ref.pcm.size() + 4 * 1152 * c.channels);
    EXPECT_GT(snr_db(ref.pcm, ours.pcm), c.ref_snr);

    for (int32_t ch = 0; ch < c.channels; ++ch) {
        const auto x = channel(ours.pcm, c.channels, ch);
        const double f = ch ? f_right : f_left;
        EXPECT_NEAR(dominant_frequency(x, c.rate, c.rate / 2), f, 2.0 * c.rate / 8192) << "channel " << ch;
        EXPECT_GT(tone_snr_db(x, c.rate, f, c.rate / 2, c.rate / 2), 30.0) << "channel " << ch;
        EXPECT_NEAR(rms(x, c.rate / 2, c.rate / 2), 0.5 * 32767 / std::sqrt(2.0), 0.1 * 32767 / std::sqrt(2.0));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lame, Layer3Streams,
    testing::Values(Case{"stereo_44k_128", 44100, 2, "-b 128 -m s", 60.0}, Case{"joint_44k_128", 44100, 2, "-b 128 -m j", 60.0},
                    Case{"ms_44k_96", 44100, 2, "-b 96 -m f", 60.0}, Case{"mono_48k_64", 48000, 1, "-b 64 -m m", 60.0},
                    Case{"stereo_32k_96_crc", 32000, 2, "-b 96 -m s -p", 60.0},
                    Case{"vbr_44k", 44100, 2, "-V 2 -m j", 60.0},
                    Case{"mpeg2_22k_joint", 22050, 2, "-b 64 -m j", 50.0}, Case{"mpeg2_24k_mono", 24000, 1, "-b 32 -m m", 50.0},
                    Case{"mpeg2_16k_stereo", 16000, 2, "-b 48 -m s", 50.0},
                    Case{"mpeg25_11k_stereo", 11025, 2, "-b 32 -m s", 50.0}, Case{"mpeg25_12k_mono", 12000, 1, "-b 24 -m m", 50.0},
                    Case{"mpeg25_8k_mono", 8000, 1, "-b 16 -m m", 50.0}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A free-format stream: each frame's length is measured against the header
// after it, so the last frame has to take the length of the ones before.
TEST(Layer3FreeFormat, DecodesTheLastFrame)
{
    if (!have_tool("lame")) GTEST_SKIP() << "lame is not installed (scripts/install-deps.sh)";
    const Signal s = sine(44100, 2, 1.0, 440.0, 660.0, 0.5);
    const auto mp3 = lame(s, "--freeformat -b 200 -m s", "free_200");
    ASSERT_FALSE(mp3.empty());
    mpaHead head;
    int32_t bitrate = 0, offset = 0;
    const int32_t len = mpaFindHead(mp3.data(), static_cast<int32_t>(mp3.size()), &head, &bitrate, &offset);
    ASSERT_EQ(head.bitrate_index, 0);
    ASSERT_GT(len, 0);
    int32_t frames = 0;
    for (size_t pos = offset; pos + 4 <= mp3.size(); ++frames) {
        ASSERT_EQ(mp3[pos], 0xFF) << "frame " << frames;
        pos += len + ((mp3[pos + 2] >> 1) & 1);
        if (pos > mp3.size()) break;
    }
    const Decoded d = decode(mp3);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.frames, frames);
    ASSERT_EQ(d.pcm.size(), static_cast<size_t>(frames) * 1152 * 2);
    // The last frame holds the end of the tone, not silence.
    const auto left = channel(d.pcm, 2, 0);
    EXPECT_GT(rms(left, left.size() - 1152, 1152), 1000.0);
}

}  // namespace
