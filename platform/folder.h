// Folders held open while files are made in them: the folder that was
// checked is the folder written, whatever is renamed over its name
// meanwhile. Every failing call leaves its error number in last_error()
// (process.h).
#pragma once

#include "platform/file.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace platform {

using FolderHandle = int;
inline constexpr FolderHandle invalid_folder = -1;

// What a folder is opened for.
enum class FolderFor {
    reading, // finding and reading its names
    writing, // making, replacing or removing its names: the walk to it
             // follows only the player's and root's links (trust.h)
};

// Opens the folder at `path` (for finding names in it, O_PATH: a folder
// the player may enter but not list still opens), every name on the way judged by the rule for
// shared folders (trust.h): error_untrusted_link or error_untrusted_owner
// when the rule refuses one, ENOTDIR when the name is no folder.
[[nodiscard]] FolderHandle folder_open(const char* path, FolderFor use = FolderFor::reading);
bool folder_close(FolderHandle folder);

// A folder opened by folder_open, closed at the end of the scope (the
// error number of a failure that came before is kept).
struct OpenFolder {
    FolderHandle handle;
    explicit OpenFolder(const std::string& path, FolderFor use = FolderFor::reading)
        : handle(folder_open(path.c_str(), use))
    {
    }
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
};

// The folder part of `path` ("." for a bare name, "/" for a name in the
// root) and its last name: what a file is made in, and as.
[[nodiscard]] std::pair<std::string, std::string> split_folder_path(const std::string& path);

// True when every user may write to the open folder.
[[nodiscard]] bool folder_open_to_all(FolderHandle folder);
// True when the open folder's group, and not every user, may write to it
// (2775, 775): a folder the player shares with a group.
[[nodiscard]] bool folder_shared_with_group(FolderHandle folder);

// file_open for the name `name` in the open folder: the walk starts there.
[[nodiscard]] FileHandle folder_open_file(FolderHandle folder, const char* name, FileOpen how);

// What has the name `name` in the folder, the name itself (a link is not
// followed).
struct NameStatus {
    bool regular = false;
    bool folder = false;
    bool link = false;
    uint32_t owner = 0;
    uint32_t mode = 0; // the permission bits
    int64_t size = 0;       // in bytes (a link's: the length of its text)
    int64_t write_time = 0; // the last change of its bytes, seconds since 1970
    uint64_t device = 0;    // which file it is
    uint64_t inode = 0;
};
// False when nothing has the name (ENOENT) or it cannot be looked at.
[[nodiscard]] bool folder_name_status(FolderHandle folder, const char* name, NameStatus& status);

// folder_open_file for the very file folder_name_status found (`judged`):
// a link at the name is not followed (ELOOP), and a file other than the
// one judged, put at the name since, is not opened (ESTALE).
[[nodiscard]] FileHandle folder_open_judged(FolderHandle folder, const char* name, FileOpen how,
                                            const NameStatus& judged);

// True when the player may write the file `name` of the folder, as the
// system decides it for the effective user; a read-only file system
// answers true (the write then fails with that reason).
[[nodiscard]] bool folder_may_write(FolderHandle folder, const char* name);

// Makes the folder `path` and every missing folder on the way to it, each
// with the permission bits `mode` whatever the umask (a folder made in one
// shared with a group keeps the group's setgid bit); folders that are
// there are left as they are. Every name on the way is judged by the rule
// for shared folders. On failure, `failed` (when given) says where it came,
// which may lie above `path`.
struct FolderMakeFailure {
    std::string folder;
    // True: `folder`, which is there, could not be opened to look for or
    // make the next folder in it (the rule refused it, no search
    // permission, too many open files). False: `folder` could not be made.
    bool opening = false;
};
[[nodiscard]] bool folder_make(const char* path, uint32_t mode, FolderMakeFailure* failed = nullptr);

// The error number of folder_create_first_free() where every name it may
// use is taken, each by the player or root: system_error_text() names the
// first and whose it is ("Every name for a new file is taken ..."). Like
// error_not_regular_file, it lies above every errno the system uses.
inline constexpr int error_names_taken = 0x10012;

// Makes a new file for writing (folder_create_new) in the folder under the
// first of the names `name_of(0)` ... `name_of(count - 1)` that nothing
// has: a taken name, a link of the player's there included, is passed
// over, never opened. With `remove_leftovers`, a name of the player's own
// there is first removed as what an interrupted write left. The name made
// goes to `made`. Where every name is taken, invalid_file with the true
// reason kept for refusal_text() under `shown` (the path the names are
// shown after, "" or ending in "/"): error_untrusted_owner naming the
// first name another user has and whose it is, else error_names_taken
// naming the first name and its owner.
[[nodiscard]] FileHandle folder_create_first_free(FolderHandle folder, const std::function<std::string(int)>& name_of,
                                                  int count, bool remove_leftovers, const std::string& shown,
                                                  std::string& made);

// Makes the file `name` in the folder for writing, only where nothing has
// the name: a link there, even one that leads nowhere, fails it (EEXIST).
// The file has mode 0644, whatever the umask, where the file system keeps
// modes.
[[nodiscard]] FileHandle folder_create_new(FolderHandle folder, const char* name);

// Gives the file `from` in the folder the name `to`, replacing what has
// that name: a link at `to` is itself replaced, never written through.
[[nodiscard]] bool folder_rename(FolderHandle folder, const char* from, const char* to);

// The error number of folder_rename_new() where the file system can only
// rename over a name and make no second link, in a folder others may write
// to; system_error_text() reads it with the way out. Like
// error_not_regular_file, it lies above every errno the system uses.
inline constexpr int error_no_safe_rename = 0x10004;

// Gives the file `from` in the folder the name `to` only while nothing has
// that name: fails with EEXIST rather than replace what appeared there
// meanwhile. Where the file system has neither a no-replace rename nor hard
// links, a plain rename does it in a folder only the player may write to
// (trust.h: nobody else can put a name there between the look and the
// rename); elsewhere it fails with error_no_safe_rename.
[[nodiscard]] bool folder_rename_new(FolderHandle folder, const char* from, const char* to);

// Removes the name `name` from the folder (a link, not what it leads to).
bool folder_remove(FolderHandle folder, const char* name);

// Which file an open file is, kept while it is open, so that its name can
// be removed later only while the name still has that very file.
struct MadeFile {
    uint64_t device = 0;
    uint64_t inode = 0;
};
[[nodiscard]] MadeFile made_file(FileHandle file);

// Removes what the program made and could not finish (a temporary file):
// the name `name` goes only while it still names the file `made`; what
// another user put at the name since is theirs, and stays. In a folder
// others may write to without the sticky bit, the name can still change
// between the look and the removal; with the sticky bit it cannot.
bool folder_remove_made(FolderHandle folder, const char* name, const MadeFile& made);

} // namespace platform
