// Output choices (channel selection, 8-bit, reduced rates, equaliser) and
// damaged or cut streams.
#include "mpeg_fixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace mpegtest;

namespace {

class DecodeOptions : public testing::Test {
protected:
    void SetUp() override
    {
        if (!have_tool("lame") || !have_tool("twolame")) GTEST_SKIP() << "lame or twolame is not installed";
    }
    Signal stereo_ = sine(44100, 2, 1.0, 441.0, 1500.0, 0.4);
};

std::vector<int16_t> mixed(const std::vector<int16_t>& stereo)
{
    std::vector<int16_t> out;
    for (size_t i = 0; i + 1 < stereo.size(); i += 2) out.push_back(static_cast<int16_t>((stereo[i] + stereo[i + 1]) / 2));
    return out;
}

std::vector<int16_t> one_channel(const std::vector<int16_t>& stereo, int ch)
{
    std::vector<int16_t> out;
    for (size_t i = static_cast<size_t>(ch); i < stereo.size(); i += 2) out.push_back(stereo[i]);
    return out;
}

TEST_F(DecodeOptions, ChannelChoicesOfStereoStreams)
{
    for (const auto& stream : {lame(stereo_, "-b 128 -m j", "opt_l3"), twolame(stereo_, "-b 192 -m s", "opt_l2")}) {
        ASSERT_FALSE(stream.empty());
        const Decoded both = decode(stream);
        const Decoded mix = decode(stream, 0, 1);
        const Decoded left = decode(stream, 0, 2);
        const Decoded right = decode(stream, 0, 3);
        ASSERT_EQ(mix.info.channels, 1);
        ASSERT_EQ(left.info.channels, 1);
        EXPECT_EQ(mix.pcm.size() * 2, both.pcm.size());
        EXPECT_GT(snr_db(mixed(both.pcm), mix.pcm), 40.0);
        EXPECT_GT(snr_db(one_channel(both.pcm, 0), left.pcm), 80.0);
        EXPECT_GT(snr_db(one_channel(both.pcm, 1), right.pcm), 80.0);
    }
}

TEST_F(DecodeOptions, EightBitOutputIsTheHighByteWithItsSignInverted)
{
    for (const auto& stream : {lame(stereo_, "-b 128 -m s", "opt8_l3"), twolame(stereo_, "-b 192 -m s", "opt8_l2")}) {
        const Decoded wide = decode(stream);
        const Decoded narrow = decode(stream, 0, 8);
        ASSERT_EQ(narrow.info.bits, 8);
        ASSERT_EQ(narrow.pcm8.size(), wide.pcm.size());
        size_t same = 0;
        for (size_t i = 0; i < wide.pcm.size(); ++i) same += narrow.pcm8[i] == static_cast<uint8_t>((wide.pcm[i] >> 8) ^ 0x80);
        EXPECT_EQ(same, wide.pcm.size());
    }
}

TEST_F(DecodeOptions, ReducedRatesKeepTheTones)
{
    const Signal s = sine(44100, 2, 1.5, 700.0, 2100.0, 0.4);
    for (const auto& stream : {lame(s, "-b 128 -m s", "red_l3"), twolame(s, "-b 192 -m s", "red_l2")}) {
        for (int32_t reduction : {1, 2}) {
            const Decoded d = decode(stream, reduction);
            const int32_t rate = 44100 >> reduction;
            ASSERT_EQ(d.info.sample_rate, rate);
            const auto left = channel(d.pcm, 2, 0), right = channel(d.pcm, 2, 1);
            EXPECT_NEAR(dominant_frequency(left, rate, rate / 2), 700.0, 2.0 * rate / 8192);
            EXPECT_NEAR(dominant_frequency(right, rate, rate / 2), 2100.0, 2.0 * rate / 8192);
            EXPECT_GT(tone_snr_db(left, rate, 700.0, rate / 2, rate / 4), 25.0) << reduction;
        }
    }
}

TEST_F(DecodeOptions, EqualiserWithUnitGainsChangesNothingAndZeroGainsSilence)
{
    const Signal mono = sine(44100, 1, 1.0, 441.0, 0.0, 0.4);
    const auto stream = twolame(mono, "-b 96 -m m", "eq_l2");
    const Decoded plain = decode(stream);
    auto decode_eq = [&](float gain) {
        auto dec = std::make_unique<mpaDec>();
        mpaHead head;
        int32_t bitrate, offset;
        const int32_t n = static_cast<int32_t>(stream.size());
        const int32_t len = mpaFindHead(stream.data(), n, &head, &bitrate, &offset);
        mpaInit(dec.get(), 1);
        EXPECT_EQ(mpaDecodeInit(dec.get(), &head, len, 0, 0, 0, 24000), 1);
        dec->eq->enable = 1;
        for (float& g : dec->eq->gain) g = gain;
        std::vector<int16_t> out;
        int16_t pcm[2304];
        for (int32_t pos = offset; pos < n;) {
            const mpaResult r = mpaDecode(dec.get(), stream.data() + pos, n - pos, pcm);
            if (r.consumed == 0) break;
            pos += static_cast<int32_t>(r.consumed);
            out.insert(out.end(), pcm, pcm + r.written / 2);
        }
        mpaDone(dec.get());
        return out;
    };
    EXPECT_EQ(decode_eq(1.0f), plain.pcm);
    const auto silent = decode_eq(0.0f);
    ASSERT_EQ(silent.size(), plain.pcm.size());
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int16_t v) { return v == 0; }));
}

// Offsets of the frames of a stream.
std::vector<int32_t> frame_offsets(const std::vector<uint8_t>& data)
{
    std::vector<int32_t> out;
    int32_t pos = 0;
    const int32_t n = static_cast<int32_t>(data.size());
    for (;;) {
        mpaHead h;
        int32_t bitrate, offset;
        const int32_t len = mpaFindHead(data.data() + pos, n - pos, &h, &bitrate, &offset);
        if (len == 0 || pos + offset >= n) break;
        out.push_back(pos + offset);
        pos += offset + len + h.padding;
    }
    return out;
}

TEST_F(DecodeOptions, StreamCutInTheMiddleStartsSilentThenDecodes)
{
    const auto stream = lame(chirp(44100, 2, 2.0, 200.0, 8000.0, 0.5), "-b 96 -m j", "cut_l3");
    const auto offsets = frame_offsets(stream);
    ASSERT_GT(offsets.size(), 40u);
    // A frame whose main data begin in the frame before it.
    size_t start = 20;
    while (start < offsets.size() && stream[offsets[start] + 4] == 0) ++start;
    ASSERT_LT(start, offsets.size());
    const std::vector<uint8_t> cut(stream.begin() + offsets[start], stream.end());
    const Decoded d = decode(cut);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.frames, static_cast<int32_t>(offsets.size() - start));
    ASSERT_GE(d.pcm.size(), 3u * 2304);
    EXPECT_TRUE(std::all_of(d.pcm.begin(), d.pcm.begin() + 2304, [](int16_t v) { return v == 0; }));
    EXPECT_GT(rms(channel(d.pcm, 2, 0), 3 * 1152, 1152), 100.0);
}

TEST_F(DecodeOptions, TruncatedLastFrameEndsTheStream)
{
    for (const auto& stream : {lame(stereo_, "-b 128 -m s", "trunc_l3"), twolame(stereo_, "-b 192 -m s", "trunc_l2")}) {
        const auto full = decode(stream);
        const std::vector<uint8_t> shorter(stream.begin(), stream.end() - 100);
        const auto cut = decode(shorter);
        ASSERT_TRUE(cut.ok);
        EXPECT_EQ(cut.frames, full.frames - 1);
    }
}

TEST_F(DecodeOptions, DamagedStreamsDecodeWithoutFault)
{
    const std::vector<std::vector<uint8_t>> streams = {
        lame(chirp(44100, 2, 1.0, 100.0, 12000.0, 0.7), "-b 128 -m j", "dmg_l3"),
        lame(clicks(22050, 2, 1.0, 300.0, 0.7), "-b 64 -m j", "dmg_l3_lsf"),
        twolame(stereo_, "-b 192 -m j", "dmg_l2"),
    };
    std::mt19937 rng(11);
    for (const auto& stream : streams) {
        ASSERT_FALSE(stream.empty());
        for (int round = 0; round < 40; ++round) {
            std::vector<uint8_t> bad = stream;
            std::uniform_int_distribution<size_t> at(0, bad.size() - 1);
            const int flips = 1 + round * 3;
            for (int i = 0; i < flips; ++i) bad[at(rng)] ^= static_cast<uint8_t>(1 + rng() % 255);
            const Decoded d = decode(bad);
            EXPECT_TRUE(d.ok || bad[0] != stream[0]);
            EXPECT_LE(d.pcm.size(), stream.size() * 64);
        }
    }
}

TEST_F(DecodeOptions, ShortBlocksMatchTheReference)
{
    for (const auto& stream : {lame(clicks(44100, 2, 1.5, 500.0, 0.6), "-b 160 -m j", "short_l3"),
                               lame(clicks(22050, 1, 1.5, 300.0, 0.6), "-b 48 -m m", "short_lsf")}) {
        ASSERT_FALSE(stream.empty());
        const Decoded ours = decode(stream);
        const Decoded ref = decode_reference(stream);
        ASSERT_TRUE(ours.ok);
        ASSERT_TRUE(ref.ok);
        EXPECT_GT(ref.pcm.size(), 20000u);
        EXPECT_GE(ours.pcm.size(), ref.pcm.size());
        EXPECT_GT(snr_db(ref.pcm, ours.pcm), 50.0);
    }
}

// libavcodec decodes no free-format stream, so the input signal is the
// reference for both layers here.
TEST_F(DecodeOptions, FreeFormatLayersTwoAndThree)
{
    for (const auto& stream : {twolame(stereo_, "--freeformat -b 200 -m s", "free_l2"),
                               lame(stereo_, "--freeformat -b 200 -m s", "free_l3")}) {
        ASSERT_FALSE(stream.empty());
        const Decoded ours = decode(stream);
        ASSERT_TRUE(ours.ok);
        EXPECT_GE(ours.frames, 36);
        const auto left = channel(ours.pcm, 2, 0), right = channel(ours.pcm, 2, 1);
        EXPECT_GT(tone_snr_db(left, 44100, 441.0, 20000, 20000), 60.0);
        EXPECT_GT(tone_snr_db(right, 44100, 1500.0, 20000, 20000), 60.0);
    }
}

}  // namespace
