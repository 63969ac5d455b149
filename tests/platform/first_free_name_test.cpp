// The search for a free name goes on past a name that is taken, and stops
// at any other failure with that failure's own reason: a folder the player
// may not write to, or a read-only file system, was tried under every name
// and said "File exists".
#include "platform/folder.h"
#include "platform/process.h"
#include "tests/support/as_unprivileged.h"
#include "tests/support/refused_calls.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Where the row's search runs, in a child process of its own.
enum class SearchPlace {
    players_folder,  // the player's own folder
    closed_folder,   // a folder of mode 0555, as a user the modes hold for
    refused_create,  // every create refused with EROFS by a system call filter
    read_only_mount, // a read-only bind mount of the folder, in the child's own mount namespace
};

struct SearchRow {
    const char* what;
    SearchPlace place;
    int taken;        // the names "new.0" ... before the search, the player's
    int tried;        // the names the search asks for
    int error;        // 0: a file is made
    const char* said; // what system_error_text says of the error
};

// In the child, in the folder `folder`: puts the process where the row
// runs. False where it cannot be put there.
bool enter_place(SearchPlace place, const char* folder)
{
    switch (place) {
    case SearchPlace::players_folder:
        return true;
    case SearchPlace::closed_folder:
        return test_support::become_unprivileged();
    case SearchPlace::refused_create:
        return test_support::refuse_calls({{SYS_openat, EROFS, 2, O_CREAT}, {SYS_open, EROFS, 1, O_CREAT}});
    case SearchPlace::read_only_mount:
        // The current folder stays the one under the mount: it is entered
        // again through its name.
        return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               ::mount(folder, folder, nullptr, MS_BIND, nullptr) == 0 &&
               ::mount(nullptr, folder, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0 &&
               ::chdir(folder) == 0;
    }
    return false;
}

// In the child: the search in the current folder, as the row expects it.
bool searched_as_row_says(const SearchRow& row)
{
    const platform::OpenFolder folder(".", platform::FolderFor::writing);
    if (folder.handle == platform::invalid_folder) {
        const std::string why = platform::system_error_text(platform::last_error());
        std::fprintf(stderr, "the folder does not open: %s\n", why.c_str());
        return false;
    }
    int tried = 0;
    std::string made;
    const platform::FileHandle file = platform::folder_create_first_free(
        folder.handle, [&tried](int n) {
            ++tried;
            return "new." + std::to_string(n);
        }, 100, false, "", made);
    const int error = file == platform::invalid_file ? platform::last_error() : 0;
    if (file != platform::invalid_file)
        (void)platform::file_close(file);
    const std::string said = error ? platform::system_error_text(error) : "";
    if (tried == row.tried && error == row.error && said == row.said)
        return true;
    std::fprintf(stderr, "%d names tried, then %s\n", tried, error ? said.c_str() : ("made " + made).c_str());
    return false;
}

TEST(FirstFreeName, OnlyATakenNameIsPassedOver)
{
    const fs::path dir = fs::temp_directory_path() / ("quarn_first_free_" + std::to_string(::getpid()));
    const SearchRow rows[] = {
        {"a free first name", SearchPlace::players_folder, 0, 1, 0, ""},
        {"the first two names taken", SearchPlace::players_folder, 2, 3, 0, ""},
        {"a folder the player may not write to", SearchPlace::closed_folder, 0, 1, EACCES, "Permission denied"},
        {"the first name taken, in a folder the player may not write to", SearchPlace::closed_folder, 1, 2, EACCES,
         "Permission denied"},
        {"a read-only file system", SearchPlace::refused_create, 0, 1, EROFS, "Read-only file system"},
        {"a read-only mount", SearchPlace::read_only_mount, 0, 1, EROFS, "Read-only file system"},
    };
    for (const SearchRow& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.place == SearchPlace::read_only_mount && ::geteuid() != 0) {
            std::printf("the row '%s' is skipped: only root can mount\n", row.what);
            continue;
        }
        fs::create_directories(dir);
        fs::permissions(dir, fs::perms(0755));
        for (const auto& entry : fs::directory_iterator(dir))
            fs::remove(entry.path());
        for (int n = 0; n < row.taken; ++n)
            std::ofstream(dir / ("new." + std::to_string(n))) << "taken";
        if (row.place == SearchPlace::closed_folder)
            fs::permissions(dir, fs::perms(0555));
        // 77: the child could not be put where the row runs.
        const pid_t child = ::fork();
        if (child == 0) {
            const bool entered = ::chdir(dir.c_str()) == 0 && enter_place(row.place, dir.c_str());
            std::_Exit(!entered ? 77 : searched_as_row_says(row) ? 0 : 1);
        }
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
            std::printf("the row '%s' is skipped: %s\n", row.what,
                        row.place == SearchPlace::read_only_mount  ? "the mount failed"
                        : row.place == SearchPlace::refused_create ? "no system call filter can be set"
                                                                   : "the user could not be changed");
            continue;
        }
        EXPECT_EQ(status, 0) << "the search went otherwise, as said above";
    }
    fs::permissions(dir, fs::perms(0755));
    fs::remove_all(dir);
}

} // namespace
