#include "platform/scaling.h"

#include <gtest/gtest.h>

namespace {

using platform::Point;
using platform::Rect;
using platform::Size;

TEST(Letterbox, KeepsTheAspectAndCentresTheBars)
{
    EXPECT_EQ(platform::letterbox({640, 480}, {1280, 960}), (Rect{0, 0, 1280, 960}));
    EXPECT_EQ(platform::letterbox({640, 480}, {1920, 1080}), (Rect{240, 0, 1440, 1080}));
    EXPECT_EQ(platform::letterbox({800, 600}, {1080, 1920}), (Rect{0, 555, 1080, 810}));
    EXPECT_EQ(platform::letterbox({0, 0}, {100, 50}), (Rect{0, 0, 100, 50}));
}

TEST(Letterbox, MapsPointsBothWaysThroughThePicture)
{
    const Size frame{640, 480}, area{1920, 1080};
    EXPECT_EQ(platform::frame_to_area(frame, area, {0, 0}), (Point{240, 0}));
    EXPECT_EQ(platform::frame_to_area(frame, area, {640, 480}), (Point{1680, 1080}));
    for (int x = 0; x < 640; x += 7) {
        const Point p{x, x * 3 / 4};
        EXPECT_EQ(platform::area_to_frame(frame, area, platform::frame_to_area(frame, area, p)), p);
    }
    // The bars lie outside the frame on either side.
    EXPECT_EQ(platform::area_to_frame(frame, area, {239, 0}).x, -1);
    EXPECT_EQ(platform::area_to_frame(frame, area, {1680, 0}).x, 640);
}

} // namespace
