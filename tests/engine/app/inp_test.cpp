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

    // A click and three taps within one pump: the click reads down for
    // that frame's two polls and up after the next pump; the taps give
    // three presses, one every other frame.
    std::vector<platform::headless::InputEvent> taps{{.kind = InputKind::button_down, .key = vk::lbutton},
                                                     {.kind = InputKind::button_up, .key = vk::lbutton}};
    for (int i = 0; i < 3; ++i) {
        taps.push_back({.kind = InputKind::key_down, .key = vk::f5});
        taps.push_back({.kind = InputKind::key_up, .key = vk::f5});
    }
    platform::headless::feed_input(taps);
    int presses = 0;
    for (int frame = 0; frame < 8; ++frame) {
        app.Pump();
        inpPoll();
        presses += inpWentDown(vk::f5);
        EXPECT_EQ(inpWentDown(vk::lbutton), frame == 0 ? 1 : 0) << frame;
        EXPECT_EQ(inpWentUp(vk::lbutton), frame == 1 ? 1 : 0) << frame;
        inpPoll();
    }
    EXPECT_EQ(presses, 3);
}

} // namespace
