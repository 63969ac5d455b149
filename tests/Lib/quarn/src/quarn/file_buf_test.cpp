#include "memory_file.h"
#include "scratch_dir.h"
#include "quarn/BasicFileBuf.h"
#include "quarn/FileBuf.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <istream>
#include <locale>
#include <string>
#include <vector>

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

// The reference for the text rule: the file's bytes read plainly, each
// CR LF taken as LF, a Ctrl-Z ending the text; at[k] is the file offset of
// character k, at[chars.size()] that of the end.
struct TextModel {
    std::string chars;
    std::vector<int64_t> at;
};

TextModel model_of(const std::string& path, bool text)
{
    std::string bytes(1 << 16, '\0');
    std::FILE* f = std::fopen(path.c_str(), "rb");
    bytes.resize(f ? std::fread(bytes.data(), 1, bytes.size(), f) : 0);
    if (f)
        std::fclose(f);
    TextModel m;
    size_t i = 0;
    for (; i < bytes.size() && !(text && bytes[i] == 26); ++i) {
        m.at.push_back(static_cast<int64_t>(i));
        if (text && bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        m.chars += bytes[i];
    }
    m.at.push_back(static_cast<int64_t>(i));
    return m;
}

TEST(BasicFileBuf, PositionsAndReadsMatchThePlainReadingOfTheFile)
{
    // The last: lines past the buffer's size, a CR LF split across the
    // first 4096-byte boundary.
    const std::vector<std::string> contents = {
        "a\nb\nc\n", "a\r\nb\r\nc\r\n", "one\ntwo\r\n\r\nthree\n\rfour\r\r\n\n", "", "abc\r\ndef", "ab\r\ncd\x1a" "ef\r\n", "tail\r",
        std::string(4095, 'x') + "\r\n" + std::string(4500, 'a') + "\n" + std::string(4200, 'c') + "\r\nend"
    };
    quarn_test::ScratchDir dir;
    for (size_t which = 0; which < contents.size(); ++which)
        for (uint32_t kind : { uint32_t(0), mode::binary })
            for (int size : { 0, 7, 1 }) { // default, small, unbuffered
                if (size == 1 && contents[which].size() > 100)
                    continue; // one byte per read: the small buffer covers the long lines
                SCOPED_TRACE("content " + std::to_string(which) + (kind ? " binary" : " text") + " buffer " +
                             std::to_string(size));
                std::string file = "c";
                file += std::to_string(which);
                const std::string name = dir / file;
                dir.write(file, contents[which]);
                const TextModel m = model_of(name, kind == 0);
                std::vector<char> mine(7);
                auto open = [&](FileBuf& buf, uint32_t how) {
                    if (size)
                        buf.pubsetbuf(size == 1 ? nullptr : mine.data(), size == 1 ? 0 : size);
                    ASSERT_EQ(buf.open(name.c_str(), how | kind), &buf);
                };

                FileBuf all;
                open(all, mode::in);
                EXPECT_EQ(read_all(all), m.chars);
                FileBuf lines;
                open(lines, mode::in);
                std::istream in(&lines);
                std::string text;
                for (std::string line; std::getline(in, line);)
                    text += line + (in.eof() ? "" : "\n");
                EXPECT_EQ(text, m.chars);

                // Tell after each character; a step back tells the same
                // place and reads the same character again.
                FileBuf buf;
                open(buf, mode::in);
                for (size_t k = 0; k < m.chars.size(); ++k) {
                    ASSERT_EQ(buf.pubseekoff(0, std::ios_base::cur), std::streampos(m.at[k])) << k;
                    ASSERT_EQ(buf.sbumpc(), static_cast<unsigned char>(m.chars[k])) << k;
                    ASSERT_EQ(buf.sungetc(), static_cast<unsigned char>(m.chars[k])) << k;
                    ASSERT_EQ(buf.pubseekoff(0, std::ios_base::cur), std::streampos(m.at[k])) << k;
                    ASSERT_EQ(buf.sbumpc(), static_cast<unsigned char>(m.chars[k])) << k;
                }
                EXPECT_EQ(buf.sgetc(), EOF);
                EXPECT_EQ(buf.pubseekoff(0, std::ios_base::cur), std::streampos(m.at.back()));

                // Every told position, sought forwards, then a sample
                // backwards and relative, reads on from its character.
                const size_t n = m.at.size();
                const size_t sample = std::min<size_t>(n, 256);
                for (size_t step = 0; step < n + 2 * sample; ++step) {
                    const bool relative = step >= n + sample;
                    const size_t k = step < n ? step : relative ? (step * 7919) % n : n - 1 - (step - n) * n / sample;
                    const std::streampos here = buf.pubseekoff(0, std::ios_base::cur);
                    const std::streampos got = relative ? buf.pubseekoff(m.at[k] - here, std::ios_base::cur)
                                                        : buf.pubseekpos(m.at[k]);
                    ASSERT_EQ(got, std::streampos(m.at[k])) << k;
                    std::string next;
                    for (int c, i = 0; i < 3 && (c = buf.sbumpc()) != EOF; ++i)
                        next += static_cast<char>(c);
                    ASSERT_EQ(next, m.chars.substr(k, 3)) << k;
                }

                // Writing at a told position (straight after the telling,
                // and after a seek) puts the bytes at that file offset.
                const size_t half = m.chars.size() / 2;
                FileBuf rw;
                open(rw, mode::in | mode::out);
                for (size_t k = 0; k < half; ++k)
                    rw.sbumpc();
                ASSERT_EQ(rw.pubseekoff(0, std::ios_base::cur), std::streampos(m.at[half]));
                ASSERT_EQ(rw.sputn("#\n", 2), 2);
                ASSERT_EQ(rw.pubseekpos(0), std::streampos(0));
                ASSERT_EQ(rw.sputc('%'), '%');
                EXPECT_EQ(rw.close(), &rw);
                const std::string put = kind ? "#\n" : "#\r\n";
                std::string expected = contents[which];
                expected.resize(std::max(expected.size(), static_cast<size_t>(m.at[half]) + put.size()));
                std::copy(put.begin(), put.end(), expected.begin() + m.at[half]);
                expected[0] = '%';
                EXPECT_EQ(dir.read(file), expected);

                // What a buffer writes reads back as the same characters.
                FileBuf out;
                open(out, mode::out | mode::trunc);
                ASSERT_EQ(out.sputn(m.chars.data(), static_cast<std::streamsize>(m.chars.size())),
                          static_cast<std::streamsize>(m.chars.size()));
                EXPECT_EQ(out.close(), &out);
                EXPECT_EQ(model_of(name, kind == 0).chars, m.chars);
            }
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
