#include "gfx_test_support.h"

namespace {

class ScrFmtTest : public GfxTest {
protected:
    void TearDown() override
    {
        gScrFmt = gScrFmtTy {};
        GfxTest::TearDown();
    }
};

TEST_F(ScrFmtTest, DefaultIs565)
{
    EXPECT_EQ(gRgbToScr(0x00FF0000), 0x001Fu);
    EXPECT_EQ(gRgbToScr(0x000000FF), 0xF800u);
    EXPECT_EQ(gRgbToScr(0x0000FF00), 0x07E0u);
    EXPECT_EQ(gRgbToScr(0x00FFFFFF), 0xFFFFu);
    // Truncation, no rounding: 7 is lost to red and blue, 3 to green.
    EXPECT_EQ(gRgbToScr(0x00070307), 0u);
    EXPECT_EQ(gRgbToScr(0x00080408), 0x0821u);
    // Bits above the three channels do not count.
    EXPECT_EQ(gRgbToScr(0xFF000000), 0u);
}

TEST_F(ScrFmtTest, LayoutsFromMasks)
{
    gScrFmtSet(16, 0xF800, 0x07E0, 0x001F);
    EXPECT_EQ(gScrFmt.bytes, 2u);
    EXPECT_EQ(gScrFmt.greenShift, 5u);
    EXPECT_EQ(gScrFmt.greenLoss, 2u);
    EXPECT_EQ(gScrFmt.redMax, 31u);
    EXPECT_EQ(gScrFmt.greenMax, 63u);

    gScrFmtSet(15, 0x7C00, 0x03E0, 0x001F);
    EXPECT_EQ(gScrFmt.bytes, 2u);
    EXPECT_EQ(gScrFmt.redShift, 10u);
    EXPECT_EQ(gScrFmt.greenLoss, 3u);
    EXPECT_EQ(gRgbToScr(0x000000FF), 0x7C00u);
    EXPECT_EQ(gRgbToScr(0x0000FF00), 0x03E0u);
    EXPECT_EQ(gRgbToScr(0x00FFFFFF), 0x7FFFu);

    gScrFmtSet(32, 0xFF0000, 0x00FF00, 0x0000FF);
    EXPECT_EQ(gScrFmt.bytes, 4u);
    EXPECT_EQ(gScrFmt.redLoss, 0u);
    EXPECT_EQ(gScrFmt.redMax, 255u);
    EXPECT_EQ(gRgbToScr(0x00123456), 0x00563412u);

    gScrFmtSet(24, 0x0000FF, 0x00FF00, 0xFF0000);
    EXPECT_EQ(gScrFmt.bytes, 3u);
    EXPECT_EQ(gRgbToScr(0x00123456), 0x00123456u);

    // A 5:6:5 layout with red and blue swapped.
    gScrFmtSet(16, 0x001F, 0x07E0, 0xF800);
    EXPECT_EQ(gRgbToScr(0x000000FF), 0x001Fu);
    EXPECT_EQ(gRgbToScr(0x00FF0000), 0xF800u);
}

} // namespace
