// Where a stored window place puts the window: the same place start after
// start, and back onto the work area when the place is off the screens.
#include "app_test_support.h"

#include "platform/headless.h"

#include <string>

namespace {

TEST_F(AppTest, AStoredPlaceIsKeptOrBroughtOntoTheWorkArea)
{
    // A 1024 x 768 desktop with a panel along its bottom. The window's
    // frame is 2 + 640 + 2 by 22 + 480 + 2 around its client area.
    platform::headless::set_desktop({1024, 768}, {0, 0, 1024, 740});
    struct Case {
        const char* what;
        platform::Point stored;
        platform::Point placed; // the client area's corner
    };
    const Case cases[] = {
        {"on the screen", {100, 80}, {100, 80}},
        // The title bar would be above the screen, out of reach.
        {"at the corner", {0, 0}, {2, 22}},
        {"the bottom edge reached", {380, 236}, {380, 236}},
        {"mostly below the work area", {100, 726}, {100, 740 - 504 + 22}},
        {"past the right edge", {900, 100}, {1024 - 644 + 2, 100}},
        {"left of the screen", {-700, 100}, {2, 100}},
        {"far away", {5000, -3000}, {1024 - 644 + 2, 22}},
    };
    for (const Case& c : cases) {
        WriteConfig("WINDOW_STORE_POSITION = 1\nWINDOW_X = " + std::to_string(c.stored.x) +
                    "\nWINDOW_Y = " + std::to_string(c.stored.y) + "\n");
        // Three starts: the place found first is the place kept.
        for (int start = 0; start < 3; ++start) {
            Start();
            EXPECT_EQ(platform::window_position(g_app->window), c.placed) << c.what << ", start " << start;
            Stop();
            g_app = nullptr;
            const std::string saved = ReadConfig();
            const std::string place =
                "WINDOW_X = " + std::to_string(c.placed.x) + "\nWINDOW_Y = " + std::to_string(c.placed.y) + "\n";
            EXPECT_NE(saved.find(place), std::string::npos)
                << c.what << ", start " << start << ":\n" << saved;
        }
    }
}

} // namespace
