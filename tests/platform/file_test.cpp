#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

class PlatformFile : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("platform_file_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const char* name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(PlatformFile, WriteSeekReadRoundTrip)
{
    auto f = platform::file_open(path("a.bin").c_str(), platform::FileOpen::read_write_truncate);
    ASSERT_NE(f, platform::invalid_file);
    EXPECT_EQ(platform::file_write(f, "abcdef", 6), 6);
    EXPECT_EQ(platform::file_size(f), 6);
    EXPECT_EQ(platform::file_seek(f, -2, platform::SeekFrom::end), 4);
    char buf[8] = {};
    EXPECT_EQ(platform::file_read(f, buf, sizeof buf), 2);
    EXPECT_EQ(std::string(buf), "ef");
    EXPECT_TRUE(platform::file_sync(f));
    EXPECT_TRUE(platform::file_close(f));
}

TEST_F(PlatformFile, OpenModesKeepOrEmptyTheFile)
{
    auto f = platform::file_open(path("b.txt").c_str(), platform::FileOpen::write_truncate);
    ASSERT_NE(f, platform::invalid_file);
    ASSERT_EQ(platform::file_write(f, "12345", 5), 5);
    platform::file_close(f);

    f = platform::file_open(path("b.txt").c_str(), platform::FileOpen::append_always);
    ASSERT_EQ(platform::file_write(f, "6", 1), 1);
    EXPECT_EQ(platform::file_size(f), 6);
    platform::file_close(f);

    f = platform::file_open(path("b.txt").c_str(), platform::FileOpen::write_always);
    ASSERT_EQ(platform::file_write(f, "X", 1), 1);
    EXPECT_EQ(platform::file_size(f), 6) << "write_always must not empty the file";
    platform::file_close(f);

    f = platform::file_open(path("b.txt").c_str(), platform::FileOpen::read_existing);
    char buf[8] = {};
    EXPECT_EQ(platform::file_read(f, buf, sizeof buf), 6);
    EXPECT_EQ(std::string(buf), "X23456");
    EXPECT_EQ(platform::file_write(f, "no", 2), -1);
    EXPECT_EQ(platform::last_error(), EBADF);
    platform::file_close(f);
}

TEST_F(PlatformFile, FailuresLeaveTheirErrorNumber)
{
    EXPECT_EQ(platform::file_open(path("missing").c_str(), platform::FileOpen::read_existing), platform::invalid_file);
    EXPECT_EQ(platform::last_error(), ENOENT);
    EXPECT_EQ(platform::file_open(path("missing").c_str(), platform::FileOpen::read_write_existing), platform::invalid_file);
    EXPECT_EQ(platform::last_error(), ENOENT);
    // A directory is not a file, not even for reading.
    EXPECT_EQ(platform::file_open(dir_.c_str(), platform::FileOpen::read_existing), platform::invalid_file);
    EXPECT_EQ(platform::last_error(), EISDIR);
    EXPECT_EQ(platform::file_open(dir_.c_str(), platform::FileOpen::write_truncate), platform::invalid_file);
    EXPECT_EQ(platform::last_error(), EISDIR);
    // Nor is a FIFO or a device: the open neither waits for a writer nor
    // hands out a stream that never ends.
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    for (const std::string& other : {path("fifo"), std::string("/dev/zero")}) {
        EXPECT_EQ(platform::file_open(other.c_str(), platform::FileOpen::read_existing), platform::invalid_file) << other;
        EXPECT_EQ(platform::last_error(), platform::error_not_regular_file) << other;
        EXPECT_EQ(platform::file_open_stream(other.c_str(), platform::FileOpen::read_existing), nullptr) << other;
    }
    EXPECT_EQ(platform::system_error_text(platform::error_not_regular_file), "Not a regular file");
    EXPECT_FALSE(platform::file_close(platform::invalid_file));
    EXPECT_EQ(platform::file_seek(platform::invalid_file, 0, platform::SeekFrom::begin), -1);
    EXPECT_EQ(platform::file_size(platform::invalid_file), -1);
}

TEST_F(PlatformFile, PathExistsForFilesAndDirectoriesAndPageSizeIsSane)
{
    EXPECT_TRUE(platform::path_exists(dir_.c_str()));
    EXPECT_FALSE(platform::path_exists(path("nothing").c_str()));
    EXPECT_FALSE(platform::path_exists(nullptr));
    uint32_t page = platform::page_size();
    EXPECT_GE(page, 4096u);
    EXPECT_EQ(page & (page - 1), 0u);
}

} // namespace
