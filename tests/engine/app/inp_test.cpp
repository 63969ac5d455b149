// Polled input: edges between polls and client coordinates.
#include "app_test_support.h"

#include "platform/headless.h"

namespace {

using platform::headless::InputKind;
namespace vk = platform::vk;

TEST_F(AppTest, InputEdgesAcrossPollsAndClientCoordinates)
{
    for (int k = 0; k < 256; ++k)
        ASSERT_EQ(inpIsKeyDown(k) + inpWentDown(k) + inpWentUp(k), 0);
    EXPECT_EQ(inpMouseX() + inpMouseY(), 0);

    gaCTy& app = Start();
    app.Pump();
    platform::set_window_position(app.window, {100, 50});
    platform::headless::feed_input({{.kind = InputKind::mouse_move, .position = {110, 60}},
                                    {.kind = InputKind::key_down, .key = vk::left},
                                    {.kind = InputKind::key_down, .key = vk::lshift},
                                    {.kind = InputKind::button_down, .key = vk::lbutton}});
    app.Pump();
    inpPoll();
    EXPECT_EQ(inpMouseX(), 10);
    EXPECT_EQ(inpMouseY(), 10);
    for (int key : {int(vk::left), int(vk::shift), int(vk::lbutton)}) {
        EXPECT_EQ(inpIsKeyDown(key), 1) << key;
        EXPECT_EQ(inpWentDown(key), 1) << key;
    }

    // Held across a second poll with nothing pumped: no edges.
    inpPoll();
    EXPECT_EQ(inpIsKeyDown(vk::left), 1);
    EXPECT_EQ(inpWentDown(vk::left), 0);
    EXPECT_EQ(inpWentUp(vk::left), 0);

    platform::headless::feed_input({{.kind = InputKind::key_up, .key = vk::left},
                                    {.kind = InputKind::button_up, .key = vk::lbutton}});
    inpPoll(); // not pumped yet: the release has not been taken
    EXPECT_EQ(inpIsKeyDown(vk::left), 1);
    app.Pump();
    inpPoll();
    EXPECT_EQ(inpWentUp(vk::left), 1);
    EXPECT_EQ(inpWentUp(vk::lbutton), 1);
    EXPECT_EQ(inpIsKeyDown(vk::left), 0);
    EXPECT_EQ(inpWentUp(vk::shift), 0);
}

} // namespace
