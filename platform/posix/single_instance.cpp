#include "platform/single_instance.h"

#include "platform/process.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// FNV-1a, 64 bits: the file name has to be short and safe whatever the
// title holds, yet differ between titles.
uint64_t fnv1a(std::string_view a, std::string_view b)
{
    uint64_t h = 0xcbf29ce484222325ull;
    auto feed = [&](std::string_view s) {
        for (unsigned char c : s) {
            h ^= c;
            h *= 0x100000001b3ull;
        }
    };
    feed(a);
    feed(std::string_view("\0", 1)); // "ab"+"c" and "a"+"bc" must differ
    feed(b);
    return h;
}

// Where the lock goes when the temporary folder named by TMPDIR cannot
// hold it: every start of the program knows this one.
constexpr const char* system_temp_dir = "/tmp/";

std::string pipe_path(const std::string& lock_path) { return lock_path + ".raise"; }

// The holder's end: opened for reading without blocking, so a pipe without
// any writer reads as empty instead of waiting for one.
int open_raise_pipe(const std::string& path)
{
    if (::mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST)
        return -1;
    return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

} // namespace

std::string InstanceLock::lock_path(std::string_view class_name, std::string_view title)
{
    return lock_path(class_name, title, temp_dir());
}

std::string InstanceLock::lock_path(std::string_view class_name, std::string_view title, const std::string& folder)
{
    // A readable part for a person looking at the folder, the hash for
    // uniqueness.
    std::string readable;
    for (char c : class_name) {
        if (readable.size() >= 32)
            break;
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        readable += safe ? c : '_';
    }
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a(class_name, title)));
    return folder + "quarn-instance-" + readable + "-" + hash + ".lock";
}

InstanceLock::Result InstanceLock::acquire(std::string_view class_name, std::string_view title,
                                           std::unique_ptr<InstanceLock>& lock, Place* place)
{
    Place ignored;
    Place& at = place ? *place : ignored;
    Result result = Result::failed;
    for (const std::string& folder : {temp_dir(), std::string(system_temp_dir)}) {
        at.path = lock_path(class_name, title, folder);
        result = try_lock(at.path, lock);
        at.error = result == Result::failed ? errno : 0;
        if (result != Result::failed || folder == system_temp_dir)
            break;
    }
    return result;
}

InstanceLock::Result InstanceLock::try_lock(std::string path, std::unique_ptr<InstanceLock>& lock)
{
    // A holder removes its file when it ends. One that ends between our
    // open and our lock leaves us a locked file that nobody else can find
    // any more, so the lock counts only when the file we hold is still the
    // one at the path; otherwise the file at the path is tried again.
    for (int attempt = 0; attempt < 16; ++attempt) {
        int fd;
        do
            fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        while (fd < 0 && errno == EINTR);
        if (fd < 0)
            return Result::failed;
        // flock belongs to the open file, not the process: a second open in
        // the same process conflicts too, and the lock goes when the holder
        // dies.
        int rc;
        do
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return error == EWOULDBLOCK ? Result::other_instance : Result::failed;
        }
        struct stat held {}, named {};
        if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
            held.st_ino != named.st_ino) {
            ::close(fd);
            errno = EAGAIN; // when no try is left: the file kept changing
            continue;
        }
        // The holder's process id, for a person wondering who holds it.
        char pid[32];
        const int n = std::snprintf(pid, sizeof pid, "%ld\n", static_cast<long>(::getpid()));
        if (::ftruncate(fd, 0) == 0 && n > 0) {
            [[maybe_unused]] const auto written = ::write(fd, pid, size_t(n));
        }
        const int pipe_fd = open_raise_pipe(pipe_path(path));
        lock.reset(new InstanceLock(fd, std::move(path), pipe_fd));
        return Result::acquired;
    }
    return Result::failed;
}

long InstanceLock::holder_pid(const std::string& lock_path)
{
    const int fd = ::open(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return 0;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    return end != text && *end == '\n' && pid > 0 ? pid : 0;
}

bool InstanceLock::ask_holder_to_raise(const std::string& lock_path)
{
    // Opening for writing without blocking fails (ENXIO) when nobody holds
    // the read end, so a holder that died leaves nothing to wait for.
    const int fd = ::open(pipe_path(lock_path).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const char byte = 'R';
    ssize_t n;
    do
        n = ::write(fd, &byte, 1);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    // A full pipe already holds a request the holder has not read yet.
    return n == 1 || (n < 0 && errno == EAGAIN);
}

bool InstanceLock::raise_requested()
{
    if (pipe_fd_ < 0)
        return false;
    bool requested = false;
    char buffer[64];
    for (;;) {
        const ssize_t n = ::read(pipe_fd_, buffer, sizeof buffer);
        if (n > 0) {
            requested = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return requested;
    }
}

InstanceLock::~InstanceLock()
{
    // Both files go while the lock is still held: a new instance that
    // opened the old file before this point finds, once it has the lock,
    // that the file is no longer the one at the path, and starts over.
    ::unlink(pipe_path(path_).c_str());
    ::unlink(path_.c_str());
    if (pipe_fd_ >= 0)
        ::close(pipe_fd_);
    ::close(fd_);
}

} // namespace platform
