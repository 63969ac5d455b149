#include "platform/process.h"

#include "platform/file.h"
#include "platform/posix/path_walk.h"
#include "platform/shown_text.h"
#include "platform/trust.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

namespace {

// A lock-free word: read from signal handlers.
std::atomic<pid_t> owner_pid{0};
static_assert(std::atomic<pid_t>::is_always_lock_free);

} // namespace

void own_process(bool on) noexcept { owner_pid.store(on ? ::getpid() : 0); }

bool in_forked_copy() noexcept
{
    const pid_t owner = owner_pid.load();
    return owner != 0 && ::getpid() != owner;
}

void make_process_sound()
{
    // Ignored rather than caught: the writer sees the error and decides.
    // The program starts no other program; a child a library might start
    // inherits both as ignored, which only turns a silent death into an
    // error it sees.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    (void)::sigaction(SIGPIPE, &ignore, nullptr);
    (void)::sigaction(SIGXFSZ, &ignore, nullptr);
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number is `fd` itself: those below it are open.
        // Not close-on-exec: the standard descriptors are inherited.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened == fd)
            continue;
        const int error = opened < 0 ? errno : EBADF;
        char text[256];
        const int length = std::snprintf(text, sizeof text, "cannot open /dev/null for closed standard stream %d: %s\n",
                                         fd, system_error_text(error).c_str());
        // Descriptor 2 is the one it was started with, or closed.
        if (length > 0)
            (void)!::write(STDERR_FILENO, text, static_cast<size_t>(length));
        _exit(1);
    }
}

void require_start_memory(const char* message, size_t need, const char* program) noexcept
{
    // Only the C library here, and code that uses no static object:
    // nothing of the program's is built yet.
    if (memory_limit() >= need) {
        if (void* room = std::malloc(start_memory_bytes)) {
            std::free(room);
            return;
        }
    }
    // The name is any bytes the program was started by: shown as every
    // report shows it, in room of its own, as no memory may be had.
    char shown[16384];
    (void)shown_text_into(shown, sizeof shown, program ? program : program_invocation_name);
    std::fprintf(stderr, "%s: %s\n", shown, message);
    _exit(1);
}

void trim_process_memory() noexcept
{
    // Only the C library here: it runs before any library has started.
    (void)::mallopt(M_ARENA_MAX, 1);
    pthread_attr_t attr;
    if (::pthread_getattr_default_np(&attr) == 0) {
        if (::pthread_attr_setstacksize(&attr, thread_stack_bytes) == 0)
            (void)::pthread_setattr_default_np(&attr);
        ::pthread_attr_destroy(&attr);
    }
}

size_t memory_limit() noexcept
{
    size_t smallest = SIZE_MAX;
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit{};
        if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < smallest)
            smallest = static_cast<size_t>(limit.rlim_cur);
    }
    return smallest;
}

std::string module_file_name()
{
    // readlink cuts a longer name to the buffer without saying so: a name
    // that fills it is read again into a larger one, so that a caller sees
    // the whole path and can tell that it is too long.
    for (size_t size = 4096; size <= 65536; size *= 2) {
        std::string path(size, '\0');
        const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
        if (n <= 0)
            return {};
        if (static_cast<size_t>(n) < size) {
            path.resize(static_cast<size_t>(n));
            return path;
        }
    }
    errno = ENAMETOOLONG;
    return {};
}

std::string current_dir()
{
    std::string path(4096, '\0');
    if (!getcwd(path.data(), path.size()))
        return {};
    path.resize(std::strlen(path.c_str()));
    return path;
}

bool set_current_dir(const std::string& path)
{
    const int folder = path.empty() ? -1 : open_under_rule(path.c_str(), O_PATH | O_DIRECTORY, true);
    if (folder < 0)
        return false;
    const bool changed = ::fchdir(folder) == 0;
    const int error = errno;
    ::close(folder);
    errno = error;
    return changed;
}

std::string temp_dir()
{
    std::string dir;
    if (const char* env = std::getenv("TMPDIR"); env && *env)
        dir = env;
    else
        dir = "/tmp";
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

std::string system_error_text(int code)
{
    if (code == error_not_regular_file)
        return "Not a regular file";
    if (code == error_no_safe_rename)
        return "This file system cannot make a name without replacing what has it, and others may write to the "
               "folder: run the game from a folder only you may write to";
    if (std::string refusal = refusal_text(code); !refusal.empty())
        return refusal;
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not be the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    std::string result = text ? text : "";
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    return result;
}

int last_error() { return errno; }

void set_last_error(int code) { errno = code; }

void exit_now(int code) { _exit(code); }

bool console_present() { return isatty(STDERR_FILENO) == 1; }

} // namespace platform
