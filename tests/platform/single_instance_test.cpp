#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

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
    const std::string path = InstanceLock::lock_path("GameAppWndClass", "Raise test");
    EXPECT_FALSE(InstanceLock::ask_holder_to_raise(path));
    EXPECT_EQ(InstanceLock::holder_pid(path), 0);
    std::unique_ptr<InstanceLock> first, second;
    ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Raise test", first), InstanceLock::Result::acquired);
    EXPECT_FALSE(first->raise_requested());
    // The second start learns where the holder is, and who it is.
    InstanceLock::Place found;
    ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Raise test", second, &found),
              InstanceLock::Result::other_instance);
    EXPECT_EQ(found.path, path);
    EXPECT_EQ(InstanceLock::holder_pid(found.path), long(getpid()));
    EXPECT_TRUE(InstanceLock::ask_holder_to_raise(found.path));
    EXPECT_TRUE(InstanceLock::ask_holder_to_raise(found.path));
    EXPECT_TRUE(first->raise_requested());
    EXPECT_FALSE(first->raise_requested()); // both asks were taken at once
    first.reset();
    EXPECT_FALSE(InstanceLock::ask_holder_to_raise(path));
}

// A TMPDIR naming a folder that does not exist once made the lock fail, so
// two copies ran side by side. The lock is then made in /tmp, where every
// such start meets.
TEST(InstanceLock, ATemporaryFolderThatDoesNotExistFallsBackToTheSystemOne)
{
    const char* was = std::getenv("TMPDIR");
    const std::string tmpdir_was = was ? was : "";
    setenv("TMPDIR", "/no/such/folder", 1);
    std::unique_ptr<InstanceLock> first, second;
    InstanceLock::Place taken, found;
    const auto first_result = InstanceLock::acquire("GameAppWndClass", "Fallback test", first, &taken);
    const auto second_result = InstanceLock::acquire("GameAppWndClass", "Fallback test", second, &found);
    was ? setenv("TMPDIR", tmpdir_was.c_str(), 1) : unsetenv("TMPDIR");
    ASSERT_EQ(first_result, InstanceLock::Result::acquired);
    EXPECT_EQ(taken.path, InstanceLock::lock_path("GameAppWndClass", "Fallback test", "/tmp/"));
    EXPECT_EQ(second_result, InstanceLock::Result::other_instance);
    EXPECT_EQ(found.path, taken.path);
    first.reset();
    EXPECT_FALSE(std::filesystem::exists(taken.path));
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
