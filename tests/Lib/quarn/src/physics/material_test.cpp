// Materials and primitive properties: the table, the fallbacks to the
// default, and both stored forms of the properties with their material.
#include "physics_test_support.h"
#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include <gtest/gtest.h>

namespace {

using namespace physics_test;
using quarn_test::MemoryBuf;

TEST(MaterialTable, DefaultAndEntries)
{
    dyn::MaterialTable table;
    const auto& d = table.default_material();
    EXPECT_EQ(d->name, "default");
    EXPECT_EQ(d->factor, 1.0f);
    EXPECT_EQ(d->restitution, 0.2f);
    EXPECT_EQ(d->friction, 0.2f);
    EXPECT_EQ(table.find(3).get(), d.get());
    RefPtr<dyn::Material> ice(new dyn::Material("ice", 1, 0.1f, 0.02f));
    table.set(3, ice);
    EXPECT_EQ(table.find(3).get(), ice.get());
    EXPECT_EQ(table.find(2).get(), d.get());
    EXPECT_EQ(table.find(4).get(), d.get());
    EXPECT_EQ(dyn::Material().restitution, 0.8f) << "a material's own defaults";
    EXPECT_EQ(dyn::Material().friction, 0.3f);
}

TEST(MaterialTable, MaterialOfAShape)
{
    dyn::MaterialTable table;
    RefPtr<dyn::Material> rubber(new dyn::Material("rubber", 1, 0.9f, 1));
    table.set(5, rubber);
    cls2::CircleProxy bare(circle(0, 0, 1), nullptr, {});
    EXPECT_EQ(dyn::material_of(bare, table).get(), table.default_material().get());

    auto props = make_ref<dyn::PrimitiveProperties>();
    props->material_id = 5;
    cls2::CircleProxy by_id(circle(0, 0, 1), nullptr, props);
    EXPECT_EQ(dyn::material_of(by_id, table).get(), rubber.get());

    auto held = make_ref<dyn::PrimitiveProperties>();
    held->has_material = 1;
    cls2::CircleProxy empty_ref(circle(0, 0, 1), nullptr, held);
    EXPECT_EQ(dyn::material_of(empty_ref, table).get(), table.default_material().get()) << "held but empty";
    RefPtr<dyn::Material> own(new dyn::Material("own", 1, 0.5f, 0.5f));
    held->material = own;
    EXPECT_EQ(dyn::material_of(empty_ref, table).get(), own.get());

    cls2::CircleProxy foreign(circle(0, 0, 1), nullptr, RefPtr<cls2::Properties>(new cls2::Properties));
    EXPECT_EQ(dyn::material_of(foreign, table).get(), table.default_material().get());
}

std::string written(const dyn::PrimitiveProperties& p)
{
    MemoryBuf buf;
    io::Stream out(&buf);
    p.write(out);
    return buf.bytes();
}

dyn::PrimitiveProperties read_back(const std::string& bytes)
{
    MemoryBuf buf(bytes);
    io::IStream in(&buf);
    in.exceptions(0);
    dyn::PrimitiveProperties p;
    p.read(in);
    EXPECT_EQ(in.state(), 0u);
    return p;
}

TEST(PropertiesForm, IdForms)
{
    dyn::PrimitiveProperties p;
    p.material_id = 7;
    EXPECT_EQ(written(p), std::string("\xFD\x01\x00\x07\x00\x00\x00", 7));
    EXPECT_EQ(read_back(written(p)).material_id, 7);

    // The old form: the id alone.
    dyn::PrimitiveProperties old = read_back(le32(uint32_t(-300)));
    EXPECT_EQ(old.material_id, -300);
    EXPECT_EQ(old.has_material, 0);

    // Version 0: no has_material byte. An old id whose first byte is 253
    // reads this way.
    EXPECT_EQ(read_back(u8(0xFD) + u8(0) + le32(42)).material_id, 42);
}

TEST(PropertiesForm, HeldMaterialGoldenBytesAndSharing)
{
    RefPtr<dyn::Material> ice(new dyn::Material("ice", 1, 0.25f, 0.5f));
    dyn::PrimitiveProperties p;
    p.has_material = 1;
    p.material = ice;
    const std::string data = std::string("qmat") + f32(1) + f32(0.25f) + f32(0.5f) + le32(3) + "ice";
    EXPECT_EQ(written(p),
        u8(0xFD) + u8(1) + u8(1) + le32(2) + new_name("struct quarn::dyn::Material") + le32(uint32_t(data.size())) + data
            + le32(3) + new_name("long") + le32(4) + le32(2));

    // Two properties holding one material read back as one material.
    dyn::PrimitiveProperties q = p;
    MemoryBuf buf;
    io::Stream out(&buf);
    p.write(out);
    q.write(out);
    io::IStream in(&buf);
    cls2::StreamReadScope scope(in);
    dyn::PrimitiveProperties rp, rq;
    rp.read(in);
    rq.read(in);
    EXPECT_EQ(in.state(), 0u);
    ASSERT_TRUE(rp.material);
    EXPECT_EQ(rp.material.get(), rq.material.get());
    EXPECT_EQ(rp.material->name, "ice");
    EXPECT_EQ(rp.material->restitution, 0.25f);
    EXPECT_EQ(rp.material->friction, 0.5f);
    EXPECT_EQ(rp.has_material, 1);
}

TEST(PropertiesForm, MaterialDataOfOtherShapes)
{
    // An older stream's structure as it lay in memory: 28 bytes of string,
    // then factor, restitution and friction.
    const std::string original = std::string(28, '\x11') + f32(1) + f32(0.6f) + f32(0.7f);
    auto with_data = [](const std::string& data) {
        return u8(0xFD) + u8(1) + u8(1) + le32(2) + new_name("struct quarn::dyn::Material") + le32(uint32_t(data.size()))
            + data + le32(3) + new_name("long") + le32(4) + le32(1);
    };
    dyn::PrimitiveProperties p = read_back(with_data(original));
    ASSERT_TRUE(p.material);
    EXPECT_EQ(p.material->restitution, 0.6f);
    EXPECT_EQ(p.material->friction, 0.7f);

    for (const std::string& bad : { std::string("tiny"), std::string("qmat") + f32(1) + f32(1) + f32(1) + le32(99) }) {
        MemoryBuf buf(with_data(bad));
        io::IStream in(&buf);
        in.exceptions(0);
        dyn::PrimitiveProperties q;
        q.read(in);
        EXPECT_TRUE(in.state() & io::Stream::fail);
        EXPECT_FALSE(q.material);
    }
}

TEST(PropertiesForm, EmptyHeldMaterialAndShortStreams)
{
    dyn::PrimitiveProperties p;
    p.has_material = 1;
    EXPECT_EQ(written(p), u8(0xFD) + u8(1) + u8(1) + le32(0) + le32(0));
    dyn::PrimitiveProperties back = read_back(written(p));
    EXPECT_EQ(back.has_material, 1);
    EXPECT_FALSE(back.material);

    // Cut anywhere: the fields not read keep their values, nothing leaks.
    RefPtr<dyn::Material> m(new dyn::Material("m", 1, 1, 1));
    p.material = m;
    const std::string whole = written(p);
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        MemoryBuf buf(whole.substr(0, cut));
        io::IStream in(&buf);
        in.exceptions(0);
        dyn::PrimitiveProperties q;
        q.material_id = 99;
        q.read(in);
        EXPECT_TRUE(in.state() & io::Stream::fail) << cut;
        EXPECT_EQ(q.material_id, 99);
    }
}

} // namespace
