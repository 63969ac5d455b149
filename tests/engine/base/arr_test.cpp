#include "base_test_support.h"

#include <cstdlib>
#include <cstring>

namespace {

class ArrayTest : public BaseTest {
protected:
    void SetUp() override
    {
        BaseTest::SetUp();
        errInitFileMessages();
    }
};

TEST_F(ArrayTest, GrowsByItsStepFromAnEmptyStart)
{
    arrTy* a = arrCreate(nullptr, 0, sizeof(int32_t), 10);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->flags & ARR_ALLOCATED, ARR_ALLOCATED);
    EXPECT_EQ(a->capacity, 0);
    EXPECT_EQ(a->data, nullptr);
    for (int32_t i = 0; i < 11; ++i) {
        EXPECT_EQ(arrAppend(a, &i), i);
        EXPECT_EQ(a->capacity, i < 10 ? 10 : 20);
    }
    for (int32_t i = 0; i < 11; ++i) {
        int32_t v = -1;
        EXPECT_EQ(arrGet(a, i, &v), i);
        EXPECT_EQ(v, i);
    }
    arrFree(a);
}

TEST_F(ArrayTest, GrowthStepZeroStillMakesRoom)
{
    arrTy* a = arrCreate(nullptr, 0, 3, 0);
    ASSERT_NE(a, nullptr);
    const char element[3] = {'a', 'b', 'c'};
    std::vector<int> capacities;
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(arrAppend(a, element), i);
        capacities.push_back(a->capacity);
    }
    EXPECT_EQ(capacities, (std::vector<int>{1, 2, 4, 4, 8, 8}));
    EXPECT_EQ(std::memcmp(static_cast<char*>(a->data) + 15, "abc", 3), 0);
    arrFree(a);
}

TEST_F(ArrayTest, GivenHeaderIsZeroedAndKeptByFree)
{
    arrTy header;
    std::memset(&header, 0x5A, sizeof header);
    ASSERT_EQ(arrCreate(&header, 4, sizeof(double), 2), &header);
    EXPECT_EQ(header.flags, 0u);
    EXPECT_EQ(header.cursor, 0);
    EXPECT_EQ(header.count, 0);
    EXPECT_EQ(header.capacity, 4);
    EXPECT_EQ(header.growth, 2);
    const double d = 2.5;
    EXPECT_EQ(arrAppend(&header, &d), 0);
    arrFree(&header);
    EXPECT_EQ(header.data, nullptr);
    EXPECT_EQ(header.count, 0);
}

TEST_F(ArrayTest, RemoveShiftsAndKeepsTheCursorOnItsElement)
{
    arrTy* a = arrCreate(nullptr, 4, sizeof(int32_t), 4);
    for (int32_t v : {10, 20, 30})
        (void)arrAppend(a, &v);
    a->cursor = 2;
    EXPECT_EQ(arrRemove(a, 0), 0);
    EXPECT_EQ(a->count, 2);
    EXPECT_EQ(a->cursor, 1);
    int32_t v = 0;
    (void)arrGet(a, a->cursor, &v);
    EXPECT_EQ(v, 30);

    a->cursor = 0;
    EXPECT_EQ(arrRemove(a, 0), 0);
    EXPECT_EQ(a->cursor, 0);
    (void)arrGet(a, 0, &v);
    EXPECT_EQ(v, 30);

    EXPECT_EQ(arrRemove(a, 1), ERR_BAD_INDEX);
    EXPECT_EQ(arrRemove(a, -1), ERR_BAD_INDEX);
    EXPECT_EQ(arrRemove(nullptr, 0), ERR_BAD_INDEX);
    arrFree(a);
}

TEST_F(ArrayTest, GetOutOfRangeLeavesTheOutputAlone)
{
    arrTy* a = arrCreate(nullptr, 5, sizeof(int32_t), 5);
    for (int32_t i = 0; i < 5; ++i)
        (void)arrAppend(a, &i);
    int32_t out = 1234;
    EXPECT_EQ(arrGet(a, 5, &out), ERR_BAD_INDEX);
    EXPECT_EQ(arrGet(a, -1, &out), ERR_BAD_INDEX);
    EXPECT_EQ(arrGet(nullptr, 0, &out), ERR_BAD_INDEX);
    EXPECT_EQ(out, 1234);
    EXPECT_TRUE(boxes().empty());
    arrFree(a);
}

TEST_F(ArrayTest, MisuseIsReported)
{
    const int32_t v = 1;
    EXPECT_EQ(arrAppend(nullptr, &v), ERR_NOT_CREATED);
    EXPECT_EQ(arrCreate(nullptr, 1, 0, 1), nullptr);
    EXPECT_EQ(arrCreate(nullptr, -1, 4, 1), nullptr);
    // More bytes than the address space can hold.
    EXPECT_EQ(arrCreate(nullptr, 4, SIZE_MAX / 2, 1), nullptr);
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_NE(shown[0].text.find("Object is not created"), std::string::npos);
    EXPECT_NE(shown[1].text.find("Bad argument"), std::string::npos);
    EXPECT_NE(shown[2].text.find("Bad argument"), std::string::npos);
    EXPECT_NE(shown[3].text.find("Array too large"), std::string::npos);
}

TEST_F(ArrayTest, FailedGrowthLeavesTheArrayUsable)
{
    arrTy* a = arrCreate(nullptr, 1, sizeof(int32_t), 1);
    const int32_t v = 7;
    EXPECT_EQ(arrAppend(a, &v), 0);
    const memHooksTy saved = memHooks;
    memHooks.realloc = [](void*, size_t) -> void* { return nullptr; };
    EXPECT_EQ(arrAppend(a, &v), ERR_NO_MEMORY);
    memHooks = saved;
    EXPECT_EQ(a->count, 1);
    EXPECT_EQ(a->capacity, 1);
    EXPECT_EQ(arrAppend(a, &v), 1);
    arrFree(a);
}

std::vector<std::pair<int, int>> init_calls;
void record_init(void* data, int old_capacity, int growth)
{
    init_calls.emplace_back(old_capacity, growth);
    std::memset(static_cast<int32_t*>(data) + old_capacity, 0xFF, static_cast<size_t>(growth) * sizeof(int32_t));
}

TEST_F(ArrayTest, InitialiserSeesEachGrowth)
{
    init_calls.clear();
    arrTy* a = arrCreate(nullptr, 2, sizeof(int32_t), 3);
    arrSetInit(a, record_init);
    EXPECT_EQ(a->flags & ARR_HAS_INIT, ARR_HAS_INIT);
    const int32_t v = 1;
    for (int i = 0; i < 3; ++i)
        (void)arrAppend(a, &v);
    EXPECT_EQ(init_calls, (std::vector<std::pair<int, int>>{{2, 3}}));
    EXPECT_EQ(static_cast<int32_t*>(a->data)[4], -1);
    arrFree(a);
}

} // namespace
