#include "log_capture.h"
#include "memory_buf.h"
#include "object_doubles.h"
#include "scratch_dir.h"
#include "stream_fixtures.h"
#include "quarn/Allocator.h"
#include "quarn/IFStream.h"
#include "quarn/IoFailure.h"
#include "quarn/MemBuf.h"
#include "quarn/Registry.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using quarn::io::IFStream;
using quarn::io::IStream;
using quarn::io::Stream;
using namespace quarn_test;

std::string read_rest(IStream& in)
{
    std::string out;
    char chunk[256];
    in.exceptions(0);
    for (;;) {
        size_t n = in.read_some(chunk, sizeof chunk);
        out.append(chunk, n);
        if (n < sizeof chunk)
            return out;
    }
}

class HeaderDetection : public ::testing::Test {
protected:
    std::string file(const std::string& bytes)
    {
        std::string name = "s";
        name += std::to_string(serial_++);
        dir_.write(name, bytes);
        return dir_ / name;
    }
    std::string open_failure(const std::string& bytes)
    {
        try {
            IFStream in(file(bytes).c_str());
        } catch (const quarn::io::Failure& e) {
            return e.what();
        }
        return "(opened)";
    }

    LogCapture log_;
    ScratchDir dir_;
    int serial_ = 0;
};

template<class R>
bool registry_is(const IStream& in)
{
    return dynamic_cast<R*>(in.registry()) != nullptr;
}

TEST_F(HeaderDetection, EmptyAndShortStreamsAreHeaderless)
{
    IFStream empty(file("").c_str());
    EXPECT_EQ(empty.state(), 0u);
    EXPECT_TRUE(registry_is<quarn::io::Registry1>(empty));
    EXPECT_EQ(empty.flags() & Stream::data_lengths, 0u) << "header-less objects carry no lengths";
    EXPECT_EQ(empty.tell(), std::streampos(0));

    // One character short of the signature: read from its first byte.
    IFStream almost(file("quarn::io::Strea").c_str());
    EXPECT_EQ(almost.state(), 0u);
    EXPECT_TRUE(registry_is<quarn::io::Registry1>(almost));
    EXPECT_EQ(read_rest(almost), "quarn::io::Strea");

    IFStream tiny(file("qu").c_str());
    EXPECT_EQ(tiny.state(), 0u);
    EXPECT_EQ(read_rest(tiny), "qu");

    IFStream other(file("quarn::io::StreaX plus more").c_str());
    EXPECT_EQ(read_rest(other), "quarn::io::StreaX plus more");
}

TEST_F(HeaderDetection, NativeHeaderFlagsJoinTheStreamsOwn)
{
    IFStream plain(file(native_header(0) + "body").c_str());
    EXPECT_EQ(plain.state(), 0u);
    EXPECT_EQ(plain.flags(), Stream::data_lengths);
    EXPECT_EQ(plain.registry(), nullptr) << "made at the first object";
    EXPECT_EQ(plain.payload_offset(), 21u);
    EXPECT_EQ(read_rest(plain), "body");

    IFStream flagged(file(native_header(5) + "body").c_str());
    EXPECT_EQ(flagged.flags(), 6u) << "value 1 is never taken from a file";

    // A signature without its flags word is read as header-less.
    IFStream cut(file("quarn::io::Stream\x01").c_str());
    EXPECT_EQ(cut.state(), 0u);
    EXPECT_TRUE(registry_is<quarn::io::Registry1>(cut));
    EXPECT_EQ(read_rest(cut), "quarn::io::Stream\x01");
}

// The same objects in each kind of stream: the detected registry and
// framing read them back.
TEST_F(HeaderDetection, ObjectsReadBackThroughEachKind)
{
    TrackingFactory<Leaf> leaves;
    Leaf written;
    written.a = 7;
    auto objects = [&](std::unique_ptr<quarn::io::Registry> registry, uint32_t flags) {
        MemoryBuf buf;
        Stream out(&buf, registry.get());
        out.set_flags(flags);
        out.write_object(&written, Leaf::name);
        out.write_object(&written, Leaf::name, true);
        return buf.bytes();
    };
    const std::string name = u32le(static_cast<uint32_t>(std::string(Leaf::name).size())) + Leaf::name;
    const std::string leaf_data = u32le(7) + u32le(2) + u32le(3);
    const std::string streams[] = {
        native_header(0) + objects(std::make_unique<quarn::io::Registry2>(), Stream::data_lengths),
        objects(std::make_unique<quarn::io::Registry1>(), 0),
        legacy_stream("rw1", 0, 1, u32le(1) + name + leaf_data + u32le(1) + name + leaf_data),
        legacy_stream("rw2", 1, 1, u32le(1) + u16le(0xFFFF) + name + leaf_data + u32le(1) + u16le(0) + leaf_data),
    };
    for (const std::string& bytes : streams) {
        IFStream in(file(bytes).c_str());
        for (int i = 0; i < 2; ++i) {
            auto* leaf = dynamic_cast<Leaf*>(in.read_object());
            ASSERT_NE(leaf, nullptr) << "stream " << (&bytes - streams) << ", object " << i;
            EXPECT_EQ(leaf->a, 7u);
        }
        EXPECT_EQ(in.state() & ~Stream::eof, 0u);
    }
}

TEST_F(HeaderDetection, RawOpensReadNoHeader)
{
    IFStream in;
    in.set_flags(Stream::raw_open);
    in.open(file(native_header(0)).c_str());
    EXPECT_EQ(in.tell(), std::streampos(0));
    EXPECT_EQ(in.registry(), nullptr);
    EXPECT_EQ(in.payload_offset(), 0u);
}

TEST_F(HeaderDetection, ZlibPackedLegacyStreamsAreReadFromMemory)
{
    std::string data;
    for (int i = 0; i < 3000; ++i)
        data += "object " + std::to_string(i) + ";";
    IFStream in(file(legacy_stream("rw2", 1, 1, data)).c_str());
    EXPECT_EQ(in.state(), 0u);
    EXPECT_TRUE(registry_is<quarn::io::G1RwRegistry2>(in));
    EXPECT_EQ(in.flags() & Stream::data_lengths, 0u);
    EXPECT_EQ(in.buffer_ex(), nullptr) << "the unpacked data stands in for the file";
    EXPECT_EQ(in.tell(), std::streampos(0));
    EXPECT_EQ(in.payload_offset(), 0u);
    EXPECT_EQ(read_rest(in), data);

    // Reopening puts the file buffer back.
    in.open(file("plain").c_str());
    EXPECT_EQ(in.buffer_ex(), &in.file_buf());
    EXPECT_EQ(read_rest(in), "plain");
}

TEST_F(HeaderDetection, ReopeningStartsFromTheCallersFlags)
{
    IFStream in(file(legacy_stream("rw1", 0, 1, "data")).c_str());
    EXPECT_EQ(in.flags(), 0u);
    in.open(file(native_header(0) + "x").c_str());
    EXPECT_EQ(in.flags(), Stream::data_lengths) << "not the legacy file's framing";
    in.open(file(native_header(4) + "x").c_str());
    EXPECT_EQ(in.flags(), Stream::data_lengths | Stream::raw_open);
    in.open(file(native_header(0) + "x").c_str());
    EXPECT_EQ(in.payload_offset(), 21u) << "a file's flags do not make the next open raw";

    // Flags the caller sets between opens are kept.
    in.set_flags(Stream::raw_open);
    in.open(file(native_header(0)).c_str());
    EXPECT_EQ(in.flags(), Stream::raw_open);
    EXPECT_EQ(in.tell(), std::streampos(0));
}

TEST_F(HeaderDetection, PlainLegacyStreamsReadOnAfterTheHeader)
{
    IFStream in(file(legacy_stream("rw1", 0, 1, "data")).c_str());
    EXPECT_EQ(in.state(), 0u);
    EXPECT_TRUE(registry_is<quarn::io::G1RwRegistry1>(in));
    EXPECT_EQ(in.payload_offset(), 24u);
    EXPECT_EQ(in.buffer_ex(), &in.file_buf());
    EXPECT_EQ(read_rest(in), "data");
}

TEST_F(HeaderDetection, RefusedLegacyStreamsSayWhy)
{
    // Enciphered wins over any packer.
    EXPECT_EQ(open_failure(legacy_stream("rw1", 3, 1, "data")).rfind(" Encrypted g1rw streams are not supported", 0),
              0u);
    EXPECT_EQ(open_failure(legacy_stream("rw1", 1, 0, "data")).rfind(
                  " g1rw streams packed with zrpack are not supported", 0),
              0u);
    EXPECT_EQ(open_failure(legacy_stream("rw2", 1, 7, "data")).rfind(" Unknown g1rw stream packer type", 0), 0u);
    EXPECT_EQ(open_failure("rw1" + std::string(1, '\0') + u32le(0)).rfind(" reading rw1 header failed", 0), 0u);
    const std::string text = log_.text();
    EXPECT_NE(text.find("[quarn.io] error: Encrypted g1rw streams are not supported\n"), std::string::npos);
    EXPECT_NE(text.find("[quarn.io] error: g1rw streams packed with zrpack are not supported\n"), std::string::npos);
    EXPECT_NE(text.find("[quarn.io] error: Unknown g1rw stream packer type\n"), std::string::npos);
    EXPECT_NE(text.find("[quarn.io] error: reading rw1 header failed\n"), std::string::npos);

    // With exceptions off the stream is left failed.
    IFStream quiet;
    quiet.open(file(legacy_stream("rw1", 2, 1, "data")).c_str(), quarn::open_mode::in, 0);
    EXPECT_EQ(quiet.state(), Stream::fail);
}

TEST_F(HeaderDetection, CorruptPackedDataFailsWithZlibsReason)
{
    std::string packed = zlib_pack("some data to pack");
    packed[1] = static_cast<char>(packed[1] ^ 0x55); // the zlib header's check fails
    const std::string bytes = legacy_header("rw2", 1, 1, static_cast<uint32_t>(packed.size()), 17) + packed;
    const std::string text = open_failure(bytes);
    EXPECT_EQ(text.rfind(" z_uncompress() failed while opening g1rw stream", 0), 0u) << text;
    EXPECT_NE(text.find(": data error"), std::string::npos) << text;
    EXPECT_NE(log_.text().find("error: z_uncompress() failed while opening g1rw stream: data error."),
              std::string::npos);
}

TEST_F(HeaderDetection, PackedDataEndingEarlyFailsTheStream)
{
    const std::string whole = legacy_stream("rw2", 1, 1, std::string(5000, 'a'));
    IFStream in;
    in.open(file(whole.substr(0, whole.size() - 3)).c_str(), quarn::open_mode::in, 0);
    EXPECT_EQ(in.state(), Stream::eof | Stream::fail);
    EXPECT_NE(open_failure(whole.substr(0, whole.size() - 3)), "(opened)");
}

// Records the largest block asked for.
class LargestBlock : public quarn::Allocator {
public:
    LargestBlock() { current(this); }
    void* try_allocate(size_t size) override
    {
        largest = std::max(largest, size);
        return Allocator::try_allocate(size);
    }
    size_t largest = 0;
};

TEST_F(HeaderDetection, SizesFromTheHeaderAreNotTrusted)
{
    LargestBlock blocks;
    const std::string packed = zlib_pack("tiny");
    const uint32_t n = static_cast<uint32_t>(packed.size());

    // Far more unpacked bytes than zlib can make of the packed ones.
    IFStream huge;
    huge.open(file(legacy_header("rw2", 1, 1, n, 0xFFFFFFFFu) + packed).c_str(), quarn::open_mode::in, 0);
    EXPECT_EQ(huge.state(), Stream::fail);
    EXPECT_EQ(open_failure(legacy_header("rw2", 1, 1, n, 0xFFFFFFFFu) + packed)
                  .rfind(" z_uncompress() failed while opening g1rw stream", 0),
              0u);

    // More packed bytes than the file holds, or than any legacy file has.
    IFStream missing;
    missing.open(file(legacy_header("rw1", 1, 1, 100000, 4) + packed).c_str(), quarn::open_mode::in, 0);
    EXPECT_EQ(missing.state(), Stream::eof | Stream::fail);
    EXPECT_EQ(open_failure(legacy_header("rw1", 1, 1, 0xFFFFFFF0u, 4) + packed)
                  .rfind(" z_uncompress() failed while opening g1rw stream", 0),
              0u);
    EXPECT_LT(blocks.largest, 1u << 20);

    // A declared size larger than the real one is fine: zlib's length counts.
    IFStream roomy(file(legacy_header("rw2", 1, 1, n, 100) + packed).c_str());
    EXPECT_EQ(read_rest(roomy), "tiny");
}

TEST_F(HeaderDetection, UnseekableStreamsCannotGoBackToTheirStart)
{
    ForwardBuf buf("some header-less bytes");
    IStream in(&buf);
    in.exceptions(0);
    in.detect_header();
    EXPECT_EQ(in.state(), Stream::fail);
    EXPECT_EQ(in.flags() & Stream::data_lengths, 0u);

    ForwardBuf again("abcd");
    IStream raising(&again);
    try {
        raising.detect_header();
        FAIL() << "no failure";
    } catch (const quarn::io::Failure& e) {
        EXPECT_STREQ(e.what(), "Failed to open legacy stream.");
    }
}

TEST_F(HeaderDetection, MissingFilesFailWithTheSystemsReasonAndTheName)
{
    const std::string name = dir_ / "absent.obst";
    try {
        IFStream in(name.c_str());
        FAIL() << "opened";
    } catch (const quarn::io::Failure& e) {
        EXPECT_EQ(std::string(e.what()), "No such file or directory ('" + name + "')");
    }
    IFStream quiet;
    quiet.open(name.c_str(), quarn::open_mode::in, 0);
    EXPECT_EQ(quiet.state(), Stream::fail);
    EXPECT_FALSE(quiet.is_open());
}

} // namespace
