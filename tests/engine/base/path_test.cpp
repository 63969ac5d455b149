#include "base_test_support.h"

#include <string>

namespace {

struct SplitCase {
    const char* path;
    const char* dir;
    const char* name;
    const char* ext;
};

TEST(PathSplit, SplitsAtTheLastSeparatorAndTheLastDotAfterIt)
{
    const SplitCase cases[] = {
        { "c:\\dir\\a.b.txt", "c:\\dir\\", "a.b", ".txt" },
        { "dir.x/file", "dir.x/", "file", "" },
        { "/usr/local/game.cfg", "/usr/local/", "game", ".cfg" },
        { "c:game.exe", "c:", "game", ".exe" },
        { "plain", "", "plain", "" },
        { "dir/", "dir/", "", "" },
        { "", "", "", "" },
        { "a/b\\c.d", "a/b\\", "c", ".d" },
    };
    for (const auto& c : cases) {
        char dir[260], name[260], ext[260];
        pathSplit(c.path, dir, sizeof(dir), name, sizeof(name), ext, sizeof(ext));
        EXPECT_STREQ(dir, c.dir) << c.path;
        EXPECT_STREQ(name, c.name) << c.path;
        EXPECT_STREQ(ext, c.ext) << c.path;
    }
}

TEST(PathSplit, OutputsAreOptionalAndCutToTheirSize)
{
    char name[4] = "xyz";
    pathSplit("folder/longname.ext", nullptr, 0, name, sizeof(name), nullptr, 0);
    EXPECT_STREQ(name, "lon");
    char ext[8] = "old";
    pathSplit(nullptr, nullptr, 0, nullptr, 0, ext, sizeof(ext));
    EXPECT_STREQ(ext, "");
}

TEST(PathStripDir, KeepsTheTextAfterTheLastSeparator)
{
    EXPECT_STREQ(pathStripDir("a/b\\c:d.e"), "d.e");
    EXPECT_STREQ(pathStripDir("name"), "name");
    EXPECT_STREQ(pathStripDir("dir/"), "");
}

} // namespace
