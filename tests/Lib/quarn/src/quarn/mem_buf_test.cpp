#include "quarn/Allocator.h"
#include "quarn/MemBuf.h"

#include <gtest/gtest.h>
#include <cstring>
#include <string>

namespace {

using quarn::io::MemBuf;

char* block_of(const std::string& bytes, size_t capacity)
{
    auto* block = static_cast<char*>(quarn::Allocator::allocate(capacity));
    std::memcpy(block, bytes.data(), bytes.size());
    return block;
}

TEST(MemBuf, ReadsTheContentItWasGiven)
{
    MemBuf buf;
    buf.set(block_of("hello", 5), 5, 5);
    char out[8] = {};
    EXPECT_EQ(buf.sgetn(out, 8), 5);
    EXPECT_STREQ(out, "hello");
    EXPECT_EQ(buf.sgetc(), EOF);
    EXPECT_EQ(buf.pubseekoff(0, std::ios_base::cur, std::ios_base::in), std::streampos(5));
}

TEST(MemBuf, GrowsWhenWrittenAndReadsWhatWasAppended)
{
    MemBuf buf;
    buf.set(block_of("ab", 4), 2, 4);
    std::string more(10000, 'x');
    EXPECT_EQ(buf.sputn(more.data(), static_cast<std::streamsize>(more.size())), 10000);
    EXPECT_EQ(buf.size(), 10002u);
    EXPECT_EQ(buf.capacity(), 16384u) << "4096 at least, then doubling";
    std::string back(10002, '\0');
    EXPECT_EQ(buf.sgetn(back.data(), 20000), 10002);
    EXPECT_EQ(back, "ab" + more);

    MemBuf empty;
    EXPECT_EQ(empty.sgetc(), EOF);
    EXPECT_EQ(empty.sputc('z'), 'z');
    EXPECT_EQ(empty.capacity(), 4096u);
    EXPECT_EQ(empty.sbumpc(), 'z');
}

TEST(MemBuf, SeeksStayInsideTheContent)
{
    MemBuf buf;
    buf.set(block_of("0123456789", 64), 10, 64);
    EXPECT_EQ(buf.pubseekpos(11, std::ios_base::in), std::streampos(-1)) << "past the content";
    EXPECT_EQ(buf.pubseekpos(-1, std::ios_base::in), std::streampos(-1));
    EXPECT_EQ(buf.pubseekoff(1, std::ios_base::end, std::ios_base::in), std::streampos(-1));
    EXPECT_EQ(buf.pubseekoff(-3, std::ios_base::end, std::ios_base::in), std::streampos(7));
    EXPECT_EQ(buf.sbumpc(), '7');
    EXPECT_EQ(buf.pubseekoff(2, std::ios_base::cur, std::ios_base::in), std::streampos(10));
    EXPECT_EQ(buf.sgetc(), EOF) << "the end of the content, not of the block";
    EXPECT_EQ(buf.pubseekoff(0, std::ios_base::cur, std::ios_base::in | std::ios_base::out), std::streampos(10));

    // Writing back over the start keeps the rest of the content.
    EXPECT_EQ(buf.pubseekpos(0, std::ios_base::out), std::streampos(0));
    buf.sputn("AB", 2);
    EXPECT_EQ(buf.size(), 10u);
    EXPECT_EQ(buf.pubseekpos(0, std::ios_base::in), std::streampos(0));
    std::string all(10, '\0');
    EXPECT_EQ(buf.sgetn(all.data(), 10), 10);
    EXPECT_EQ(all, "AB23456789");
}

// Refuses every allocation while installed.
class NoMemory : public quarn::Allocator {
public:
    NoMemory() { current(this); }
    void* try_allocate(size_t) override { return nullptr; }
};

TEST(MemBuf, FailedGrowthEndsTheData)
{
    MemBuf buf;
    buf.set(block_of("full", 4), 4, 4);
    NoMemory none;
    EXPECT_EQ(buf.sputc('x'), EOF);
    EXPECT_EQ(buf.data(), nullptr);
    EXPECT_EQ(buf.sgetc(), EOF);
}

} // namespace
