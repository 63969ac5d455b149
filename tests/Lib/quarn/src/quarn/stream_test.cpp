#include "io_log_capture.h"
#include "memory_buf.h"
#include "quarn/IStream.h"
#include "quarn/IoFailure.h"

#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using quarn::io::IStream;
using quarn::io::Stream;
using quarn_test::ForwardBuf;
using quarn_test::MemoryBuf;
using quarn_test::u32le;

// Exposes the hooks header detection and unpacking use.
class OpenStream : public IStream {
public:
    using IStream::IStream;
    using IStream::saved_buffer;
    using IStream::set_payload_offset;
    using IStream::stand_in;
    using IStream::unpack_buffer;
};

std::string failure_text(IStream& in, size_t n)
{
    char bytes[16];
    try {
        in.read_some(bytes, n);
    } catch (const quarn::io::Failure& e) {
        return e.what();
    }
    return "(no failure)";
}

TEST(Stream, ReadSomeByBytesLeftAndMask)
{
    char bytes[10];
    {
        MemoryBuf buf("abcd");
        IStream in(&buf);
        EXPECT_EQ(in.read_some(bytes, 10), 4u);
        EXPECT_EQ(in.state(), Stream::eof) << "a short read that got something only sets eof";
        EXPECT_EQ(std::string(bytes, 4), "abcd");
    }
    {
        MemoryBuf buf("");
        IStream in(&buf);
        EXPECT_THROW(in.read_some(bytes, 10), quarn::io::Failure);
        EXPECT_EQ(in.state(), Stream::eof | Stream::fail);
    }
    {
        MemoryBuf buf("");
        IStream in(&buf);
        in.exceptions(0);
        EXPECT_EQ(in.read_some(bytes, 10), 0u);
        EXPECT_EQ(in.state(), Stream::eof | Stream::fail);
        EXPECT_EQ(in.read_some(bytes, 1), 0u) << "a failed stream reads nothing more";
    }
}

TEST(Stream, ReadOfMoreThanIsLeftFails)
{
    char bytes[10];
    MemoryBuf buf("abcd");
    IStream in(&buf);
    EXPECT_THROW(in.read(bytes, 10), quarn::io::Failure);
    EXPECT_EQ(in.state(), Stream::eof | Stream::fail);

    MemoryBuf buf2("abcd");
    IStream quiet(&buf2);
    quiet.exceptions(0);
    uint16_t half = 0;
    uint32_t v = 0;
    EXPECT_TRUE(quiet.read_u16(half));
    EXPECT_FALSE(quiet.read_u32(v)) << "two bytes left";
    EXPECT_FALSE(quiet.read_u32(v)) << "errors are never cleared by reading";
    quiet.clear();
    EXPECT_EQ(quiet.state(), 0u);
}

TEST(Stream, IntegersAreLittleEndian)
{
    MemoryBuf buf;
    Stream out(&buf);
    EXPECT_TRUE(out.write_u32(0x04030201));
    EXPECT_TRUE(out.write_u16(0x0605));
    EXPECT_TRUE(out.write_u8(7));
    EXPECT_TRUE(out.write_i32(-2));
    EXPECT_TRUE(out.write_f32(1.0f));
    EXPECT_EQ(buf.bytes(), std::string("\x01\x02\x03\x04\x05\x06\x07\xfe\xff\xff\xff\x00\x00\x80\x3f", 15));

    IStream in(&buf);
    uint32_t a = 0;
    uint16_t b = 0;
    uint8_t c = 0;
    int32_t d = 0;
    float e = 0;
    ASSERT_TRUE(in.read_u32(a) && in.read_u16(b) && in.read_u8(c) && in.read_i32(d) && in.read_f32(e));
    EXPECT_EQ(a, 0x04030201u);
    EXPECT_EQ(b, 0x0605);
    EXPECT_EQ(c, 7);
    EXPECT_EQ(d, -2);
    EXPECT_EQ(e, 1.0f);
}

TEST(Stream, LossyPassesTheSentries)
{
    MemoryBuf buf("abcd");
    IStream in(&buf);
    in.setstate(Stream::lossy);
    EXPECT_TRUE(in.good());
    uint32_t v;
    EXPECT_TRUE(in.read_u32(v));
    EXPECT_EQ(in.state(), Stream::lossy);
    EXPECT_THROW(in.exceptions(Stream::lossy), quarn::io::Failure) << "a mask that meets the state throws at once";
}

TEST(Stream, WritesOfNothingAndShortWrites)
{
    MemoryBuf buf;
    Stream out(&buf);
    EXPECT_TRUE(out.write_bytes("x", 0));
    EXPECT_EQ(buf.calls, 0) << "writing nothing does not touch the buffer";

    buf.write_limit = 3;
    out.exceptions(0);
    EXPECT_FALSE(out.write_u32(1));
    EXPECT_EQ(out.state(), Stream::eof | Stream::fail);
    EXPECT_FALSE(out.write_u8(1));
    EXPECT_EQ(buf.bytes(), std::string("\x01\x00\x00", 3));
}

TEST(Stream, SeeksAndTells)
{
    MemoryBuf buf("0123456789");
    IStream in(&buf);
    EXPECT_EQ(in.seek(std::streampos(-1)), std::streampos(-1));
    EXPECT_EQ(buf.calls, 0) << "seek(-1) never reaches the buffer";
    EXPECT_EQ(in.seek(4), std::streampos(4));
    EXPECT_EQ(in.tell(), std::streampos(4));
    EXPECT_EQ(in.seek(11), std::streampos(-1));
    EXPECT_EQ(in.tell(), std::streampos(4));

    EXPECT_EQ(in.seek_out(2), std::streampos(2));
    EXPECT_TRUE(in.write_u8('x'));
    EXPECT_EQ(in.tell_out(), std::streampos(3));
    EXPECT_EQ(buf.bytes(), "01x3456789");

    in.exceptions(0);
    in.setstate(Stream::fail);
    EXPECT_EQ(in.tell(), std::streampos(-1));
    EXPECT_EQ(in.tell_out(), std::streampos(-1));
    EXPECT_EQ(in.seek(0), std::streampos(-1));

    ForwardBuf pipe("abc");
    IStream forward(&pipe);
    EXPECT_EQ(forward.tell(), std::streampos(-1));
    EXPECT_EQ(forward.seek_out(0), std::streampos(-1));
}

TEST(Stream, WithoutBufferEverythingFails)
{
    Stream out;
    EXPECT_EQ(out.state(), Stream::bad);
    IStream in;
    EXPECT_EQ(in.state(), Stream::bad);
    EXPECT_THROW(in.clear(), quarn::io::Failure) << "clearing a buffer-less stream leaves it bad";

    in.exceptions(0);
    uint32_t v;
    EXPECT_FALSE(in.read_u32(v));
    EXPECT_EQ(in.state(), Stream::bad | Stream::fail);
    EXPECT_THROW(out.sentry(), quarn::io::Failure);
    EXPECT_EQ(out.state(), Stream::bad | Stream::fail);
}

TEST(Stream, FailureNamesTheBuffer)
{
    quarn_test::IoLogCapture capture;
    MemoryBuf buf("");
    buf.buffer_name = "data.bin";
    IStream in(&buf);
    EXPECT_EQ(failure_text(in, 4), "i/o error ('data.bin')");
    EXPECT_STREQ(quarn::last_throw_origin().function, "quarn::io::Stream::throw_failure_");
    EXPECT_EQ(quarn::last_throw_origin().line, 61);
    EXPECT_NE(capture.text().find("class quarn::io::Failure"), std::string::npos);

    // A cause with its own detail keeps it; one without gets the name.
    quarn::TextualErrorInfo cause("Failed to open legacy stream.");
    in.exceptions(0);
    in.clear();
    in.exceptions(Stream::fail);
    try {
        in.setstate(Stream::fail, &cause);
        FAIL();
    } catch (const quarn::io::Failure& e) {
        EXPECT_STREQ(e.what(), "Failed to open legacy stream. ('data.bin')");
    }
    quarn::TextualErrorInfo named("no such file", "x.bin");
    try {
        in.setstate(Stream::fail, &named);
        FAIL();
    } catch (const quarn::io::Failure& e) {
        EXPECT_STREQ(e.what(), "no such file ('x.bin')");
    }
}

TEST(Stream, StandInBufferIsNamedByItsClass)
{
    quarn_test::IoLogCapture capture;
    MemoryBuf file("");
    file.buffer_name = "data.bin";
    OpenStream in(&file);
    in.stand_in(std::make_unique<MemoryBuf>(""), "class quarn::io::MemBuf");
    EXPECT_EQ(in.buffer_ex(), nullptr);
    EXPECT_EQ(in.saved_buffer(), &file);
    EXPECT_EQ(failure_text(in, 4), "i/o error ('class quarn::io::MemBuf')");

    in.set_payload_offset(24);
    in.reset();
    EXPECT_EQ(in.unpack_buffer(), nullptr);
    EXPECT_EQ(in.rdbuf(), &file);
    EXPECT_EQ(in.buffer_ex(), &file) << "the reopened file is named again";
    EXPECT_EQ(in.payload_offset(), 0u);
    in.clear();
    EXPECT_EQ(failure_text(in, 4), "i/o error ('data.bin')");
}

TEST(Stream, ThrowingBufferLeavesTheStreamBad)
{
    MemoryBuf buf("abcdefgh");
    IStream in(&buf);
    buf.throw_on_read = true;
    char bytes[4];
    EXPECT_THROW(in.read(bytes, 4), std::runtime_error);
    EXPECT_EQ(in.state(), Stream::bad | Stream::fail);
    buf.throw_on_read = true;
    in.exceptions(0);
    in.clear();
    EXPECT_THROW(in.read_some(bytes, 4), std::runtime_error);
    EXPECT_EQ(in.state(), Stream::bad | Stream::fail);
}

TEST(Stream, ErrorRecordsDescribeThemselves)
{
    MemoryBuf buf("");
    quarn::TextualErrorInfo file_error("Access denied");
    buf.error = &file_error;
    IStream in(&buf);
    quarn::TextualErrorInfo inner("base");
    Stream::Error e(&in, nullptr);
    char text[256];
    e.describe(text, sizeof text);
    EXPECT_STREQ(text, "Access denied");
    e.set(Stream::Error::encrypted, &inner);
    e.detail = "car.obst";
    e.describe(text, sizeof text);
    EXPECT_STREQ(text,
        " Encrypted g1rw streams are not supported"
        "Access denied"
        "base ('car.obst')");
    EXPECT_STREQ(Stream::Error::code_text(1), "reading rw1 header failed");
    EXPECT_STREQ(Stream::Error::code_text(9), "");

    // Cut short: the count never passes what fits.
    char small[8] = "xxxxxxx";
    EXPECT_EQ(e.describe(small, 5), 4u);
    EXPECT_STREQ(small, " Enc");

    quarn::io::ZipError zip(-3);
    zip.describe(text, sizeof text);
    EXPECT_STREQ(text, ": data error");
    quarn::io::ZipError odd(-99);
    zip.describe(text, sizeof text);
    EXPECT_EQ(odd.describe(text, sizeof text), 2u);
}

} // namespace
