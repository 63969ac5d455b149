// Layers I and II: twolame streams and hand-made layer I frames, decoded by
// us and by libavcodec.
#include "mpeg_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <functional>

using namespace mpegtest;

namespace {

struct Case {
    const char* name;
    int32_t rate;
    int32_t channels;
    const char* args;
};

class Layer2Streams : public testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        if (!have_tool("twolame")) GTEST_SKIP() << "twolame is not installed (scripts/install-deps.sh)";
    }
};

TEST_P(Layer2Streams, MatchReferenceDecoderAndInput)
{
    const Case& c = GetParam();
    const double f_left = c.rate / 40.0 + 3.0, f_right = c.rate / 16.0 - 7.0;
    const Signal s = sine(c.rate, c.channels, 1.5, f_left, f_right, 0.5);
    const auto mp2 = twolame(s, c.args, c.name);
    ASSERT_FALSE(mp2.empty());
    const Decoded ours = decode(mp2);
    ASSERT_TRUE(ours.ok);
    EXPECT_EQ(ours.info.sample_rate, c.rate);
    EXPECT_EQ(ours.info.channels, c.channels);
    const Decoded ref = decode_reference(mp2);
    ASSERT_TRUE(ref.ok);
    EXPECT_GE(ours.pcm.size(), ref.pcm.size());
    EXPECT_GT(snr_db(ref.pcm, ours.pcm), 60.0);
    for (int32_t ch = 0; ch < c.channels; ++ch) {
        const auto x = channel(ours.pcm, c.channels, ch);
        const double f = ch ? f_right : f_left;
        EXPECT_NEAR(dominant_frequency(x, c.rate, c.rate / 2), f, 2.0 * c.rate / 8192) << "channel " << ch;
        EXPECT_GT(tone_snr_db(x, c.rate, f, c.rate / 2, c.rate / 2), 30.0) << "channel " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Twolame, Layer2Streams,
    testing::Values(Case{"l2_stereo_44k_192", 44100, 2, "-b 192 -m s"}, Case{"l2_joint_44k_128", 44100, 2, "-b 128 -m j"},
                    Case{"l2_dual_48k_256", 48000, 2, "-b 256 -m d"}, Case{"l2_mono_48k_64", 48000, 1, "-b 64 -m m"},
                    Case{"l2_mono_32k_48", 32000, 1, "-b 48 -m m"}, Case{"l2_stereo_44k_crc", 44100, 2, "-b 192 -m s -p"},
                    Case{"l2_mpeg2_22k_joint", 22050, 2, "-b 64 -m j"}, Case{"l2_mpeg2_16k_mono", 16000, 1, "-b 32 -m m"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Layer I frames built bit by bit. A subband signal of +a, 0, -a, 0 (a
// quarter of the subband rate) comes out as a tone at the subband's centre
// frequency.
class BitWriter {
public:
    void put(uint32_t v, int32_t bits)
    {
        for (int32_t i = bits - 1; i >= 0; --i) {
            if (pos_ % 8 == 0) bytes.push_back(0);
            bytes.back() |= static_cast<uint8_t>(((v >> i) & 1) << (7 - pos_ % 8));
            ++pos_;
        }
    }
    std::vector<uint8_t> bytes;

private:
    size_t pos_ = 0;
};

struct Band {
    int32_t subband;
    int32_t alloc;       // bits per sample - 1
    int32_t amplitude;   // in sample codes around the middle code
    int32_t scale[2];    // scale-factor index per channel
};

// 448 kbit/s, 44.1 kHz, no CRC: 484-byte frames. mode 3 mono, 1 joint with
// bound 4 subbands.
std::vector<uint8_t> layer1_stream(int32_t mode, const std::vector<Band>& bands, int32_t frames)
{
    std::vector<uint8_t> out;
    const int32_t channels = mode == 3 ? 1 : 2;
    const int32_t bound = mode == 1 ? 4 : 32;
    auto band_of = [&](int32_t sb, int32_t ch) -> const Band* {
        for (const Band& b : bands) {
            if (b.subband == sb && (b.scale[ch] >= 0)) return &b;
        }
        return nullptr;
    };
    for (int32_t f = 0; f < frames; ++f) {
        BitWriter w;
        w.put(0xFFF, 12), w.put(1, 1), w.put(3, 2), w.put(1, 1);
        w.put(14, 4), w.put(0, 2), w.put(0, 1), w.put(0, 1);
        w.put(static_cast<uint32_t>(mode), 2), w.put(0, 2), w.put(0, 1), w.put(1, 1), w.put(0, 2);
        for (int32_t sb = 0; sb < 32; ++sb) {
            for (int32_t ch = 0; ch < (sb < bound ? channels : 1); ++ch) {
                const Band* b = band_of(sb, ch);
                w.put(b ? static_cast<uint32_t>(b->alloc) : 0u, 4);
            }
        }
        for (int32_t sb = 0; sb < 32; ++sb) {
            for (int32_t ch = 0; ch < channels; ++ch) {
                const Band* b = band_of(sb, sb < bound ? ch : 0);
                if (b) w.put(static_cast<uint32_t>(b->scale[ch] >= 0 ? b->scale[ch] : 0), 6);
            }
        }
        for (int32_t s = 0; s < 12; ++s) {
            for (int32_t sb = 0; sb < 32; ++sb) {
                for (int32_t ch = 0; ch < (sb < bound ? channels : 1); ++ch) {
                    const Band* b = band_of(sb, ch);
                    static constexpr int32_t shape[4] = {1, 0, -1, 0};
                    if (b) w.put(static_cast<uint32_t>((1 << b->alloc) - 1 + shape[s % 4] * b->amplitude), b->alloc + 1);
                }
            }
        }
        w.bytes.resize(484, 0);
        out.insert(out.end(), w.bytes.begin(), w.bytes.end());
    }
    return out;
}

double centre(int32_t subband)
{
    return (subband + 0.5) * 44100.0 / 64.0;
}

TEST(Layer1Frames, MonoToneAtTheSubbandCentre)
{
    const auto stream = layer1_stream(3, {{5, 7, 60, {4, -1}}}, 40);
    const Decoded ours = decode(stream);
    ASSERT_TRUE(ours.ok);
    EXPECT_EQ(ours.frames, 40);
    EXPECT_EQ(ours.info.channels, 1);
    EXPECT_EQ(ours.pcm.size(), 40u * 384);
    const auto x = channel(ours.pcm, 1, 0);
    EXPECT_NEAR(dominant_frequency(x, 44100, 4000), centre(5), 6.0);
    // Amplitude 60 of 8 bits: 60 x 2 / 255 of the scale factor
    // 2^(-4/3) x 65536.
    const double amplitude = 60.0 * 2 / 255 * 65536 * std::pow(2.0, -4.0 / 3);
    EXPECT_NEAR(rms(x, 4000, 8000) * std::sqrt(2.0), amplitude, 0.1 * amplitude);
    const Decoded ref = decode_reference(stream);
    ASSERT_TRUE(ref.ok);
    EXPECT_GT(snr_db(ref.pcm, ours.pcm), 60.0);
}

TEST(Layer1Frames, JointStereoSharesSamplesWithOwnScaleFactors)
{
    // Subband 1 left only below the bound; subband 9 shared, the right
    // channel 6 scale-factor steps (a quarter) quieter.
    const auto stream = layer1_stream(1, {{1, 5, 20, {3, -1}}, {9, 7, 100, {5, 11}}}, 40);
    const Decoded ours = decode(stream);
    ASSERT_TRUE(ours.ok);
    ASSERT_EQ(ours.info.channels, 2);
    const auto left = channel(ours.pcm, 2, 0), right = channel(ours.pcm, 2, 1);
    EXPECT_NEAR(dominant_frequency(left, 44100, 4000), centre(1), 6.0);
    EXPECT_NEAR(dominant_frequency(right, 44100, 4000), centre(9), 6.0);
    EXPECT_GT(tone_snr_db(right, 44100, centre(9), 4000, 8000), 30.0);
    // The left channel holds both tones; its share of the shared one is
    // four times the right channel's.
    const double right_amp = rms(right, 4000, 8000) * std::sqrt(2.0);
    EXPECT_NEAR(right_amp, 100.0 * 2 / 255 * 65536 * std::pow(2.0, -11.0 / 3), 0.1 * right_amp);
    const double left_total = rms(left, 4000, 8000);
    const double left_low = 20.0 * 2 / 63 * 65536 * std::pow(2.0, -1.0) / std::sqrt(2.0);
    EXPECT_NEAR(left_total * left_total, left_low * left_low + 16 * right_amp * right_amp / 2, 0.2 * left_total * left_total);
    const Decoded ref = decode_reference(stream);
    ASSERT_TRUE(ref.ok);
    EXPECT_GT(snr_db(ref.pcm, ours.pcm), 60.0);
}

}  // namespace

namespace {

// Streams whose channel mode (and with it the bit rate and allocation
// table) changes between frames, made by joining encodes: they decode on in
// the first frame's output channels. A change of sample rate or of layer
// ends the stream. The reference is libavcodec, which follows each frame's
// channels, put in our output channels. Its right channel keeps its own
// synthesis history across a single-channel stretch, ours takes the single
// channel's, so the right channel is compared from 512 samples after each
// change on.
struct ModeCase {
    const char* name;
    std::function<std::vector<std::vector<uint8_t>>()> segments;
    bool ends_after_first;  // the second segment does not belong to the stream
};

void PrintTo(const ModeCase& c, std::ostream* os)
{
    *os << c.name;
}

class ModeChanges : public testing::TestWithParam<ModeCase> {
protected:
    void SetUp() override
    {
        if (!have_tool("twolame") || !have_tool("lame")) GTEST_SKIP() << "twolame or lame is not installed";
    }
};

std::vector<uint8_t> two(int32_t rate, int32_t channels, const char* args, const char* name)
{
    return twolame(sine(rate, channels, 0.5, rate / 40.0 + 3.0, rate / 16.0 - 7.0, 0.5), args, name);
}

TEST_P(ModeChanges, DecodeOnInTheFirstFramesChannels)
{
    const ModeCase& c = GetParam();
    std::vector<uint8_t> stream;
    std::vector<int32_t> channels;
    int32_t spf = 0;
    for (const auto& seg : c.segments()) {
        ASSERT_FALSE(seg.empty());
        const auto ch = frame_channels(seg, &spf);
        if (channels.empty() || !c.ends_after_first) channels.insert(channels.end(), ch.begin(), ch.end());
        stream.insert(stream.end(), seg.begin(), seg.end());
    }
    const Decoded ours = decode(stream);
    ASSERT_TRUE(ours.ok);
    const int32_t out = ours.info.channels;
    EXPECT_EQ(out, channels.front());
    ASSERT_EQ(ours.frames, static_cast<int32_t>(channels.size()));
    ASSERT_EQ(ours.pcm.size(), channels.size() * spf * out);

    const Decoded ref = decode_reference(stream);
    ASSERT_TRUE(ref.ok);
    const auto want = in_output_channels(ref.pcm, channels, spf, out);
    ASSERT_EQ(want.size(), ours.pcm.size());
    double sig = 0, err = 0;
    size_t since_change = 1u << 20;
    for (size_t f = 0, i = 0; f < channels.size(); ++f) {
        if (f > 0 && channels[f] != channels[f - 1]) since_change = 0;
        for (int32_t k = 0; k < spf; ++k, ++since_change) {
            for (int32_t ch = 0; ch < out; ++ch, ++i) {
                if (ch == 1 && since_change < 512) continue;
                sig += double(want[i]) * want[i];
                err += (double(want[i]) - ours.pcm[i]) * (double(want[i]) - ours.pcm[i]);
            }
        }
    }
    EXPECT_GT(10 * std::log10(sig / std::max(err, 1e-9)), 60.0);
}

INSTANTIATE_TEST_SUITE_P(
    Joined, ModeChanges,
    testing::Values(
        ModeCase{"l2_stereo_mono_joint",
                 [] {
                     return std::vector{two(44100, 2, "-b 192 -m s", "mc_s"), two(44100, 1, "-b 96 -m m", "mc_m"),
                                        two(44100, 2, "-b 128 -m j", "mc_j")};
                 },
                 false},
        ModeCase{"l2_mono_then_stereo",
                 [] { return std::vector{two(48000, 1, "-b 64 -m m", "mc_m48"), two(48000, 2, "-b 256 -m d", "mc_d48")}; },
                 false},
        ModeCase{"l2_mpeg2_joint_mono",
                 [] { return std::vector{two(22050, 2, "-b 64 -m j", "mc_j22"), two(22050, 1, "-b 32 -m m", "mc_m22")}; },
                 false},
        ModeCase{"l1_mono_stereo_joint",
                 [] {
                     return std::vector{layer1_stream(3, {{5, 7, 60, {4, -1}}}, 12),
                                        layer1_stream(0, {{2, 6, 30, {5, 5}}, {7, 7, 90, {4, 6}}}, 12),
                                        layer1_stream(1, {{1, 5, 20, {3, -1}}, {9, 7, 100, {5, 11}}}, 12),
                                        layer1_stream(3, {{3, 7, 60, {4, -1}}}, 12)};
                 },
                 false},
        ModeCase{"l2_rate_change_ends_the_stream",
                 [] { return std::vector{two(44100, 2, "-b 192 -m s", "mc_s44"), two(48000, 2, "-b 192 -m s", "mc_s48")}; },
                 true},
        ModeCase{"l3_layer_change_ends_the_stream",
                 [] {
                     return std::vector{lame(sine(44100, 2, 0.5, 1000, 3000, 0.5), "-b 192 -m s", "mc_l3"),
                                        two(44100, 2, "-b 192 -m s", "mc_l2")};
                 },
                 true}),
    [](const testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

}  // namespace
