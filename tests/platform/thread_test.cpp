#include "platform/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <thread>

namespace {

TEST(Thread, RunsItsBodyOnlyAfterStart)
{
    std::atomic<int> runs{0};
    platform::Thread thread([&] { ++runs; });
    ASSERT_TRUE(thread.created());
    // Waiting on a held thread must not hang.
    thread.wait();
    EXPECT_EQ(runs.load(), 0);
    thread.start();
    thread.start();
    thread.wait();
    thread.wait();
    EXPECT_EQ(runs.load(), 1);
}

TEST(Thread, NeverStartedThreadEndsWithoutRunningItsBody)
{
    std::atomic<int> runs{0};
    {
        platform::Thread thread([&] { ++runs; });
        ASSERT_TRUE(thread.created());
        thread.raise_priority();
    }
    EXPECT_EQ(runs.load(), 0);
}

TEST(Thread, DestructorWaitsForAStartedBody)
{
    std::atomic<bool> finished{false};
    {
        platform::Thread thread([&] {
            // Give the destroying thread every chance to run ahead.
            for (int i = 0; i < 1000; ++i)
                std::this_thread::yield();
            finished = true;
        });
        thread.start();
    }
    EXPECT_TRUE(finished.load());
}

// A body that runs out of memory once ended the process through
// std::terminate on its own thread; the waiting thread gets the exception,
// once, and a thread destroyed unwaited drops it.
TEST(Thread, ExceptionOfTheBodyIsThrownByWaitOnce)
{
    platform::Thread thread([] { throw std::bad_alloc(); });
    thread.start();
    EXPECT_THROW(thread.wait(), std::bad_alloc);
    EXPECT_NO_THROW(thread.wait());
    {
        platform::Thread dropped([] { throw std::bad_alloc(); });
        dropped.start();
    }
}

TEST(Thread, PinnedToAProcessorRunsThere)
{
    int seen = -2;
    platform::Thread thread([&] { seen = platform::current_processor(); });
    if (!thread.pin_to_processor(0))
        GTEST_SKIP() << "processor 0 is not available to this process";
    // A refused priority is ignored; the body runs either way.
    thread.raise_priority();
    thread.start();
    thread.wait();
    EXPECT_EQ(seen, 0);
}

TEST(Thread, PinningToAMissingProcessorFails)
{
    platform::Thread thread([] {});
    EXPECT_FALSE(thread.pin_to_processor(-1));
    EXPECT_FALSE(thread.pin_to_processor(1 << 20));
    EXPECT_FALSE(thread.pin_to_processor(1000)); // representable, but not on a machine this size
}

} // namespace
