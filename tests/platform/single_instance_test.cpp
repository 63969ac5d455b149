#include "platform/platform.h"
#include "tests/support/as_unprivileged.h"
#include "tests/support/refused_calls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Set by the test entry (tests/support/test_main.cpp).
namespace test_support {
extern std::string lock_root_at_start;
}

namespace {

namespace fs = std::filesystem;
using platform::InstanceLock;

std::string user_folder(const std::string& in) { return in + "quarn-" + std::to_string(geteuid()); }

std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The player's folder is made in a folder of the test's that every user
// may write to, as /tmp is.
struct SharedRoot {
    SharedRoot()
    {
        fs::create_directory(folder);
        fs::permissions(folder, fs::perms(01777));
        InstanceLock::set_root(folder);
    }
    ~SharedRoot() { InstanceLock::set_root(was); }
    const std::string was = InstanceLock::root(), folder = was + "shared/";
};

// What differs between a start from the desktop, one under su and one
// from a script, put back as it was when this goes.
struct StartEnvironment {
    ~StartEnvironment() { put("XDG_RUNTIME_DIR", run_was), put("TMPDIR", temp_was); }
    static std::optional<std::string> now(const char* name)
    {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void put(const char* name, const std::optional<std::string>& value)
    {
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    const std::optional<std::string> run_was = now("XDG_RUNTIME_DIR"), temp_was = now("TMPDIR");
};

// A generous deadline for a holder that reads: the ask ends as soon as it
// has read.
constexpr int read_soon_ms = 60000;

// Asks as a second start does from `display`, waiting at most `wait_ms`,
// while `reader` (null: none) reads its pipe on a thread of its own, as
// the running game's loop does; `read` says whether it took a request.
InstanceLock::Raise ask_while_reading(InstanceLock* reader, const std::string& lock, bool* read = nullptr,
                                      std::string_view display = "", int wait_ms = read_soon_ms)
{
    std::atomic<bool> asked{false}, took{false};
    std::thread loop;
    if (reader)
        loop = std::thread([&] {
            while (!asked) {
                if (reader->raise_requested())
                    took = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    const InstanceLock::Raise answer = InstanceLock::ask_holder_to_raise(lock, display, wait_ms);
    asked = true;
    if (loop.joinable())
        loop.join();
    if (read)
        *read = took;
    return answer;
}

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

// A second start says "raised" only when the holder took its request,
// which the holder does only with a window to raise. A holder stuck in a
// box, or whose display was gone, was once said to have raised its window;
// and the request it left unread brought it to the front later, unasked.
TEST(InstanceLock, ASecondStartAsksTheHolderToRaiseItsWindow)
{
    using Raise = InstanceLock::Raise;
    const std::string path = InstanceLock::lock_path("GameAppWndClass", "Raise test");
    EXPECT_EQ(InstanceLock::ask_holder_to_raise(path, "", 0), Raise::no_holder);
    EXPECT_EQ(InstanceLock::holder(path).pid, 0);
    const std::string pid = std::to_string(getpid());
    const struct {
        const char* what;
        bool reads;
        std::optional<std::string_view> held_on; // the holder's display; none: it shows no window on any
        const char* file;      // written over the lock file after the pid; null: as the holder wrote it
        const char* asked_on;  // the second start's display
        Raise answer;
        const char* display;   // the holder's display as the second start reads it
    } rows[] = {
        {"a holder that reads", true, ":0", nullptr, ":0", Raise::raised, ":0"},
        {"a holder that never reads", false, ":0", nullptr, ":0", Raise::not_answered, ":0"},
        {"a holder on another display", true, ":1", nullptr, ":0", Raise::other_display, ":1"},
        {"another screen of the same display", true, ":0.0", nullptr, "unix:0.1", Raise::raised, ":0.0"},
        {"a second start without a display", true, ":1", nullptr, "", Raise::raised, ":1"},
        {"a holder without a display", true, "", nullptr, ":0", Raise::raised, ""},
        {"a display that is no line", true, ":1\n:0", nullptr, ":0", Raise::raised, ""},
        {"an old one-line lock file", true, ":1", "\n", ":0", Raise::raised, ""},
        {"a display cut short", true, ":1", "\n:1", ":0", Raise::raised, ""},
        {"a holder without a window", true, std::nullopt, nullptr, ":0", Raise::no_window, ""},
        {"a holder without a window, asked from none", true, std::nullopt, nullptr, "", Raise::no_window, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::unique_ptr<InstanceLock> first, second;
        ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Raise test", first, nullptr, row.held_on),
                  InstanceLock::Result::acquired);
        EXPECT_FALSE(first->raise_requested());
        if (row.file)
            std::ofstream(path) << pid << row.file;
        // The second start learns where the holder is, and who it is.
        InstanceLock::Place found;
        ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Raise test", second, &found),
                  InstanceLock::Result::other_instance);
        EXPECT_EQ(found.path, path);
        EXPECT_EQ(InstanceLock::holder(path).pid, getpid());
        EXPECT_EQ(InstanceLock::holder(path).display, row.display);
        EXPECT_EQ(InstanceLock::holder(path).windowless, !row.held_on);
        bool read = false;
        EXPECT_EQ(ask_while_reading(row.reads ? first.get() : nullptr, path, &read, row.asked_on,
                                    row.reads ? read_soon_ms : 20),
                  row.answer);
        EXPECT_EQ(read, row.answer == Raise::raised);
        // Nothing is left for a holder that wakes up later.
        EXPECT_FALSE(first->raise_requested());
    }
    EXPECT_EQ(InstanceLock::ask_holder_to_raise(path, "", 0), Raise::no_holder);
    // What no process can be is no process id.
    std::ofstream(path) << "99999999999999999999\n:0\n";
    EXPECT_EQ(InstanceLock::holder(path).pid, 0);
}

// Every start of the player meets at one lock, whatever the session's
// runtime folder and the temporary folder are: a start from the desktop
// and one under su or from a script once looked in different folders, and
// both copies ran.
TEST(InstanceLock, EveryStartOfThePlayerFindsTheSameLock)
{
    const StartEnvironment restored;
    const std::string root = InstanceLock::root(), run = root + "run", other = root + "other";
    mkdir(run.c_str(), 0700);
    mkdir(other.c_str(), 0700);
    StartEnvironment::put("XDG_RUNTIME_DIR", run);
    StartEnvironment::put("TMPDIR", root);
    std::unique_ptr<InstanceLock> first, second;
    InstanceLock::Place taken;
    ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Every start", first, &taken), InstanceLock::Result::acquired);
    // The runtime folder and TMPDIR of each later start (none: unset).
    const std::optional<std::string> later[][2] = {
        {std::nullopt, other}, {std::nullopt, root + "gone"}, {other, std::nullopt}};
    for (const auto& [run_dir, temp] : later) {
        SCOPED_TRACE(run_dir.value_or("none") + ", " + temp.value_or("none"));
        StartEnvironment::put("XDG_RUNTIME_DIR", run_dir);
        StartEnvironment::put("TMPDIR", temp);
        InstanceLock::Place found;
        EXPECT_EQ(InstanceLock::acquire("GameAppWndClass", "Every start", second, &found),
                  InstanceLock::Result::other_instance);
        EXPECT_EQ(found.path, taken.path);
    }
}

// Every test program moves the lock's folder into its own temporary folder
// (set_root); the game itself never does, so the default is checked here:
// as the test entry found it, and as an empty set_root gives it back.
// lock_path makes nothing, so the path can be read without the lock.
TEST(InstanceLock, TheGamesLockIsInTheSystemsTemporaryFolderWhateverTmpdirSays)
{
    EXPECT_EQ(test_support::lock_root_at_start, "/tmp/");
    const std::string own_root = InstanceLock::root();
    InstanceLock::set_root("");
    const std::string path = InstanceLock::lock_path("GameAppWndClass", "Default place");
    InstanceLock::set_root(own_root);
    EXPECT_EQ(path.rfind(user_folder("/tmp/") + "/", 0), 0u) << path;
    EXPECT_NE(platform::temp_dir(), "/tmp/"); // the test programs' own TMPDIR
}

// Anyone may plant names in a shared temporary folder. The lock's folder
// there is the player's alone; one that is a link, open to others or
// another user's is not used, nor a link or a pipe at the lock's name, and
// a link at the pipe's name is neither read nor written through.
TEST(InstanceLock, WhatIsPlantedAtTheLocksNamesIsNeitherUsedNorFollowed)
{
    const SharedRoot shared;
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
    EXPECT_EQ(InstanceLock::ask_holder_to_raise(lock, "", 0), InstanceLock::Raise::no_holder);
    EXPECT_EQ(read_file(victim), "precious\n");
    // A folder of the player's left with mode 000, which the mend of a
    // folder found without the owner's rights would make 0700, were it to
    // follow a link.
    const std::string closed = shared.folder + "closed";
    fs::create_directory(closed);
    fs::permissions(closed, fs::perms::none);
    // Opened again however the test ends: a player who is not root cannot
    // remove a folder they may not list, and the test's folder would stay.
    const std::shared_ptr<void> reopen(nullptr, [&](void*) { fs::permissions(closed, fs::perms::owner_all); });
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"folder open to others", [&] { fs::permissions(user, fs::perms(0755)); }},
        {"link at the folder", [&] { fs::remove(user), fs::create_symlink(shared.folder, user); }},
        {"another user's link at the folder to a closed folder of the player's",
         [&] {
             fs::remove(user), fs::create_symlink(closed, user);
             if (geteuid() == 0) {
                 EXPECT_EQ(lchown(user.c_str(), 65534, 65534), 0);
             }
         }},
        {"link at the lock", [&] { fs::create_symlink(victim, lock); }},
        {"pipe at the lock", [&] { mkfifo(lock.c_str(), 0600); }},
        // The lock was emptied and given the holder's id: so was the file
        // of its other name.
        {"a second name of the player's file at the lock", [&] { fs::create_hard_link(victim, lock); }},
        {"another user's folder", [&] { EXPECT_EQ(lchown(user.c_str(), 65534, 65534), 0); }},
    };
    for (const auto& [what, plant] : rows) {
        SCOPED_TRACE(what);
        if (what == rows[6].first && geteuid() != 0)
            GTEST_SKIP() << "only root can give a folder or a pipe to another user";
        afresh();
        plant();
        InstanceLock::Place at;
        EXPECT_EQ(InstanceLock::acquire("GameAppWndClass", "Planted", first, &at), InstanceLock::Result::failed);
        EXPECT_NE(at.reason, "");
        EXPECT_EQ(read_file(victim), "precious\n");
        EXPECT_EQ(fs::status(closed).permissions(), fs::perms::none);
        fs::permissions(closed, fs::perms::none); // for the rows after a failed one
    }
    // A second start writes into no pipe of another user's, though it has a
    // reader.
    afresh();
    ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Planted", first), InstanceLock::Result::acquired);
    fs::remove(pipe);
    mkfifo(pipe.c_str(), 0666);
    const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(lchown(pipe.c_str(), 65534, 65534), 0);
    EXPECT_EQ(InstanceLock::ask_holder_to_raise(lock, "", 0), InstanceLock::Raise::no_holder);
    close(reader);
}

// A start under `umask 777` made the folder with mode 000, and every later
// start of a player who is not root was refused its lock (Permission
// denied), so two copies ran; its pipe had mode 000 too, and a second copy
// could not raise the first's window. The folder, the lock and the pipe
// are the program's: their modes do not follow the umask, and what an
// earlier start left without the owner's rights is mended or replaced.
// Root's opens ignore modes, so the rows run as a user whose opens do not.
TEST(InstanceLock, TheLocksModesAreTheProgramsWhateverTheUmask)
{
    const SharedRoot shared;
    enum class Left { nothing, folder, lock_and_pipe, linked_lock }; // with mode 000
    const struct {
        const char* what;
        mode_t umask;
        Left left;
        bool modes_refused = false; // as by a file system that keeps no modes
        const char* refused = nullptr; // in the reason the lock is not taken
    } rows[] = {
        {"a start under umask 777", 0777, Left::nothing},
        {"the folder an earlier start left with mode 000", 022, Left::folder},
        {"the lock and the pipe an earlier start left with mode 000", 022, Left::lock_and_pipe},
        // The pipe was refused its mode and no second start could raise
        // the window.
        {"a file system that keeps no modes", 022, Left::nothing, true},
        // Not mended, as that would open the file of its other name too:
        // the reason was "Permission denied".
        {"a lock left with mode 000 and a second name", 022, Left::linked_lock, false, "a second name"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        // Relative names: the player may not pass through the parents of
        // the test's folder, which are root's.
        const bool answered = test_support::as_unprivileged(shared.folder, [&] {
            if (row.modes_refused && !test_support::refuse_modes())
                return false;
            InstanceLock::set_root("./");
            const std::string user = user_folder("./");
            const std::string lock = InstanceLock::lock_path("GameAppWndClass", "Umask"), pipe = lock + ".raise";
            fs::remove_all(user);
            if (row.left != Left::nothing)
                mkdir(user.c_str(), row.left == Left::folder ? 0 : 0700);
            if (row.left == Left::lock_and_pipe || row.left == Left::linked_lock) {
                close(open(lock.c_str(), O_CREAT | O_WRONLY, 0));
                mkfifo(pipe.c_str(), 0);
            }
            if (row.left == Left::linked_lock)
                (void)link(lock.c_str(), "other-name");
            const mode_t was = umask(row.umask);
            std::unique_ptr<InstanceLock> first, second;
            InstanceLock::Place at;
            const bool taken = InstanceLock::acquire("GameAppWndClass", "Umask", first, &at) ==
                               InstanceLock::Result::acquired;
            umask(was);
            if (row.refused) {
                const bool said = !taken && at.reason.find(row.refused) != std::string::npos;
                if (!said)
                    std::fprintf(stderr, "taken %d: %s\n", taken, at.reason.c_str());
                return said && fs::status("other-name").permissions() == fs::perms::none;
            }
            const auto mode = [](const std::string& path) { return fs::status(path).permissions(); };
            const fs::perms rw = fs::perms::owner_read | fs::perms::owner_write;
            const bool held = taken && mode(user) == fs::perms::owner_all && mode(lock) == rw && mode(pipe) == rw;
            const bool found = InstanceLock::acquire("GameAppWndClass", "Umask", second) ==
                               InstanceLock::Result::other_instance;
            const bool raised = first && ask_while_reading(first.get(), lock) == InstanceLock::Raise::raised;
            if (!(held && found && raised))
                std::fprintf(stderr, "taken %d, modes %04o %04o %04o, found %d, raised %d\n", taken,
                             unsigned(mode(user)), unsigned(mode(lock)), unsigned(mode(pipe)), found, raised);
            return held && found && raised;
        });
        EXPECT_TRUE(answered);
    }
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
    // A holder killed outright leaves both; the next start takes them over
    // and is found and raised by the one after it, though a copy the holder
    // forked lives on (SDL draws a box in one): it once kept them held, and
    // later starts named the gone holder.
    int copy_lives[2];
    ASSERT_EQ(pipe(copy_lives), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(copy_lives[1]);
        if (InstanceLock::acquire("GameAppWndClass", "Cleanup test", first) == InstanceLock::Result::acquired) {
            // The copy ends when the test closes `copy_lives`; the holder is
            // killed once the copy runs (closed `made`), not before.
            int made[2];
            char byte;
            if (pipe(made) != 0)
                _exit(1);
            if (fork() == 0) {
                close(made[1]);
                _exit(int(read(copy_lives[0], &byte, 1)));
            }
            close(made[1]);
            (void)read(made[0], &byte, 1);
            kill(getpid(), SIGKILL);
        }
        _exit(1);
    }
    close(copy_lives[0]);
    const std::shared_ptr<void> end_copy(nullptr, [&](void*) { close(copy_lives[1]); });
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_TRUE(fs::exists(path));
    EXPECT_TRUE(fs::exists(path + ".raise"));
    EXPECT_EQ(InstanceLock::holder(path).pid, 0);
    EXPECT_EQ(InstanceLock::ask_holder_to_raise(path, "", 0), InstanceLock::Raise::no_holder);
    ASSERT_EQ(InstanceLock::acquire("GameAppWndClass", "Cleanup test", first), InstanceLock::Result::acquired);
    EXPECT_EQ(InstanceLock::acquire("GameAppWndClass", "Cleanup test", second), InstanceLock::Result::other_instance);
    EXPECT_EQ(ask_while_reading(first.get(), path), InstanceLock::Raise::raised);
}

TEST(InstanceLock, PathsLieInThePlayersFolderAndSeparateClassFromTitle)
{
    const std::string a = InstanceLock::lock_path("GameAppWndClass", "Tiny Lovely Game");
    const std::string folder = user_folder(InstanceLock::root()) + "/";
    EXPECT_EQ(a.rfind(folder, 0), 0u);
    EXPECT_NE(a, InstanceLock::lock_path("GameAppWndClass", "Tiny Lovely Game 2"));
    EXPECT_NE(InstanceLock::lock_path("ab", "c"), InstanceLock::lock_path("a", "bc"));
    // Whatever the names hold, the file stays in that folder.
    const std::string odd = InstanceLock::lock_path("../../etc/x", "a/b\\c\n");
    EXPECT_EQ(odd.find('/', folder.size()), std::string::npos);
    EXPECT_EQ(odd.find('\n'), std::string::npos);
    // Not even a runtime folder of the player's alone moves it.
    const StartEnvironment restored;
    const std::string run = InstanceLock::root() + "run";
    mkdir(run.c_str(), 0700);
    StartEnvironment::put("XDG_RUNTIME_DIR", run);
    EXPECT_EQ(InstanceLock::lock_path("GameAppWndClass", "Tiny Lovely Game"), a);
    // Out of the tests, the player's folder is in /tmp.
    const std::string test_root = InstanceLock::root();
    InstanceLock::set_root("");
    const std::string system = InstanceLock::lock_path("a", "b");
    InstanceLock::set_root(test_root);
    EXPECT_EQ(system.rfind(user_folder("/tmp/") + "/", 0), 0u) << system;
}

} // namespace
