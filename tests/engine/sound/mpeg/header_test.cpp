// Frame search, header parsing, frame lengths and set-up.
#include "engine/sound/mpeg/mpa_internal.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

int32_t length_of(uint8_t b1, uint8_t b2, uint8_t b3 = 0x44)
{
    const uint8_t h[4] = {0xFF, b1, b2, b3};
    mpaHead head;
    return mpaParseHeadBytes(h, 4, &head);
}

TEST(MpegHeader, FindsTheFirstSyncAndReadsItsFields)
{
    std::vector<uint8_t> buf = {0x00, 0x12, 0xFF, 0x00, 0x7F, 0xFE, 0x01};
    const uint8_t header[4] = {0xFF, 0xFB, 0x90, 0x64};
    buf.insert(buf.end(), header, header + 4);
    buf.resize(600, 0);
    mpaHead head;
    int32_t bitrate = -1, offset = -1;
    EXPECT_EQ(mpaFindHead(buf.data(), static_cast<int32_t>(buf.size()), &head, &bitrate, &offset), 417);
    EXPECT_EQ(offset, 7);
    EXPECT_EQ(bitrate, 128000);
    EXPECT_EQ(head.sync, 1);
    EXPECT_EQ(head.id, 1);
    EXPECT_EQ(head.layer_code, 1);
    EXPECT_EQ(head.protection, 1);
    EXPECT_EQ(head.bitrate_index, 9);
    EXPECT_EQ(head.sampling_index, 0);
    EXPECT_EQ(head.padding, 0);
    EXPECT_EQ(head.mode, 1);
    EXPECT_EQ(head.mode_extension, 2);
    EXPECT_EQ(head.orig_bit, 1);
}

TEST(MpegHeader, NoUsableHeaderGivesZero)
{
    mpaHead head;
    int32_t bitrate = 0, offset = -1;
    const uint8_t none[] = {0x00, 0xFF, 0x7F, 0x12, 0xFF};
    EXPECT_EQ(mpaFindHead(none, 5, &head, &bitrate, &offset), 0);
    EXPECT_EQ(offset, -1);
    // A sync whose header does not fit in the buffer.
    const uint8_t cut[] = {0x00, 0xFF, 0xFB, 0x90};
    EXPECT_EQ(mpaFindHead(cut, 4, &head, &bitrate, &offset), 0);
    // The first sync decides, even when a good header follows it.
    const uint8_t first_bad[] = {0xFF, 0xF9, 0x90, 0x64, 0xFF, 0xFB, 0x90, 0x64};
    EXPECT_EQ(mpaFindHead(first_bad, 8, &head, &bitrate, &offset), 0);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(length_of(0xFB, 0xF0), 0);  // bit-rate index 15
    EXPECT_EQ(length_of(0xF9, 0x90), 0);  // reserved layer
    EXPECT_EQ(length_of(0xFB, 0x9C), 0);  // reserved sample rate
    EXPECT_EQ(length_of(0xEB, 0x90), 0);  // MPEG-2.5 sync with the MPEG-1 id
    EXPECT_EQ(length_of(0xDB, 0x90), 0);  // not a sync nibble
}

TEST(MpegHeader, FrameLengthsOfEveryVersionAndLayer)
{
    EXPECT_EQ(length_of(0xFD, 0xA4), 576);        // layer II, 192 kbit/s, 48 kHz
    EXPECT_EQ(length_of(0xFD, 0xA2), 626);        // the same at 44.1 kHz with padding: unpadded length
    EXPECT_EQ(length_of(0xFF, 0x10), 32);         // layer I, 32 kbit/s, 44.1 kHz
    EXPECT_EQ(length_of(0xFF, 0xE8), 672);        // layer I, 448 kbit/s, 32 kHz
    EXPECT_EQ(length_of(0xFB, 0xE4), 960);        // layer III, 320 kbit/s, 48 kHz
    EXPECT_EQ(length_of(0xFD, 0xE4), 1152);       // layer II, 384 kbit/s, 48 kHz
    EXPECT_EQ(length_of(0xF3, 0x80), 208);        // MPEG-2 layer III, 64 kbit/s, 22.05 kHz
    EXPECT_EQ(length_of(0xF3, 0xE4), 480);        // MPEG-2 layer III, 160 kbit/s, 24 kHz
    EXPECT_EQ(length_of(0xF5, 0xE8), 1440);       // MPEG-2 layer II, 160 kbit/s, 16 kHz
    EXPECT_EQ(length_of(0xF7, 0xE8), 768);        // MPEG-2 layer I, 256 kbit/s, 16 kHz
    EXPECT_EQ(length_of(0xE3, 0x40), 208);        // MPEG-2.5 layer III, 32 kbit/s, 11.025 kHz
    EXPECT_EQ(length_of(0xE3, 0x18), 72);         // MPEG-2.5 layer III, 8 kbit/s, 8 kHz
    // Every valid combination gives a length in the standard's range.
    for (int b1 : {0xFB, 0xFD, 0xFF, 0xF3, 0xF5, 0xF7, 0xE3}) {
        for (int index = 1; index < 15; ++index) {
            for (int rate = 0; rate < 3; ++rate) {
                const int32_t len = length_of(static_cast<uint8_t>(b1), static_cast<uint8_t>(index << 4 | rate << 2));
                EXPECT_GE(len, 16) << std::hex << b1 << " " << index << " " << rate;
                EXPECT_LE(len, 2880) << std::hex << b1 << " " << index << " " << rate;
            }
        }
    }
}

// Free-format frames of `size` bytes (padded ones one more), alternating
// padding, with zero payload.
std::vector<uint8_t> free_format(int32_t size, uint8_t b1, int32_t bytes)
{
    std::vector<uint8_t> buf;
    for (int32_t k = 0; static_cast<int32_t>(buf.size()) < bytes; ++k) {
        const int32_t pad = k & 1;
        const uint8_t h[4] = {0xFF, b1, static_cast<uint8_t>(pad << 1), 0xC4};
        buf.insert(buf.end(), h, h + 4);
        buf.resize(buf.size() + size - 4 + pad * ((b1 & 6) == 6 ? 4 : 1), 0);
    }
    buf.resize(bytes);
    return buf;
}

TEST(MpegHeader, FreeFormatLengthIsMeasured)
{
    const auto l3 = free_format(300, 0xFB, 10000);
    mpaHead head;
    int32_t bitrate = 0, offset = -1;
    EXPECT_EQ(mpaFindHead(l3.data(), 10000, &head, &bitrate, &offset), 300);
    EXPECT_EQ(head.bitrate_index, 0);
    EXPECT_EQ(bitrate, 44100 * 300 / 144);
    const auto l1 = free_format(400, 0xFF, 5000);
    EXPECT_EQ(mpaFindHead(l1.data(), 5000, &head, &bitrate, &offset), 400);
    EXPECT_EQ(bitrate, 44100 * 400 / 48);
    // A single frame with nothing after it cannot be measured.
    EXPECT_EQ(mpaFindHead(l3.data(), 250, &head, &bitrate, &offset), 0);
    EXPECT_EQ(mpaFreeFormatSize(l3.data(), 3), 0);
}

class MpegSetup : public testing::Test {
protected:
    std::unique_ptr<mpaDec> dec = std::make_unique<mpaDec>();
    void SetUp() override { mpaInit(dec.get(), 1); }
    void TearDown() override { mpaDone(dec.get()); }
    mpaHead head(uint8_t b1, uint8_t b2, uint8_t b3)
    {
        const uint8_t h[4] = {0xFF, b1, b2, b3};
        mpaHead r;
        EXPECT_NE(mpaParseHeadBytes(h, 4, &r), 0);
        return r;
    }
};

TEST_F(MpegSetup, LayerTwoPicksTableLimitsAndFormat)
{
    const mpaHead h = head(0xFD, 0xA0, 0x04);  // 192 kbit/s, 44.1 kHz, stereo: table 1
    ASSERT_EQ(mpaDecodeInit(dec.get(), &h, 626, 0, 0, 0, 24000), 1);
    EXPECT_EQ(dec->decode_limit, 60);
    EXPECT_EQ(dec->alloc_count, 60);
    mpaInfo info;
    mpaGetInfo(dec.get(), &info);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.pcm_values, 2304);
    EXPECT_EQ(info.sample_rate, 44100);
    EXPECT_EQ(info.bits, 16);
    EXPECT_EQ(info.frame_length, 626);
    EXPECT_EQ(dec->pcm_bytes, 4608);

    ASSERT_EQ(mpaDecodeInit(dec.get(), &h, 626, 2, 0, 8 + 1, 24000), 1);
    mpaGetInfo(dec.get(), &info);
    EXPECT_EQ(dec->decode_limit, 16);
    EXPECT_EQ(info.pcm_values, 288);
    EXPECT_EQ(dec->pcm_bytes, 288);
    EXPECT_EQ(info.sample_rate, 11025);
    EXPECT_EQ(info.bits, 8);
    EXPECT_EQ(info.channels, 1);

    ASSERT_EQ(mpaDecodeInit(dec.get(), &h, 626, -5, 0, 0, 0), 1);
    mpaGetInfo(dec.get(), &info);
    EXPECT_EQ(info.sample_rate, 44100);
    EXPECT_EQ(dec->decode_limit, 2);  // 1000 Hz: one subband per channel
    ASSERT_EQ(mpaDecodeInit(dec.get(), &h, 626, 7, 0, 0, 24000), 1);
    mpaGetInfo(dec.get(), &info);
    EXPECT_EQ(info.sample_rate, 11025);
}

TEST_F(MpegSetup, RefusesWhatCannotBeDecoded)
{
    mpaHead h = head(0xFD, 0xC0, 0xC4);  // mono layer II at 256 kbit/s: not allowed
    EXPECT_EQ(mpaDecodeInit(dec.get(), &h, 835, 0, 0, 0, 24000), 0);
    h = head(0xFD, 0xA0, 0x04);
    h.layer_code = 0;
    EXPECT_EQ(mpaDecodeInit(dec.get(), &h, 626, 0, 0, 0, 24000), 0);
    h = head(0xFD, 0xA0, 0x04);
    h.sampling_index = 3;
    EXPECT_EQ(mpaDecodeInit(dec.get(), &h, 626, 0, 0, 0, 24000), 0);
    h = head(0xFD, 0xA0, 0x04);
    EXPECT_EQ(mpaDecodeInit(dec.get(), &h, 0, 0, 0, 0, 24000), 0);
    // A state that no set-up accepted decodes nothing.
    uint8_t frame[700] = {0xFF, 0xFD, 0xA0, 0x04};
    uint8_t pcm[4608];
    const mpaResult r = mpaDecode(dec.get(), frame, sizeof frame, pcm);
    EXPECT_EQ(r.consumed, 0u);
    EXPECT_EQ(r.written, 0u);
}

TEST_F(MpegSetup, LayerOneAndThreeFormats)
{
    const mpaHead l1 = head(0xFF, 0xE0, 0xC4);  // layer I, mono, 44.1 kHz
    ASSERT_EQ(mpaDecodeInit(dec.get(), &l1, 416, 0, 0, 3, 24000), 1);
    mpaInfo info;
    mpaGetInfo(dec.get(), &info);
    EXPECT_EQ(info.channels, 1);  // the channel choice is ignored for mono
    EXPECT_EQ(info.pcm_values, 384);
    const mpaHead l3 = head(0xFB, 0x90, 0x04);
    ASSERT_EQ(mpaDecodeInit(dec.get(), &l3, 417, 0, 0, 0, 24000), 1);
    mpaGetInfo(dec.get(), &info);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.pcm_values, 2304);
    EXPECT_EQ(dec->l3.freq_subbands, 31);
    EXPECT_EQ(dec->l3.sample_limit, 558);
    const mpaHead lsf = head(0xF3, 0x80, 0xC4);  // MPEG-2 mono
    ASSERT_EQ(mpaDecodeInit(dec.get(), &lsf, 208, 1, 0, 8, 24000), 1);
    mpaGetInfo(dec.get(), &info);
    EXPECT_EQ(info.pcm_values, 288);
    EXPECT_EQ(info.sample_rate, 11025);
    EXPECT_EQ(info.bits, 8);
}

}  // namespace
