// Handles with test doubles standing in for the physics classes: a base with
// a virtual destructor and a derived class, each recording its destruction.
#include "quarn/RefPtr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> events;

struct Shape {
    explicit Shape(std::string name) : name(std::move(name)) {}
    virtual ~Shape() { events.push_back("~Shape " + name); }
    std::string name;
};

struct Box final : Shape {
    using Shape::Shape;
    ~Box() override { events.push_back("~Box " + name); }
};

// A block that records dispose and destroy, to check their order.
struct RecordingRefs final : quarn::PtrRefs {
    void dispose() override { events.push_back("dispose"); }
    void destroy() override
    {
        events.push_back("destroy");
        PtrRefs::destroy();
    }
};

class RefPtrTest : public testing::Test {
protected:
    void SetUp() override { events.clear(); }
};

TEST_F(RefPtrTest, NullHandlesHaveNoBlock)
{
    quarn::RefPtr<Shape> a(static_cast<Shape*>(nullptr));
    EXPECT_EQ(a.refs(), nullptr);
    quarn::RefPtr<Shape> b = a;
    EXPECT_EQ(b.refs(), nullptr);
    EXPECT_EQ(b.reset(), 0);
    EXPECT_EQ(quarn::RefPtr<Shape>(nullptr, nullptr).refs(), nullptr);
    EXPECT_TRUE(events.empty());
}

TEST_F(RefPtrTest, CopiesAssignmentsAndResetsCountBothUnits)
{
    quarn::RefPtr<Shape> a(new Shape("a"));
    quarn::PtrRefs* block = a.refs();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->strong, 1);
    EXPECT_EQ(block->weak, 1);
    {
        quarn::RefPtr<Shape> b = a;
        EXPECT_EQ(block->strong, 2);
        EXPECT_EQ(block->weak, 2);
        quarn::RefPtr<Shape> c;
        c = b;
        EXPECT_EQ(block->strong, 3);
        // Assigning a handle that owns the same object changes nothing,
        // self-assignment included.
        c = a;
        c = *&c;
        EXPECT_EQ(block->strong, 3);
        EXPECT_EQ(block->weak, 3);
        EXPECT_EQ(c.reset(), 2);
        EXPECT_EQ(block->weak, 2);
    }
    EXPECT_EQ(block->strong, 1);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(a.reset(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"~Shape a"}));
    EXPECT_EQ(a.get(), nullptr);
}

TEST_F(RefPtrTest, AssigningAnotherObjectReleasesTheOldOne)
{
    quarn::RefPtr<Shape> a(new Shape("a"));
    quarn::RefPtr<Shape> b(new Shape("b"));
    a = b;
    EXPECT_EQ(events, (std::vector<std::string>{"~Shape a"}));
    EXPECT_EQ(a->name, "b");
    EXPECT_EQ(a.use_count(), 2);
    a = quarn::RefPtr<Shape>();
    EXPECT_EQ(b.use_count(), 1);
}

TEST_F(RefPtrTest, ObjectsGoThroughTheirVirtualDestructor)
{
    quarn::RefPtr<Box> box(new Box("x"));
    quarn::RefPtr<Shape> shape = box; // shares the block
    EXPECT_EQ(shape.refs(), box.refs());
    EXPECT_EQ(box.use_count(), 2);
    box.reset();
    EXPECT_TRUE(events.empty());
    shape.reset();
    EXPECT_EQ(events, (std::vector<std::string>{"~Box x", "~Shape x"}));
}

TEST_F(RefPtrTest, DisposeRunsBeforeDestroy)
{
    auto* block = new RecordingRefs;
    block->strong = 1;
    block->weak = 1;
    int dummy = 0;
    quarn::RefPtr<int> a(&dummy, block); // shares: 2/2
    EXPECT_EQ(block->strong, 2);
    EXPECT_EQ(a.reset(), 1);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(quarn::release_refs(quarn::strong_field(block)), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"dispose", "destroy"}));
}

TEST_F(RefPtrTest, AnExtraWeakUnitKeepsTheBlockWithoutItsObject)
{
    quarn::RefPtr<Shape> a(new Shape("w"));
    auto* block = static_cast<quarn::PtrRefsImpl<Shape*, quarn::CheckedDeleter<Shape>>*>(a.refs());
    ++block->weak;
    a.reset();
    EXPECT_EQ(events, (std::vector<std::string>{"~Shape w"}));
    EXPECT_EQ(block->object, nullptr);
    EXPECT_EQ(block->strong, 0);
    EXPECT_EQ(block->weak, 1);
    block->release(); // strong goes to -1 (nothing to dispose), weak to 0
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(RefPtrTest, ReleaseThroughTheStrongFieldFindsTheWholeBlock)
{
    quarn::RefPtr<Shape> a(new Shape("s"));
    quarn::PtrRefs* block = a.refs();
    int32_t* strong = quarn::strong_field(block);
    // On this platform the vtable pointer sits in front of the counts.
    EXPECT_NE(static_cast<void*>(strong), static_cast<void*>(block));
    EXPECT_EQ(quarn::refs_from_strong(strong), block);

    block->add_ref(); // the unit an object stream would hold
    EXPECT_EQ(quarn::release_refs(strong), 1);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(a->name, "s");
    EXPECT_EQ(quarn::release_refs(nullptr), 0);
}

TEST_F(RefPtrTest, MovesTransferWithoutCounting)
{
    quarn::RefPtr<Shape> a(new Shape("m"));
    quarn::RefPtr<Shape> b(std::move(a));
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(b.use_count(), 1);
    quarn::RefPtr<Shape> c;
    c = std::move(b);
    EXPECT_EQ(c.use_count(), 1);
    EXPECT_EQ(c.refs()->weak, 1);
    EXPECT_TRUE(events.empty());
}

TEST_F(RefPtrTest, AliveFlagFreesItselfWithTheLastHolder)
{
    auto* flag = new quarn::AliveFlag;
    flag->count = 2;
    flag->release();
    EXPECT_EQ(flag->alive, 0);
    EXPECT_EQ(flag->count, 1);
    flag->release(); // freed; the sanitizer build would catch a leak or a double free
}

} // namespace
