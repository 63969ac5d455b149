// MP3 and Ogg Vorbis sources on streams made at test time: lame through
// our decoder, and libvorbisenc through libvorbisfile.
#include "sound_fixture.h"

#include "engine/sound/snd_sources.h"
#include "engine/sound/snd_system.h"
#include "tests/engine/sound/mpeg/mpeg_fixture.h"
#include "platform/headless.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace soundtest;

namespace {

// Reads the whole stream in chunks of scattered sizes (remainders kept
// and handed out across reads) until the source says it has ended.
std::vector<int16_t> read_all(uint32_t (*read)(void*, uint8_t*, uint32_t, uint32_t, int32_t), void* source,
                              uint32_t data_length, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> out;
    uint32_t position = 0;
    while (position < data_length && out.size() < (64u << 20)) {
        const uint32_t count = std::uniform_int_distribution<uint32_t>(1, 9000)(rng) & ~1u;
        std::vector<uint8_t> chunk(count ? count : 2, 0xAA);
        const uint32_t next = read(source, chunk.data(), position, uint32_t(chunk.size()), -1);
        const size_t got = next >= data_length ? chunk.size() : next - position;
        out.insert(out.end(), chunk.begin(), chunk.begin() + ptrdiff_t(got));
        position = next;
    }
    std::vector<int16_t> pcm(out.size() / 2);
    std::memcpy(pcm.data(), out.data(), pcm.size() * 2);
    return pcm;
}

std::vector<uint8_t> id3_tag_with_false_sync()
{
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 4, 0};  // 512 bytes follow
    std::vector<uint8_t> body(512, 0x11);
    const uint8_t fake[] = {0xFF, 0xFB, 0x90, 0x64};  // a layer III header inside a picture
    std::memcpy(body.data() + 100, fake, 4);
    tag.insert(tag.end(), body.begin(), body.end());
    return tag;
}

TEST(Mp3Source, MatchesTheDecoderAcrossScatteredReads)
{
    if (!mpegtest::have_tool("lame"))
        GTEST_SKIP() << "lame is not installed";
    const auto signal = mpegtest::chirp(44100, 2, 1.2, 200, 6000, 0.5);
    const auto stream = mpegtest::lame(signal, "-b 128", "source_chirp");
    ASSERT_FALSE(stream.empty());
    const auto reference = mpegtest::decode(stream);
    ASSERT_TRUE(reference.ok);

    // Plain, and behind an ID3v2 tag whose picture holds a sync pattern.
    auto tagged = id3_tag_with_false_sync();
    tagged.insert(tagged.end(), stream.begin(), stream.end());
    int32_t bitrate = 0, offset = 0;
    mpaHead head;
    EXPECT_NE(mpaFindHead(tagged.data(), 4096, &head, &bitrate, &offset), 0);
    EXPECT_LT(offset, 522);
    EXPECT_EQ(mp3FirstFrame(tagged.data(), tagged.size()), 522);

    for (const std::vector<uint8_t>* image : {&stream, static_cast<const std::vector<uint8_t>*>(&tagged)}) {
        mp3Source* s = mp3OpenImage(image->data(), image->size());
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(mp3Format(s).channels, 2);
        EXPECT_EQ(mp3Format(s).samplesPerSec, 44100u);
        const auto pcm = read_all(mp3Read, s, mp3Format(s).dataLength, 1);
        ASSERT_GE(pcm.size(), reference.pcm.size());
        EXPECT_TRUE(std::equal(reference.pcm.begin(), reference.pcm.end(), pcm.begin()));
        // What follows the end is silence.
        EXPECT_TRUE(std::all_of(pcm.begin() + ptrdiff_t(reference.pcm.size()), pcm.end(), [](int16_t v) { return v == 0; }));
        // A rewind starts again from the first frame with a fresh decoder.
        mp3Rewind(s);
        const auto again = read_all(mp3Read, s, mp3Format(s).dataLength, 2);
        ASSERT_GE(again.size(), reference.pcm.size());
        EXPECT_TRUE(std::equal(reference.pcm.begin(), reference.pcm.end(), again.begin()));
        mp3Close(s);
    }
    EXPECT_EQ(mp3OpenImage(tagged.data(), 522), nullptr);
}

// A free-format stream plays to its last frame, whose length no following
// header measures.
TEST(Mp3Source, PlaysTheLastFreeFormatFrame)
{
    if (!mpegtest::have_tool("lame"))
        GTEST_SKIP() << "lame is not installed";
    const auto signal = mpegtest::sine(44100, 2, 0.7, 440, 660, 0.5);
    const auto stream = mpegtest::lame(signal, "--freeformat -b 160 -m s", "source_free");
    const auto reference = mpegtest::decode(stream);
    ASSERT_TRUE(reference.ok);
    mp3Source* s = mp3OpenImage(stream.data(), stream.size());
    ASSERT_NE(s, nullptr);
    const auto pcm = read_all(mp3Read, s, mp3Format(s).dataLength, 3);
    mp3Close(s);
    // The fixture's walker keeps the last frame too (checked in the decoder's
    // tests); the source's output holds it and then only silence.
    ASSERT_EQ(reference.pcm.size() % 2304, 0u);
    ASSERT_GE(pcm.size(), reference.pcm.size());
    EXPECT_TRUE(std::equal(reference.pcm.begin(), reference.pcm.end(), pcm.begin()));
    EXPECT_TRUE(std::any_of(pcm.end() - ptrdiff_t(pcm.size() - reference.pcm.size()) - 1152, pcm.end() - ptrdiff_t(pcm.size() - reference.pcm.size()),
                            [](int16_t v) { return v != 0; }));
}

// Through the channel layer at the stream's own rate: the listener hears
// the decoder's output bit for bit, then silence, and the channel ends.
TEST(Mp3Source, PlaysBitExactThroughAChannel)
{
    if (!mpegtest::have_tool("lame"))
        GTEST_SKIP() << "lame is not installed";
    const auto signal = mpegtest::sine(22050, 1, 2.5, 440, 440, 0.4);
    const auto stream = mpegtest::lame(signal, "-b 64 -m m", "source_mono");
    const auto reference = mpegtest::decode(stream);
    ASSERT_TRUE(reference.ok);
    Rig rig(22050, 1);
    mp3Source* s = mp3OpenImage(stream.data(), stream.size());
    ASSERT_NE(s, nullptr);
    const int32_t ch = mp3Start(s, 10, 0, 0, 0, 0, 9);
    ASSERT_EQ(ch, 0);
    ASSERT_GT(rig.run_until_idle(ch, 22050 * 6), 0u);
    const auto out = rig.capture();
    ASSERT_GE(out.size(), reference.pcm.size());
    EXPECT_TRUE(std::equal(reference.pcm.begin(), reference.pcm.end(), out.begin()));
    EXPECT_TRUE(std::all_of(out.begin() + ptrdiff_t(reference.pcm.size()), out.end(), [](int16_t v) { return v == 0; }));
    dsDone();
    mp3Close(s);
}

// A second start of a streamed sound restarts it: the channel that played
// it stops, and the new one reads the stream from its first byte again.
TEST(Mp3Source, SecondPlayRestartsInsteadOfSharingTheDecoder)
{
    if (!mpegtest::have_tool("lame"))
        GTEST_SKIP() << "lame is not installed";
    const auto stream = mpegtest::lame(mpegtest::sine(22050, 1, 4, 300, 300, 0.4), "-b 64 -m m", "restart");
    const auto path = mpegtest::work_dir() / "restart.mp3";
    write_file(path.string(), stream);
    const auto reference = mpegtest::decode(stream);
    dsConfig config;
    config.manualFeed = true;
    dsSetConfig(config);
    sndInit(nullptr);
    sndInst* inst = sndInstCreate(path.string().c_str(), 0, 0, false);
    ASSERT_NE(inst, nullptr);
    sndInstStart(inst);
    const int32_t first = inst->channel;
    for (int i = 0; i < 40; ++i) {
        platform::headless::advance_audio(1024);
        dsFeedPass();
    }
    EXPECT_GT(dsChannel(first).readPosition, 32768u);
    platform::headless::clear_captured_audio();
    sndInstStart(inst);
    int active = 0;
    for (int c = 0; c < DS_CHANNELS; ++c)
        active += (dsChannel(c).state & DS_ACTIVE) != 0;
    EXPECT_EQ(active, 1);
    EXPECT_EQ(dsChannel(inst->channel).readPosition, 32768u);
    platform::headless::advance_audio(8000);
    const auto out = platform::headless::captured_audio();
    for (size_t i = 0; i < 8000; ++i)
        ASSERT_EQ(out[2 * i], reference.pcm[i]) << i;
    sndInstFree(inst);
    sndDone();
    dsSetConfig(dsConfig{});
}

// Alone, and multiplexed with another logical stream as Ogg's framing
// allows, from memory and from a file.
TEST(OggSource, LengthSeeksAndRestart)
{
    const auto signal = mpegtest::sine(44100, 2, 100000 / 44100.0, 500, 700, 0.5);
    ASSERT_EQ(signal.pcm.size(), 200000u);
    const auto stream = vorbis_encode(signal);
    const auto multiplexed = vorbis_encode(signal, 7);
    const auto path = mpegtest::work_dir() / "multiplexed.ogg";
    write_file(path.string(), multiplexed);
    std::vector<int16_t> all;
    for (oggSource* s : {oggOpenImage(stream.data(), stream.size()),
                         oggOpenImage(multiplexed.data(), multiplexed.size()), oggOpen(path.string().c_str())}) {
        ASSERT_NE(s, nullptr);
        const dsFormat& f = oggFormat(s);
        EXPECT_EQ(f.channels, 2);
        EXPECT_EQ(f.samplesPerSec, 44100u);
        EXPECT_EQ(f.dataLength, 400000u);

        const auto pcm = read_all(oggRead, s, f.dataLength, 3);
        ASSERT_GE(pcm.size(), 200000u);
        if (all.empty())
            all = pcm;
        EXPECT_EQ(pcm, all);
        const auto left = mpegtest::channel(pcm, 2, 0);
        EXPECT_GT(mpegtest::tone_snr_db(left, 44100, 500, 10000, 40000), 20.0);
        // At position 0 after the end (a loop's restart) and at any other
        // position, the read seeks and delivers what the stream has there.
        for (uint32_t at : {0u, 123456u, 4u}) {
            std::vector<uint8_t> chunk(5000);
            EXPECT_EQ(oggRead(s, chunk.data(), at, 5000, -1), at + 5000);
            EXPECT_EQ(std::memcmp(chunk.data(), all.data() + at / 2, 5000), 0) << at;
        }
        oggClose(s);
    }

    std::vector<uint8_t> damaged(stream.begin(), stream.begin() + 200);
    EXPECT_EQ(oggOpenImage(damaged.data(), damaged.size()), nullptr);
}

} // namespace
