// The channel layer when the system refuses its feeder thread: the failure
// goes through the reporter once, in a box whose default (Return) goes on,
// and sounds that their buffer holds whole still play, while streams are
// refused.
#include "sound_fixture.h"

#include "engine/base/base_internal.h"
#include "engine/base/err.h"
#include "platform/headless.h"
#include "platform/message_box.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

using namespace soundtest;

namespace {

TEST(DsFeederFault, RefusedThreadIsReportedAndShortSoundsStillPlay)
{
    platform::fail_thread_creation(1000);
    errState.code = 0;
    errInitFileMessages();
    // Answered as Return answers it; an Abort there would end this test
    // program, so it is counted instead.
    int aborts = 0;
    platform::clear_shown_boxes();
    platform::set_box_policy([&aborts](const platform::BoxRequest& box) {
        const platform::BoxAnswer answer = platform::default_answer(box);
        aborts += answer == platform::BoxAnswer::abort;
        return answer == platform::BoxAnswer::abort ? platform::BoxAnswer::ignore : answer;
    });
    {
        Rig rig(22050, 1, false);
        const auto shorter = pcm16(3000, 21), longer = pcm16(22050 * 3, 22);
        const wavInfo once = info_of(shorter, 1, 22050), stream = info_of(longer, 1, 22050);

        EXPECT_EQ(dsChanStartMem(&stream, 10, 0, 0, 0, 0, 9), DS_ERR_REFUSED);
        EXPECT_EQ(errState.code, ERR_NOT_CREATED);
        EXPECT_STREQ(errState.message, "Can't create the sound feeder thread");
        EXPECT_EQ(platform::shown_boxes().size(), 1u);
        EXPECT_EQ(aborts, 0) << "Return on the feeder's box ended the game";
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
    platform::set_box_policy(nullptr);
    platform::clear_shown_boxes();
    errResetForTest();
}

} // namespace
