#include "files_test_support.h"

#include <algorithm>
#include <set>

namespace {

std::vector<std::string> list_all(dirTy* search)
{
    std::vector<std::string> names;
    while (dirNext(search))
        names.push_back(search->find.name);
    return names;
}

TEST(DirOpen, ListsEveryEntryWithAndWithoutDots)
{
    ScratchDir dir;
    write_text(dir.file("a.txt"), "12345");
    write_text(dir.file("noext"), "");
    std::filesystem::create_directory(dir.path() / "sub.d");

    for (const std::string& arg : { dir.path().string(), dir.path().string() + "/" }) {
        dirTy* search = dirOpen(arg.c_str());
        ASSERT_NE(search, nullptr) << arg;
        EXPECT_EQ(search->valid, 1);
        EXPECT_EQ(search->firstPending, 1);
        // The first entry is there at once, as after a find-first.
        EXPECT_STREQ(search->find.name, ".");
        const auto names = list_all(search);
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ(names[0], ".");
        EXPECT_EQ(names[1], "..");
        EXPECT_EQ(std::set<std::string>(names.begin() + 2, names.end()),
            (std::set<std::string> { "a.txt", "noext", "sub.d" }));
        EXPECT_EQ(dirNext(search), 0);
        dirClose(search);
    }
}

TEST(DirOpen, EntriesCarryKindAndSize)
{
    ScratchDir dir;
    write_text(dir.file("five"), "12345");
    std::filesystem::create_directory(dir.path() / "folder");
    dirTy* search = dirOpen(dir.path().c_str());
    ASSERT_NE(search, nullptr);
    int seen = 0;
    while (dirNext(search)) {
        const std::string name = search->find.name;
        if (name == "five") {
            EXPECT_EQ(search->find.attrib & DIR_ATTR_SUBDIR, 0u);
            EXPECT_EQ(search->find.size, 5u);
            EXPECT_GT(search->find.writeTime, 0);
            ++seen;
        } else if (name == "folder") {
            EXPECT_NE(search->find.attrib & DIR_ATTR_SUBDIR, 0u);
            ++seen;
        }
    }
    EXPECT_EQ(seen, 2);
    dirClose(search);
}

TEST(DirOpen, MissingFolderGivesNullAndCloseTakesNull)
{
    ScratchDir dir;
    EXPECT_EQ(dirOpen(dir.file("missing").c_str()), nullptr);
    write_text(dir.file("file"), "x");
    EXPECT_EQ(dirOpen(dir.file("file").c_str()), nullptr);
    dirClose(nullptr);
    EXPECT_EQ(dirNext(nullptr), 0);
}

} // namespace
