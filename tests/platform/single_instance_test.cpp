#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using platform::InstanceLock;

TEST(InstanceLock, TheFirstHolderKeepsOthersOutUntilItEnds)
{
    std::unique_ptr<InstanceLock> first, second, other;
    ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Lock test one", first), InstanceLock::Result::acquired);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(std::filesystem::exists(first->path()));
    EXPECT_EQ(InstanceLock::acquire("GameAppWndClass", "Lock test one", second), InstanceLock::Result::other_instance);
    EXPECT_EQ(second, nullptr);
    // Another title is another program.
    EXPECT_EQ(InstanceLock::acquire("GameAppWndClass", "Lock test two", other), InstanceLock::Result::acquired);
    first.reset();
    EXPECT_EQ(InstanceLock::acquire("GameAppWndClass", "Lock test one", second), InstanceLock::Result::acquired);
}

TEST(InstanceLock, ASecondStartAsksTheHolderToRaiseItsWindow)
{
    EXPECT_FALSE(InstanceLock::ask_holder_to_raise("GameAppWndClass", "Raise test"));
    std::unique_ptr<InstanceLock> first;
    ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Raise test", first), InstanceLock::Result::acquired);
    EXPECT_FALSE(first->raise_requested());
    EXPECT_TRUE(InstanceLock::ask_holder_to_raise("GameAppWndClass", "Raise test"));
    EXPECT_TRUE(InstanceLock::ask_holder_to_raise("GameAppWndClass", "Raise test"));
    EXPECT_TRUE(first->raise_requested());
    EXPECT_FALSE(first->raise_requested()); // both asks were taken at once
    first.reset();
    EXPECT_FALSE(InstanceLock::ask_holder_to_raise("GameAppWndClass", "Raise test"));
}

TEST(InstanceLock, AHolderThatEndsLeavesNoFilesBehind)
{
    namespace fs = std::filesystem;
    const std::string path = InstanceLock::lock_path("GameAppWndClass", "Cleanup test");
    // A stale file of a killed run is taken over as it is.
    std::ofstream(path) << "12345\n";
    std::unique_ptr<InstanceLock> first;
    ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Cleanup test", first), InstanceLock::Result::acquired);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_TRUE(fs::exists(path + ".raise"));
    first.reset();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(path + ".raise"));
    // The next start makes them afresh.
    ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Cleanup test", first), InstanceLock::Result::acquired);
    std::unique_ptr<InstanceLock> second;
    EXPECT_EQ(InstanceLock::acquire("GameAppWndClass", "Cleanup test", second), InstanceLock::Result::other_instance);
    first.reset();
    EXPECT_FALSE(fs::exists(path));
}

TEST(InstanceLock, PathsLieInTheTemporaryFolderAndSeparateClassFromTitle)
{
    const std::string a = InstanceLock::lock_path("GameAppWndClass", "Tiny Lovely Game");
    EXPECT_EQ(a.rfind(platform::temp_dir(), 0), 0u);
    EXPECT_NE(a, InstanceLock::lock_path("GameAppWndClass", "Tiny Lovely Game 2"));
    EXPECT_NE(InstanceLock::lock_path("ab", "c"), InstanceLock::lock_path("a", "bc"));
    // Whatever the names hold, the file stays in the temporary folder.
    const std::string odd = InstanceLock::lock_path("../../etc/x", "a/b\\c\n");
    EXPECT_EQ(odd.find('/', platform::temp_dir().size()), std::string::npos);
    EXPECT_EQ(odd.find('\n'), std::string::npos);
}

} // namespace
