#include "io_log_capture.h"
#include "memory_buf.h"
#include "object_doubles.h"
#include "quarn/Allocator.h"
#include "quarn/Exception.h"
#include "quarn/Factory.h"
#include "quarn/IStream.h"
#include "quarn/IoFailure.h"
#include "quarn/Object.h"
#include "quarn/Registry.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace {

using namespace quarn::io;
using quarn_test::ForwardBuf;
using quarn_test::Leaf;
using quarn_test::MemoryBuf;
using quarn_test::Node;
using quarn_test::TrackingFactory;
using quarn_test::u32le;

std::string new_name(const std::string& name) { return u32le(0) + u32le(uint32_t(name.size())) + name; }
std::string leaf_data(uint32_t a, uint32_t b, uint32_t c) { return u32le(a) + u32le(b) + u32le(c); }

// Sends the object traces to a string for one test.
struct TraceCapture {
    TraceCapture() { set_trace_target(&text); }
    ~TraceCapture() { set_trace_target(nullptr); }
    std::stringbuf text;
};

TEST(ObjectFraming, SharedObjectIsStoredOnce)
{
    Leaf leaf;
    MemoryBuf buf;
    Stream out(&buf);
    out.write_object(&leaf, Leaf::name);
    out.write_object(&leaf, Leaf::name);
    EXPECT_EQ(buf.bytes(), u32le(2) + new_name(Leaf::name) + u32le(12) + leaf_data(1, 2, 3) + u32le(2));
    EXPECT_EQ(out.state(), 0u);

    TrackingFactory<Leaf> factory;
    IStream in(&buf);
    Object* first = in.read_object();
    Object* second = in.read_object();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(factory.made.size(), 1u);
    EXPECT_EQ(in.state(), 0u);
}

TEST(ObjectFraming, UnsharedObjectIsStoredWholeEachTime)
{
    Leaf leaf;
    leaf.b = 20;
    MemoryBuf buf;
    Stream out(&buf);
    out.write_object(&leaf, Leaf::name, true);
    out.write_object(&leaf, Leaf::name, true);
    EXPECT_EQ(buf.bytes(),
        u32le(1) + new_name(Leaf::name) + u32le(12) + leaf_data(1, 20, 3) + u32le(1) + u32le(1) + u32le(12)
            + leaf_data(1, 20, 3));

    TrackingFactory<Leaf> factory;
    IStream in(&buf);
    Object* first = in.read_object();
    Object* second = in.read_object();
    EXPECT_NE(first, second);
    ASSERT_EQ(factory.made.size(), 2u);
    EXPECT_EQ(factory.made[1]->b, 20u);
}

TEST(ObjectFraming, NullIsOneZeroTag)
{
    TraceCapture trace;
    MemoryBuf buf;
    Stream out(&buf);
    out.write_object(nullptr, Leaf::name);
    EXPECT_EQ(buf.bytes(), u32le(0));
    IStream in(&buf);
    EXPECT_EQ(in.read_object(), nullptr);
    EXPECT_EQ(in.state(), 0u);
    EXPECT_EQ(trace.text.str(), "<reference/>\n<reference/>\n");
}

TEST(ObjectFraming, GraphsRoundTripWithSharingNullsAndCycles)
{
    // root -> [a, a, null, root]; a -> [a]
    Node root, a;
    root.value = 10;
    a.value = 20;
    a.children = { &a };
    root.children = { &a, &a, nullptr, &root };
    MemoryBuf buf;
    Stream out(&buf);
    out.write_object(&root, Node::name);
    out.write_object(&a, Node::name, true);
    ASSERT_EQ(out.state(), 0u);

    TrackingFactory<Node> factory;
    IStream in(&buf);
    auto* r = dynamic_cast<Node*>(in.read_object());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->value, 10u);
    ASSERT_EQ(r->children.size(), 4u);
    Node* ra = r->children[0];
    ASSERT_NE(ra, nullptr);
    EXPECT_EQ(ra->value, 20u);
    EXPECT_EQ(r->children[1], ra);
    EXPECT_EQ(r->children[2], nullptr);
    EXPECT_EQ(r->children[3], r) << "a reference inside an object's own data";
    ASSERT_EQ(ra->children.size(), 1u);
    EXPECT_EQ(ra->children[0], ra);

    auto* copy = dynamic_cast<Node*>(in.read_object());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, ra) << "written unshared: a new object";
    EXPECT_EQ(copy->children[0], ra) << "its children are still the shared ones";
    EXPECT_EQ(factory.made.size(), 3u);
    EXPECT_EQ(in.state(), 0u);
}

TEST(ObjectFraming, WithoutLengthsInBothRegistries)
{
    Node root, leaf;
    root.children = { &leaf, &leaf };
    for (bool header_less : { true, false }) {
        MemoryBuf buf;
        Stream out(&buf);
        Registry1 r1;
        if (header_less)
            out.set_registry(&r1);
        out.set_flags(0);
        out.write_object(&root, Node::name);
        if (header_less) {
            EXPECT_EQ(buf.bytes().substr(0, 8 + std::string(Node::name).size()),
                u32le(2) + u32le(uint32_t(std::string(Node::name).size())) + Node::name);
        }

        TrackingFactory<Node> factory;
        IStream in(&buf);
        Registry1 r1_in;
        if (header_less)
            in.set_registry(&r1_in);
        in.set_flags(0);
        auto* r = dynamic_cast<Node*>(in.read_object());
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(r->children.size(), 2u);
        EXPECT_EQ(r->children[0], r->children[1]);
        EXPECT_EQ(in.state(), 0u);
    }
}

TEST(ObjectFraming, LengthStaysUnknownWhenTheOutputCannotSeek)
{
    quarn_test::IoLogCapture capture;
    Leaf leaf;
    ForwardBuf buf;
    Stream out(&buf);
    out.write_object(&leaf, Leaf::name);
    EXPECT_EQ(out.state(), Stream::lossy) << "lossy, not failed";
    EXPECT_EQ(buf.bytes(), u32le(2) + new_name(Leaf::name) + u32le(0xFFFFFFFF) + leaf_data(1, 2, 3));

    // Such an object reads back when its factory is known, but cannot be
    // skipped.
    {
        TrackingFactory<Leaf> factory;
        MemoryBuf copy(buf.bytes());
        IStream in(&copy);
        EXPECT_NE(in.read_object(), nullptr);
    }
    MemoryBuf copy(buf.bytes());
    IStream unknown(&copy);
    unknown.exceptions(0);
    EXPECT_EQ(unknown.read_object(), nullptr);
    EXPECT_EQ(unknown.state(), Stream::fail);
    EXPECT_NE(capture.text().find("[quarn.io] error: Data length is not available for skipping.\n"), std::string::npos);
}

TEST(ObjectFraming, UnknownFactoryIsSkippedByItsLength)
{
    quarn_test::IoLogCapture capture;
    Leaf leaf;
    Node node;
    node.value = 77;
    MemoryBuf buf;
    Stream out(&buf);
    out.write_object(&leaf, Leaf::name);
    out.write_object(&node, Node::name);
    out.write_object(&leaf, Leaf::name);
    TraceCapture trace;

    TrackingFactory<Node> nodes; // no Leaf factory here
    IStream in(&buf);
    EXPECT_EQ(in.read_object(), nullptr);
    EXPECT_EQ(in.state(), Stream::lossy);
    auto* n = dynamic_cast<Node*>(in.read_object());
    ASSERT_NE(n, nullptr) << "the next object reads correctly";
    EXPECT_EQ(n->value, 77u);
    EXPECT_EQ(in.read_object(), nullptr) << "a reference to the skipped object";
    EXPECT_EQ(in.state(), Stream::lossy);
    uint32_t v;
    EXPECT_THROW(in.read_u32(v), Failure) << "sentries pass; the stream has simply ended";

    EXPECT_NE(capture.text().find("[quarn.io] warning: 'class quarn_test::Leaf<class quarn_test::Tag>' factory "
                                  "not found.\n"),
        std::string::npos);
    EXPECT_NE(capture.text().find("[quarn.io] warning: Object skipped.\n"), std::string::npos);
    EXPECT_EQ(trace.text.str().substr(0, 12), "<skipped/>\n<");
}

TEST(ObjectFraming, UnknownFactoryWithoutLengthsFails)
{
    quarn_test::IoLogCapture capture;
    Leaf leaf;
    MemoryBuf buf;
    Stream out(&buf);
    out.set_flags(0);
    out.write_object(&leaf, Leaf::name);

    IStream in(&buf);
    in.set_flags(0);
    EXPECT_THROW(in.read_object(), Failure);
    EXPECT_EQ(in.state() & Stream::fail, Stream::fail);
    EXPECT_NE(capture.text().find("[quarn.io] error: Failed to skip object.\n"), std::string::npos);

    // A length past the end cannot be skipped either.
    MemoryBuf cut(u32le(1) + new_name(Leaf::name) + u32le(400) + leaf_data(1, 2, 3));
    IStream short_in(&cut);
    short_in.exceptions(0);
    EXPECT_EQ(short_in.read_object(), nullptr);
    EXPECT_EQ(short_in.state(), Stream::fail);
    EXPECT_NE(capture.text().find("[quarn.io] error: Seek failed while skipping data.\n"), std::string::npos);
}

TEST(ObjectFraming, CallersFactoryTakesPrecedence)
{
    Leaf leaf;
    MemoryBuf buf;
    Stream out(&buf);
    out.write_object(&leaf, "class quarn_test::Unregistered");
    TrackingFactory<Leaf> mine("");
    IStream in(&buf);
    EXPECT_NE(in.read_object(&mine), nullptr);
    EXPECT_EQ(mine.made.size(), 1u);
    EXPECT_EQ(in.state(), 0u);
}

TEST(ObjectFraming, ObjectThatThrowsIsReleased)
{
    Node node;
    node.value = Node::throw_value;
    MemoryBuf buf;
    Stream out(&buf);
    out.write_object(&node, Node::name);
    out.write_object(&node, Node::name);

    TrackingFactory<Node> factory;
    IStream in(&buf);
    EXPECT_THROW(in.read_object(), std::runtime_error);
    EXPECT_TRUE(factory.made.empty());
    in.exceptions(0);
    EXPECT_EQ(in.read_object(), nullptr) << "the failed object's tag no longer resolves to it";
    EXPECT_TRUE(factory.made.empty());
}

TEST(ObjectFraming, NestingIsBounded)
{
    quarn_test::IoLogCapture capture;
    // Each node holds the next, unshared, deeper than any reader allows.
    std::string bytes;
    const uint32_t levels = IStream::max_depth + 5;
    for (uint32_t i = 0; i < levels; ++i)
        bytes += u32le(1) + (i == 0 ? new_name(Node::name) : u32le(1)) + u32le(0xFFFFFFFF) + u32le(i) + u32le(1);
    TrackingFactory<Node> factory;
    MemoryBuf buf(bytes);
    IStream in(&buf);
    in.exceptions(0);
    auto* top = dynamic_cast<Node*>(in.read_object());
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(factory.made.size(), IStream::max_depth);
    EXPECT_EQ(in.state(), Stream::fail);
    EXPECT_NE(capture.text().find("[quarn.io] error: Objects nested too deeply.\n"), std::string::npos);
}

TEST(ObjectFraming, TracesEscapeAngleBrackets)
{
    TraceCapture trace;
    Leaf leaf;
    MemoryBuf buf;
    Stream out(&buf);
    out.write_object(&leaf, Leaf::name);
    out.write_object(&leaf, Leaf::name);
    TrackingFactory<Leaf> factory;
    IStream in(&buf);
    in.read_object();
    const std::string open = "<object tag=\"class quarn_test::Leaf&lt;class quarn_test::Tag&gt;\">\n";
    EXPECT_EQ(trace.text.str(), open + "</object>\n<reference/>\n" + open + "</object>\n");
}

TEST(ObjectFraming, FailedWriteClosesTheTraceAndKeepsTheState)
{
    TraceCapture trace;
    Leaf leaf;
    MemoryBuf buf;
    buf.write_limit = 65; // past the length, inside the data
    Stream out(&buf);
    out.exceptions(0);
    out.write_object(&leaf, Leaf::name);
    EXPECT_EQ(out.state(), Stream::eof | Stream::fail);
    EXPECT_NE(trace.text.str().find("</object>"), std::string::npos);
}

TEST(ObjectBlocks, RawBlocksRoundTripAndShare)
{
    const char data[5] = { 'a', 'b', 'c', 'd', 'e' };
    MemoryBuf buf;
    Stream out(&buf);
    out.write_refs(data, 5, "struct quarn_test::Raw");
    out.write_refs(data, 5, "struct quarn_test::Raw");
    EXPECT_EQ(buf.bytes(), u32le(2) + new_name("struct quarn_test::Raw") + u32le(5) + "abcde" + u32le(2));

    quarn_test::IoLogCapture capture;
    IStream in(&buf);
    uint32_t size = 0;
    void* block = in.read_refs(nullptr, &size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::string(static_cast<char*>(block), 5), "abcde");
    size = 0;
    EXPECT_EQ(in.read_refs(nullptr, &size), block);
    EXPECT_EQ(size, 5u);
    quarn::Allocator::free(block);
}

TEST(ObjectBlocks, SharedCountsReadIntoFreshBlocks)
{
    auto* leaf = new Leaf;
    quarn::RefPtr<Leaf> held(leaf);
    quarn::RefPtr<Leaf> second = held;
    MemoryBuf buf;
    Stream out(&buf);
    int32_t* strong = quarn::strong_field(held.refs());
    out.write_refs(strong, 4, quarn::type_name_v<int32_t>);
    out.write_refs(strong, 4, quarn::type_name_v<int32_t>);
    EXPECT_EQ(buf.bytes(), u32le(2) + new_name("long") + u32le(4) + u32le(2) + u32le(2));

    quarn_test::IoLogCapture capture;
    auto* read_leaf = new Leaf;
    quarn::RefsIoFactory<Leaf> counts(read_leaf);
    IStream in(&buf);
    auto* block = static_cast<int32_t*>(in.read_refs(&counts));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(*block, 0) << "the writer's count is not the reader's";
    EXPECT_EQ(in.read_refs(&counts), block);
    {
        quarn::RefPtr<Leaf> a(read_leaf, quarn::refs_from_strong(block));
        EXPECT_EQ(a.use_count(), 1);
    } // the last handle deletes the leaf and the block
}

TEST(ObjectBlocks, CountsFromTheStreamAreChecked)
{
    quarn_test::IoLogCapture capture;
    quarn::RefsIoFactory<Leaf> counts;
    {
        // A factory block of the wrong size.
        MemoryBuf buf(u32le(2) + new_name("long") + u32le(4096) + std::string(4096, 'x'));
        IStream in(&buf);
        in.exceptions(0);
        EXPECT_EQ(in.read_refs(&counts), nullptr);
        EXPECT_EQ(in.state(), Stream::fail);
    }
    EXPECT_NE(capture.text().find("[quarn.io] error: Invalid block size.\n"), std::string::npos);

    // A raw count far beyond the stream allocates no more than it finds.
    struct Tally : quarn::Allocator {
        void* try_allocate(size_t n) override
        {
            largest = std::max(largest, n);
            return Allocator::try_allocate(n);
        }
        size_t largest = 0;
    } tally;
    quarn::Allocator::current(&tally);
    {
        MemoryBuf buf(u32le(2) + new_name("struct quarn_test::Raw") + u32le(0xFFFFFFF0) + std::string(100000, 'x'));
        IStream in(&buf);
        in.exceptions(0);
        EXPECT_EQ(in.read_refs(), nullptr);
        EXPECT_EQ(in.state(), Stream::eof | Stream::fail);
    }
    EXPECT_EQ(tally.largest, 0u) << "nothing came from the allocator";
    {
        MemoryBuf buf(u32le(2) + new_name("struct quarn_test::Raw") + u32le(100000) + std::string(100000, 'y'));
        IStream in(&buf);
        void* block = in.read_refs();
        ASSERT_NE(block, nullptr) << "a large block that is all there";
        EXPECT_EQ(static_cast<char*>(block)[99999], 'y');
        quarn::Allocator::free(block);
    }
}

TEST(ObjectBlocks, ReferencesOfAnotherKindAreRefused)
{
    quarn_test::IoLogCapture capture;
    TrackingFactory<Leaf> leaves;
    quarn::RefsIoFactory<Leaf> counts;
    // tag 2: a raw block; tag 3: a Leaf object; then references to each.
    const std::string bytes = u32le(2) + new_name("struct quarn_test::Raw") + u32le(4) + "abcd" + u32le(3)
        + new_name(Leaf::name) + u32le(12) + leaf_data(1, 2, 3) + u32le(2) + u32le(3) + u32le(2);
    {
        MemoryBuf buf(bytes);
        IStream in(&buf);
        in.exceptions(0);
        void* raw = in.read_refs();
        ASSERT_NE(raw, nullptr);
        ASSERT_NE(in.read_object(), nullptr);
        EXPECT_EQ(in.read_object(), nullptr) << "a raw block is no object";
        EXPECT_EQ(in.state(), Stream::fail);
        quarn::Allocator::free(raw);
    }
    {
        MemoryBuf buf(bytes);
        IStream in(&buf);
        in.exceptions(0);
        void* raw = in.read_refs();
        in.read_object();
        uint32_t skip;
        ASSERT_TRUE(in.read_u32(skip));
        EXPECT_EQ(in.read_refs(), nullptr) << "an object is no block";
        EXPECT_EQ(in.state(), Stream::fail);
        quarn::Allocator::free(raw);
    }
    {
        MemoryBuf buf(bytes);
        IStream in(&buf);
        in.exceptions(0);
        void* raw = in.read_refs();
        in.read_object();
        uint32_t skip;
        ASSERT_TRUE(in.read_u32(skip) && in.read_u32(skip));
        EXPECT_EQ(in.read_refs(&counts), nullptr) << "raw memory is no count block";
        EXPECT_EQ(in.state(), Stream::fail);
        quarn::Allocator::free(raw);
    }
    EXPECT_NE(capture.text().find("[quarn.io] error: Reference to an object of another kind.\n"), std::string::npos);
}

TEST(ObjectFraming, LegacyStreamsReadTheirObjects)
{
    // rw2: no lengths, u16 references.
    TrackingFactory<Leaf> leaves;
    const std::string name = Leaf::name;
    MemoryBuf buf(u32le(1) + quarn_test::u16le(0xFFFF) + u32le(uint32_t(name.size())) + name + leaf_data(4, 5, 6)
        + u32le(1) + quarn_test::u16le(0) + leaf_data(7, 8, 9));
    IStream in(&buf);
    G1RwRegistry2 registry;
    in.set_registry(&registry);
    in.set_flags(0);
    auto* first = dynamic_cast<Leaf*>(in.read_object());
    auto* second = dynamic_cast<Leaf*>(in.read_object());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->c, 6u);
    EXPECT_EQ(second->a, 7u);
    EXPECT_EQ(in.state(), 0u);
}

TEST(ObjectFraming, DefaultRegistryIsCreatedAndOwned)
{
    Leaf leaf;
    MemoryBuf buf;
    Stream out(&buf);
    EXPECT_EQ(out.registry(), nullptr);
    out.write_object(&leaf, Leaf::name);
    EXPECT_NE(dynamic_cast<Registry2*>(out.registry()), nullptr);
    EXPECT_TRUE(out.owns_registry());
    Registry1 mine;
    out.set_registry(&mine);
    EXPECT_FALSE(out.owns_registry());
}

} // namespace
