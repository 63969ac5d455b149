#include "base_test_support.h"

#include <stdexcept>

namespace {

class TryTest : public BaseTest {};

struct Counted {
    explicit Counted(int& n) : n_(n) {}
    ~Counted() { ++n_; }
    int& n_;
};

TEST_F(TryTest, ReportInsideAFrameUnwindsWithoutABox)
{
    errInitFileMessages();
    int destroyed = 0;
    bool after_report = false;
    errState.drive = 3;
    const int code = errTry([&] {
        Counted c(destroyed);
        (void)errReportArg(ERR_OPEN, "x");
        after_report = true;
    });
    EXPECT_EQ(code, ERR_OPEN);
    EXPECT_FALSE(after_report);
    EXPECT_EQ(destroyed, 1);
    EXPECT_TRUE(boxes().empty());
    // errCatch: the frame is popped and the stored code, argument and drive cleared.
    EXPECT_EQ(errState.frames, nullptr);
    EXPECT_EQ(errState.code, 0);
    EXPECT_EQ(errState.argument, 0u);
    EXPECT_EQ(errState.drive, 0xFF);
}

TEST_F(TryTest, FrameUnwindsBeforeInitToo)
{
    EXPECT_EQ(errTry([] { (void)errReport(ERR_DATA); }), ERR_DATA);
    EXPECT_EQ(errTry([] {}), 0);
    EXPECT_EQ(errState.frames, nullptr);
}

TEST_F(TryTest, NestedFramesCatchInnermostFirst)
{
    errInitFileMessages();
    std::vector<int> trace;
    const int outer = errTry([&] {
        errFrameTy* outer_frame = errState.frames;
        ASSERT_NE(outer_frame, nullptr);
        const int inner = errTry([&] {
            EXPECT_EQ(errState.frames->previous, outer_frame);
            (void)errReport(ERR_BAD_ARG);
        });
        trace.push_back(inner);
        EXPECT_EQ(errState.frames, outer_frame);
        // The inner code can be passed outwards.
        (void)errReport(inner == ERR_BAD_ARG ? ERR_DATA : ERR_IO);
        trace.push_back(1);
    });
    trace.push_back(outer);
    EXPECT_EQ(trace, (std::vector<int>{ERR_BAD_ARG, ERR_DATA}));
    EXPECT_EQ(errState.frames, nullptr);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(TryTest, ForeignExceptionRestoresTheChainAndPassesOn)
{
    errInitFileMessages();
    int destroyed = 0;
    const int outer = errTry([&] {
        errFrameTy* outer_frame = errState.frames;
        EXPECT_THROW((void)errTry([&] {
            Counted c(destroyed);
            throw std::runtime_error("stream failure");
        }),
                     std::runtime_error);
        EXPECT_EQ(errState.frames, outer_frame);
        (void)errReport(ERR_IO);
    });
    EXPECT_EQ(outer, ERR_IO);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(errState.frames, nullptr);
}

TEST_F(TryTest, NoUnwindModeReturnsTheCodeInsideTheFrame)
{
    int result = 0;
    errState.mode = ERR_MODE_NO_UNWIND;
    EXPECT_EQ(errTry([&] { result = errReport(ERR_DATA); }), 0);
    EXPECT_EQ(result, ERR_DATA);
}

TEST_F(TryTest, UserMessageAtErrorLevelUnwindsToo)
{
    errInitFileMessages();
    EXPECT_EQ(errTry([] { (void)errMessage(ERR_LEVEL_ERROR, "bad line %d", 3); }), ERR_USER_MSG);
    EXPECT_TRUE(boxes().empty());
}

} // namespace
