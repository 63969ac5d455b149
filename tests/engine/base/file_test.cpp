#include "engine/base/file_internal.h"
#include "files_test_support.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/own_device.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <numeric>

namespace {

using platform::BoxAnswer;

class FileTest : public BaseTest {
protected:
    ScratchDir dir;
};

bool box_mentions(const std::string& text)
{
    for (const auto& box : platform::shown_boxes())
        if (box.text.find(text) != std::string::npos)
            return true;
    return false;
}

TEST_F(FileTest, LoadReadsTheWholeFile)
{
    std::vector<uint8_t> bytes(70000);
    std::iota(bytes.begin(), bytes.end(), uint8_t { 0 });
    write_bytes(dir.file("a.bin"), bytes);

    fileTy* f = fileLoad(nullptr, dir.file("a.bin").c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->flags & FILE_ALLOCATED);
    EXPECT_STREQ(f->name, dir.file("a.bin").c_str());
    ASSERT_EQ(f->length, bytes.size());
    EXPECT_EQ(std::memcmp(f->view, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(fileClose(f, 0), 0);
}

// Names written for Windows: any case, backslashes.
TEST_F(FileTest, NamesAreResolvedWithoutRegardToCase)
{
    std::filesystem::create_directory(dir.path() / "Data");
    write_bytes(dir.file("Data/Car.imgs"), {7, 8, 9});
    const std::string windows_name = dir.path().string() + "\\DATA\\car.IMGS";
    fileTy* f = fileLoad(nullptr, windows_name.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->length, 3u);
    EXPECT_STREQ(f->name, windows_name.c_str());
    fileClose(f, 0);

    std::FILE* s = fileStdOpen((dir.path().string() + "/data/CAR.imgs").c_str(), FILE_STD_READ | FILE_STD_BINARY);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::fgetc(s), 7);
    EXPECT_EQ(fileStdClose(s), 0);

    // A new file lands in the folder that exists under another case.
    fileTy* w = fileCreate(nullptr, (dir.path().string() + "/DATA/new.bin").c_str(), 4, 4);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(fileWrite(w, 0, "abc", 3), 0);
    EXPECT_EQ(fileClose(w, 0), 0);
    EXPECT_EQ(read_text(dir.file("Data/new.bin")), "abc");
}

TEST_F(FileTest, LoadOfAnEmptyFileHasNoView)
{
    write_bytes(dir.file("empty"), {});
    fileTy record;
    fileTy* f = fileLoad(&record, dir.file("empty").c_str());
    ASSERT_EQ(f, &record);
    EXPECT_FALSE(record.flags & FILE_ALLOCATED);
    EXPECT_EQ(record.length, 0u);
    EXPECT_EQ(record.view, nullptr);
    fileClose(&record, 0);
}

TEST_F(FileTest, LoadFailuresAreReportedWithTheName)
{
    errInitFileMessages();
    const std::string missing = dir.file("missing.txt");
    EXPECT_EQ(fileLoad(nullptr, missing.c_str()), nullptr);
    EXPECT_TRUE(box_mentions("Can't open file '" + missing + "'"));
    EXPECT_EQ(errState.code, ERR_OPEN);

    // A folder opens with fopen on Linux but is no file to read.
    platform::clear_shown_boxes();
    EXPECT_EQ(fileLoad(nullptr, dir.path().c_str()), nullptr);
    EXPECT_TRUE(box_mentions("Can't open file '"));
    EXPECT_EQ(fileLoad(nullptr, nullptr), nullptr);
}

TEST_F(FileTest, LoadFailureInsideATryFrameUnwindsWithTheCode)
{
    errInitFileMessages();
    fileTy* result = reinterpret_cast<fileTy*>(1);
    const int code = errTry([&] { result = fileLoad(nullptr, dir.file("nope").c_str()); });
    EXPECT_EQ(code, ERR_OPEN);
    EXPECT_EQ(result, reinterpret_cast<fileTy*>(1));
    EXPECT_TRUE(platform::shown_boxes().empty());
}

TEST_F(FileTest, WrittenFileGrowsByTheStepAndIsCutAtClose)
{
    fileTy* f = fileCreate(nullptr, dir.file("x").c_str(), 100, 50);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->flags & FILE_WRITING);
    std::vector<uint8_t> a(80, 0xAA), b(40, 0xBB);
    ASSERT_EQ(fileWrite(f, 0, a.data(), a.size()), 0);
    EXPECT_EQ(f->mapSize, 100u);
    ASSERT_EQ(fileWrite(f, FILE_POS_CURRENT, b.data(), b.size()), 0);
    EXPECT_EQ(f->mapSize, 150u);
    EXPECT_EQ(f->length, 120u);
    EXPECT_EQ(fileClose(f, 0), 0);

    const auto bytes = read_bytes(dir.file("x"));
    ASSERT_EQ(bytes.size(), 120u);
    EXPECT_EQ(bytes[79], 0xAA);
    EXPECT_EQ(bytes[80], 0xBB);
    EXPECT_EQ(bytes[119], 0xBB);
}

TEST_F(FileTest, CurrentPositionFollowsTheLastWriteNotTheLength)
{
    fileTy* f = fileCreate(nullptr, dir.file("p").c_str(), 16, 16);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fileWrite(f, 40, "end", 3), 0);
    ASSERT_EQ(fileWrite(f, 2, "ab", 2), 0);
    ASSERT_EQ(fileWrite(f, FILE_POS_CURRENT, "cd", 2), 0);
    // A null source only reserves room: the gap stays zero.
    ASSERT_EQ(fileWrite(f, FILE_POS_CURRENT, nullptr, 2), 0);
    EXPECT_EQ(f->position, 8u);
    EXPECT_EQ(f->length, 43u);
    EXPECT_EQ(fileClose(f, 0), 0);
    const std::string text = read_text(dir.file("p"));
    ASSERT_EQ(text.size(), 43u);
    EXPECT_EQ(text.substr(0, 8), std::string("\0\0abcd\0\0", 8));
    EXPECT_EQ(text.substr(40), "end");
}

TEST_F(FileTest, CloseLengthCutsOrExtendsWithZeros)
{
    fileTy* f = fileCreate(nullptr, dir.file("cut").c_str(), 8, 8);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fileWrite(f, 0, "abcdef", 6), 0);
    EXPECT_EQ(fileClose(f, 3), 0);
    EXPECT_EQ(read_text(dir.file("cut")), "abc");

    f = fileCreate(nullptr, dir.file("ext").c_str(), 4, 4);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fileWrite(f, 0, "ab", 2), 0);
    EXPECT_EQ(fileClose(f, 6), 0);
    EXPECT_EQ(read_text(dir.file("ext")), std::string("ab\0\0\0\0", 6));
}

TEST_F(FileTest, WriteOnAReadRecordTakesNothingAndNullIsReported)
{
    errInitFileMessages();
    write_bytes(dir.file("r"), { 1, 2, 3 });
    fileTy* f = fileLoad(nullptr, dir.file("r").c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fileWrite(f, 0, "zz", 2), 0);
    EXPECT_EQ(f->view[0], 1);
    fileClose(f, 0);
    EXPECT_EQ(read_bytes(dir.file("r")), (std::vector<uint8_t> { 1, 2, 3 }));

    EXPECT_EQ(fileWrite(nullptr, 0, "zz", 2), ERR_NOT_CREATED);
    EXPECT_TRUE(box_mentions("Object is not created"));
}

// Growth that cannot get memory fails with a negative code (a positive
// OS error number would read as success) and keeps the record usable.
TEST_F(FileTest, FailedGrowthIsNegativeAndKeepsTheOldContent)
{
    errInitFileMessages();
    fileTy* f = fileCreate(nullptr, dir.file("g").c_str(), 4, 4);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fileWrite(f, 0, "abcd", 4), 0);
    const memHooksTy saved = memHooks;
    memHooks.realloc = [](void*, size_t) -> void* { return nullptr; };
    EXPECT_EQ(fileWrite(f, FILE_POS_CURRENT, "ef", 2), ERR_NO_MEMORY);
    memHooks = saved;
    EXPECT_EQ(f->mapSize, 4u);
    EXPECT_EQ(f->length, 4u);
    EXPECT_EQ(fileClose(f, 0), 0);
    EXPECT_EQ(read_text(dir.file("g")), "abcd");
}

// A file size limit refuses the data as a full disk does (the signal it
// raises is ignored, so the write fails instead).
TEST_F(FileTest, CloseReportsContentThatCouldNotBeWritten)
{
    errInitFileMessages();
    const std::string name = dir.file("full");
    fileTy* f = fileCreate(nullptr, name.c_str(), 16, 16);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fileWrite(f, 0, "data", 4), 0);
    {
        const test_support::FileSizeLimit full(2);
        ASSERT_TRUE(full.set());
        errno = EINTR;
        EXPECT_EQ(fileClose(f, 0), ERR_WRITE);
        EXPECT_EQ(errno, EINTR);
    }
    EXPECT_TRUE(box_mentions("Can't write to file '" + name + "'"));
}

// A device is no file to create: /dev/full was opened and written to.
TEST_F(FileTest, CreateInAMissingFolderOrOnADeviceIsReported)
{
    errInitFileMessages();
    std::vector<std::string> names = {dir.file("no/such/file")};
    if (test_support::make_full_device(dir.file("full")))
        names.push_back(dir.file("full"));
    for (const std::string& name : names) {
        EXPECT_EQ(fileCreate(nullptr, name.c_str(), 10, 10), nullptr);
        EXPECT_TRUE(box_mentions("Can't create file '" + name + "'")) << name;
    }
}

TEST_F(FileTest, FilesLeftOpenAreWrittenAtExit)
{
    const std::string name = dir.file("at_exit");
    EXPECT_EXIT(
        {
            fileTy* f = fileCreate(nullptr, name.c_str(), 4, 4);
            if (!f || fileWrite(f, 0, "kept", 4) != 0)
                std::exit(1);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(read_text(name), "kept");
}

TEST_F(FileTest, StdOpenPicksStandardStreamsAndModes)
{
    EXPECT_EQ(fileStdOpen(nullptr, 0), stdin);
    EXPECT_EQ(fileStdOpen(FILE_STD_NAME_OUT, 0), stdout);
    EXPECT_EQ(fileStdOpen(FILE_STD_NAME_ERR, 0), stderr);
    EXPECT_EQ(fileStdOpen("whatever", FILE_STD_OUT), stdout);
    EXPECT_EQ(fileStdClose(stdin), 0);
    EXPECT_EQ(fileStdClose(nullptr), 0);

    EXPECT_STREQ(fileModeString(FILE_STD_READ), "rt");
    EXPECT_STREQ(fileModeString(FILE_STD_WRITE | FILE_STD_BINARY), "wb");
    EXPECT_STREQ(fileModeString(FILE_STD_READ | FILE_STD_WRITE), "r+t");
    EXPECT_STREQ(fileModeString(FILE_STD_WRITE | FILE_STD_APPEND | FILE_STD_BINARY), "ab");
    EXPECT_STREQ(fileModeString(FILE_STD_READ | FILE_STD_UPDATE | FILE_STD_BINARY), "r+b");

    std::FILE* out = fileStdOpen(dir.file("s.txt").c_str(), FILE_STD_WRITE | FILE_STD_BINARY);
    ASSERT_NE(out, nullptr);
    std::fputs("hi", out);
    EXPECT_EQ(fileStdClose(out), 0);
    EXPECT_EQ(read_text(dir.file("s.txt")), "hi");
}

TEST_F(FileTest, StdOpenOfAMissingFileIsReported)
{
    errInitFileMessages();
    const std::string name = dir.file("absent");
    EXPECT_EQ(fileStdOpen(name.c_str(), FILE_STD_READ | FILE_STD_BINARY), nullptr);
    EXPECT_TRUE(box_mentions("Can't open file '" + name + "'"));
}

} // namespace
