#include "memory_file.h"
#include "scratch_dir.h"
#include "quarn/BasicFileBuf.h"
#include "quarn/FileBuf.h"

#include <gtest/gtest.h>
#include <locale>
#include <string>

namespace {

using quarn::io::BasicFileBuf;
using quarn::io::FileBuf;
using quarn_test::MemoryFile;
using quarn_test::pattern;
namespace mode = quarn::open_mode;

std::string read_all(std::streambuf& buf)
{
    std::string out;
    char chunk[777];
    for (;;) {
        std::streamsize n = buf.sgetn(chunk, sizeof chunk);
        out.append(chunk, static_cast<size_t>(n));
        if (n < static_cast<std::streamsize>(sizeof chunk))
            return out;
    }
}

TEST(BasicFileBuf, DefaultBufferIsAWholeNumberOfPagesOfAtLeast4096)
{
    EXPECT_EQ(BasicFileBuf::default_buffer_size(4096), 4096u);
    EXPECT_EQ(BasicFileBuf::default_buffer_size(65536), 65536u);
    EXPECT_EQ(BasicFileBuf::default_buffer_size(1000), 5000u);
    EXPECT_EQ(BasicFileBuf::default_buffer_size(8192), 8192u);

    MemoryFile file(pattern(20000));
    BasicFileBuf buf;
    buf.attach(&file, "m");
    EXPECT_EQ(buf.buffer_size(), 0u) << "nothing is allocated before the first read";
    EXPECT_EQ(buf.sgetc(), 0);
    const size_t expected = BasicFileBuf::default_buffer_size(quarn::AbstractFile::page_size());
    EXPECT_EQ(buf.buffer_size(), expected);
    ASSERT_EQ(file.reads.size(), 1u);
    EXPECT_EQ(file.reads[0], expected);
}

TEST(BasicFileBuf, RoundTripsAcrossBufferBoundaries)
{
    quarn_test::ScratchDir dir;
    for (size_t n : { size_t(0), size_t(1), size_t(4095), size_t(4096), size_t(4097), size_t(12289) }) {
        std::string file = "f";
        file += std::to_string(n);
        const std::string name = dir / file;
        const std::string bytes = pattern(n);
        {
            FileBuf out(name.c_str(), mode::out | mode::trunc | mode::binary);
            ASSERT_TRUE(out.is_open());
            // Odd-sized pieces so writes straddle the buffer's end.
            for (size_t at = 0; at < n; at += 1000)
                ASSERT_EQ(out.sputn(bytes.data() + at, std::min<size_t>(1000, n - at)),
                          static_cast<std::streamsize>(std::min<size_t>(1000, n - at)));
            EXPECT_EQ(out.close(), &out);
        }
        EXPECT_EQ(dir.read(file), bytes) << n;
        FileBuf in(name.c_str(), mode::in | mode::binary);
        EXPECT_EQ(read_all(in), bytes) << n;
        EXPECT_EQ(in.sgetc(), EOF);
    }
}

TEST(BasicFileBuf, SeeksInsideTheBufferLeaveTheFileAlone)
{
    MemoryFile file(pattern(20000));
    BasicFileBuf buf;
    buf.attach(&file, "m");
    char bytes[100];
    ASSERT_EQ(buf.sgetn(bytes, 100), 100);

    EXPECT_EQ(buf.pubseekoff(0, std::ios_base::cur, std::ios_base::in), std::streampos(100));
    EXPECT_EQ(buf.pubseekoff(-50, std::ios_base::cur, std::ios_base::in), std::streampos(50));
    EXPECT_EQ(buf.sgetc(), 50);
    EXPECT_EQ(buf.pubseekpos(10, std::ios_base::in), std::streampos(10));
    EXPECT_EQ(buf.sgetc(), 10);
    EXPECT_EQ(buf.pubseekoff(300, std::ios_base::cur, std::ios_base::in), std::streampos(310));
    EXPECT_EQ(buf.sgetc(), 310 % 251);
    EXPECT_TRUE(file.moves.empty()) << "no seek left the buffer";
    EXPECT_EQ(file.reads.size(), 1u);

    // Outside the buffer the file moves and the buffer starts over.
    EXPECT_EQ(buf.pubseekpos(15000, std::ios_base::in), std::streampos(15000));
    EXPECT_EQ(file.moves, std::vector<int64_t>{ 15000 });
    EXPECT_EQ(buf.sgetc(), 15000 % 251);
    EXPECT_EQ(buf.pubseekoff(-10000, std::ios_base::cur, std::ios_base::in), std::streampos(5000));
    EXPECT_EQ(buf.sgetc(), 5000 % 251);
    EXPECT_EQ(buf.pubseekoff(-10, std::ios_base::end, std::ios_base::in), std::streampos(19990));
    EXPECT_EQ(buf.sgetc(), 19990 % 251);
    EXPECT_EQ(buf.pubseekpos(-5, std::ios_base::in), std::streampos(-1));
}

TEST(BasicFileBuf, LargeReadsGoStraightToTheCaller)
{
    MemoryFile file(pattern(30000));
    BasicFileBuf buf;
    buf.attach(&file, nullptr);
    std::string got(100, '\0');
    ASSERT_EQ(buf.sgetn(got.data(), 100), 100);
    const size_t size = buf.buffer_size();
    std::string big(3 * size, '\0');
    ASSERT_EQ(buf.sgetn(big.data(), static_cast<std::streamsize>(big.size())),
              static_cast<std::streamsize>(big.size()));
    EXPECT_EQ(big, pattern(30000).substr(100, big.size()));
    EXPECT_EQ(file.reads, (std::vector<uint32_t>{ static_cast<uint32_t>(size), static_cast<uint32_t>(2 * size + 100) }))
        << "the buffered part, then one read for the rest";
    EXPECT_EQ(buf.pubseekoff(0, std::ios_base::cur), std::streampos(100 + 3 * size));
    EXPECT_EQ(buf.sbumpc(), static_cast<int>((100 + 3 * size) % 251));
    std::string rest(30000, '\0');
    EXPECT_EQ(buf.sgetn(rest.data(), 30000), static_cast<std::streamsize>(30000 - 101 - 3 * size));
}

TEST(BasicFileBuf, ReadingAndWritingAlternateOnlyThroughASeek)
{
    quarn_test::ScratchDir dir;
    dir.write("rw", "abcdefgh");
    FileBuf buf((dir / "rw").c_str(), mode::in | mode::out | mode::binary);
    ASSERT_TRUE(buf.is_open());
    EXPECT_EQ(buf.sbumpc(), 'a');
    EXPECT_EQ(buf.sbumpc(), 'b');
    EXPECT_EQ(buf.sputc('X'), EOF) << "writing straight after reading needs a seek";

    EXPECT_EQ(buf.pubseekoff(0, std::ios_base::cur), std::streampos(2));
    EXPECT_EQ(buf.sputc('X'), 'X');
    EXPECT_EQ(buf.sputc('Y'), 'Y');
    EXPECT_EQ(buf.sgetc(), EOF) << "reading straight after writing needs a seek";
    EXPECT_EQ(buf.pubseekoff(0, std::ios_base::cur), std::streampos(4)) << "the seek writes the buffer out";
    EXPECT_EQ(buf.sbumpc(), 'e');
    EXPECT_EQ(buf.pubsync(), 0);
    buf.close();
    EXPECT_EQ(dir.read("rw"), "abXYefgh");
}

TEST(BasicFileBuf, SetbufChoosesTheBufferBeforeFirstUseOnly)
{
    {
        MemoryFile file(pattern(10));
        BasicFileBuf buf;
        buf.attach(&file, nullptr);
        buf.pubsetbuf(nullptr, 0);
        EXPECT_EQ(read_all(buf), pattern(10));
        EXPECT_EQ(buf.buffer_size(), 1u);
        EXPECT_EQ(file.reads, std::vector<uint32_t>(11, 1)) << "unbuffered: one byte per read";
    }
    {
        MemoryFile file(pattern(250));
        BasicFileBuf buf;
        buf.attach(&file, nullptr);
        char mine[100];
        buf.pubsetbuf(mine, sizeof mine);
        EXPECT_EQ(buf.sbumpc(), 0);
        EXPECT_EQ(mine[1], 1) << "the caller's array holds the data";
        buf.pubsetbuf(nullptr, 0);
        std::string rest;
        for (int c; (c = buf.sbumpc()) != EOF;)
            rest += static_cast<char>(c);
        EXPECT_EQ(rest, pattern(250).substr(1));
        EXPECT_EQ(file.reads, (std::vector<uint32_t>{ 100, 100, 100, 100 }));
    }
}

TEST(BasicFileBuf, ShowmanycCountsWhatTheFileHoldsAfterItsPosition)
{
    MemoryFile file(pattern(10000));
    BasicFileBuf buf;
    buf.attach(&file, nullptr);
    EXPECT_EQ(buf.in_avail(), 10000);
    buf.sbumpc();
    const std::streamsize buffered = static_cast<std::streamsize>(buf.buffer_size()) - 1;
    EXPECT_EQ(buf.in_avail(), buffered) << "the get area first";
    buf.pubseekoff(buffered, std::ios_base::cur);
    EXPECT_EQ(buf.in_avail(), 10000 - 1 - buffered);
    buf.pubseekoff(0, std::ios_base::end);
    EXPECT_EQ(buf.in_avail(), 0);

    MemoryFile closed;
    closed.close();
    BasicFileBuf none;
    none.attach(&closed, nullptr);
    EXPECT_EQ(none.in_avail(), -1);
    EXPECT_EQ(none.close(), nullptr);
}

TEST(BasicFileBuf, PutBackCharactersAndPositions)
{
    MemoryFile file("abcdef");
    BasicFileBuf buf;
    buf.attach(&file, nullptr);
    EXPECT_EQ(buf.sbumpc(), 'a');
    EXPECT_EQ(buf.sbumpc(), 'b');
    EXPECT_EQ(buf.sungetc(), 'b');
    EXPECT_EQ(buf.sputbackc('Z'), 'Z') << "another character replaces the buffered one";
    EXPECT_EQ(buf.pubseekoff(0, std::ios_base::cur), std::streampos(0));
    EXPECT_EQ(buf.sbumpc(), 'Z');
    EXPECT_EQ(buf.sbumpc(), 'b');

    // At the buffer's start a put-back character stands in front of it.
    MemoryFile other("xy");
    BasicFileBuf start;
    start.attach(&other, nullptr);
    EXPECT_EQ(start.sgetc(), 'x');
    EXPECT_EQ(start.sputbackc('Q'), 'Q');
    EXPECT_EQ(start.in_avail(), 1) << "putback mode counts the get area";
    EXPECT_EQ(start.sputbackc('R'), EOF) << "one character only";
    EXPECT_EQ(read_all(start), "Qxy");
}

TEST(BasicFileBuf, TextModeCountsBufferedLineEndsAsTwoBytes)
{
    quarn_test::ScratchDir dir;
    dir.write("t.txt", "a\r\nb\r\nc");
    FileBuf buf((dir / "t.txt").c_str(), mode::in);
    ASSERT_TRUE(buf.is_open());
    EXPECT_EQ(buf.sbumpc(), 'a');
    EXPECT_EQ(buf.pubseekoff(0, std::ios_base::cur), std::streampos(1));
    EXPECT_EQ(buf.sbumpc(), '\n');
    EXPECT_EQ(buf.pubseekoff(0, std::ios_base::cur), std::streampos(3));
    EXPECT_EQ(read_all(buf), "b\nc");
}

// Flips bit 5 of every byte in both directions: a converting facet of
// constant width.
class CaseFlip : public std::codecvt<char, char, std::mbstate_t> {
protected:
    result do_in(state_type&, const char* from, const char* from_end, const char*& from_next, char* to,
                 char* to_end, char*& to_next) const override
    {
        while (from < from_end && to < to_end)
            *to++ = static_cast<char>(*from++ ^ 0x20);
        from_next = from;
        to_next = to;
        return ok;
    }
    result do_out(state_type& s, const char* from, const char* from_end, const char*& from_next, char* to,
                  char* to_end, char*& to_next) const override
    {
        return do_in(s, from, from_end, from_next, to, to_end, to_next);
    }
    bool do_always_noconv() const noexcept override { return false; }
    int do_encoding() const noexcept override { return 1; }
};

TEST(BasicFileBuf, ImbuedLocalesLeaveTheBytesAlone)
{
    std::locale flipping(std::locale::classic(), new CaseFlip);
    MemoryFile file("HELLOworld");
    BasicFileBuf buf;
    buf.attach(&file, nullptr);
    buf.pubimbue(flipping);
    EXPECT_EQ(buf.sbumpc(), 'H');
    EXPECT_EQ(buf.pubseekoff(0, std::ios_base::cur), std::streampos(1));
    EXPECT_EQ(read_all(buf), "ELLOworld");

    MemoryFile out_file("", mode::out | mode::binary);
    BasicFileBuf out;
    out.attach(&out_file, nullptr);
    out.pubimbue(flipping);
    out.sputn("Abc", 3);
    EXPECT_EQ(out.close(), &out);
    EXPECT_EQ(out_file.bytes(), "Abc");
}

TEST(FileBuf, MissingFilesDoNotOpenAndKeepTheirReason)
{
    quarn_test::ScratchDir dir;
    const std::string name = dir / "absent.bin";
    FileBuf buf(name.c_str(), mode::in | mode::binary);
    EXPECT_FALSE(buf.is_open());
    EXPECT_STREQ(buf.name(), name.c_str());
    ASSERT_NE(buf.last_error(), nullptr);
    char text[256];
    buf.last_error()->describe(text, sizeof text);
    EXPECT_STREQ(text, "No such file or directory");
    EXPECT_EQ(buf.sgetc(), EOF);
}

TEST(FileBuf, NamesAreFoundWithoutRegardToCase)
{
    quarn_test::ScratchDir dir;
    std::filesystem::create_directories(dir.path() / "DATA");
    dir.write("DATA/Car.Bin", "vroom");
    FileBuf buf;
    ASSERT_EQ(buf.open((dir / "data\\car.bin").c_str(), mode::in | mode::binary), &buf);
    EXPECT_EQ(read_all(buf), "vroom");
    EXPECT_STREQ(buf.name(), "") << "open() keeps the name the buffer had";
}

} // namespace
