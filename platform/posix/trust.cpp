#include "platform/trust.h"

#include "platform/posix/open_under_rule.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool trusted_owner(uint32_t uid) { return uid == ::geteuid() || uid == 0; }

bool name_trusted(const char* path)
{
    struct stat st;
    return path && ::lstat(path, &st) == 0 && trusted_owner(st.st_uid);
}

bool name_players(const char* path)
{
    struct stat st;
    return path && ::lstat(path, &st) == 0 && st.st_uid == ::geteuid();
}

bool file_trusted(FileHandle file)
{
    struct stat st;
    return ::fstat(file, &st) == 0 && trusted_owner(st.st_uid);
}

bool open_to_all(const char* path)
{
    struct stat st;
    return path && ::stat(path, &st) == 0 && (st.st_mode & S_IWOTH) != 0;
}

bool follow_link(std::string& path, int& error)
{
    error = 0;
    const int link = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (link < 0) {
        if (errno != ENOENT)
            error = errno;
        return false;
    }
    struct stat st;
    char text[PATH_MAX];
    ssize_t length = -1;
    if (::fstatat(link, "", &st, AT_EMPTY_PATH) != 0)
        error = errno;
    else if (S_ISLNK(st.st_mode)) {
        const size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        if (!trusted_owner(st.st_uid) && open_to_all(folder.c_str()))
            error = error_untrusted_link;
        else if ((length = ::readlinkat(link, "", text, sizeof text)) < 0)
            error = errno;
        else if (static_cast<size_t>(length) == sizeof text)
            error = ENAMETOOLONG;
        else if (text[0] == '/' || slash == std::string::npos)
            path.assign(text, static_cast<size_t>(length));
        else
            path = path.substr(0, slash + 1) + std::string(text, static_cast<size_t>(length));
    }
    ::close(link);
    return error == 0 && length >= 0;
}

int open_under_rule(const char* path, int flags, bool follow)
{
    std::string name = path;
    for (int hops = 0;; ++hops) {
        int fd;
        do
            fd = ::open(name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0666);
        while (fd < 0 && errno == EINTR);
        // A link at the name fails with ELOOP; with O_DIRECTORY, also with
        // ENOTDIR.
        if (fd >= 0 || !follow || (errno != ELOOP && errno != ENOTDIR))
            return fd;
        if (hops == 40) {
            errno = ELOOP;
            return -1;
        }
        const int refused = errno;
        int error = 0;
        if (follow_link(name, error))
            continue;
        // No link: a name that is no folder stays so, and a link that went
        // meanwhile leaves the name to be opened again as it now is.
        errno = error != 0 ? error : refused;
        if (error != 0 || refused == ENOTDIR)
            return -1;
    }
}

bool may_write(const char* path)
{
    return path && (::faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) == 0 || errno == EROFS);
}

} // namespace platform
