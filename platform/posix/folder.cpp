#include "platform/folder.h"

#include "platform/trust.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FolderHandle folder_open(const char* path)
{
    if (!path) {
        errno = EINVAL;
        return invalid_folder;
    }
    // Links are followed one hop at a time under the rule for shared
    // folders, as file_open does, since the kernel's own protection of
    // links may be off.
    std::string name = path;
    for (int hops = 0;; ++hops) {
        int fd;
        do
            fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        while (fd < 0 && errno == EINTR);
        if (fd >= 0)
            return fd;
        // O_NOFOLLOW with O_DIRECTORY reports a link as ELOOP or ENOTDIR.
        if (errno != ELOOP && errno != ENOTDIR)
            return invalid_folder;
        const int refused = errno;
        int error = 0;
        if (hops == 40 || !follow_link(name, error)) {
            errno = hops == 40 ? ELOOP : error != 0 ? error : refused;
            return invalid_folder;
        }
    }
}

bool folder_close(FolderHandle folder) { return file_close(folder); }

bool folder_open_to_all(FolderHandle folder)
{
    struct stat st;
    return ::fstat(folder, &st) == 0 && (st.st_mode & S_IWOTH) != 0;
}

FileHandle folder_create_new(FolderHandle folder, const char* name)
{
    int fd;
    do
        fd = ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool folder_rename(FolderHandle folder, const char* from, const char* to)
{
    return ::renameat(folder, from, folder, to) == 0;
}

bool folder_remove(FolderHandle folder, const char* name) { return ::unlinkat(folder, name, 0) == 0; }

} // namespace platform
