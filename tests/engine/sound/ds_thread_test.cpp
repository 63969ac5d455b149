// The feeder thread: wake-ups, shut-down while streaming, and the mixer
// running on another thread than the starts. Waits are on the feeder's
// passes, never on a clock. These tests also run under ThreadSanitizer.
#include "sound_fixture.h"

#include "engine/sound/sound.h"
#include "platform/headless.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace soundtest;

namespace {

// The output is advanced by a thread of its own, as a sound card would.
struct Listener {
    std::atomic<bool> run{true};
    std::thread thread{[this] {
        while (run)
            platform::headless::advance_audio(256);
    }};
    ~Listener()
    {
        run = false;
        thread.join();
    }
};

TEST(DsThread, ShutDownWhileStreamingJoinsTheFeeder)
{
    const auto pcm = pcm16(22050 * 6, 11);
    const wavInfo info = info_of(pcm, 1, 22050);
    {
        Rig rig(22050, 2, false);
        {
            Listener listener;
            ASSERT_EQ(dsChanStartMem(&info, 10, DS_LOOP, 0, 0, 0, 9), 0);
            ASSERT_EQ(dsChanStartMem(&info, 10, 0, -600, 3000, 0, 9), 1);
            EXPECT_TRUE(dsFeederRunning());
            const uint64_t passes = dsWaitPasses(dsPassesDone() + 20);
            EXPECT_GE(passes, 20u);
        }
        // The output stands still (the platform closes it only from the
        // thread that advances it); the feeder still polls both streams.
        dsDone();
        EXPECT_FALSE(dsFeederRunning());
    }
    platform::headless::clear_captured_audio();
}

// A start that comes right after a pass that found nothing to do still
// wakes the feeder: the start's sound is fed and ends.
TEST(DsThread, StartAfterAnIdlePassIsNotLost)
{
    const auto pcm = pcm16(300, 12);
    const wavInfo info = info_of(pcm, 1, 22050);
    Rig rig(22050, 2, false);
    Listener listener;
    for (int round = 0; round < 50; ++round) {
        const int32_t ch = dsChanStartMem(&info, 10, 0, 0, 0, 0, 9);
        ASSERT_EQ(ch, 0);
        // The feeder ends the short sound and then suspends itself; a lost
        // wake-up would leave the channel active for ever.
        uint32_t playing = 1;
        while (playing) {
            dsWaitPasses(dsPassesDone() + 1);
            ASSERT_EQ(dsChanQuery(ch, &playing), 0);
        }
    }
}

// The extra source is summed with the effects and can be replaced while
// the output runs.
TEST(DsThread, ExtraSourceIsMixedIn)
{
    Rig rig(22050, 2, false);
    std::atomic<uint64_t> calls{0};
    sndSetExtraSource([&](int32_t* acc, uint32_t frames, const platform::AudioFormat& f) {
        for (uint32_t i = 0; i < frames * f.channels; ++i)
            acc[i] += 1000;
        ++calls;
    });
    platform::headless::advance_audio(512);
    {
        Listener listener;
        while (calls < 10)
            std::this_thread::yield();
        sndSetExtraSource({});
    }
    const auto out = rig.capture();
    ASSERT_GE(out.size(), 1024u);
    for (size_t i = 0; i < 1024; ++i)
        ASSERT_EQ(out[i], 1000);
}

} // namespace
