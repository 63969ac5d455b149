// Presenting the engine's pixel buffers into the headless window's frame.
#include "platform/headless.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using platform::PixelFormat;

class Present : public testing::Test {
protected:
    void SetUp() override
    {
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
        window_ = platform::create_window({.client = {800, 600}});
        ASSERT_NE(window_, nullptr);
        // An 800x600 5:6:5 back buffer with a pattern that differs per pixel.
        back_.resize(800 * 600);
        for (int y = 0; y < 600; ++y) {
            for (int x = 0; x < 800; ++x)
                back_[size_t(y * 800 + x)] = uint16_t(x * 37 + y * 101);
        }
    }
    void TearDown() override
    {
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
    }
    platform::PixelView back() const { return {back_.data(), 1600, PixelFormat::rgb565, 800, 600}; }
    uint32_t back_rgb(int x, int y) const { return platform::unpack_pixel(PixelFormat::rgb565, back_[size_t(y * 800 + x)]); }
    uint32_t frame_rgb(int x, int y) const
    {
        return platform::read_pixel(platform::window_frame(window_), x, y) & 0xFFFFFF;
    }

    platform::WindowHandle window_ = nullptr;
    std::vector<uint16_t> back_;
};

TEST_F(Present, ANewFrameIsBlackAndTheClientSize)
{
    const auto frame = platform::window_frame(window_);
    EXPECT_EQ(frame.width, 800);
    EXPECT_EQ(frame.height, 600);
    EXPECT_EQ(frame.format, PixelFormat::xrgb8888);
    EXPECT_EQ(frame_rgb(0, 0), 0u);
    EXPECT_EQ(frame_rgb(799, 599), 0u);
}

TEST_F(Present, CopiesTheRectangleToItsPlaceAndNothingElse)
{
    ASSERT_TRUE(platform::present(window_, back(), {10, 20, 30, 40}, {100, 200}));
    for (int y = 0; y < 600; y += 3) {
        for (int x = 0; x < 800; x += 3) {
            const bool inside = x >= 100 && x < 130 && y >= 200 && y < 240;
            ASSERT_EQ(frame_rgb(x, y), inside ? back_rgb(x - 90, y - 180) : 0u) << x << "," << y;
        }
    }
    EXPECT_EQ(platform::headless::present_count(window_), 1u);
}

TEST_F(Present, DirtyRectanglesLandWhereTheyAreInTheBuffer)
{
    const platform::Rect rects[] = {{0, 0, 416, 24}, {0, 24, 416, 24}, {784, 576, 32, 48}};
    ASSERT_TRUE(platform::present_rects(window_, back(), rects));
    EXPECT_EQ(frame_rgb(415, 47), back_rgb(415, 47));
    EXPECT_EQ(frame_rgb(416, 47), 0u);
    // The last rectangle runs past the buffer and is clipped, not refused.
    EXPECT_EQ(frame_rgb(799, 599), back_rgb(799, 599));
    EXPECT_EQ(frame_rgb(783, 599), 0u);
    EXPECT_EQ(platform::headless::present_count(window_), 1u);
}

TEST_F(Present, RefusesBrokenBuffersAndKeepsTheFrame)
{
    platform::PixelView broken = back();
    broken.pitch = 2;
    EXPECT_FALSE(platform::present(window_, broken, {0, 0, 10, 10}, {0, 0}));
    EXPECT_FALSE(platform::present(nullptr, back(), {0, 0, 10, 10}, {0, 0}));
    EXPECT_EQ(frame_rgb(5, 5), 0u);
    EXPECT_EQ(platform::headless::present_count(window_), 0u);
}

TEST_F(Present, ResizingKeepsTheOverlapAndClearsTheRest)
{
    ASSERT_TRUE(platform::present(window_, back(), {0, 0, 800, 600}, {0, 0}));
    platform::set_client_size(window_, {640, 700});
    const auto frame = platform::window_frame(window_);
    EXPECT_EQ(frame.width, 640);
    EXPECT_EQ(frame.height, 700);
    EXPECT_EQ(frame_rgb(639, 599), back_rgb(639, 599));
    EXPECT_EQ(frame_rgb(639, 600), 0u);
}

TEST_F(Present, FrameDumpIsTheFrameAsBmp)
{
    ASSERT_TRUE(platform::present(window_, back(), {0, 0, 800, 600}, {0, 0}));
    const auto path = std::filesystem::temp_directory_path() / "platform_present_dump.bmp";
    ASSERT_TRUE(platform::headless::dump_frame(window_, path.string()));
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    EXPECT_EQ(file, platform::encode_bmp(platform::window_frame(window_)));
    // The bottom-left pixel is the first one stored.
    const uint32_t first = uint32_t(file[54]) | uint32_t(file[55]) << 8 | uint32_t(file[56]) << 16;
    EXPECT_EQ(first, back_rgb(0, 599));
    EXPECT_FALSE(platform::headless::dump_frame(nullptr, path.string()));
}

TEST_F(Present, OverlayTextDrawnIntoTheBackBufferShowsUpInTheFrame)
{
    platform::PixelSurface surface{back_.data(), 1600, PixelFormat::rgb565, 800, 600};
    const auto touched = platform::draw_text(surface, {10, 10}, "  12   59.5  V_M = 0");
    ASSERT_FALSE(touched.empty());
    ASSERT_TRUE(platform::present(window_, back(), touched, {touched.x, touched.y}));
    // The '1' of the text: its stem is lit, the paper around it black.
    const int x1 = 10 + 2 * platform::font_cell_width;
    EXPECT_EQ(frame_rgb(x1 + 2, 10), 0xFFFFFFu);
    EXPECT_EQ(frame_rgb(x1 + 5, 10), 0u);
}

} // namespace
