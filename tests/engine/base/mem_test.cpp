#include "base_test_support.h"

#include <cstdlib>
#include <cstring>

namespace {

// Allocator hooks that fail on demand and remember the sizes asked for.
struct FailingHeap {
    static inline bool fail = false;
    static inline size_t last_size = 0;
    static inline size_t last_count = 0;
    static void* alloc(size_t size)
    {
        last_size = size;
        return fail ? nullptr : std::malloc(size);
    }
    static void* alloc_z(size_t count, size_t size)
    {
        last_count = count;
        last_size = size;
        return fail ? nullptr : std::calloc(count, size);
    }
    static void* re_alloc(void* block, size_t size)
    {
        last_size = size;
        return fail ? nullptr : std::realloc(block, size);
    }
};

class MemTest : public BaseTest {
protected:
    void SetUp() override
    {
        BaseTest::SetUp();
        saved_ = memHooks;
        FailingHeap::fail = false;
        memHooks.alloc = FailingHeap::alloc;
        memHooks.allocZ = FailingHeap::alloc_z;
        memHooks.realloc = FailingHeap::re_alloc;
        memHooks.allocStr = FailingHeap::alloc;
        errInitFileMessages();
    }
    void TearDown() override
    {
        memHooks = saved_;
        BaseTest::TearDown();
    }

private:
    memHooksTy saved_{};
};

TEST_F(MemTest, SizeZeroCountsAsOne)
{
    void* a = memAlloc(0);
    EXPECT_EQ(FailingHeap::last_size, 1u);
    void* z = memAllocZ(0);
    EXPECT_EQ(FailingHeap::last_count, 1u);
    EXPECT_EQ(FailingHeap::last_size, 1u);
    a = memRealloc(a, 0);
    EXPECT_EQ(FailingHeap::last_size, 1u);
    char* s = memAllocStr(0);
    EXPECT_EQ(FailingHeap::last_size, 1u);
    for (void* p : {a, z, static_cast<void*>(s)}) {
        EXPECT_NE(p, nullptr);
        memFree(p);
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(MemTest, ZeroedBlockIsCountBytesOfOne)
{
    auto* p = static_cast<unsigned char*>(memAllocZ(40));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(FailingHeap::last_count, 40u);
    EXPECT_EQ(FailingHeap::last_size, 1u);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(p[i], 0);
    memFree(p);
}

TEST_F(MemTest, FailuresReportNoMemoryAndYieldNull)
{
    FailingHeap::fail = true;
    EXPECT_EQ(memAlloc(10), nullptr);
    EXPECT_EQ(memAllocZ(10), nullptr);
    EXPECT_EQ(memAllocStr(10), nullptr);
    EXPECT_EQ(memStrDup("abc"), nullptr);
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 4u);
    for (const auto& box : shown)
        EXPECT_NE(box.text.find("Error Code  : 0xFFFFFFFE (-2)\n\nNo memory\n"), std::string::npos) << box.text;
    // The quiet copy reports nothing.
    EXPECT_EQ(strDupQuiet("abc"), nullptr);
    EXPECT_EQ(boxes().size(), 4u);
}

TEST_F(MemTest, FailedReallocKeepsTheOldBlock)
{
    auto* p = static_cast<char*>(memAlloc(8));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "keepme!", 8);
    FailingHeap::fail = true;
    EXPECT_EQ(memRealloc(p, 1 << 20), nullptr);
    EXPECT_STREQ(p, "keepme!");
    memFree(p);
}

TEST_F(MemTest, FailureInsideAFrameUnwindsWithNoMemory)
{
    FailingHeap::fail = true;
    EXPECT_EQ(errTry([] { (void)memAlloc(1); }), ERR_NO_MEMORY);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(MemTest, StringDuplicates)
{
    EXPECT_EQ(memStrDup(nullptr), nullptr);
    EXPECT_EQ(strDupQuiet(nullptr), nullptr);
    char* copy = memStrDup("text");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "text");
    EXPECT_EQ(FailingHeap::last_size, 5u);
    memFree(copy);
}

} // namespace
