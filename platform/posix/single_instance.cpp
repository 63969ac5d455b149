#include "platform/single_instance.h"

#include "platform/process.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
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

} // namespace

std::string InstanceLock::lock_path(std::string_view class_name, std::string_view title)
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
    return temp_dir() + "quarn-instance-" + readable + "-" + hash + ".lock";
}

InstanceLock::Result InstanceLock::acquire(std::string_view class_name, std::string_view title,
                                           std::unique_ptr<InstanceLock>& lock)
{
    std::string path = lock_path(class_name, title);
    int fd;
    do
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Result::failed;
    // flock belongs to the open file, not the process: a second open in the
    // same process conflicts too, and the lock goes when the holder dies.
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
    // The holder's process id, for a person wondering who holds it.
    char pid[32];
    const int n = std::snprintf(pid, sizeof pid, "%ld\n", static_cast<long>(::getpid()));
    if (::ftruncate(fd, 0) == 0 && n > 0) {
        [[maybe_unused]] const auto written = ::write(fd, pid, size_t(n));
    }
    lock.reset(new InstanceLock(fd, std::move(path)));
    return Result::acquired;
}

InstanceLock::~InstanceLock()
{
    // The file stays: removing it could let a third instance lock a new
    // file while a second still waits on the old one.
    ::close(fd_);
}

} // namespace platform
