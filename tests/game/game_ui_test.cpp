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
    // A name of another case is another file: the name is never resolved.
    std::ofstream("TINY LOVELY GAME_2.BMP") << "x";
    char name[260];
    EXPECT_TRUE(ScreenshotName(name, sizeof name, "Tiny Lovely Game"));
    EXPECT_STREQ(name, "Tiny Lovely Game_2.bmp");
    // A small buffer cuts the title; one too small for the number refuses.
    EXPECT_TRUE(ScreenshotName(name, 20, "Tiny Lovely Game"));
    EXPECT_STREQ(name, "Tiny Lovely G_0.bmp");
    EXPECT_FALSE(ScreenshotName(name, 7, "Tiny Lovely Game"));
    fs::current_path(start);
    fs::remove_all(dir);
}

// The title is a caption that another user's settings file may give, and
// the picture's name is never resolved as a path. Put into the path as it
// was, "/home/<player>/pwn" or "../../x" had F5 write pictures into the
// player's home, and so had "\home\<player>\pwn" and "x\..\..\evil" once
// '\' was read as a separator; the player's own "Quarn \ Race" took none.
// A title long enough that the save's temporary name ("<name>.99.tmp~")
// passed the 255 bytes of a file name took none either. Whatever the
// title holds, the game's own save makes the picture in the game's folder,
// under the first free number, and nothing else.
TEST(GameScreenshots, AnyTitleNamesAFileBesideTheGame)
{
    namespace fs = std::filesystem;
    gfxInit();
    const fs::path dir = fs::temp_directory_path() / "quarn_game_shot_titles";
    // "@" stands for this test's folder, named with '\' for '/': read as a
    // path, such a title leads out of the game's folder into it.
    std::string here;
    for (char c : dir.string())
        here += c == '/' ? '\\' : c;
    const struct {
        const char* title; // repeated `times` times
        const char* file;  // the title's first `kept` bytes, then the number, when null
        int times = 1;
        size_t kept = 0;
        int existing = 0; // shots already there, numbered from 0
    } rows[] = {
        {"Quarn Race", "Quarn Race_0.bmp"},
        {"Quarn \\ Race", "Quarn \\ Race_0.bmp"},
        {"/home/player/pwn", "_home_player_pwn_0.bmp"},
        {"@\\pwn", nullptr},
        {"x\\..\\..\\evil", "x\\..\\..\\evil_0.bmp"},
        {"..\\..\\x", "_.\\..\\x_0.bmp"},
        {"../../x", "_._.._x_0.bmp"},
        {"/", "__0.bmp"},
        {"..", "_._0.bmp"},
        {".hidden", "_hidden_0.bmp"},
        {"", "screenshot_0.bmp"},
        {"two\nlines\t", "two_lines__0.bmp"},
        // What a report writes out steers a listing: each one '_'.
        {"C1 \xC2\x80\xC2\x9B" "2J\xC2\x9F", "C1 __2J__0.bmp"},
        {"abc\xE2\x80\xAE" "fdp.exe", "abc_fdp.exe_0.bmp"},
        {"\xE2\x81\xA6x\xE2\x81\xA9\xE2\x80\xA8\xE2\x80\xAA", "_x____0.bmp"},
        {"caf\xE9 \x9B\xF5\x80", "caf_ ____0.bmp"},
        {"\xC2\xA0\xE2\x80\xAF\xE2\x81\xAA", "\xC2\xA0\xE2\x80\xAF\xE2\x81\xAA_0.bmp"},
        // 247 bytes with the number: "_0.bmp.99.tmp~" still fits in 255.
        {"a", nullptr, 241, 241},
        {"a", nullptr, 300, 241},
        {"a", nullptr, 300, 240, 10},
        {"a", nullptr, 300, 239, 100},
        {"\\", nullptr, 300, 240, 10},
        // 241 bytes would end inside a letter: whole letters are kept.
        {"\xC3\xA9", nullptr, 150, 240},
        {"\xE8\xA1\x8C", nullptr, 100, 240},
        {"\xF0\x9F\x98\x80", nullptr, 70, 240},
        {"a\xE8\xA1\x8C", nullptr, 70, 241},
    };
    imgRowCTy screen;
    const pelFmtCTy format(pel_FMT_R8G8B8);
    screen.SetSize(5, 3, &format);
    ASSERT_EQ(screen.width, 5);
    const fs::path start = fs::current_path();
    for (const auto& row : rows) {
        std::string title;
        for (int i = 0; i < row.times; ++i)
            title += row.title;
        if (title[0] == '@')
            title.replace(0, 1, here);
        const auto suffix = [](int n) { return std::string("_").append(std::to_string(n)).append(".bmp"); };
        const auto numbered = [&](int n) { return title.substr(0, row.kept) + suffix(n); };
        std::string file = row.file ? row.file : row.kept ? numbered(row.existing) : title + "_0.bmp";
        SCOPED_TRACE(title.substr(0, 40) + " (" + std::to_string(title.size()) + " bytes)");
        fs::remove_all(dir);
        fs::create_directories(dir / "game" / "x");
        for (int n = 0; n < row.existing; ++n) {
            // Each number's name as the title cut for it (ASCII rows).
            std::ofstream(dir / "game" / (title.substr(0, 247 - suffix(n).size()) + suffix(n))) << "x";
        }
        fs::current_path(dir / "game");
        EXPECT_EQ(SaveScreenshot(&screen, title.c_str()), 0);
        fs::current_path(start);
        std::ifstream made(dir / "game" / file, std::ios::binary);
        char magic[2] = {};
        EXPECT_TRUE(fs::is_regular_file(dir / "game" / file) && made.read(magic, 2) && magic[0] == 'B' &&
                    magic[1] == 'M')
            << file;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "game"), fs::directory_iterator{}), row.existing + 2);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
        EXPECT_TRUE(fs::is_empty(dir / "game" / "x"));
    }
    fs::remove_all(dir);
}

} // namespace
