#include "io_log_capture.h"
#include "quarn/Allocator.h"
#include "tests/Lib/quarn/src/quarn/counting_allocator.h"
#include "quarn/Exception.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {


TEST(Allocator, InstalledAllocatorServesUntilDestroyed)
{
    quarn::Allocator* before = quarn::Allocator::current();
    ASSERT_NE(before, nullptr);
    {
        CountingAllocator outer;
        EXPECT_EQ(quarn::Allocator::current(&outer), &outer);
        {
            CountingAllocator inner;
            quarn::Allocator::current(&inner);
            void* p = quarn::Allocator::allocate(16);
            quarn::Allocator::free(p);
            quarn::Allocator::free(nullptr);
            EXPECT_EQ(inner.allocations, 1);
            EXPECT_EQ(inner.frees, 1);
            EXPECT_EQ(outer.allocations, 0);
        }
        EXPECT_EQ(quarn::Allocator::current(), &outer);
    }
    EXPECT_EQ(quarn::Allocator::current(), before);
}

TEST(Allocator, OutOfOrderDestructionLeavesNoDanglingLink)
{
    quarn::Allocator* before = quarn::Allocator::current();
    auto* first = new CountingAllocator;
    CountingAllocator second;
    quarn::Allocator::current(first);
    quarn::Allocator::current(&second);
    delete first;
    EXPECT_EQ(second.previous(), before);
    EXPECT_EQ(quarn::Allocator::current(), &second);
}

TEST(Allocator, FailureThrowsAndIsLogged)
{
    quarn_test::IoLogCapture capture;
    CountingAllocator refusing;
    refusing.refuse = true;
    quarn::Allocator::current(&refusing);
    try {
        (void)quarn::Allocator::allocate(8);
        FAIL() << "allocate returned";
    } catch (const quarn::Exception& e) {
        EXPECT_STREQ(e.what(), "Allocator: Memory allocation failed.");
        EXPECT_STREQ(e.type_name(), "class quarn::Exception");
    }
    EXPECT_EQ(quarn::last_throw_origin().line, 25);
    EXPECT_STREQ(quarn::last_throw_origin().function, "quarn::Allocator::allocate");
    EXPECT_NE(capture.text().find("Allocator: Memory allocation failed."), std::string::npos);
}

TEST(Allocator, ZeroBytesIsNotAFailure)
{
    void* p = quarn::Allocator::allocate(0);
    EXPECT_NE(p, nullptr);
    quarn::Allocator::free(p);
}

} // namespace
