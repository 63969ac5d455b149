#include "platform/folder.h"

#include "platform/posix/open_under_rule.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FolderHandle folder_open(const char* path)
{
    if (!path) {
        errno = EINVAL;
        return invalid_folder;
    }
    return open_under_rule(path, O_RDONLY | O_DIRECTORY, true);
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
