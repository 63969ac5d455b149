// The channel layer over the headless output, stepped by hand: what a
// listener hears of streamed, static and looping sounds.
#include "sound_fixture.h"

#include "engine/sound/sound_device.h"
#include "platform/headless.h"
#include "platform/window.h"

#include <gtest/gtest.h>

using namespace soundtest;

namespace {

// Device rate = source rate, unity gain, centre: each output side must be
// the source sample for sample, then silence; and the channel must be idle
// within one pass of the end. Lengths put the end in the first half of the
// ring, exactly on the middle, in the second half, and in a static buffer.
TEST(DsStream, BitExactThenSilenceThenIdle)
{
    const size_t lengths[] = {54100, 66150, 71150, 88203, 30001};
    for (size_t frames : lengths) {
        SCOPED_TRACE(frames);
        Rig rig;
        const auto pcm = pcm16(frames, uint32_t(frames));
        const wavInfo info = info_of(pcm, 1, 22050);
        const int32_t ch = dsChanStartMem(&info, 100, 0, 0, 0, 0, 9);
        ASSERT_EQ(ch, 0);
        EXPECT_EQ((dsChannel(ch).playFlags & DS_STATIC) != 0, frames * 2 <= 88200);
        const uint64_t idle_at = rig.run_until_idle(ch, frames + 3 * 22050);
        ASSERT_GT(idle_at, 0u);
        EXPECT_LE(idle_at, frames + 2 * 1024);
        const auto out = rig.capture();
        size_t mismatches = 0;
        for (size_t i = 0; i < out.size() / 2; ++i) {
            const int16_t want = i < frames ? pcm[i] : 0;
            mismatches += out[2 * i] != want || out[2 * i + 1] != want;
        }
        EXPECT_EQ(mismatches, 0u);
    }
}

// A looping sound, streamed or static, continues from its start with no
// gap: the capture is the data repeated.
TEST(DsStream, LoopsWithoutGap)
{
    for (size_t frames : {50021u, 12345u}) {
        SCOPED_TRACE(frames);
        Rig rig(22050, 1);
        const auto pcm = pcm16(frames, 7);
        const wavInfo info = info_of(pcm, 1, 22050);
        const int32_t ch = dsChanStartMem(&info, 100, DS_LOOP, 0, 0, 0, 9);
        ASSERT_EQ(ch, 0);
        while (rig.captured_frames() < 3 * frames + 1)
            rig.step();
        const auto out = rig.capture();
        size_t mismatches = 0;
        for (size_t i = 0; i < out.size(); ++i)
            mismatches += out[i] != pcm[i % frames];
        EXPECT_EQ(mismatches, 0u);
        uint32_t playing = 0;
        EXPECT_EQ(dsChanQuery(ch, &playing), 0);
        EXPECT_EQ(playing, 1u);
    }
}

// With notification on, a looping stream posts 953 (wParam 1) at each pass
// of its end, and a sound that ends posts it once more.
TEST(DsStream, PostsChannelEndMessages)
{
    platform::WindowDef def;
    def.title = "sound";
    platform::WindowHandle window = platform::create_window(def);
    ASSERT_NE(window, nullptr);
    {
        dsConfig config;
        config.manualFeed = true;
        dsSetConfig(config);
        platform::headless::clear_captured_audio();
        dsInit(window);
        const auto pcm = pcm16(50000, 3);
        const wavInfo info = info_of(pcm, 1, 22050);
        const int32_t looping = dsChanStartMem(&info, 100, DS_LOOP, 0, 0, 0, 9);
        const auto shorter = pcm16(3000, 4);
        const wavInfo once = info_of(shorter, 1, 22050);
        const int32_t single = dsChanStartMem(&once, 100, 0, 0, 0, 0, 9);
        ASSERT_EQ(dsChanNotify(looping), 0);
        ASSERT_EQ(dsChanNotify(single), 0);
        for (int i = 0; i < 110; ++i) {
            platform::headless::advance_audio(1024);
            dsFeedPass();
        }
        int loops = 0, ends = 0;
        platform::Message m;
        while (platform::peek_message(m, window)) {
            if (m.id != DS_MSG_CHANNEL_END)
                continue;
            EXPECT_EQ(m.wparam, 1u);
            loops += m.lparam == (DS_MSG_TAG | looping);
            ends += m.lparam == (DS_MSG_TAG | single);
        }
        // 110 * 1024 frames cover the 50000-frame loop twice.
        EXPECT_EQ(loops, 2);
        EXPECT_EQ(ends, 1);
        dsDone();
        dsSetConfig(dsConfig{});
    }
    platform::destroy_window(window);
}

// A cursor frozen for ten polls in a row (the output stopped pulling) gets
// the buffer played again, once.
TEST(DsStream, StuckCursorRestartsOnce)
{
    Rig rig;
    const auto pcm = pcm16(100000, 5);
    const wavInfo info = info_of(pcm, 1, 22050);
    const int32_t ch = dsChanStartMem(&info, 100, 0, 0, 0, 0, 9);
    snd_device::Buffer* buffer = dsChannel(ch).buffer;
    const uint32_t first = dsDevice()->play_calls(buffer);
    rig.step();
    for (int i = 0; i < 9; ++i)
        dsFeedPass();
    EXPECT_EQ(dsDevice()->play_calls(buffer), first);
    dsFeedPass();
    EXPECT_EQ(dsDevice()->play_calls(buffer), first + 1);
    for (int i = 0; i < 12; ++i)
        dsFeedPass();
    EXPECT_EQ(dsDevice()->play_calls(buffer), first + 1);
}

// The mixer: resampled voices summed with gain and pan, clipped once.
TEST(DsMixer, GainsPanAndClipping)
{
    const snd_device::Gains unity = snd_device::gains_for(0, 0);
    EXPECT_EQ(unity.left, 65536);
    EXPECT_EQ(unity.right, 65536);
    const snd_device::Gains half = snd_device::gains_for(-602, 0);   // about -6 dB
    EXPECT_NEAR(half.left, 32768, 40);
    const snd_device::Gains right = snd_device::gains_for(0, 10000);
    EXPECT_EQ(right.left, 0 + int32_t(65536 * 1e-5 + 0.5));
    EXPECT_EQ(right.right, 65536);
    EXPECT_EQ(snd_device::gains_for(-10000, 0).left, 0);

    // Two full-scale sounds sum beyond 16 bits and are clipped once; a
    // 11025 Hz sound at 22050 Hz holds each frame for two output frames.
    Rig rig(22050, 2);
    const std::vector<int16_t> loud(4000, 30000);
    std::vector<int16_t> slow(2000);
    for (size_t i = 0; i < slow.size(); ++i)
        slow[i] = int16_t(i * 7);
    const wavInfo a = info_of(loud, 1, 22050), b = info_of(slow, 1, 11025);
    ASSERT_GE(dsChanStartMem(&a, 1, 0, 0, 0, 0, 9), 0);
    ASSERT_GE(dsChanStartMem(&b, 1, 0, 0, 10000, 0, 9), 0);
    platform::headless::advance_audio(4000);
    const auto out = rig.capture();
    EXPECT_EQ(out[2 * 10], 30000);
    EXPECT_EQ(out[2 * 10 + 1], 30000 + 5 * 7);
    EXPECT_EQ(out[2 * 3001], 30000 + ((1500 * 7 * int64_t(right.left)) >> 16));
    EXPECT_EQ(out[2 * 3001 + 1], 32767);
    EXPECT_EQ(out[2 * 3999 + 1], 32767);
    EXPECT_EQ(out[2 * 4000 - 2], 30000);
}

// While the application is inactive only sounds made with global focus
// are heard; the others play on muted and are heard again afterwards.
TEST(DsMixer, InactiveAppMutesSoundsWithoutGlobalFocus)
{
    Rig rig(22050, 1);
    const std::vector<int16_t> a(8000, 100), b(8000, 20);
    const wavInfo ia = info_of(a, 1, 22050), ib = info_of(b, 1, 22050);
    ASSERT_EQ(dsChanStartMem(&ia, 1, 0, 0, 0, 0, 9), 0);
    dsSetGlobalFocus(true);
    ASSERT_EQ(dsChanStartMem(&ib, 1, 0, 0, 0, 0, 9), 1);
    dsSetGlobalFocus(false);
    platform::headless::advance_audio(1000);
    dsSetAppActive(false);
    platform::headless::advance_audio(1000);
    dsSetAppActive(true);
    platform::headless::advance_audio(1000);
    const auto out = rig.capture();
    EXPECT_EQ(out[500], 120);
    EXPECT_EQ(out[1500], 20);
    EXPECT_EQ(out[2500], 120);
}

} // namespace
