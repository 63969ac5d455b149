// Primitives: world shapes and their cache, distances and bounds, moves,
// and the stored form of each proxy (golden bytes and round trips).
#include "physics_test_support.h"
#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

using namespace physics_test;
using quarn_test::MemoryBuf;

constexpr float quarter_turn = 1.5707964f;

struct Owner : cls2::Collidable {
    void place(Point2f p, float a)
    {
        set_pose_position(p);
        set_pose_angle(a);
    }
};

TEST(WorldShape, WithoutOwnerIsTheLocalShape)
{
    cls2::CircleProxy c(circle(1, 2, 3), nullptr, {});
    EXPECT_EQ(&c.world_shape(), &c.shape);
    EXPECT_FLOAT_EQ(c.world_max_distance({ 1, 2 }), 3);
    EXPECT_EQ(c.stamp, -1) << "never written without an owner";
}

TEST(WorldShape, BoxesMoveButNeverTurn)
{
    Owner owner;
    owner.place({ 10, 0 }, quarter_turn);
    cls2::BoxProxy b(box(1, 0, 2, 1), &owner, {});
    const Box& w = b.world_shape();
    EXPECT_NEAR(w.centre.x, 10, 1e-6);
    EXPECT_NEAR(w.centre.y, 1, 1e-6);
    EXPECT_EQ(w.half_x, 2) << "still 4 wide";
    EXPECT_EQ(w.half_y, 1) << "and 2 high";
    const Box bb = b.world_bounding_box();
    EXPECT_EQ(bb.half_x, 2);

    cls2::TubeProxy t(Tube::from_points({ 0, 0 }, { 2, 0 }, 0.5f), &owner, {});
    EXPECT_NEAR(t.world_shape().direction.x, 0, 1e-6) << "tubes do turn";
    EXPECT_NEAR(t.world_shape().direction.y, 1, 1e-6);
    EXPECT_NEAR(t.world_shape().centre.y, 1, 1e-6);
}

TEST(WorldShape, CacheFollowsThePoseStamp)
{
    Owner owner;
    owner.place({ 5, 5 }, 0);
    cls2::PointProxy p(Point2f(1, 1), &owner, {});
    EXPECT_EQ(p.world_shape(), Point2f(6, 6));
    EXPECT_EQ(p.stamp, owner.pose_stamp);
    // A changed local shape shows only once the stamp moves on.
    p.shape = { 2, 2 };
    EXPECT_EQ(p.world_shape(), Point2f(6, 6));
    ++owner.pose_stamp;
    EXPECT_EQ(p.world_shape(), Point2f(7, 7));
    // translate and rebase leave the stamp alone as well.
    p.translate({ 1, 0 });
    EXPECT_EQ(p.world_shape(), Point2f(7, 7));
    EXPECT_EQ(p.shape, Point2f(3, 2));
}

TEST(Distances, PerShape)
{
    const Point2f o(0, 0);
    EXPECT_FLOAT_EQ(cls2::BoxProxy(box(1, 0, 1, 1), nullptr, {}).max_distance(o), std::sqrt(5.0f));
    EXPECT_FLOAT_EQ(cls2::CircleProxy(circle(3, 4, 1), nullptr, {}).max_distance(o), 6);
    EXPECT_FLOAT_EQ(cls2::PointProxy(Point2f(3, 4), nullptr, {}).max_distance(o), 5);
    EXPECT_FLOAT_EQ(cls2::SegmentProxy(Segment::from_points({ -1, 0 }, { 3, 0 }), nullptr, {}).max_distance(o), 3);
    EXPECT_FLOAT_EQ(cls2::TubeProxy(Tube::from_points({ 0, 0 }, { 3, 0 }, 4), nullptr, {}).max_distance(o), 5);
}

TEST(Bounds, PerShape)
{
    auto same = [](const Box& b, float cx, float cy, float hx, float hy) {
        EXPECT_NEAR(b.centre.x, cx, 1e-6);
        EXPECT_NEAR(b.centre.y, cy, 1e-6);
        EXPECT_NEAR(b.half_x, hx, 1e-6);
        EXPECT_NEAR(b.half_y, hy, 1e-6);
    };
    same(cls2::CircleProxy(circle(3, 4, 1), nullptr, {}).bounding_box(), 3, 4, 1, 1);
    same(cls2::PointProxy(Point2f(3, 4), nullptr, {}).bounding_box(), 3, 4, 0, 0);
    same(cls2::SegmentProxy(Segment::from_points({ 3, 0 }, { -1, 2 }), nullptr, {}).bounding_box(), 1, 1, 2, 1);
    same(cls2::TubeProxy(Tube::from_points({ 0, 0 }, { 4, 0 }, 1), nullptr, {}).bounding_box(), 2, 0, 2, 1);
}

TEST(Moves, RebaseKeepsTheWorldPlace)
{
    Owner a, b;
    a.place({ 1, 2 }, 0.3f);
    b.place({ -4, 7 }, -1.1f);
    auto check = [&](cls2::Primitive& p, auto world_before) {
        p.rebase(b);
        p.owner = &b;
        const auto after = p.world_bounding_box();
        EXPECT_NEAR(after.centre.x, world_before.centre.x, 1e-4);
        EXPECT_NEAR(after.centre.y, world_before.centre.y, 1e-4);
        EXPECT_NEAR(after.half_x, world_before.half_x, 1e-4);
        EXPECT_NEAR(after.half_y, world_before.half_y, 1e-4);
    };
    cls2::CircleProxy c(circle(3, 1, 2), &a, {});
    check(c, c.world_bounding_box());
    cls2::SegmentProxy s(Segment::from_points({ 0, 0 }, { 2, 1 }), &a, {});
    check(s, s.world_bounding_box());
    cls2::TubeProxy t(Tube::from_points({ 0, 0 }, { 2, 1 }, 0.5f), &a, {});
    check(t, t.world_bounding_box());

    cls2::SegmentProxy moved(Segment::from_points({ 0, 0 }, { 2, 0 }), nullptr, {});
    moved.translate({ 1, 1 });
    EXPECT_NEAR(moved.shape.end_a().x, 1, 1e-6);
    EXPECT_NEAR(moved.shape.end_b().y, 1, 1e-6);
}

TEST(Shapes, EqualPointsGiveALengthlessSegmentAlongX)
{
    const Segment s = Segment::from_points({ 1, 1 }, { 1, 1 });
    EXPECT_EQ(s.direction, Point2f(1, 0));
    EXPECT_EQ(s.half_length, 0);
    const Tube t = Tube::from_points({ 1, 1 }, { 1, 1 }, 2);
    EXPECT_EQ(t.direction, Point2f(1, 0));
}

// One stored proxy: the object framed by the native registry (first use of
// its name), then its count block (first use of "long").
std::string stored_primitive(const std::string& name, const std::string& record, uint8_t kind, int32_t count)
{
    const std::string data = u8(0) + record + u8(0) + u8(kind) + le32(0) + le32(0);
    return le32(2) + new_name(name) + le32(uint32_t(data.size())) + data + le32(3) + new_name("long") + le32(4)
        + le32(uint32_t(count));
}

template<class T>
std::string write_one(const T& shape)
{
    RefPtr<cls2::Primitive> p = proxy(shape);
    MemoryBuf buf;
    io::Stream out(&buf);
    cls2::write_primitive_ref(out, p);
    EXPECT_EQ(out.state(), 0u);
    return buf.bytes();
}

TEST(StoredForm, GoldenBytesPerShape)
{
    EXPECT_EQ(write_one(box(1, 2, 3, 4)),
        stored_primitive("class quarn::cls2::PrimitiveProxy<class quarn::cls2::Box>",
            u8(0) + f32(1) + f32(2) + f32(3) + f32(4), 0, 1));
    EXPECT_EQ(write_one(circle(1, 2, 3)),
        stored_primitive("class quarn::cls2::PrimitiveProxy<class quarn::math::Circle<float> >", f32(1) + f32(2) + f32(3),
            1, 1));
    EXPECT_EQ(write_one(Point2f(-1, 0.5f)),
        stored_primitive("class quarn::cls2::PrimitiveProxy<class quarn::math::Point2<float> >", f32(-1) + f32(0.5f), 3, 1));
    const Segment s { { 1, 2 }, { 0, 1 }, 3 };
    EXPECT_EQ(write_one(s),
        stored_primitive("class quarn::cls2::PrimitiveProxy<class quarn::cls2::Segment>",
            u8(0) + f32(1) + f32(2) + f32(0) + f32(1) + f32(3), 4, 1));
    const Tube t { { 1, 2 }, { 1, 0 }, 0.25f, 3 };
    EXPECT_EQ(write_one(t),
        stored_primitive("class quarn::cls2::PrimitiveProxy<class quarn::cls2::Tube>",
            u8(0) + f32(1) + f32(2) + f32(1) + f32(0) + f32(0.25f) + f32(3), 5, 1));
}

template<class T>
void round_trip(const T& shape)
{
    const std::string bytes = write_one(shape);
    MemoryBuf buf(bytes);
    io::IStream in(&buf);
    RefPtr<cls2::Primitive> p = cls2::read_primitive_ref(in);
    ASSERT_TRUE(p);
    EXPECT_EQ(in.state(), 0u);
    EXPECT_EQ(p.use_count(), 1);
    auto* typed = dynamic_cast<cls2::PrimitiveProxy<T>*>(p.get());
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typed->kind, cls2::kind_of<T>);
    EXPECT_EQ(typed->stamp, -1);
    EXPECT_EQ(std::memcmp(&typed->shape, &shape, sizeof(T)), 0) << "bit for bit";
    EXPECT_FALSE(typed->properties);
}

TEST(StoredForm, RoundTripsBitForBit)
{
    round_trip(box(1.1f, -2.2f, 3.3f, 4.4f));
    round_trip(circle(-0.0f, 1e-30f, 7));
    round_trip(Point2f(3.25f, -8));
    round_trip(Segment::from_points({ 1, 2 }, { 5, -3 }));
    round_trip(Tube::from_points({ 1, 2 }, { 5, -3 }, 0.125f));
}

TEST(StoredForm, SharedPropertiesStayShared)
{
    auto props = make_ref<dyn::PrimitiveProperties>();
    props->material_id = 9;
    RefPtr<cls2::Properties> shared(props);
    RefPtr<cls2::Primitive> a(new cls2::CircleProxy(circle(0, 0, 1), nullptr, shared));
    RefPtr<cls2::Primitive> b(new cls2::BoxProxy(box(0, 0, 1, 1), nullptr, shared));
    MemoryBuf buf;
    io::Stream out(&buf);
    cls2::write_primitive_ref(out, a);
    cls2::write_primitive_ref(out, b);
    cls2::write_primitive_ref(out, a);

    io::IStream in(&buf);
    cls2::StreamReadScope scope(in);
    auto ra = cls2::read_primitive_ref(in);
    auto rb = cls2::read_primitive_ref(in);
    auto ra2 = cls2::read_primitive_ref(in);
    ASSERT_TRUE(ra && rb);
    EXPECT_EQ(in.state(), 0u);
    EXPECT_EQ(ra.get(), ra2.get()) << "one object for both references";
    ASSERT_TRUE(ra->properties);
    EXPECT_EQ(ra->properties.get(), rb->properties.get());
    EXPECT_EQ(ra->properties.refs(), rb->properties.refs()) << "one count block";
    EXPECT_EQ(dynamic_cast<dyn::PrimitiveProperties*>(rb->properties.get())->material_id, 9);
}

TEST(StoredForm, AKindOtherThanTheProxysFailsTheStream)
{
    std::string bytes = write_one(box(1, 2, 3, 4));
    // The kind byte follows the tag, the name reference, the length, the
    // version, the 17-byte record and the Primitive version.
    const size_t kind_at = 4 + 8 + std::string("class quarn::cls2::PrimitiveProxy<class quarn::cls2::Box>").size() + 4 + 1 + 17 + 1;
    ASSERT_EQ(bytes[kind_at], 0);
    bytes[kind_at] = 1; // a circle's kind
    MemoryBuf buf(bytes);
    io::IStream in(&buf);
    in.exceptions(0);
    RefPtr<cls2::Primitive> p = cls2::read_primitive_ref(in);
    EXPECT_TRUE(in.state() & io::Stream::fail);
    if (p) {
        EXPECT_EQ(p->kind, cls2::kind_box) << "the shape tests never take a box for a circle";
    }
    EXPECT_THROW(
        {
            MemoryBuf again(bytes);
            io::IStream masked(&again);
            (void)cls2::read_primitive_ref(masked);
        },
        io::Failure);
}

TEST(Factories, EveryStoredClassIsRegisteredUnderItsName)
{
    (void)cls2::read_primitive_ref; // the factories' file is in the program
    for (const char* name : { "class quarn::cls2::PrimitiveProxy<class quarn::cls2::Box>",
             "class quarn::cls2::PrimitiveProxy<class quarn::math::Circle<float> >",
             "class quarn::cls2::PrimitiveProxy<class quarn::math::Point2<float> >",
             "class quarn::cls2::PrimitiveProxy<class quarn::cls2::Segment>",
             "class quarn::cls2::PrimitiveProxy<class quarn::cls2::Tube>", "struct quarn::dyn::PrimitiveProperties" }) {
        AbstractFactory* f = AbstractFactory::lookup(name);
        ASSERT_NE(f, nullptr) << name;
        auto* made = static_cast<io::Object*>(f->create_obj());
        if (auto* prim = dynamic_cast<cls2::Primitive*>(made)) {
            EXPECT_EQ(prim->kind, cls2::kind_unset) << name;
            EXPECT_EQ(prim->owner, nullptr);
        } else {
            auto* props = dynamic_cast<dyn::PrimitiveProperties*>(made);
            ASSERT_NE(props, nullptr);
            EXPECT_EQ(props->has_material, 0);
        }
        f->delete_obj(made);
    }
    EXPECT_STREQ(quarn::type_name_v<dyn::Material>, "struct quarn::dyn::Material");
    EXPECT_STREQ(cls2::Intersection().type_name(), "class quarn::cls2::Intersection");

    // Copies share the properties: both counts go up.
    AbstractFactory* f = AbstractFactory::lookup("class quarn::cls2::PrimitiveProxy<class quarn::cls2::Box>");
    RefPtr<cls2::Properties> props(new dyn::PrimitiveProperties);
    cls2::BoxProxy source(box(1, 2, 3, 4), nullptr, props);
    alignas(cls2::BoxProxy) unsigned char storage[sizeof(cls2::BoxProxy)];
    auto* copy = static_cast<cls2::BoxProxy*>(static_cast<io::Object*>(
        f->uninitialized_copy(storage, static_cast<const io::Object*>(&source))));
    EXPECT_EQ(props.use_count(), 3);
    EXPECT_EQ(copy->shape.half_y, 4);
    std::destroy_at(copy);
    EXPECT_EQ(props.use_count(), 2);
}

} // namespace
