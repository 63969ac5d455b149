#include "files_test_support.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include <unistd.h>

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

// Each entry says what has its name where it stands, as the rule for
// shared folders sees it: a link is not followed, and a name the rule
// refuses (another user's in a folder every user may write to) says
// nothing of itself. The listing once followed another user's link to
// give the size and time of what it led to.
TEST(DirOpen, EntriesCarryKindAndSize)
{
    namespace fs = std::filesystem;
    const struct {
        const char* what;
        fs::perms folder;
        const char* name;
        bool subdir;
        uint64_t size;
        bool dated;
        uid_t owner = ::geteuid(); // of the name
    } rows[] = {
        {"a file", fs::perms(0755), "five", false, 5, true},
        {"a folder", fs::perms(0755), "folder", true, 0, true},
        {"the player's link to a file", fs::perms(0755), "link", false, 4, true},
        {"another user's file in a folder every user may write to", fs::perms(01777), "five", false, 0, false,
         65534},
        {"another user's link to a file there", fs::perms(01777), "link", false, 0, false, 65534},
        {"another user's link to a folder there", fs::perms(0777), "to_folder", false, 0, false, 65534},
        {"another user's file in the player's folder", fs::perms(0755), "five", false, 5, true, 65534},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.owner != ::geteuid() && ::geteuid() != 0) {
            std::printf("the row '%s' is skipped: only root can give a name away\n", row.what);
            continue;
        }
        ScratchDir dir;
        write_text(dir.file("five"), "12345");
        fs::create_directory(dir.path() / "folder");
        fs::create_symlink("five", dir.path() / "link");
        fs::create_directory_symlink("folder", dir.path() / "to_folder");
        fs::permissions(dir.path(), row.folder);
        ASSERT_EQ(::lchown(dir.file(row.name).c_str(), row.owner, ::getegid()), 0);
        dirTy* search = dirOpen(dir.path().c_str());
        ASSERT_NE(search, nullptr);
        int seen = 0;
        while (dirNext(search)) {
            if (std::string(search->find.name) != row.name)
                continue;
            EXPECT_EQ((search->find.attrib & DIR_ATTR_SUBDIR) != 0, row.subdir);
            if (!row.subdir) {
                EXPECT_EQ(search->find.size, row.size);
            }
            EXPECT_EQ(search->find.writeTime > 0, row.dated);
            ++seen;
        }
        EXPECT_EQ(seen, 1);
        dirClose(search);
    }
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
