// Shared handles from damaged streams: objects paired with the wrong count
// block, blocks without objects, references into an object being read.
// Each is a stream failure; none may free twice or leak (the sanitizer
// build checks both).
#include "physics_test_support.h"
#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include <gtest/gtest.h>

namespace {

using namespace physics_test;
using quarn_test::MemoryBuf;

const std::string box_name = "class quarn::cls2::PrimitiveProxy<class quarn::cls2::Box>";

// A Box proxy's data with the given properties reference after it.
std::string box_data(const std::string& properties_ref)
{
    return u8(0) + u8(0) + f32(0) + f32(0) + f32(1) + f32(1) + u8(0) + u8(0) + properties_ref;
}

std::string framed(uint32_t tag, const std::string& name_ref, const std::string& data)
{
    return le32(tag) + name_ref + le32(uint32_t(data.size())) + data;
}

// The second reference to a primitive comes with a count block of its own.
TEST(SharedRead, AKnownObjectWithANewBlockFails)
{
    const std::string bytes = framed(2, new_name(box_name), box_data(le32(0) + le32(0))) + le32(3) + new_name("long")
        + le32(4) + le32(1) + le32(2) + le32(4) + le32(1) + le32(4) + le32(1);
    for (uint32_t mask : { 0u, io::Stream::default_exceptions }) {
        MemoryBuf buf(bytes);
        io::IStream in(&buf);
        in.exceptions(mask);
        cls2::StreamReadScope scope(in);
        RefPtr<cls2::Primitive> first = cls2::read_primitive_ref(in);
        ASSERT_TRUE(first);
        EXPECT_EQ(in.state(), 0u);
        RefPtr<cls2::Primitive> second;
        if (mask) {
            EXPECT_THROW(second = cls2::read_primitive_ref(in), io::Failure);
        } else {
            second = cls2::read_primitive_ref(in);
            EXPECT_TRUE(in.state() & io::Stream::fail);
            EXPECT_EQ(second.get(), first.get());
            EXPECT_EQ(second.refs(), first.refs()) << "the object keeps its one block";
        }
    }
}

TEST(SharedRead, ABlockWithoutAnObjectFails)
{
    MemoryBuf buf(le32(0) + le32(2) + new_name("long") + le32(4) + le32(1));
    io::IStream in(&buf);
    in.exceptions(0);
    EXPECT_FALSE(cls2::read_primitive_ref(in));
    EXPECT_TRUE(in.state() & io::Stream::fail);
}

TEST(SharedRead, AnObjectWithoutABlockGetsOne)
{
    MemoryBuf buf(framed(2, new_name(box_name), box_data(le32(0) + le32(0))) + le32(0));
    io::IStream in(&buf);
    RefPtr<cls2::Primitive> p = cls2::read_primitive_ref(in);
    ASSERT_TRUE(p);
    EXPECT_EQ(in.state(), 0u);
    EXPECT_EQ(p.use_count(), 1);
}

// A primitive whose properties reference names the primitive itself,
// while it is still being read.
TEST(SharedRead, AReferenceIntoTheObjectBeingReadFails)
{
    const std::string bytes = framed(2, new_name(box_name), box_data(le32(2) + le32(0))) + le32(0);
    for (uint32_t mask : { 0u, io::Stream::default_exceptions }) {
        MemoryBuf buf(bytes);
        io::IStream in(&buf);
        in.exceptions(mask);
        if (mask) {
            EXPECT_THROW((void)cls2::read_primitive_ref(in), io::Failure);
        } else {
            RefPtr<cls2::Primitive> p = cls2::read_primitive_ref(in);
            EXPECT_TRUE(in.state() & io::Stream::fail);
            if (p) {
                EXPECT_FALSE(p->properties) << "no primitive is its own properties";
            }
        }
    }
}

// Properties met first where a primitive belongs, then where properties
// belong: one owner throughout.
TEST(SharedRead, AnObjectOfTheWrongClassIsKeptOnce)
{
    const std::string props_name = "struct quarn::dyn::PrimitiveProperties";
    const std::string props = framed(2, new_name(props_name), u8(0xFD) + u8(1) + u8(0) + le32(1));
    const std::string bytes = props + le32(0) + framed(3, new_name(box_name), box_data(le32(2) + le32(0))) + le32(0);
    MemoryBuf buf(bytes);
    io::IStream in(&buf);
    in.exceptions(0);
    cls2::StreamReadScope scope(in);
    EXPECT_FALSE(cls2::read_primitive_ref(in));
    EXPECT_TRUE(in.state() & io::Stream::fail);
    in.clear();
    uint32_t block_tag;
    ASSERT_TRUE(in.read_u32(block_tag)); // the refused object's, never read
    RefPtr<cls2::Primitive> p = cls2::read_primitive_ref(in);
    ASSERT_TRUE(p);
    EXPECT_TRUE(in.state() & io::Stream::fail) << "the refused object is no one's properties either";
}

TEST(SharedRead, ReferencesAcrossReadsNeedOneScope)
{
    RefPtr<cls2::Primitive> shape = proxy(circle(1, 1, 1));
    MemoryBuf buf;
    io::Stream out(&buf);
    cls2::write_primitive_ref(out, shape);
    cls2::write_primitive_ref(out, shape);
    io::IStream in(&buf);
    cls2::StreamReadScope scope(in);
    EXPECT_EQ(cls2::StreamReadScope::find(in), &scope);
    RefPtr<cls2::Primitive> a = cls2::read_primitive_ref(in);
    RefPtr<cls2::Primitive> b = cls2::read_primitive_ref(in);
    ASSERT_TRUE(a);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(in.state(), 0u);
}

} // namespace
