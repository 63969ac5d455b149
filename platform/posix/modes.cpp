#include "platform/posix/modes.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace platform {

namespace {

void close_quietly(int fd)
{
    const int error = errno;
    ::close(fd);
    errno = error;
}

// Gives what was just made, open as `fd`, its exact mode. A folder keeps
// the setgid bit its parent gave it: its files then belong to the group,
// as the parent's do. A file system that keeps no modes refuses the
// setting (EPERM, ENOTSUP); what it made is then the file system's to
// decide, and it stays: the umask could only have taken bits away.
void give_made_mode(int fd, mode_t mode)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return;
    if (S_ISDIR(st.st_mode))
        mode |= st.st_mode & S_ISGID;
    if ((st.st_mode & 07777) != (mode & 07777))
        (void)set_mode(fd, mode);
}

// Gives what was just made at `name` (a folder, a pipe) its mode, through
// a handle that needs no rights to it: the umask may have left none. In a
// folder others may write to, the name may have been taken over since;
// only the player's own entry of `type` is touched.
void give_made_mode(int folder, const char* name, mode_t type, mode_t mode)
{
    const int fd = ::openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st;
    if (::fstat(fd, &st) == 0 && (st.st_mode & S_IFMT) == type && st.st_uid == ::geteuid())
        give_made_mode(fd, mode);
    close_quietly(fd);
}

} // namespace

bool set_mode(int fd, mode_t mode)
{
    int result;
    do
        result = ::fchmod(fd, mode & 07777);
    while (result != 0 && errno == EINTR);
    if (result == 0 || errno != EBADF)
        return result == 0;
    // fchmod takes no O_PATH handle; the descriptor's name in /proc leads
    // to the file the handle holds, whatever has been put at its name.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::chmod(self.c_str(), mode & 07777) == 0;
}

int make_file(int folder, const char* name, int flags, mode_t mode)
{
    int fd;
    do
        fd = ::openat(folder, name, flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0777);
    while (fd < 0 && errno == EINTR);
    if (fd >= 0)
        give_made_mode(fd, mode);
    return fd;
}

int open_or_make(int folder, const char* name, int flags, mode_t mode)
{
    const int plain = (flags & ~(O_TRUNC | O_CREAT | O_EXCL)) | O_NOFOLLOW | O_CLOEXEC;
    // Made with O_EXCL, so that a file made is told from one that was
    // there, which keeps its mode. A name that goes and comes between the
    // two opens is tried again, a few times: someone may be removing and
    // making it over and over.
    for (int attempt = 0;; ++attempt) {
        int fd;
        if (flags & O_CREAT) {
            fd = make_file(folder, name, plain, mode);
            if (fd >= 0 || errno != EEXIST || (flags & O_EXCL))
                return fd;
        }
        do
            fd = ::openat(folder, name, plain);
        while (fd < 0 && errno == EINTR);
        if (fd >= 0 || errno != ENOENT || !(flags & O_CREAT) || attempt == 8)
            return fd;
    }
}

bool make_folder(int folder, const char* name, mode_t mode)
{
    if (::mkdirat(folder, name, mode & 0777) != 0)
        return false;
    give_made_mode(folder, name, S_IFDIR, mode);
    return true;
}

bool make_pipe(int folder, const char* name, mode_t mode)
{
    if (::mkfifoat(folder, name, mode & 0777) != 0)
        return false;
    give_made_mode(folder, name, S_IFIFO, mode);
    return true;
}

bool has_second_name(const struct stat& st) { return !S_ISDIR(st.st_mode) && st.st_nlink > 1; }

bool mend_mode(int handle, mode_t type, mode_t mode)
{
    const int error = errno;
    struct stat st;
    const bool mended = ::fstat(handle, &st) == 0 && (st.st_mode & S_IFMT) == type && st.st_uid == ::geteuid() &&
                        !has_second_name(st) && (st.st_mode & 07777) == 0 && set_mode(handle, mode);
    errno = error;
    return mended;
}

} // namespace platform
