#include "quarn/ErrorInfo.h"

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Describes into a buffer of `size` bytes followed by canary bytes and
// checks that nothing was written past the buffer and that the count is
// what was stored.
std::string describe_checked(const quarn::ErrorInfo& info, size_t size)
{
    std::vector<char> buffer(size + 16, '#');
    size_t n = info.describe(buffer.data(), size);
    for (size_t i = size; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], '#') << "written past a buffer of " << size << " at " << i;
    if (size == 0) {
        EXPECT_EQ(n, 0u);
        return {};
    }
    EXPECT_LT(n, size);
    EXPECT_EQ(std::strlen(buffer.data()), n) << "count differs from what was stored";
    return std::string(buffer.data(), n);
}

TEST(ErrorInfoChain, OwnTextThenInnerThenDetail)
{
    quarn::TextualErrorInfo cause("disk full");
    quarn::TextualErrorInfo outer("saving failed: ", "x.bin", &cause);
    EXPECT_EQ(describe_checked(outer, 256), "saving failed: disk full ('x.bin')");

    quarn::ErrorInfo bare;
    EXPECT_EQ(describe_checked(bare, 8), "");
    quarn::ErrorInfo empty_detail("", &cause);
    EXPECT_EQ(describe_checked(empty_detail, 64), "disk full");
    quarn::TextualErrorInfo no_text(nullptr, "d");
    EXPECT_EQ(describe_checked(no_text, 64), " ('d')");
}

TEST(ErrorInfoChain, NullBufferOrZeroSizeWritesNothing)
{
    quarn::TextualErrorInfo info("abc", "d");
    EXPECT_EQ(info.describe(nullptr, 10), 0u);
    char c = '#';
    EXPECT_EQ(info.describe(&c, 0), 0u);
    EXPECT_EQ(c, '#');
    quarn::SystemErrorInfo sys(ENOENT);
    EXPECT_EQ(sys.describe(nullptr, 10), 0u);
    EXPECT_EQ(sys.describe(&c, 0), 0u);
    EXPECT_EQ(c, '#');
}

TEST(ErrorInfoChain, TruncatesAtEveryBufferSizeWithoutOverrun)
{
    quarn::TextualErrorInfo cause("inner", "file.dat");
    quarn::TextualErrorInfo outer("outer: ", "archive.zip", &cause);
    const std::string full = "outer: inner ('file.dat') ('archive.zip')";
    ASSERT_EQ(describe_checked(outer, 1024), full);
    for (size_t size = 0; size <= full.size() + 2; ++size) {
        SCOPED_TRACE(size);
        std::string got = describe_checked(outer, size);
        // What fits is a prefix of the full text, and everything that fits
        // is kept: exact fit (size = length + 1) is whole, one short loses
        // only the last character.
        size_t expected = size == 0 ? 0 : std::min(full.size(), size - 1);
        EXPECT_EQ(got, full.substr(0, expected));
    }
}

TEST(ErrorInfoChain, OverstatingInnerRecordIsClamped)
{
    struct Liar : quarn::ErrorInfo {
        size_t describe(char* buffer, size_t size) const override
        {
            std::snprintf(buffer, size, "%s", "0123456789");
            return 10; // whatever fit
        }
    } liar;
    quarn::ErrorInfo outer("d", &liar);
    EXPECT_EQ(describe_checked(outer, 4), "012");
}

TEST(SystemErrorInfo, CapturesTheErrorAtConstruction)
{
    platform::set_last_error(ENOENT);
    quarn::SystemErrorInfo info;
    platform::set_last_error(EACCES);
    EXPECT_EQ(info.code(), ENOENT);
    EXPECT_EQ(describe_checked(info, 256), "No such file or directory");
    info.set_code();
    EXPECT_EQ(info.code(), EACCES);
    info.set_code(EEXIST);
    EXPECT_EQ(info.code(), EEXIST);
}

TEST(SystemErrorInfo, InTheMiddleOfAChain)
{
    quarn::SystemErrorInfo sys(ENOENT);
    quarn::TextualErrorInfo outer("open failed: ", "x.bin", &sys);
    EXPECT_EQ(describe_checked(outer, 256), "open failed: No such file or directory ('x.bin')");
    EXPECT_EQ(describe_checked(outer, 20), "open failed: No suc");
    sys.detail = "inner";
    EXPECT_EQ(describe_checked(sys, 256), "No such file or directory ('inner')");
}

TEST(ErrorInfoChain, StreamInsertionWritesTheDescription)
{
    quarn::TextualErrorInfo info("text", "detail");
    std::ostringstream out;
    out << info;
    EXPECT_EQ(out.str(), "text ('detail')");
    std::string huge(5000, 'z');
    quarn::TextualErrorInfo big(huge.c_str());
    std::ostringstream out2;
    out2 << big;
    EXPECT_EQ(out2.str().size(), 4095u);
}

} // namespace
