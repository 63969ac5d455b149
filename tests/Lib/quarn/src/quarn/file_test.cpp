#include "quarn/File.h"

#include "scratch_dir.h"

#include "platform/data_folder.h"
#include "platform/trust.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <unistd.h>

namespace {

using quarn::File;
namespace om = quarn::open_mode;

std::string read_all(File& f, uint32_t chunk = 64)
{
    std::string all;
    char buf[256];
    while (uint32_t n = f.read(buf, chunk))
        all.append(buf, n);
    return all;
}

TEST(FileOpen, ModeTable)
{
    quarn_test::ScratchDir dir;
    const std::string p = dir / "t.bin";
    struct Row {
        uint32_t mode;
        bool creates;   // opens when the file is missing
        bool empties;   // an existing file is emptied
        bool writes;
    } rows[] = {
        {om::in, false, false, false},
        {om::out, true, false, true},
        {om::out | om::app, true, false, true},
        {om::in | om::out, false, false, true},
        {om::out | om::trunc, true, true, true},
        {om::in | om::out | om::trunc, true, true, true},
        {om::in | om::binary | om::ate, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        std::filesystem::remove(p);
        File f;
        EXPECT_EQ(f.open(p.c_str(), row.mode), row.creates);
        EXPECT_EQ(f.is_open(), row.creates);
        f.close();

        dir.write("t.bin", "abc");
        ASSERT_TRUE(f.open(p.c_str(), row.mode));
        EXPECT_EQ(f.mode(), row.mode);
        EXPECT_EQ(f.size(), row.empties ? 0u : 3u);
        EXPECT_EQ(f.write("Z", 1), row.writes ? 1u : 0u);
        EXPECT_TRUE(f.close());
        EXPECT_EQ(f.mode(), 0u);
    }
}

TEST(FileOpen, RefusedModesNeverReachTheSystem)
{
    quarn_test::ScratchDir dir;
    const std::string p = dir / "never";
    for (uint32_t mode : {0u, om::app, om::in | om::app, om::trunc, om::in | om::trunc, om::binary, om::ate}) {
        File f;
        EXPECT_FALSE(f.open(p.c_str(), mode)) << mode;
    }
    EXPECT_FALSE(std::filesystem::exists(p));
    File f;
    EXPECT_FALSE(f.open(nullptr, om::in));
}

TEST(FileOpen, AlreadyOpenIsRefusedAndFailuresRecordTheError)
{
    quarn_test::ScratchDir dir;
    dir.write("a", "1");
    errno = ENOENT; // left over from some unrelated call
    File f;
    EXPECT_EQ(f.last_error(), nullptr) << "no call of this file failed yet";
    ASSERT_TRUE(f.open((dir / "a").c_str(), om::in));
    EXPECT_EQ(f.last_error(), nullptr);
    EXPECT_FALSE(f.open((dir / "a").c_str(), om::in));
    EXPECT_TRUE(f.is_open());
    f.close();
    EXPECT_FALSE(f.close()) << "closing twice";

    EXPECT_FALSE(f.open((dir / "missing").c_str(), om::in));
    auto* error = dynamic_cast<const quarn::SystemErrorInfo*>(f.last_error());
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code(), ENOENT);
    char text[128];
    error->describe(text, sizeof text);
    EXPECT_STREQ(text, "No such file or directory");

    EXPECT_FALSE(f.open(dir.path().c_str(), om::in)) << "a directory is not a file";
    EXPECT_EQ(static_cast<const quarn::SystemErrorInfo*>(f.last_error())->code(), EISDIR);
}

TEST(FileOpen, AteStartsAtTheEnd)
{
    quarn_test::ScratchDir dir;
    dir.write("a", "hello");
    File f;
    ASSERT_TRUE(f.open((dir / "a").c_str(), om::in | om::out | om::ate | om::binary));
    EXPECT_EQ(f.seek(0, quarn::seek_dir::current), 5);
    f.write("!", 1);
    f.close();
    EXPECT_EQ(dir.read("a"), "hello!");
}

TEST(FileOpen, AppendWritesAlwaysGoToTheEnd)
{
    quarn_test::ScratchDir dir;
    dir.write("a", "12");
    File f;
    ASSERT_TRUE(f.open((dir / "a").c_str(), om::out | om::app));
    EXPECT_EQ(f.seek(0, quarn::seek_dir::beginning), 0);
    EXPECT_EQ(f.write("3", 1), 1u);
    f.close();
    EXPECT_EQ(dir.read("a"), "123");
}

TEST(FileSeek, Errors)
{
    quarn_test::ScratchDir dir;
    dir.write("six", "123456");
    File f;
    ASSERT_TRUE(f.open((dir / "six").c_str(), om::in | om::binary));
    EXPECT_EQ(f.seek(-5, quarn::seek_dir::beginning), -1);
    EXPECT_EQ(f.seek(-10, quarn::seek_dir::end), -1);
    EXPECT_EQ(f.seek(0, 3), -1);
    EXPECT_EQ(f.seek(-6, quarn::seek_dir::end), 0);
    EXPECT_EQ(f.seek(4, quarn::seek_dir::beginning), 4);
    EXPECT_EQ(f.seek(-1, quarn::seek_dir::current), 3);
    EXPECT_EQ(f.seek(-4, quarn::seek_dir::current), -1);
    EXPECT_EQ(static_cast<const quarn::SystemErrorInfo*>(f.last_error())->code(), EINVAL);
}

TEST(FileSize, LargeFilesClampInsteadOfWrapping)
{
    quarn_test::ScratchDir dir;
    File f;
    ASSERT_TRUE(f.open((dir / "big").c_str(), om::out | om::trunc | om::binary));
    // A sparse file just past 4 GiB: wrapped to 32 bits it would read as 1.
    const int64_t past = (int64_t(1) << 32);
    ASSERT_EQ(f.seek(past, quarn::seek_dir::beginning), past);
    ASSERT_EQ(f.write("x", 1), 1u);
    EXPECT_EQ(f.size(), 0xFFFFFFFFu);
    EXPECT_EQ(f.seek(0, quarn::seek_dir::end), past + 1);
}

TEST(FileTextMode, CrLfAndCtrlZ)
{
    quarn_test::ScratchDir dir;
    File f;
    dir.write("crlf", "a\r\nb");
    ASSERT_TRUE(f.open((dir / "crlf").c_str(), om::in));
    char buf[16];
    ASSERT_EQ(f.read(buf, sizeof buf), 3u);
    EXPECT_EQ(std::string(buf, 3), "a\nb");
    f.close();

    // A read that ends on CR looks one byte ahead and leaves the LF for the
    // next read.
    dir.write("split", "a\r\nb");
    ASSERT_TRUE(f.open((dir / "split").c_str(), om::in));
    ASSERT_EQ(f.read(buf, 2), 1u);
    EXPECT_EQ(buf[0], 'a');
    EXPECT_EQ(f.seek(0, quarn::seek_dir::current), 2);
    ASSERT_EQ(f.read(buf, 2), 2u);
    EXPECT_EQ(std::string(buf, 2), "\nb");
    f.close();

    // A lone CR stays, also as the last byte of the file.
    dir.write("lone", "a\rb\r");
    ASSERT_TRUE(f.open((dir / "lone").c_str(), om::in));
    EXPECT_EQ(read_all(f, 2), "a\rb\r");
    f.close();

    dir.write("ctrlz", "ab\x1a" "cd");
    ASSERT_TRUE(f.open((dir / "ctrlz").c_str(), om::in));
    ASSERT_EQ(f.read(buf, sizeof buf), 2u);
    EXPECT_EQ(f.seek(0, quarn::seek_dir::current), 2) << "the next read starts at the Ctrl-Z";
    EXPECT_EQ(f.read(buf, sizeof buf), 0u);
    f.close();

    // Binary mode passes everything.
    ASSERT_TRUE(f.open((dir / "ctrlz").c_str(), om::in | om::binary));
    EXPECT_EQ(read_all(f), std::string("ab\x1a" "cd"));
}

TEST(FileTextMode, WriteTextMakesCrLf)
{
    quarn_test::ScratchDir dir;
    File f;
    ASSERT_TRUE(f.open((dir / "t").c_str(), om::out | om::trunc));
    std::string lines;
    for (int i = 0; i < 300; ++i)
        lines += "line\n";
    EXPECT_TRUE(f.write_text(lines.data(), static_cast<uint32_t>(lines.size())));
    f.close();
    std::string expected;
    for (int i = 0; i < 300; ++i)
        expected += "line\r\n";
    EXPECT_EQ(dir.read("t"), expected);

    ASSERT_TRUE(f.open((dir / "b").c_str(), om::out | om::trunc | om::binary));
    EXPECT_TRUE(f.write_text("x\ny", 3));
    f.close();
    EXPECT_EQ(dir.read("b"), "x\ny");
}

TEST(FileAttach, BorrowedHandlesAreNeverClosed)
{
    quarn_test::ScratchDir dir;
    platform::FileHandle h = platform::file_open((dir / "a").c_str(), platform::FileOpen::read_write_truncate);
    ASSERT_NE(h, platform::invalid_file);
    {
        File f;
        EXPECT_FALSE(f.attach(platform::invalid_file, om::out));
        ASSERT_TRUE(f.attach(h, om::out | om::binary));
        EXPECT_FALSE(f.attach(h, om::out)) << "already open";
        EXPECT_EQ(f.write("abc", 3), 3u);
    } // destructor closes the File only
    EXPECT_EQ(platform::file_seek(h, 0, platform::SeekFrom::begin), 0);
    char buf[4] = {};
    EXPECT_EQ(platform::file_read(h, buf, 3), 3);
    EXPECT_STREQ(buf, "abc");
    EXPECT_TRUE(platform::file_close(h));
}

TEST(FileFailures, ReadOnlyFileRefusesWritingAndFlushOfClosedFile)
{
    quarn_test::ScratchDir dir;
    dir.write("ro", "x");
    File f;
    ASSERT_TRUE(f.open((dir / "ro").c_str(), om::in));
    EXPECT_EQ(f.write("y", 1), 0u);
    EXPECT_EQ(static_cast<const quarn::SystemErrorInfo*>(f.last_error())->code(), EBADF);
    f.close();
    EXPECT_FALSE(f.flush());
    EXPECT_EQ(f.size(), 0u);
}

// file_exists chooses what the loads then open (sound variants, a font's
// picture): it answers as the open does, through the rule for shared
// folders, the case rule and the bound data folder. A plain look at the
// name once answered "there" for files the open refuses, and "missing"
// for files it finds.
TEST(FileExists, AnswersAsTheOpenFindsIt)
{
    namespace fs = std::filesystem;
    const auto give_away = [](const fs::path& path) { return ::lchown(path.c_str(), 65534, 65534) == 0; };
    const struct {
        const char* what;
        std::function<bool(const fs::path&)> setup; // in the current folder, the scratch folder
        const char* name;
        bool exists;
        bool as_root = false;
    } rows[] = {
        {"a file", [](const fs::path&) { return true; }, "f", true},
        {"a folder", [](const fs::path&) { return true; }, ".", true},
        {"nothing", [](const fs::path&) { return true; }, "g", false},
        {"the player's link", [](const fs::path&) { return ::symlink("f", "l") == 0; }, "l", true},
        {"another case", [](const fs::path&) { return true; }, "F", true},
        {"another user's file in a folder every user may write to",
         [&](const fs::path& here) {
             fs::permissions(here, fs::perms(01777));
             return give_away("f");
         },
         "f", false, true},
        {"another user's link there",
         [&](const fs::path& here) {
             fs::permissions(here, fs::perms(01777));
             return ::symlink("f", "l") == 0 && give_away("l");
         },
         "l", false, true},
        {"a name in the bound data folder",
         [](const fs::path&) {
             fs::create_directory("DATA");
             std::ofstream("DATA/x") << "x";
             platform::data_folder_bind("DATA", platform::folder_open("DATA"), 0);
             fs::rename("DATA", "moved");
             return fs::create_directory("DATA");
         },
         "data/x", true},
        {"a name in a refused data folder",
         [](const fs::path&) {
             fs::create_directory("DATA");
             std::ofstream("DATA/x") << "x";
             platform::data_folder_bind("DATA", platform::invalid_folder, platform::error_untrusted_owner);
             return true;
         },
         "DATA/x", false},
    };
    const fs::path start = fs::current_path();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.as_root && ::geteuid() != 0) {
            std::printf("the row '%s' is skipped: only root can give a name away\n", row.what);
            continue;
        }
        quarn_test::ScratchDir dir;
        dir.write("f", "");
        fs::current_path(dir.path());
        ASSERT_TRUE(row.setup(dir.path()));
        EXPECT_EQ(quarn::file_exists(row.name), row.exists);
        platform::data_folder_unbind();
        fs::current_path(start);
    }
    EXPECT_FALSE(quarn::file_exists(nullptr));
    EXPECT_GE(quarn::AbstractFile::page_size(), 4096u);
}

} // namespace
