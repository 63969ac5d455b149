// Texts, best times and screenshot names.
#include "game/game.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

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
    const fs::path start = fs::current_path();
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::current_path(dir);
    std::ofstream("Tiny Lovely Game_0.bmp") << "x";
    std::ofstream("Tiny Lovely Game_1.bmp") << "x";
    // A name of another case is taken as well: the save would resolve to it.
    std::ofstream("TINY LOVELY GAME_2.BMP") << "x";
    char name[260];
    EXPECT_TRUE(ScreenshotName(name, sizeof name, "Tiny Lovely Game"));
    EXPECT_STREQ(name, "Tiny Lovely Game_3.bmp");
    // A small buffer cuts the title; one too small for the number refuses.
    EXPECT_TRUE(ScreenshotName(name, 20, "Tiny Lovely Game"));
    EXPECT_STREQ(name, "Tiny Lovely G_0.bmp");
    EXPECT_FALSE(ScreenshotName(name, 7, "Tiny Lovely Game"));
    fs::current_path(start);
    fs::remove_all(dir);
}

// The title is a caption that another user's settings file may give. Put
// into the path as it was, "/home/<player>/pwn" or "../../x" had F5 write
// pictures into the player's home, and a title of 259 characters or more
// took none. Whatever the title holds, the picture is made in the game's
// folder.
TEST(GameScreenshots, AnyTitleNamesAFileBesideTheGame)
{
    namespace fs = std::filesystem;
    const struct {
        const char* title; // repeated `times` times
        const char* file;  // made of the title's first `kept` bytes when null
        int times = 1;
        size_t kept = 0;
    } rows[] = {
        {"Quarn Race", "Quarn Race_0.bmp"},
        {"/home/player/pwn", "_home_player_pwn_0.bmp"},
        {"../../x", "_._.._x_0.bmp"},
        {"/", "__0.bmp"},
        {"..", "_._0.bmp"},
        {".hidden", "_hidden_0.bmp"},
        {"", "screenshot_0.bmp"},
        {"two\nlines\t", "two_lines__0.bmp"},
        {"a", nullptr, 300, 249},
        // 249 bytes would end inside a letter: 124 letters are kept.
        {"\xC3\xA9", nullptr, 300, 248},
    };
    const fs::path dir = fs::temp_directory_path() / "quarn_game_shot_titles";
    const fs::path start = fs::current_path();
    for (const auto& row : rows) {
        std::string title;
        for (int i = 0; i < row.times; ++i)
            title += row.title;
        const std::string file = row.file ? row.file : title.substr(0, row.kept) + "_0.bmp";
        SCOPED_TRACE(title.substr(0, 40));
        fs::remove_all(dir);
        fs::create_directories(dir / "game");
        fs::current_path(dir / "game");
        char name[260] = {};
        EXPECT_TRUE(ScreenshotName(name, sizeof name, title.c_str()));
        EXPECT_EQ(std::string(name), file);
        // The file the save would make, there and nowhere else.
        EXPECT_TRUE(static_cast<bool>(std::ofstream(name) << "x"));
        fs::current_path(start);
        EXPECT_TRUE(fs::is_regular_file(dir / "game" / file));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
    }
    fs::remove_all(dir);
}

} // namespace
