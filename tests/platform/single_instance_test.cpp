#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::InstanceLock;

std::string user_folder(const std::string& in) { return in + "quarn-" + std::to_string(geteuid()); }

std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// TMPDIR names a folder of the test's that every user may write to, as
// /tmp is.
struct SharedTemp {
    SharedTemp()
    {
        fs::create_directory(folder);
        fs::permissions(folder, fs::perms(01777));
        setenv("TMPDIR", folder.c_str(), 1);
    }
    ~SharedTemp() { setenv("TMPDIR", was.c_str(), 1); }
    const std::string was = platform::temp_dir(), folder = was + "shared/";
};

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
    // What no process can be is no process id.
    std::ofstream(path) << "99999999999999999999\n";
    EXPECT_EQ(InstanceLock::holder_pid(path), 0);
}

// A TMPDIR naming a folder that does not exist once made the lock fail, so
// two copies ran side by side. The lock is then made in /tmp, where every
// such start meets.
TEST(InstanceLock, ATemporaryFolderThatDoesNotExistFallsBackToTheSystemOne)
{
    const char* was = std::getenv("TMPDIR");
    // A title of this run's own: other runs of the tests meet in /tmp too.
    const std::string tmpdir_was = was ? was : "", title = "Fallback test " + std::to_string(getpid());
    setenv("TMPDIR", "/no/such/folder", 1);
    std::unique_ptr<InstanceLock> first, second;
    InstanceLock::Place taken, found;
    const auto first_result = InstanceLock::acquire("GameAppWndClass", title, first, &taken);
    const auto second_result = InstanceLock::acquire("GameAppWndClass", title, second, &found);
    was ? setenv("TMPDIR", tmpdir_was.c_str(), 1) : unsetenv("TMPDIR");
    ASSERT_EQ(first_result, InstanceLock::Result::acquired);
    EXPECT_EQ(taken.path, InstanceLock::lock_path("GameAppWndClass", title, user_folder("/tmp/") + "/"));
    EXPECT_EQ(second_result, InstanceLock::Result::other_instance);
    EXPECT_EQ(found.path, taken.path);
    first.reset();
    EXPECT_FALSE(std::filesystem::exists(taken.path));
}

// Anyone may plant names in a shared temporary folder. The lock's folder
// there is the player's alone; one that is a link, open to others or
// another user's is not used, nor a link or a pipe at the lock's name, and
// a link at the pipe's name is neither read nor written through.
TEST(InstanceLock, WhatIsPlantedAtTheLocksNamesIsNeitherUsedNorFollowed)
{
    const SharedTemp shared;
    const std::string user = user_folder(shared.folder), victim = shared.folder + "victim";
    const std::string lock = InstanceLock::lock_path("GameAppWndClass", "Planted"), pipe = lock + ".raise";
    std::unique_ptr<InstanceLock> first;
    const auto afresh = [&] { first.reset(), fs::remove_all(user), mkdir(user.c_str(), 0700); };
    std::ofstream(victim) << "precious\n";
    afresh();
    fs::create_symlink(victim, pipe);
    ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Planted", first), InstanceLock::Result::acquired);
    EXPECT_FALSE(first->raise_requested());
    fs::remove(pipe);
    fs::create_symlink(victim, pipe);
    EXPECT_FALSE(InstanceLock::ask_holder_to_raise(lock));
    EXPECT_EQ(read_file(victim), "precious\n");
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"folder open to others", [&] { fs::permissions(user, fs::perms(0755)); }},
        {"link at the folder", [&] { fs::remove(user), fs::create_symlink(shared.folder, user); }},
        {"link at the lock", [&] { fs::create_symlink(victim, lock); }},
        {"pipe at the lock", [&] { mkfifo(lock.c_str(), 0600); }},
        {"another user's folder", [&] { EXPECT_EQ(lchown(user.c_str(), 65534, 65534), 0); }},
    };
    for (const auto& [what, plant] : rows) {
        SCOPED_TRACE(what);
        if (what == rows[4].first && geteuid() != 0)
            GTEST_SKIP() << "only root can give a folder or a pipe to another user";
        afresh();
        plant();
        InstanceLock::Place at;
        EXPECT_EQ(InstanceLock::acquire("GameAppWndClass", "Planted", first, &at), InstanceLock::Result::failed);
        EXPECT_NE(at.reason, "");
        EXPECT_EQ(read_file(victim), "precious\n");
    }
    // A second start writes into no pipe of another user's, though it has a
    // reader.
    afresh();
    ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Planted", first), InstanceLock::Result::acquired);
    fs::remove(pipe);
    mkfifo(pipe.c_str(), 0666);
    const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(lchown(pipe.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(InstanceLock::ask_holder_to_raise(lock));
    close(reader);
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

TEST(InstanceLock, PathsLieInThePlayersFolderAndSeparateClassFromTitle)
{
    const std::string a = InstanceLock::lock_path("GameAppWndClass", "Tiny Lovely Game");
    const std::string folder = user_folder(platform::temp_dir()) + "/";
    EXPECT_EQ(a.rfind(folder, 0), 0u);
    EXPECT_NE(a, InstanceLock::lock_path("GameAppWndClass", "Tiny Lovely Game 2"));
    EXPECT_NE(InstanceLock::lock_path("ab", "c"), InstanceLock::lock_path("a", "bc"));
    // Whatever the names hold, the file stays in that folder.
    const std::string odd = InstanceLock::lock_path("../../etc/x", "a/b\\c\n");
    EXPECT_EQ(odd.find('/', folder.size()), std::string::npos);
    EXPECT_EQ(odd.find('\n'), std::string::npos);
    // The session's runtime folder is used when it is the player's alone.
    const std::string run = platform::temp_dir() + "run";
    mkdir(run.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    EXPECT_EQ(InstanceLock::lock_path("a", "b"), InstanceLock::lock_path("a", "b", run + "/"));
    chmod(run.c_str(), 0750);
    EXPECT_EQ(InstanceLock::lock_path("a", "b"), InstanceLock::lock_path("a", "b", folder));
    unsetenv("XDG_RUNTIME_DIR");
}

} // namespace
