#include "io_log_capture.h"
#include "quarn/Allocator.h"
#include "quarn/Exception.h"
#include "quarn/Factory.h"
#include "quarn/RefPtr.h"

#include <gtest/gtest.h>
#include <string>

namespace quarn_test {

// Test doubles of the stored physics classes: counted construction and
// destruction, one with io::Object as its second base so that the pointer
// a factory hands out differs from the class's own.
struct Shape : quarn::io::Object {
    static inline int alive = 0;
    Shape() { ++alive; }
    Shape(const Shape& other)
        : quarn::io::Object(other)
        , value(other.value)
    {
        ++alive;
    }
    ~Shape() override { --alive; }
    void write(quarn::io::Stream&) const override { }
    void read(quarn::io::IStream&) override { }
    int value = 5;
};

struct Tagged {
    virtual ~Tagged() = default;
    int tag = 9;
};

struct TaggedShape : Tagged, Shape { };

struct Plain {
    int a = 1;
    int b = 2;
};

} // namespace quarn_test

QUARN_TYPE_NAME(quarn_test::Shape, "class quarn_test::Shape");
QUARN_TYPE_NAME(quarn_test::TaggedShape, "class quarn_test::TaggedShape");
QUARN_TYPE_NAME(quarn_test::Plain, "struct quarn_test::Plain");

namespace {

using quarn::AbstractFactory;
using quarn_test::Shape;

// Stand-in with nothing to make, for registration tests.
class NamedFactory : public AbstractFactory {
public:
    using AbstractFactory::AbstractFactory;
    void delete_obj(void*) override { }
    void* create_obj() override { return nullptr; }
    void* uninitialized_copy(void*, const void*) override { return nullptr; }
};

TEST(FactoryMap, LaterRegistrationHidesEarlierUntilItGoes)
{
    NamedFactory first("class quarn_test::Hidden");
    EXPECT_EQ(AbstractFactory::lookup("class quarn_test::Hidden"), &first);
    {
        NamedFactory second("class quarn_test::Hidden");
        EXPECT_EQ(second.previous(), &first);
        EXPECT_EQ(AbstractFactory::lookup("class quarn_test::Hidden"), &second);
        {
            NamedFactory third("class quarn_test::Hidden");
            EXPECT_EQ(AbstractFactory::lookup("class quarn_test::Hidden"), &third);
        }
        EXPECT_EQ(AbstractFactory::lookup("class quarn_test::Hidden"), &second);
    }
    EXPECT_EQ(AbstractFactory::lookup("class quarn_test::Hidden"), &first);
}

TEST(FactoryMap, OutOfOrderDestructionKeepsTheChainSound)
{
    auto* first = new NamedFactory("class quarn_test::Unordered");
    {
        NamedFactory second("class quarn_test::Unordered");
        delete first;
        EXPECT_EQ(second.previous(), nullptr);
        EXPECT_EQ(AbstractFactory::lookup("class quarn_test::Unordered"), &second);
    }
    EXPECT_EQ(AbstractFactory::lookup("class quarn_test::Unordered"), nullptr);
}

TEST(FactoryMap, EmptyNamesAreNotRegistered)
{
    NamedFactory unnamed("");
    NamedFactory null_name(nullptr);
    EXPECT_EQ(AbstractFactory::lookup(""), nullptr);
    EXPECT_EQ(AbstractFactory::lookup(nullptr), nullptr);
}

TEST(FactoryMap, LongNamespaceWordsAreNormalised)
{
    std::string name = "class graphics::Image<struct mathematics::Vec, class graphics::Pel>";
    EXPECT_TRUE(AbstractFactory::normalise(name));
    EXPECT_EQ(name, "class g::Image<struct math::Vec, class g::Pel>");
    name = "windows::A scene_graph::B direct3d::C";
    EXPECT_TRUE(AbstractFactory::normalise(name));
    EXPECT_EQ(name, "win::A sg::B d3d::C");
    name = "class quarn::cls2::Box";
    EXPECT_FALSE(AbstractFactory::normalise(name));
    EXPECT_EQ(name, "class quarn::cls2::Box");

    NamedFactory shortened("class win::Window<class g::Surface>");
    EXPECT_EQ(AbstractFactory::lookup("class windows::Window<class graphics::Surface>"), &shortened);
    EXPECT_EQ(AbstractFactory::lookup("class windows::Other"), nullptr);
    EXPECT_EQ(AbstractFactory::lookup("class quarn_test::Nowhere"), nullptr);
}

TEST(Factory, RegistersUnderTheStoredNameAndMakesObjects)
{
    quarn::Factory<Shape, 3> factory;
    EXPECT_EQ(factory.name(), "class quarn_test::Shape");
    EXPECT_EQ(AbstractFactory::lookup("class quarn_test::Shape"), &factory);

    void* made = factory.create_obj();
    auto* object = static_cast<quarn::io::Object*>(made);
    ASSERT_NE(dynamic_cast<Shape*>(object), nullptr);
    EXPECT_EQ(Shape::alive, 1);

    alignas(Shape) unsigned char storage[sizeof(Shape)];
    static_cast<Shape*>(object)->value = 11;
    auto* copy = static_cast<quarn::io::Object*>(factory.uninitialized_copy(storage, made));
    EXPECT_EQ(dynamic_cast<Shape*>(copy)->value, 11);
    EXPECT_EQ(Shape::alive, 2);
    copy->~Object();

    factory.delete_obj(made);
    factory.delete_obj(nullptr);
    EXPECT_EQ(Shape::alive, 0);
    EXPECT_EQ(factory.block_size(), 0u);
}

TEST(Factory, ObjectsTravelAsTheirObjectPart)
{
    quarn::Factory<quarn_test::TaggedShape, 3> factory;
    void* made = factory.create_obj();
    auto* object = static_cast<quarn::io::Object*>(made);
    auto* tagged = dynamic_cast<quarn_test::TaggedShape*>(object);
    ASSERT_NE(tagged, nullptr);
    EXPECT_EQ(tagged->tag, 9);
    EXPECT_NE(static_cast<void*>(tagged), made) << "the Object part is not first in this class";
    factory.delete_obj(made);
    EXPECT_EQ(Shape::alive, 0);

    quarn::Factory<quarn_test::Plain, 3> plain;
    auto* p = static_cast<quarn_test::Plain*>(plain.create_obj());
    EXPECT_EQ(p->b, 2);
    plain.delete_obj(p);
}

TEST(Factory, RefsBlocksStartAtZeroAndReleaseTheirObject)
{
    auto* shape = new Shape;
    quarn::RefsIoFactory<Shape> factory(shape);
    EXPECT_EQ(factory.name(), "");
    EXPECT_EQ(factory.block_size(), 4u);

    auto* strong = static_cast<int32_t*>(factory.create_obj());
    quarn::PtrRefs* refs = quarn::refs_from_strong(strong);
    EXPECT_EQ(refs->strong, 0);
    EXPECT_EQ(refs->weak, 0);
    int32_t stored = 7;
    factory.load_block(strong, &stored, 4);
    EXPECT_EQ(refs->strong, 0) << "a stored count does not become the reader's";
    {
        quarn::RefPtr<Shape> a(shape, refs);
        quarn::RefPtr<Shape> b(shape, refs);
        EXPECT_EQ(a.use_count(), 2);
    }
    EXPECT_EQ(Shape::alive, 0) << "the last handle disposed of the object and freed the block";

    quarn::RefsIoFactory<Shape> dropping(new Shape);
    dropping.delete_obj(dropping.create_obj());
    EXPECT_EQ(Shape::alive, 0);
}

TEST(Factory, RefsFactoryRefusesToCopy)
{
    quarn_test::IoLogCapture capture;
    quarn::RefsIoFactory<Shape> factory;
    char storage[16];
    try {
        factory.uninitialized_copy(storage, nullptr);
        FAIL();
    } catch (const quarn::FactoryExc& e) {
        EXPECT_STREQ(e.what(), "q::Factory::uninitialized_copy(): The factory does not support this method.");
    }
    EXPECT_EQ(quarn::last_throw_origin().line, 290);
    EXPECT_STREQ(quarn::last_throw_origin().function, "quarn::throw_factory_exception");
}

TEST(Factory, CountBlockStorageComesFromTheAllocator)
{
    NamedFactory factory("");
    void* block = factory.allocate();
    EXPECT_NE(block, nullptr);
    quarn::Allocator::free(block);
}

// The names written into object streams, exactly as the data files hold
// them. Classes of other folders add their lines where they are declared.
TEST(StoredNames, MatchTheDataFiles)
{
    EXPECT_STREQ(quarn::type_name_v<int32_t>, "long");
    EXPECT_STREQ(quarn::type_name_v<quarn_test::Plain>, "struct quarn_test::Plain");
}

} // namespace
