// A file buffer after a write to its file failed: it takes no more puts
// until a seek clears the failure, no put reaches the data being read, and
// close reports the failure.
#include "memory_file.h"
#include "quarn/BasicFileBuf.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using quarn::io::BasicFileBuf;
namespace mode = quarn::open_mode;

// Its first `failures` writes take nothing.
class FailingWritesFile : public quarn_test::MemoryFile {
public:
    FailingWritesFile(std::string bytes, int failures)
        : MemoryFile(std::move(bytes), mode::in | mode::out | mode::binary), failures_(failures)
    {
    }
    uint32_t write(const void* data, uint32_t n) override
    {
        if (failures_ > 0) {
            --failures_;
            return 0;
        }
        return MemoryFile::write(data, n);
    }

private:
    int failures_;
};

TEST(BasicFileBufFailure, PutsAreRefusedUntilASeekAndTheCloseReportsAnUnclearedFailure)
{
    struct Case {
        const char* name;
        bool seek_after_failure;
        std::streamsize second_put; // what sputn("xyz") takes
        bool close_succeeds;
        const char* file_after;
    };
    const Case cases[] = {
        { "no seek: refused, and close reports the lost data", false, 0, false, "" },
        { "a seek clears the failure: written at close", true, 3, true, "xyz" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FailingWritesFile file("", 1);
        BasicFileBuf buf;
        buf.attach(&file, "memory");
        EXPECT_EQ(buf.sputn("abc", 3), 3);
        EXPECT_EQ(buf.pubsync(), -1);
        EXPECT_EQ(buf.sputn("def", 3), 0) << "a failed buffer takes no puts";
        if (c.seek_after_failure) {
            EXPECT_EQ(buf.pubseekpos(0), std::streampos(0));
        }
        EXPECT_EQ(buf.sputn("xyz", 3), c.second_put);
        EXPECT_EQ(buf.close() != nullptr, c.close_succeeds);
        EXPECT_EQ(file.bytes(), c.file_after);
    }
}

TEST(BasicFileBufFailure, APutAfterAFailedFlushNeverReachesTheDataBeingRead)
{
    FailingWritesFile file("0123456789", 1);
    BasicFileBuf buf;
    buf.attach(&file, "memory");
    EXPECT_EQ(buf.sputn("ab", 2), 2);
    EXPECT_EQ(buf.pubsync(), -1);
    EXPECT_EQ(buf.pubseekpos(0), std::streampos(0));
    EXPECT_EQ(buf.sbumpc(), '0');
    EXPECT_EQ(buf.sputn("ZZZZ", 4), 0) << "writing straight after reading needs a seek";
    char rest[16] = {};
    EXPECT_EQ(buf.sgetn(rest, sizeof rest), 9);
    EXPECT_STREQ(rest, "123456789");
    EXPECT_NE(buf.close(), nullptr);
    EXPECT_EQ(file.bytes(), "0123456789");
}

} // namespace
