// Texts, best times and screenshot names.
#include "game/game.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(GameTexts, RaceTimes)
{
    const struct {
        int32_t ms;
        const char* text;
    } cases[] = { { 61500, "1:01" }, { 93000, "1:33" }, { 999, "0:00" }, { 1, "0:00" }, { 0, "--:--" },
        { -5, "--:--" }, { 3599999, "59:59" } };
    for (const auto& c : cases) {
        char text[16];
        FormatRaceTime(text, sizeof text, c.ms);
        EXPECT_STREQ(text, c.text) << c.ms;
    }
}

TEST(GameTexts, BestResult)
{
    EXPECT_EQ(BestResult(95000, 93000), 93000);
    EXPECT_EQ(BestResult(95000, 97000), 95000);
    EXPECT_EQ(BestResult(95000, 95000), 95000);
    EXPECT_EQ(BestResult(0, 97000), 97000);
    EXPECT_EQ(BestResult(-1, 97000), 97000);
}

TEST(GameScreenshots, FirstFreeNumber)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "quarn_game_shots";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string base = (dir / "Tiny Lovely Game").string();
    std::ofstream(base + "_0.bmp") << "x";
    std::ofstream(base + "_1.bmp") << "x";
    // A name of another case is taken as well: the save would resolve to it.
    std::ofstream(dir / "TINY LOVELY GAME_2.BMP") << "x";
    char name[260];
    ASSERT_TRUE(ScreenshotName(name, sizeof name, base.c_str()));
    EXPECT_EQ(std::string(name), base + "_3.bmp");
    // A name that does not fit is refused, not cut.
    EXPECT_FALSE(ScreenshotName(name, 20, base.c_str()));
    fs::remove_all(dir);
}

} // namespace
