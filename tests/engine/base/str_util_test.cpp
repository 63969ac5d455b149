#include "base_test_support.h"

#include <cstring>
#include <string>

namespace {

TEST(StrCopy, CopiesCutsAndPointsAtTheEnd)
{
    char d[8];
    EXPECT_EQ(strCopy(d, sizeof d, "abc"), d + 3);
    EXPECT_STREQ(d, "abc");
    EXPECT_EQ(strCopy(d, sizeof d, nullptr), d);
    EXPECT_STREQ(d, "");
    EXPECT_EQ(strCopy(d, sizeof d, "0123456789"), d + 7);
    EXPECT_STREQ(d, "0123456");
    EXPECT_EQ(strCopy(nullptr, 4, "x"), nullptr);
    EXPECT_EQ(strCopy(d, 0, "x"), nullptr);
}

TEST(StrFindLastOf, FindsTheLastMember)
{
    const char* path = "a/b\\c:d";
    EXPECT_EQ(strFindLastOf(path, "/\\"), path + 3);
    EXPECT_EQ(strFindLastOf(path, "\\/:"), path + 5);
    EXPECT_EQ(strFindLastOf(path, "xyz"), nullptr);
    EXPECT_EQ(strFindLastOf(static_cast<const char*>(nullptr), "a"), nullptr);
}

std::string append_sep(const char* text, size_t size = 32)
{
    char d[32];
    std::memset(d, '#', sizeof d);
    EXPECT_EQ(strAppendSep(d, size, text), d);
    return d;
}

TEST(StrAppendSep, AddsSlashUnlessThereIsASeparator)
{
    EXPECT_EQ(append_sep("dir"), "dir/");
    EXPECT_EQ(append_sep("dir/"), "dir/");
    EXPECT_EQ(append_sep("dir\\"), "dir\\");
    EXPECT_EQ(append_sep("c:"), "c:");
    EXPECT_EQ(append_sep(""), "");
    EXPECT_EQ(append_sep(nullptr), "");
    // No room for the separator: the text stays as it is, terminated.
    EXPECT_EQ(append_sep("dir", 4), "dir");
    EXPECT_EQ(append_sep("dir", 5), "dir/");
}

TEST(PathExt, LastDotAfterTheFirstCharacter)
{
    const char* a = "a.b.c";
    EXPECT_EQ(pathExt(a), a + 3);
    const char* hidden = ".abc";
    EXPECT_EQ(pathExt(hidden), hidden + 4);
    const char* plain = "name";
    EXPECT_EQ(pathExt(plain), plain + 4);
    const char* empty = "";
    EXPECT_EQ(pathExt(empty), empty);
    EXPECT_EQ(pathExt(static_cast<const char*>(nullptr)), nullptr);
    char editable[] = "shot.bmp";
    char* ext = pathExt(editable);
    *ext = '\0';
    EXPECT_STREQ(editable, "shot");
}

} // namespace
