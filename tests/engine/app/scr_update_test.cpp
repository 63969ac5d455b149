// The dirty grid's rectangles.
#include "app_test_support.h"

#include "engine/gfx/gfx.h"

#include <tuple>

namespace {

using Rects = std::vector<std::tuple<int, int, int, int>>;

Rects merged()
{
    scrBuildRects();
    Rects out;
    for (uint32_t i = 0; i < scrRectCount(); ++i)
        out.emplace_back(scrRects()[i].x, scrRects()[i].y, scrRects()[i].w, scrRects()[i].h);
    scrPresent(); // empties the list
    return out;
}

class ScrTest : public AppTest {
protected:
    void TearDown() override
    {
        scrFreeGrid();
        AppTest::TearDown();
    }
};

TEST_F(ScrTest, MarksMergeIntoRowRunsAndStackedFullRows)
{
    struct Case {
        const char* what;
        std::vector<rectTy> marks;
        Rects expected;
    };
    const std::vector<Case> cases = {
        {"overlay", {{10, 10, 400, 20}}, {{0, 0, 416, 24}, {0, 24, 416, 24}}},
        {"whole screen", {{0, 0, 640, 480}}, {{0, 0, 640, 480}}},
        {"off screen", {{700, 10, 50, 50}, {-90, -90, 80, 80}}, {}},
        {"ends on a border", {{32, 24, 32, 24}}, {{32, 24, 64, 24}, {32, 48, 64, 24}}},
        {"two runs in a row", {{0, 0, 10, 10}, {320, 0, 10, 10}}, {{0, 0, 32, 24}, {320, 0, 32, 24}}},
        {"full rows between partial ones", {{0, 30, 640, 40}, {0, 100, 10, 5}},
         {{0, 24, 640, 48}, {0, 96, 32, 24}}},
        // The right edge stays in its row instead of spilling into the next.
        {"right edge", {{600, 0, 40, 10}}, {{576, 0, 64, 24}}},
    };
    scrInit();
    for (const Case& c : cases) {
        for (const rectTy& r : c.marks)
            scrAddDirty(r.x, r.y, r.w, r.h);
        EXPECT_EQ(merged(), c.expected) << c.what;
        EXPECT_EQ(merged(), Rects{}) << c.what << ": the merge clears the cells";
    }
}

TEST_F(ScrTest, UpdateCopiesTheOverlayOrFlipsTheWholeScreen)
{
    scrInit();
    scrSetOverlay(1);
    scrUpdate();
    ASSERT_EQ(testGame.copied.size(), 2u);
    EXPECT_EQ(testGame.copied[1].y, 24);
    EXPECT_EQ(scrRectCount(), 0u);

    testGame.flips = true;
    testGame.copied.clear();
    scrAddDirty(0, 0, 5, 5);
    scrBuildRects();
    ASSERT_EQ(scrRectCount(), 1u);
    EXPECT_EQ(scrRects()[0].w * scrRects()[0].h, 640 * 480);
    scrPresent();
    EXPECT_TRUE(testGame.copied.empty());
    EXPECT_EQ(testGame.presents, 1);
}

// With the real display device: an update leaves no surface locked, in
// either mode, so that the next flip or copy finds them free.
TEST_F(ScrTest, UpdateUnlocksTheBackAndPrimarySurfacesAlsoWhenFlipping)
{
    gaEngine = gaEngineDefaults();
    platform::WindowHandle window = platform::create_window({.title = "scr", .client = {640, 480}});
    ASSERT_NE(window, nullptr);
    platform::show_window(window, platform::ShowCommand::show);
    for (const unsigned flags : {GA_DISPLAY_FULL_SCREEN | GA_DISPLAY_FLIP, 0u}) {
        ASSERT_EQ(gCreate(window, flags, 640, 480, 16), 0) << flags;
        scrInit();
        gDDCTy* device = gMode.device;
        ASSERT_TRUE(device && device->back && device->primary) << flags;
        // Software drawing leaves the back surface locked until someone
        // unlocks it.
        device->back->Lock(nullptr, img_LOCK_RW);
        device->primary->Lock(nullptr, img_LOCK_RW);
        ASSERT_NE(device->back->lockPtr, nullptr) << flags;
        scrAddDirty(0, 0, 64, 48);
        scrUpdate();
        EXPECT_EQ(device->back->lockPtr, nullptr) << flags;
        EXPECT_EQ(device->primary->lockPtr, nullptr) << flags;
        scrFreeGrid();
        gRelease();
    }
    platform::destroy_window(window);
}

TEST_F(ScrTest, WithoutADisplayThereIsNoGrid)
{
    testGame.modeWidth = testGame.modeHeight = 0;
    scrInit();
    EXPECT_FALSE(scrHasGrid());
    scrAddDirty(0, 0, 100, 100);
    scrUpdate();
    EXPECT_EQ(scrRectCount(), 0u);
    EXPECT_TRUE(testGame.copied.empty());
}

} // namespace
