// Collidables: the pose rule, extents and bounding primitives, and the
// stream form with its tree commands, including damaged trees.
#include "physics_test_support.h"
#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace physics_test;
using quarn_test::MemoryBuf;

// The child counts of the tree in pre-order: a compact picture of its shape.
std::vector<int> shape_of_tree(const cls2::PrimitiveTree& t)
{
    std::vector<int> out;
    t.for_each([&](const cls2::PrimitiveTree::Node& n) {
        int k = 0;
        for (auto* c = n.first_child; c; c = c->next_sibling)
            ++k;
        out.push_back(k);
    });
    return out;
}

// A Collidable stream with the given tree command bytes; every 0x01 bit is
// followed by a new circle of radius = its position in the stream.
std::string tree_stream(const std::vector<uint8_t>& commands, float x = 0, float y = 0, float angle = 0,
    uint32_t mask = 0xFFFFFFFF)
{
    MemoryBuf buf;
    io::Stream out(&buf);
    out.write_u8(0);
    out.write_u8(0);
    out.write_u8(1);
    // Streams know objects by address: all of them stay alive until written.
    std::vector<RefPtr<cls2::Primitive>> shapes;
    shapes.push_back(proxy(circle(0, 0, 1)));
    cls2::write_primitive_ref(out, shapes.back());
    for (uint8_t cmd : commands) {
        out.write_u8(cmd);
        if ((cmd & 0x01)) {
            shapes.push_back(proxy(circle(0, 0, float(shapes.size() + 1))));
            cls2::write_primitive_ref(out, shapes.back());
        }
    }
    out.write_f32(x);
    out.write_f32(y);
    out.write_f32(angle);
    out.write_u32(mask);
    return buf.bytes();
}

float radius_of(const cls2::PrimitiveTree::Node* n)
{
    return static_cast<cls2::CircleProxy*>(n->primitive.get())->shape.radius;
}

TEST(CollidableReader, TreeCommands)
{
    struct Case {
        std::vector<uint8_t> commands;
        std::vector<int> tree;
    } cases[] = {
        { { 0x01, 0x01, 0x80 }, { 2, 0, 0 } },
        { { 0x01, 0x03, 0x05, 0x80 }, { 2, 1, 0, 0 } },
        { { 0x02, 0x80 }, { 0 } }, // 0x02 alone does nothing
        { { 0x05, 0x80 }, { 1, 0 } }, // no parent above the root: stays there
        { { 0x01, 0x03, 0x82 }, { 1, 1, 0 } }, // an end with other bits still ends
        { { 0x11, 0x80 }, { 1, 0 } }, // other bits are ignored
    };
    for (const Case& c : cases) {
        MemoryBuf buf(tree_stream(c.commands));
        io::IStream in(&buf);
        cls2::Collidable col;
        cls2::read_collidable(in, col);
        EXPECT_EQ(in.state(), 0u);
        EXPECT_EQ(shape_of_tree(col.primitives), c.tree);
    }
    // The children keep their order.
    MemoryBuf buf(tree_stream({ 0x01, 0x01, 0x80 }));
    io::IStream in(&buf);
    cls2::Collidable col;
    cls2::read_collidable(in, col);
    EXPECT_EQ(radius_of(col.primitives.root()->first_child), 2);
    EXPECT_EQ(radius_of(col.primitives.root()->last_child), 3);
    col.primitives.for_each([&](auto& n) { EXPECT_EQ(n.primitive->owner, &col); });
}

TEST(CollidableReader, PoseMaskAndStamp)
{
    cls2::Collidable c;
    const int32_t stamp = c.pose_stamp;
    {
        MemoryBuf buf(tree_stream({ 0x80 }, 3, -4, 0, 0x0F));
        io::IStream in(&buf);
        cls2::read_collidable(in, c);
    }
    EXPECT_EQ(c.position, Point2f(3, -4));
    EXPECT_EQ(c.mask, 0x0Fu);
    EXPECT_EQ(c.pose_stamp, stamp + 1) << "a changed position adds one";
    {
        MemoryBuf buf(tree_stream({ 0x80 }, 3, -4, 0));
        io::IStream in(&buf);
        cls2::read_collidable(in, c);
    }
    EXPECT_EQ(c.pose_stamp, stamp + 1) << "the same pose again adds nothing";
    {
        MemoryBuf buf(tree_stream({ 0x80 }, 3, -4, 0.5f));
        io::IStream in(&buf);
        cls2::read_collidable(in, c);
    }
    EXPECT_EQ(c.pose_stamp, stamp + 2) << "an angle alone adds exactly one";
    EXPECT_FLOAT_EQ(c.cos_angle, std::cos(0.5f));
    EXPECT_FLOAT_EQ(c.sin_angle, std::sin(0.5f));
}

TEST(CollidableReader, EmptyTree)
{
    MemoryBuf buf(u8(0) + u8(0) + u8(0) + f32(1) + f32(2) + f32(0) + le32(5));
    io::IStream in(&buf);
    cls2::Collidable c;
    cls2::read_collidable(in, c);
    EXPECT_EQ(in.state(), 0u);
    EXPECT_TRUE(c.primitives.empty());
    c.update_extent();
    EXPECT_EQ(c.extent, 0);
    EXPECT_EQ(c.mask, 5u);
}

TEST(CollidableReader, DamagedTreesFailTheStream)
{
    // The root reference is null.
    {
        MemoryBuf buf(u8(0) + u8(0) + u8(1) + le32(0) + le32(0) + u8(0x80) + f32(0) + f32(0) + f32(0) + le32(1));
        io::IStream in(&buf);
        in.exceptions(0);
        cls2::Collidable c;
        cls2::read_collidable(in, c);
        EXPECT_TRUE(in.state() & io::Stream::fail);
        EXPECT_TRUE(c.primitives.empty());
    }
    // A Properties object where a primitive belongs.
    {
        MemoryBuf buf;
        io::Stream out(&buf);
        out.write_u8(0);
        out.write_u8(0);
        out.write_u8(1);
        dyn::PrimitiveProperties props;
        out.write_object(&props, props.type_name());
        out.write_refs(nullptr, 4, "long");
        MemoryBuf in_buf(buf.bytes());
        io::IStream in(&in_buf);
        in.exceptions(0);
        cls2::Collidable c;
        cls2::read_collidable(in, c);
        EXPECT_TRUE(in.state() & io::Stream::fail);
        EXPECT_TRUE(c.primitives.empty());
    }
    // The second node names the first node's count block for a new shape.
    {
        RefPtr<cls2::Primitive> a = proxy(circle(0, 0, 1));
        MemoryBuf buf;
        io::Stream out(&buf);
        out.write_u8(0);
        out.write_u8(0);
        out.write_u8(1);
        cls2::write_primitive_ref(out, a);
        out.write_u8(0x01);
        cls2::CircleProxy other(circle(0, 0, 2), nullptr, {});
        out.write_object(&other, other.type_name());
        out.write_refs(quarn::strong_field(a.refs()), 4, "long");
        out.write_u8(0x80);
        MemoryBuf in_buf(buf.bytes());
        io::IStream in(&in_buf);
        in.exceptions(0);
        cls2::Collidable c;
        cls2::read_collidable(in, c);
        EXPECT_TRUE(in.state() & io::Stream::fail);
        EXPECT_EQ(c.primitives.size(), 1u) << "the nodes read so far stay";
    }
    // Short reads throw under the default mask, and nothing leaks.
    {
        const std::string whole = tree_stream({ 0x01, 0x03, 0x80 });
        for (size_t cut = 0; cut < whole.size(); cut += 7) {
            MemoryBuf buf(whole.substr(0, cut));
            io::IStream in(&buf);
            cls2::Collidable c;
            EXPECT_THROW(cls2::read_collidable(in, c), io::Failure) << cut;
        }
    }
}

TEST(CollidableWriter, RoundTripAndGoldenBytes)
{
    cls2::Collidable c;
    c.set_pose_position({ 1.5f, -2 });
    c.set_pose_angle(0.25f);
    c.mask = 0x00FF00FF;
    RefPtr<cls2::Primitive> shared = proxy(circle(0, 0, 9));
    auto* root = c.primitives.add_root(proxy(circle(0, 0, 1)));
    auto* a = c.primitives.add_child(root, proxy(circle(0, 0, 2)));
    c.primitives.add_child(a, proxy(circle(0, 0, 3)));
    auto* a2 = c.primitives.add_child(a, shared);
    c.primitives.add_child(a2, proxy(circle(0, 0, 5)));
    c.primitives.add_child(root, shared);
    c.set_owners();

    MemoryBuf buf;
    io::Stream out(&buf);
    cls2::write_collidable(out, c);
    ASSERT_EQ(out.state(), 0u);

    MemoryBuf in_buf(buf.bytes());
    io::IStream in(&in_buf);
    cls2::Collidable back;
    cls2::read_collidable(in, back);
    EXPECT_EQ(in.state(), 0u);
    EXPECT_EQ(shape_of_tree(back.primitives), shape_of_tree(c.primitives));
    std::vector<float> radii, back_radii;
    c.primitives.for_each([&](auto& n) { radii.push_back(radius_of(&n)); });
    back.primitives.for_each([&](auto& n) { back_radii.push_back(radius_of(&n)); });
    EXPECT_EQ(back_radii, radii);
    EXPECT_EQ(back.primitives.root()->last_child->primitive.get(), back.primitives.root()->first_child->last_child->primitive.get())
        << "a shape used twice is read as one";
    EXPECT_EQ(back.position, c.position);
    EXPECT_EQ(back.angle, c.angle);
    EXPECT_EQ(back.mask, c.mask);

    // One shape, whole: version, tree version, flags, the root, the end
    // command, then x, y, angle and mask.
    cls2::Collidable one;
    one.primitives.add_root(proxy(circle(1, 2, 3)));
    MemoryBuf golden;
    io::Stream gout(&golden);
    cls2::write_collidable(gout, one);
    const std::string name = "class quarn::cls2::PrimitiveProxy<class quarn::math::Circle<float> >";
    const std::string data = u8(0) + f32(1) + f32(2) + f32(3) + u8(0) + u8(1) + le32(0) + le32(0);
    EXPECT_EQ(golden.bytes(),
        u8(0) + u8(0) + u8(1) + le32(2) + new_name(name) + le32(uint32_t(data.size())) + data + le32(3)
            + new_name("long") + le32(4) + le32(1) + u8(0x80) + f32(0) + f32(0) + f32(0) + le32(0xFFFFFFFF));
}

TEST(Bounds, BoxOrCircleByArea)
{
    // Long and thin: the box is smaller than the circle.
    cls2::Collidable thin;
    give_shapes(thin, { proxy(box(-4, 0, 1, 0.25f)), proxy(box(4, 0, 1, 0.25f)) });
    thin.build_bounds(false);
    auto* b = dynamic_cast<cls2::BoxProxy*>(thin.primitives.root()->primitive.get());
    ASSERT_NE(b, nullptr);
    EXPECT_FLOAT_EQ(b->shape.half_x, 5);
    EXPECT_FLOAT_EQ(b->shape.half_y, 0.25f);
    EXPECT_EQ(b->owner, &thin);

    // A square of side 2: r = sqrt 2, the circle's area 6.28 > 4.
    cls2::Collidable square;
    give_shapes(square, { proxy(box(-0.5f, 0, 0.5f, 1)), proxy(box(0.5f, 0, 0.5f, 1)) });
    square.build_bounds(false);
    EXPECT_NE(dynamic_cast<cls2::BoxProxy*>(square.primitives.root()->primitive.get()), nullptr);
    square.build_bounds(true);
    auto* round = dynamic_cast<cls2::CircleProxy*>(square.primitives.root()->primitive.get());
    ASSERT_NE(round, nullptr) << "keep_circle keeps the circle";
    EXPECT_FLOAT_EQ(round->shape.radius, std::sqrt(2.0f));

    // A root whose only child is a circle keeps a circle of that radius.
    cls2::Collidable wheel;
    wheel.set_pose_position({ 10, 10 });
    auto* root = wheel.primitives.add_root(proxy(circle(0, 0, 0)));
    wheel.primitives.add_child(root, proxy(circle(1, 1, 2)));
    wheel.set_owners();
    wheel.build_bounds(false);
    auto* c = dynamic_cast<cls2::CircleProxy*>(wheel.primitives.root()->primitive.get());
    ASSERT_NE(c, nullptr);
    EXPECT_FLOAT_EQ(c->shape.radius, 2);
    EXPECT_FLOAT_EQ(c->shape.centre.x, 1) << "stored in the Collidable's frame";

    // A single shape is its own root and stays.
    cls2::Collidable single;
    auto shape = proxy(box(0, 0, 1, 1));
    give_shapes(single, { shape });
    single.build_bounds(false);
    EXPECT_EQ(single.primitives.root()->primitive.get(), shape.get());
}

TEST(Bounds, ExtentIsSetOnce)
{
    struct Body : cls2::Collidable {
    } c;
    give_shapes(c, { proxy(circle(0, 0, 1.5f)) });
    c.set_pose_position({ 3, 3 });
    c.update_extent();
    EXPECT_FLOAT_EQ(c.extent, 3);
    c.set_pose_position({ 30, 3 });
    c.update_extent();
    EXPECT_FLOAT_EQ(c.extent, 3) << "not recomputed";
}

TEST(Bounds, DeepTreesNeedNoRecursion)
{
    cls2::Collidable c;
    auto* n = c.primitives.add_root(proxy(circle(0, 0, 1)));
    for (int i = 0; i < 200000; ++i)
        n = c.primitives.add_child(n, proxy(circle(float(i % 7), 0, 1)));
    c.set_owners();
    c.build_bounds(false);
    EXPECT_NE(c.primitives.root()->primitive, nullptr);
}

} // namespace
