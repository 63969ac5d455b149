// The channel layer when the system refuses its feeder thread: the failure
// goes through the reporter once, and sounds that their buffer holds whole
// still play, while streams are refused.
#include "sound_fixture.h"

#include "engine/base/err.h"
#include "platform/headless.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

using namespace soundtest;

namespace {

TEST(DsFeederFault, RefusedThreadIsReportedAndShortSoundsStillPlay)
{
    platform::fail_thread_creation(1000);
    errState.code = 0;
    {
        Rig rig(22050, 1, false);
        const auto shorter = pcm16(3000, 21), longer = pcm16(22050 * 3, 22);
        const wavInfo once = info_of(shorter, 1, 22050), stream = info_of(longer, 1, 22050);

        EXPECT_EQ(dsChanStartMem(&stream, 10, 0, 0, 0, 0, 9), DS_ERR_REFUSED);
        EXPECT_EQ(errState.code, ERR_NOT_CREATED);
        EXPECT_STREQ(errState.message, "Can't create the sound feeder thread");
        EXPECT_FALSE(dsFeederRunning());

        errState.code = 0;
        ASSERT_EQ(dsChanStartMem(&once, 10, 0, 0, 0, 0, 9), 0);
        EXPECT_EQ(errState.code, 0) << "reported once";
        platform::headless::advance_audio(4000);
        const auto out = rig.capture();
        ASSERT_GE(out.size(), 4000u);
        EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), out.begin()));
        // The sound is over; the next start takes its channel again.
        EXPECT_EQ(dsChanStartMem(&once, 10, 0, 0, 0, 0, 9), 0);
        uint32_t playing = 0;
        for (int32_t c = 1; c < DS_CHANNELS; ++c) {
            ASSERT_EQ(dsChanQuery(c, &playing), 0);
            EXPECT_EQ(playing, 0u) << c;
        }
    }
    platform::fail_thread_creation(0);
    errState.code = 0;
    errState.message = nullptr;
}

} // namespace
