#include "platform/file.h"

#include "platform/folder.h"
#include "platform/posix/modes.h"
#include "platform/posix/path_walk.h"
#include "platform/trust.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

int open_flags(FileOpen how)
{
    switch (how) {
    case FileOpen::read_existing: return O_RDONLY;
    case FileOpen::write_always: return O_WRONLY | O_CREAT;
    case FileOpen::append_always: return O_WRONLY | O_CREAT | O_APPEND;
    case FileOpen::read_write_existing: return O_RDWR;
    case FileOpen::write_truncate: return O_WRONLY | O_CREAT | O_TRUNC;
    case FileOpen::read_write_truncate: return O_RDWR | O_CREAT | O_TRUNC;
    case FileOpen::read_append: return O_RDWR | O_CREAT | O_APPEND;
    // O_EXCL also refuses a link at the name, wherever it leads.
    case FileOpen::create_new: return O_WRONLY | O_CREAT | O_EXCL;
    }
    return -1;
}

const char* stream_mode(FileOpen how)
{
    switch (how) {
    case FileOpen::read_existing: return "rb";
    case FileOpen::write_always:
    case FileOpen::write_truncate:
    case FileOpen::create_new: return "wb";
    case FileOpen::append_always: return "ab";
    case FileOpen::read_append: return "a+b";
    case FileOpen::read_write_existing:
    case FileOpen::read_write_truncate: return "r+b";
    }
    return "rb";
}

// A file of the player's own at `path` that an earlier start left with
// mode 000 (a log made under `umask 777`, and every later start logged
// under another name) is given made_file_mode, by the one mend of modes.h,
// through a handle that needs no rights to the file. True when it was;
// errno is kept otherwise, but for a file with a second name, which is
// the reason it is not opened (error_second_name).
bool mend_own_file(int start, const char* path)
{
    const int error = errno;
    const int handle = open_under_rule(start, path, O_PATH, false, true);
    const bool mended = handle >= 0 && mend_mode(handle, S_IFREG, made_file_mode);
    struct stat st;
    const bool second = !mended && handle >= 0 && ::fstat(handle, &st) == 0 && st.st_uid == ::geteuid() &&
                        has_second_name(st);
    if (handle >= 0)
        ::close(handle);
    if (second)
        note_refusal(error_second_name, path, st.st_uid);
    errno = second ? error_second_name : error;
    return mended;
}

// The error number of file_open_own's refusal of what has the name `path`
// now, when it is a link (error_link_at_name) or not the player's
// (error_untrusted_owner), with its owner and the way out the player has
// in its folder kept for the message: "Too many levels of symbolic links"
// and "Operation not permitted" name neither. `error` otherwise.
int own_refusal(const char* path, int error)
{
    std::string name;
    const int folder = open_parent_under_rule(path, name);
    struct stat st;
    if (folder >= 0 && ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        (S_ISLNK(st.st_mode) || (S_ISREG(st.st_mode) && st.st_uid != ::geteuid()))) {
        error = S_ISLNK(st.st_mode) ? error_link_at_name : error_untrusted_owner;
        note_refusal(error, path, st.st_uid, S_ISLNK(st.st_mode), folder);
    }
    if (folder >= 0)
        ::close(folder);
    return error;
}

} // namespace

// The open behind file_open, file_open_own and the folder's opens, from
// the folder `start`: `own` (from the current folder alone) follows no link
// and adds the owner check, and empties the file only once it passed them.
FileHandle open_checked(int start, const char* path, FileOpen how, LastName last)
{
    const bool own = last == LastName::own;
    int flags = open_flags(how);
    if (!path || flags < 0) {
        errno = EINVAL;
        return invalid_file;
    }
    const bool truncate = own && (flags & O_TRUNC);
    if (own)
        flags = (flags & ~O_TRUNC) | O_NOFOLLOW;
    // O_NONBLOCK only for the open: a FIFO put where a file is expected
    // would otherwise wait for a writer (or a reader) without end, and no
    // signal ends that wait in order. The type check below then refuses it.
    const bool follow = last == LastName::follow;
    int fd = open_under_rule(start, path, flags | O_NOCTTY | O_NONBLOCK, follow);
    if (fd < 0 && errno == EACCES && own && mend_own_file(start, path))
        fd = open_under_rule(start, path, flags | O_NOCTTY | O_NONBLOCK, follow);
    if (fd < 0 && own && (errno == ELOOP || errno == EACCES))
        errno = own_refusal(path, errno);
    if (fd < 0)
        return invalid_file;
    // Linux opens a directory for reading; the library's files never are
    // directories, so refuse it here as a plain open of a directory fails
    // elsewhere. A device or a pipe is no file of ours either: /dev/zero
    // read as data never ends.
    struct stat st;
    const bool known = ::fstat(fd, &st) == 0;
    int error = 0;
    if (!known)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = S_ISDIR(st.st_mode) ? EISDIR : error_not_regular_file;
    else if (own && st.st_uid != ::geteuid())
        error = own_refusal(path, EPERM);
    else if (own && (flags & (O_WRONLY | O_RDWR)) && has_second_name(st))
        error = error_second_name;
    else if (truncate && ::ftruncate(fd, 0) != 0)
        error = errno;
    if (error == error_second_name)
        note_refusal(error, path, st.st_uid);
    if (error != 0) {
        ::close(fd);
        errno = error;
        return invalid_file;
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

FileHandle file_open(const char* path, FileOpen how) { return open_checked(AT_FDCWD, path, how, LastName::follow); }

FileHandle file_open_own(const char* path, FileOpen how)
{
    return open_checked(AT_FDCWD, path, how, LastName::own);
}

std::FILE* file_open_stream(const char* path, FileOpen how)
{
    const FileHandle fd = file_open(path, how);
    if (fd == invalid_file)
        return nullptr;
    std::FILE* stream = ::fdopen(fd, stream_mode(how));
    if (!stream) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return stream;
}

bool file_close(FileHandle file)
{
    if (file < 0) {
        errno = EBADF;
        return false;
    }
    // After EINTR the descriptor is gone on Linux; retrying could close a
    // descriptor another thread just got.
    return ::close(file) == 0 || errno == EINTR;
}

int64_t file_read(FileHandle file, void* data, size_t n)
{
    ssize_t got;
    do
        got = ::read(file, data, n);
    while (got < 0 && errno == EINTR);
    return got;
}

int64_t file_write(FileHandle file, const void* data, size_t n)
{
    ssize_t put;
    do
        put = ::write(file, data, n);
    while (put < 0 && errno == EINTR);
    return put;
}

int file_write_all(FileHandle file, const void* data, size_t n)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t done = 0; done < n;) {
        const int64_t put = file_write(file, bytes + done, n - done);
        if (put <= 0) {
            if (put == 0)
                errno = ENOSPC;
            return errno;
        }
        done += static_cast<size_t>(put);
    }
    return 0;
}

int64_t file_seek(FileHandle file, int64_t offset, SeekFrom from)
{
    int whence = from == SeekFrom::begin ? SEEK_SET : from == SeekFrom::current ? SEEK_CUR : SEEK_END;
    return ::lseek(file, static_cast<off_t>(offset), whence);
}

int64_t file_size(FileHandle file)
{
    struct stat st;
    if (::fstat(file, &st) != 0)
        return -1;
    return st.st_size;
}

bool file_sync(FileHandle file) { return ::fsync(file) == 0; }

bool file_reserve(FileHandle file, int64_t size)
{
    struct stat before;
    if (::fstat(file, &before) != 0)
        return false;
    // posix_fallocate gives its error as the result, not in errno. Where
    // the file system cannot allocate (ext2, older NFS), the C library
    // writes a byte into each block instead, reading each first so as to
    // keep what is there: that needs a descriptor open for reading too.
    int error;
    do
        error = ::posix_fallocate(file, 0, static_cast<off_t>(size));
    while (error == EINTR);
    // Room is not all a write needs: under a file size limit (ulimit -f)
    // the writes stop at the limit with EFBIG, also in a file that is long
    // enough already. The last byte is written back as it is, so that such
    // a limit fails here, before the first byte changes.
    if (error == 0 && size > 0) {
        char last;
        const off_t at = static_cast<off_t>(size - 1);
        errno = 0;
        if (::pread(file, &last, 1, at) != 1 || ::pwrite(file, &last, 1, at) != 1)
            error = errno != 0 ? errno : EIO;
    }
    // A reserve that fails part way may have made the file longer already
    // (the byte-by-byte reserve always does): the old length is put back,
    // so that the file holds exactly what it held.
    struct stat after;
    if (error != 0 && ::fstat(file, &after) == 0 && after.st_size > before.st_size)
        (void)::ftruncate(file, before.st_size);
    errno = error;
    return error == 0;
}

bool file_set_permissions(FileHandle file, uint32_t mode) { return set_mode(file, static_cast<mode_t>(mode)); }

bool file_has_second_name(FileHandle file)
{
    struct stat st;
    if (::fstat(file, &st) != 0 || !has_second_name(st))
        return false;
    note_refusal(error_second_name, "", st.st_uid);
    return true;
}

bool file_resize(FileHandle file, int64_t size)
{
    int result;
    do
        result = ::ftruncate(file, static_cast<off_t>(size));
    while (result != 0 && errno == EINTR);
    return result == 0;
}

bool path_exists(const char* path)
{
    const int found = path ? open_under_rule(path, O_PATH, true) : -1;
    if (found < 0)
        return false;
    ::close(found);
    return true;
}

bool name_taken(const char* path)
{
    struct stat st;
    return path && ::lstat(path, &st) == 0;
}

uint32_t page_size()
{
    long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<uint32_t>(size) : 4096u;
}

} // namespace platform
