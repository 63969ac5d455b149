#include "platform/folder.h"

#include "platform/posix/modes.h"
#include "platform/posix/path_walk.h"
#include "platform/trust.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FolderHandle folder_open(const char* path, FolderFor use)
{
    if (!path) {
        errno = EINVAL;
        return invalid_folder;
    }
    return open_under_rule(AT_FDCWD, path, O_PATH | O_DIRECTORY, true, use == FolderFor::writing);
}

bool folder_close(FolderHandle folder) { return file_close(folder); }

OpenFolder::~OpenFolder()
{
    if (handle != invalid_folder) {
        const int error = errno;
        folder_close(handle);
        errno = error;
    }
}

std::pair<std::string, std::string> split_folder_path(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool folder_open_to_all(FolderHandle folder)
{
    struct stat st;
    return ::fstat(folder, &st) == 0 && (st.st_mode & S_IWOTH) != 0;
}

bool folder_shared_with_group(FolderHandle folder)
{
    struct stat st;
    return ::fstat(folder, &st) == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == S_IWGRP;
}

FileHandle folder_open_file(FolderHandle folder, const char* name, FileOpen how)
{
    return open_checked(folder, name, how, LastName::follow);
}

FileHandle folder_open_judged(FolderHandle folder, const char* name, FileOpen how, const NameStatus& judged)
{
    const FileHandle file = open_checked(folder, name, how, LastName::no_link);
    if (file == invalid_file)
        return file;
    const MadeFile opened = made_file(file);
    if (opened.device == judged.device && opened.inode == judged.inode)
        return file;
    ::close(file);
    errno = ESTALE;
    return invalid_file;
}

FileHandle folder_create_new(FolderHandle folder, const char* name)
{
    // Its mode whatever the umask: under `umask 277` a settings file made
    // 0400 was taken for one the player froze.
    return make_file(folder, name, O_WRONLY | O_NOCTTY, made_file_mode);
}

bool folder_name_status(FolderHandle folder, const char* name, NameStatus& status)
{
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    status = {.regular = S_ISREG(st.st_mode),
              .folder = S_ISDIR(st.st_mode),
              .link = S_ISLNK(st.st_mode),
              .owner = st.st_uid,
              .mode = st.st_mode & 07777u,
              .size = static_cast<int64_t>(st.st_size),
              .write_time = static_cast<int64_t>(st.st_mtim.tv_sec),
              .device = static_cast<uint64_t>(st.st_dev),
              .inode = static_cast<uint64_t>(st.st_ino)};
    return true;
}

bool folder_may_write(FolderHandle folder, const char* name)
{
    return ::faccessat(folder, name, W_OK, AT_EACCESS) == 0 || errno == EROFS;
}

bool folder_rename(FolderHandle folder, const char* from, const char* to)
{
    return ::renameat(folder, from, folder, to) == 0;
}

bool folder_rename_new(FolderHandle folder, const char* from, const char* to)
{
    if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0)
        return true;
    // File systems that cannot rename without replacing (EINVAL) get the
    // name through a second link, which fails on a taken name as well;
    // the old name goes once the new one is there.
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (::linkat(folder, from, folder, to, 0) == 0) {
        // The old name goes only while it still has the file now linked.
        struct stat linked;
        if (::fstatat(folder, to, &linked, AT_SYMLINK_NOFOLLOW) == 0)
            (void)folder_remove_made(
                folder, from, {static_cast<uint64_t>(linked.st_dev), static_cast<uint64_t>(linked.st_ino)});
        return true;
    }
    // Some FUSE and SMB mounts make no hard links either (EPERM). A plain
    // rename replaces what has the name, so it is used only where nobody
    // but the player can put a name there after the look below.
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return false;
    if (!folder_only_player_writes(folder)) {
        errno = error_no_safe_rename;
        return false;
    }
    struct stat st;
    if (::fstatat(folder, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return errno == ENOENT && ::renameat(folder, from, folder, to) == 0;
}

bool folder_remove(FolderHandle folder, const char* name) { return ::unlinkat(folder, name, 0) == 0; }

MadeFile made_file(FileHandle file)
{
    struct stat st;
    if (::fstat(file, &st) != 0)
        return {};
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool folder_remove_made(FolderHandle folder, const char* name, const MadeFile& made)
{
    struct stat st;
    if (made.inode == 0 || ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (static_cast<uint64_t>(st.st_dev) != made.device || static_cast<uint64_t>(st.st_ino) != made.inode) {
        errno = EEXIST;
        return false;
    }
    return ::unlinkat(folder, name, 0) == 0;
}

bool folder_make(const char* path, uint32_t mode, FolderMakeFailure* failed)
{
    if (!path || !*path) {
        errno = ENOENT;
        return false;
    }
    const std::string whole = path;
    // Each folder on the way that is missing is made, from the first one
    // down; what is there already is left as it is.
    for (size_t end = whole.find('/', 1);; end = whole.find('/', end + 1)) {
        const std::string part = whole.substr(0, end);
        if (!part.empty() && part.back() != '/') {
            std::string name;
            const int holder = open_parent_under_rule(part.c_str(), name);
            if (holder < 0) {
                if (failed)
                    *failed = {split_folder_path(part).first, true};
                return false;
            }
            // Made here: the mode asked for, whatever the umask says, set
            // on the folder made in the folder judged (modes.h).
            const bool ok = make_folder(holder, name.c_str(), static_cast<mode_t>(mode & 07777)) || errno == EEXIST;
            const int error = errno;
            ::close(holder);
            errno = error;
            if (!ok) {
                if (failed)
                    *failed = {part, false};
                return false;
            }
        }
        if (end == std::string::npos)
            return true;
    }
}

} // namespace platform
