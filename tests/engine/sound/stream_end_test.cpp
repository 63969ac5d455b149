// Short streamed sounds played through a channel to their end, with the
// feeder thread running: the channel ends, and the listener hears the sound
// once, then silence.
#include "sound_fixture.h"

#include "engine/sound/snd_sources.h"
#include "platform/headless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace soundtest;

namespace {

// Plays on like a sound card that takes a block per poll of the feeder
// thread, until the channel is idle or `limit` frames have been played;
// true when it went idle.
bool stream_ends_within(int32_t channel, uint64_t limit)
{
    uint32_t playing = 1;
    for (uint64_t played = 0; played < limit; played += 256) {
        platform::headless::advance_audio(256);
        dsWaitPasses(dsPassesDone() + 1);
        if (dsChanQuery(channel, &playing) == 0 && !playing)
            return true;
    }
    return false;
}

// Sounds whose whole stream fits the first fill of the channel's buffer:
// an MP3, whose source learns its end only by reaching it, and an Ogg,
// whose source knows its length at the open.
TEST(StreamEnd, ShortStreamsEndInTheirFirstFill)
{
    if (!mpegtest::have_tool("lame"))
        GTEST_SKIP() << "lame is not installed";
    const auto signal = mpegtest::sine(22050, 1, 0.3, 440, 440, 0.4);
    const auto mp3 = mpegtest::lame(signal, "-b 64 -m m", "short_mono");
    const auto ogg = vorbis_encode(signal);
    ASSERT_FALSE(mp3.empty());
    ASSERT_FALSE(ogg.empty());

    struct Case {
        const char* name;
        std::vector<int16_t> heard;   // what the source delivers, up to its end
        std::function<int32_t()> start;
        std::function<void()> close;
    };
    mp3Source* m = mp3OpenImage(mp3.data(), mp3.size());
    oggSource* o = oggOpenImage(ogg.data(), ogg.size());
    ASSERT_NE(m, nullptr);
    ASSERT_NE(o, nullptr);
    std::vector<int16_t> ogg_pcm(oggFormat(o).dataLength / 2);
    ASSERT_EQ(oggRead(o, reinterpret_cast<uint8_t*>(ogg_pcm.data()), 0, oggFormat(o).dataLength, -1),
              oggFormat(o).dataLength);
    const Case cases[] = {
        {"mp3", mpegtest::decode(mp3).pcm, [&] { return mp3Start(m, 10, 0, 0, 0, 0, 9); }, [&] { mp3Close(m); }},
        {"ogg", ogg_pcm, [&] { return oggStart(o, 10, 0, 0, 0, 0, 9); }, [&] { oggClose(o); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_GT(c.heard.size(), 6000u);
        {
            Rig rig(22050, 1, false);
            const int32_t ch = c.start();
            ASSERT_EQ(ch, 0);
            EXPECT_TRUE(stream_ends_within(ch, 22050 * 10)) << "the channel never ended";
            const auto out = rig.capture();
            ASSERT_GE(out.size(), c.heard.size());
            EXPECT_TRUE(std::equal(c.heard.begin(), c.heard.end(), out.begin()));
            // Heard once: no second pass of the buffer after the sound.
            EXPECT_TRUE(std::all_of(out.begin() + ptrdiff_t(c.heard.size()), out.end(), [](int16_t v) { return v == 0; }));
        }
        c.close();
    }
}

} // namespace
