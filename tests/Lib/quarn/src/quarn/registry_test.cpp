#include "io_log_capture.h"
#include "memory_buf.h"
#include "quarn/AbstractFactory.h"
#include "quarn/Exception.h"
#include "quarn/IStream.h"
#include "quarn/IoFailure.h"
#include "quarn/Registry.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using namespace quarn::io;
using quarn_test::MemoryBuf;
using quarn_test::u16le;
using quarn_test::u32le;

class NamedFactory : public quarn::AbstractFactory {
public:
    using AbstractFactory::AbstractFactory;
    void delete_obj(void*) override { }
    void* create_obj() override { return nullptr; }
    void* uninitialized_copy(void*, const void*) override { return nullptr; }
};

const std::string A = "class quarn_test::A";
const std::string B = "struct quarn_test::B";

std::string name_bytes(const std::string& name) { return u32le(static_cast<uint32_t>(name.size())) + name; }

template <class R> std::string written_references(const std::vector<std::string>& names)
{
    MemoryBuf buf;
    Stream out(&buf);
    R registry;
    for (const auto& n : names)
        EXPECT_TRUE(registry.write_factory(out, n.c_str()));
    return buf.bytes();
}

// Reads factory references until the stream ends; the factories found.
template <class R>
std::vector<quarn::AbstractFactory*> read_references(
    const std::string& bytes, int count, R& registry, uint32_t mask = 0)
{
    MemoryBuf buf(bytes);
    IStream in(&buf);
    in.exceptions(mask);
    std::vector<quarn::AbstractFactory*> found;
    for (int i = 0; i < count; ++i)
        found.push_back(registry.read_factory(in, true));
    EXPECT_EQ(in.state(), 0u);
    return found;
}

TEST(Registry, GoldenBytesOfNativeReferences)
{
    EXPECT_EQ(
        written_references<Registry2>({ A, B, A }), u32le(0) + name_bytes(A) + u32le(0) + name_bytes(B) + u32le(1));
    EXPECT_EQ(written_references<Registry1>({ A, B, A }), name_bytes(A) + name_bytes(B) + u32le(0) + u32le(1));
}

TEST(Registry, EveryEncodingReadsBackItsReferences)
{
    NamedFactory fa(A.c_str());
    NamedFactory fb(B.c_str());
    {
        Registry1 r;
        auto f = read_references(name_bytes(A) + name_bytes(B) + u32le(0) + u32le(1) + u32le(0) + u32le(2), 4, r);
        EXPECT_EQ(f, (std::vector<quarn::AbstractFactory*> { &fa, &fb, &fa, &fb }));
    }
    {
        Registry2 r;
        auto f = read_references(u32le(0) + name_bytes(A) + u32le(0) + name_bytes(B) + u32le(2) + u32le(1), 4, r);
        EXPECT_EQ(f, (std::vector<quarn::AbstractFactory*> { &fa, &fb, &fb, &fa }));
    }
    {
        // rw1 repeats the name before every object; the list grows each time.
        G1RwRegistry1 r;
        auto f = read_references(name_bytes(A) + name_bytes(B) + name_bytes(A) + u32le(0xFFFFFFFF), 4, r);
        EXPECT_EQ(f, (std::vector<quarn::AbstractFactory*> { &fa, &fb, &fa, nullptr }));
        EXPECT_EQ(r.factories().size(), 3u);
    }
    {
        G1RwRegistry2 r;
        auto f = read_references(
            u16le(0xFFFF) + name_bytes(A) + u16le(0xFFFF) + name_bytes(B) + u16le(1) + u16le(0), 4, r);
        EXPECT_EQ(f, (std::vector<quarn::AbstractFactory*> { &fa, &fb, &fb, &fa }));
    }
}

TEST(Registry, UnknownNamesStillTakeAnId)
{
    quarn_test::IoLogCapture capture;
    NamedFactory fb(B.c_str());
    Registry2 r;
    auto f = read_references(u32le(0) + name_bytes(A) + u32le(0) + name_bytes(B) + u32le(2) + u32le(1), 4, r);
    EXPECT_EQ(f, (std::vector<quarn::AbstractFactory*> { nullptr, &fb, &fb, nullptr }));
    EXPECT_EQ(capture.text(), "[quarn.io] warning: 'class quarn_test::A' factory not found.\n");
}

TEST(Registry, NameLengthsOutsideOneTo4096FailTheStream)
{
    quarn_test::IoLogCapture capture;
    const std::string longest(4096, 'n');
    {
        Registry1 r;
        MemoryBuf buf(name_bytes(longest) + u32le(4097) + std::string(4097, 'x'));
        IStream in(&buf);
        in.exceptions(0);
        EXPECT_EQ(r.read_factory(in, false), nullptr);
        EXPECT_EQ(in.state(), 0u) << "4096 is accepted";
        EXPECT_EQ(r.factories().size(), 1u);
        EXPECT_EQ(r.read_factory(in, false), nullptr);
        EXPECT_EQ(in.state(), Stream::fail);
        EXPECT_EQ(r.factories().size(), 1u) << "a refused name takes no id";
    }
    EXPECT_NE(capture.text().find("[quarn.io] error: Invalid factory name length (4097).\n"), std::string::npos);
    {
        Registry2 r;
        MemoryBuf buf(u32le(0) + u32le(0));
        IStream in(&buf);
        try {
            r.read_factory(in, false);
            FAIL();
        } catch (const Failure& e) {
            EXPECT_STREQ(e.what(), "Invalid factory name length (0).");
        }
    }
    {
        // A length the stream cannot hold: the name read fails, no id.
        G1RwRegistry1 r;
        MemoryBuf buf(u32le(12) + "short");
        IStream in(&buf);
        in.exceptions(0);
        EXPECT_EQ(r.read_factory(in, false), nullptr);
        EXPECT_EQ(in.state(), Stream::eof | Stream::fail);
        EXPECT_TRUE(r.factories().empty());
    }
    EXPECT_NE(capture.text().find("[quarn.io] error: Reading factory name failed.\n"), std::string::npos);
}

TEST(Registry, IdsOutsideTheListFailTheStream)
{
    quarn_test::IoLogCapture capture;
    {
        Registry1 r;
        MemoryBuf buf(u32le(0) + u32le(0));
        IStream in(&buf);
        in.exceptions(0);
        EXPECT_EQ(r.read_factory(in, false), nullptr);
        EXPECT_EQ(in.state(), Stream::fail);
    }
    EXPECT_EQ(capture.text(),
        "[quarn.io] error: Invalid factory id (0) while loading object. There are 0 factories "
        "loaded at the time.\n");
    {
        Registry2 r;
        MemoryBuf buf(u32le(0) + name_bytes(A) + u32le(2));
        IStream in(&buf);
        EXPECT_EQ(r.read_factory(in, false), nullptr);
        try {
            r.read_factory(in, false);
            FAIL();
        } catch (const Failure& e) {
            EXPECT_STREQ(
                e.what(), "Invalid factory id (2) while loading object. There are 1 factories loaded at this time.");
        }
    }
    {
        G1RwRegistry2 r;
        MemoryBuf buf(u16le(0));
        IStream in(&buf);
        in.exceptions(0);
        EXPECT_EQ(r.read_factory(in, false), nullptr);
        EXPECT_EQ(in.state(), Stream::fail);
    }
    {
        Registry1 r;
        MemoryBuf buf(u32le(0) + "ab");
        IStream in(&buf);
        in.exceptions(0);
        EXPECT_EQ(r.read_factory(in, false), nullptr);
    }
    EXPECT_NE(capture.text().find("[quarn.io] error: Failed to read factory id.\n"), std::string::npos);
}

TEST(Registry, SharedTagsAreWrittenOnceAndNumberedPerStream)
{
    int x = 0, y = 0;
    MemoryBuf buf;
    Stream out(&buf);
    Registry2 r;
    EXPECT_TRUE(r.write_tag(out, &x, A.c_str(), false));
    EXPECT_FALSE(r.write_tag(out, &x, A.c_str(), false)) << "the second time only the tag";
    EXPECT_TRUE(r.write_tag(out, &y, A.c_str(), false));
    EXPECT_TRUE(r.write_tag(out, &x, A.c_str(), true)) << "unshared: whole again";
    EXPECT_FALSE(r.write_tag(out, nullptr, A.c_str(), true)) << "null has nothing to follow";
    EXPECT_EQ(buf.bytes(),
        u32le(2) + u32le(0) + name_bytes(A) + u32le(2) + u32le(3) + u32le(1) + u32le(1) + u32le(1) + u32le(0));

    // Another stream numbers its own objects from 2 again.
    MemoryBuf other_buf;
    Stream other(&other_buf);
    Registry1 other_registry;
    EXPECT_TRUE(other_registry.write_tag(other, &y, B.c_str(), false));
    EXPECT_EQ(other_buf.bytes().substr(0, 4), u32le(2));

    r.clear();
    buf = MemoryBuf();
    EXPECT_TRUE(r.write_tag(out, &x, A.c_str(), false));
    EXPECT_EQ(buf.bytes(), u32le(4) + u32le(0) + name_bytes(A)) << "tags are never reused";
}

TEST(Registry, ReadTagsResolveKnownObjects)
{
    NamedFactory fa(A.c_str());
    int object = 0;
    Registry2 r;
    MemoryBuf buf(u32le(5) + u32le(0) + name_bytes(A) + u32le(5) + u32le(1) + u32le(1) + u32le(1) + u32le(1) + u32le(0)
        + u32le(7) + u32le(1));
    IStream in(&buf);
    ObjectRef ref;
    uint32_t tag = 99;
    EXPECT_TRUE(r.read_tag(in, ref, tag));
    EXPECT_EQ(tag, 5u);
    EXPECT_EQ(ref.factory, &fa);
    r.remember(&object, tag);

    ref = {};
    EXPECT_FALSE(r.read_tag(in, ref, tag)) << "a known tag";
    EXPECT_EQ(ref.object, &object);
    EXPECT_EQ(ref.factory, nullptr);

    ref = {};
    EXPECT_TRUE(r.read_tag(in, ref, tag));
    EXPECT_EQ(tag, 1u);
    r.remember(&object, 1);
    EXPECT_TRUE(r.read_tag(in, ref, tag)) << "tag 1 is never remembered";
    EXPECT_FALSE(r.read_tag(in, ref, tag));
    EXPECT_EQ(tag, 0u);

    NamedFactory callers("");
    ref = { nullptr, &callers };
    EXPECT_TRUE(r.read_tag(in, ref, tag));
    EXPECT_EQ(ref.factory, &callers) << "the caller's factory stays";

    r.forget(5);
    MemoryBuf again(u32le(5) + u32le(1));
    IStream in2(&again);
    ref = {};
    EXPECT_TRUE(r.read_tag(in2, ref, tag)) << "forgotten: read as new";
    EXPECT_EQ(ref.factory, &fa);
}

TEST(Registry, SkipTagPassesOverReferences)
{
    Registry1 r;
    int object = 0;
    r.remember(&object, 9);
    MemoryBuf buf(u32le(9) + u32le(3) + name_bytes(A) + u32le(1) + u32le(0) + u32le(1) + u32le(0));
    IStream in(&buf);
    in.exceptions(0);
    EXPECT_TRUE(in.state() == 0 && r.skip_tag(in));
    EXPECT_TRUE(r.skip_tag(in));
    EXPECT_TRUE(r.skip_tag(in));
    EXPECT_FALSE(r.skip_tag(in)) << "tag 0";
    EXPECT_EQ(in.state(), 0u);
    EXPECT_FALSE(r.skip_tag(in)) << "end of stream";
}

TEST(Registry, EmptyNamesCannotBeWritten)
{
    quarn_test::IoLogCapture capture;
    MemoryBuf buf;
    Stream out(&buf);
    Registry1 r1;
    EXPECT_THROW(r1.write_factory(out, ""), Failure);
    EXPECT_EQ(quarn::last_throw_origin().line, 43);
    Registry2 r2;
    try {
        r2.write_factory(out, nullptr);
        FAIL();
    } catch (const Failure&) {
        FAIL() << "Registry2 throws a plain exception";
    } catch (const quarn::Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid attempt to store empty factory name.");
    }
    EXPECT_STREQ(quarn::last_throw_origin().function, "quarn::io::Registry2::write_factory");
    EXPECT_EQ(buf.size(), 0u);
}

TEST(Registry, OverlongNamesAreNotWritten)
{
    quarn_test::IoLogCapture capture;
    MemoryBuf buf;
    Stream out(&buf);
    out.exceptions(0);
    Registry2 r;
    EXPECT_FALSE(r.write_factory(out, std::string(4097, 'n').c_str()));
    EXPECT_EQ(out.state(), Stream::fail);
}

TEST(Registry, WriteFailuresAreReportedAsFalse)
{
    quarn_test::IoLogCapture capture;
    MemoryBuf buf;
    buf.write_limit = 6;
    Stream out(&buf);
    out.exceptions(0);
    Registry2 r;
    EXPECT_FALSE(r.write_factory(out, A.c_str()));
    EXPECT_NE(out.state() & Stream::fail, 0u);
    EXPECT_NE(capture.text().find("[quarn.io] error: Failed to write factory name.\n"), std::string::npos);
    out.clear();
    buf.write_limit = 100;
    EXPECT_TRUE(r.write_factory(out, A.c_str())) << "a name that failed was not entered";
}

TEST(Registry, LegacyRegistriesAreReadOnly)
{
    MemoryBuf buf;
    Stream out(&buf);
    int object = 0;
    G1RwRegistry1 r1;
    G1RwRegistry2 r2;
    for (quarn::io::Registry* r : { static_cast<quarn::io::Registry*>(&r1), static_cast<quarn::io::Registry*>(&r2) }) {
        try {
            r->write_tag(out, &object, A.c_str(), false);
            FAIL();
        } catch (const quarn::Exception& e) {
            EXPECT_STREQ(e.what(), "NOT IMPLEMENTED");
        }
        EXPECT_THROW(r->write_factory(out, A.c_str()), quarn::Exception);
    }
    EXPECT_EQ(buf.size(), 0u);
}

} // namespace
