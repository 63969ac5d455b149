#include "platform/single_instance.h"

#include "platform/posix/modes.h"
#include "platform/process.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

// holder() hands the id out as an int.
static_assert(sizeof(pid_t) == sizeof(int));

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

// Where the player's lock folder goes: the same for every start, as no
// environment variable is.
constexpr const char* default_root = "/tmp/";

std::string& root_folder()
{
    static std::string folder = default_root;
    return folder;
}

constexpr const char* link_refused = "a link, which is not followed";

std::string pipe_path(const std::string& lock_path) { return lock_path + ".raise"; }

std::string without_trailing_separator(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Why the open folder may not hold the lock; empty when it may. Anyone who
// may enter or write to it could plant names in it or watch it.
std::string folder_fault(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return system_error_text(errno);
    if (!S_ISDIR(st.st_mode))
        return "not a folder";
    if (st.st_uid != ::geteuid())
        return "it belongs to another user";
    if ((st.st_mode & 077) != 0) {
        char text[64];
        std::snprintf(text, sizeof text, "others may enter it (mode %04o)", unsigned(st.st_mode & 07777));
        return text;
    }
    return {};
}

// The folder, opened without following a link at its name, when it is the
// player's alone; -1 with `reason` otherwise. A trailing separator would
// make the open follow a link, so it goes.
int open_own_folder(const std::string& folder, std::string& reason)
{
    const std::string name = without_trailing_separator(folder);
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat st {};
        // A link and a file both fail the open as "not a directory".
        if (error == ENOTDIR && ::lstat(name.c_str(), &st) == 0)
            reason = S_ISLNK(st.st_mode) ? link_refused : "not a folder";
        else
            reason = system_error_text(error);
        return -1;
    }
    reason = folder_fault(fd);
    if (!reason.empty()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Gives the player's entry `name` of the folder `dir` (AT_FDCWD: `name`
// is a path) of `type` (S_IFDIR, S_IFREG) the mode `mode` when an earlier
// start left it with mode 000 (modes.h, mend_mode), through a handle that
// asks for no rights to it and follows no link at its name. One open to
// others is left for open_own_folder to refuse: what others may have put
// in it is not to be trusted.
bool mend_entry(int dir, const std::string& name, mode_t type, mode_t mode)
{
    const int fd = ::openat(dir, without_trailing_separator(name).c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool mended = mend_mode(fd, type, mode);
    ::close(fd);
    return mended;
}

// Why the open entry is not the player's own entry of `type` (S_IFREG,
// S_IFIFO); empty when it is.
std::string entry_fault(int fd, mode_t type)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return system_error_text(errno);
    if ((st.st_mode & S_IFMT) != type)
        return type == S_IFIFO ? "not a pipe" : "not a regular file";
    if (st.st_uid != ::geteuid())
        return "it belongs to another user";
    // Emptied and written, it would change the file of its other name.
    if (has_second_name(st))
        return "it has a second name (a hard link) elsewhere; remove this name";
    return {};
}

// Why the entry `name` of the folder `dir`, which the open refused
// (EACCES) and the mend left as it was, is not opened: what entry_fault
// finds (a second name, another owner), which "Permission denied" names
// not, or else that.
std::string refused_entry_fault(int dir, const std::string& name, mode_t type)
{
    const int fd = ::openat(dir, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    std::string fault = fd < 0 ? std::string() : entry_fault(fd, type);
    if (fd >= 0)
        ::close(fd);
    return fault.empty() ? system_error_text(EACCES) : fault;
}

// Opens the entry at `path` when its folder is the player's alone and the
// entry is the player's own of `type`; -1 otherwise. Never follows a link
// and never waits: a pipe planted at a file's name would block a read.
int open_own_entry(const std::string& path, int flags, mode_t type)
{
    const size_t slash = path.rfind('/');
    std::string reason;
    const int dir = slash == std::string::npos ? -1 : open_own_folder(path.substr(0, slash + 1), reason);
    if (dir < 0)
        return -1;
    int fd;
    do
        fd = ::openat(dir, path.c_str() + slash + 1, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    ::close(dir);
    if (fd >= 0 && !entry_fault(fd, type).empty()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The folder of the lock and its pipe, ending with a separator: the
// player's own folder in the root.
std::string lock_folder() { return root_folder() + "quarn-" + std::to_string(::geteuid()) + "/"; }

// The holder's end, made afresh: whatever a killed run left at the name
// goes first, so the pipe read is the one just made (the folder is the
// player's, and the lock says no other holder uses the name). Opened for
// reading without blocking, so a pipe without any writer reads as empty
// instead of waiting for one.
int open_raise_pipe(int dir, const std::string& name)
{
    ::unlinkat(dir, name.c_str(), 0);
    // Made with its mode whatever the umask: a pipe made with mode 000
    // under `umask 777` could be opened by neither end, and a second start
    // could not raise the window.
    if (!make_pipe(dir, name.c_str(), 0600))
        return -1;
    const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && !entry_fault(fd, S_IFIFO).empty()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A process id as the holder writes it: digits and a line end. Anything
// else, or a number no process can have, is none.
int parse_pid(const char* text)
{
    int64_t value = 0;
    const char* at = text;
    for (; *at >= '0' && *at <= '9'; ++at) {
        value = value * 10 + (*at - '0');
        if (value > std::numeric_limits<int>::max())
            return 0;
    }
    return at != text && *at == '\n' && value > 0 ? int(value) : 0;
}

// The longest display name the holder writes; a longer one is not named.
constexpr size_t display_most = 255;

// Whether a display name can stand as a line of the lock file: not too
// long, and without control bytes (a line end would split it).
bool display_fits(std::string_view name)
{
    if (name.size() > display_most)
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f)
            return false;
    return true;
}

// The holder's display: the second line of the lock file, whole (with its
// line end; one cut short is being written) and fit to be one; "" otherwise,
// as in the one-line files of earlier versions.
std::string parse_display(std::string_view text)
{
    const size_t first = text.find('\n');
    if (first == std::string_view::npos)
        return {};
    const std::string_view rest = text.substr(first + 1);
    const size_t end = rest.find('\n');
    if (end == std::string_view::npos || !display_fits(rest.substr(0, end)))
        return {};
    return std::string(rest.substr(0, end));
}

// An X display as "host:number" without its screen, the local host ("" or
// "unix") as ""; any other name (a Wayland socket) as it is.
std::string display_key(std::string_view display)
{
    const size_t colon = display.rfind(':');
    if (colon == std::string_view::npos)
        return std::string(display);
    std::string_view host = display.substr(0, colon), number = display.substr(colon + 1);
    if (host == "unix")
        host = {};
    return std::string(host) + ":" + std::string(number.substr(0, number.find('.')));
}

// The descriptors of the locks this process holds, each as its number + 1
// (0: a free slot). A copy of the process that a library forks without
// starting another program (SDL draws its X11 boxes in one) closes them
// first thing: flock belongs to the open file, which the copy would share,
// so a copy that outlived a holder killed outright would keep the lock
// and the raise pipe, and every later start would find the lock taken by
// a process that is gone. Closing its own descriptors leaves the holder's
// lock as it is.
constexpr int held_most = 12;
constinit std::atomic<int> held[held_most] = {};

extern "C" void close_held_in_copy()
{
    for (std::atomic<int>& slot : held) {
        const int fd = slot.exchange(0) - 1;
        if (fd >= 0)
            ::close(fd);
    }
}

void note_held(int fd)
{
    static const bool registered = ::pthread_atfork(nullptr, nullptr, close_held_in_copy) == 0;
    if (fd < 0 || !registered)
        return;
    for (std::atomic<int>& slot : held) {
        int free = 0;
        if (slot.compare_exchange_strong(free, fd + 1))
            return;
    }
}

// Before `fd` is closed: a copy forked from now on keeps it until it is.
void forget_held(int fd)
{
    for (std::atomic<int>& slot : held) {
        int noted = fd + 1;
        if (fd >= 0 && slot.compare_exchange_strong(noted, 0))
            return;
    }
}

// Sleeps `ms` milliseconds of real time, or less when a signal comes: the
// holder is another process, which a test's clock (platform::sleep_ms)
// does not move.
void nap(int ms)
{
    const timespec step{0, long(ms) * 1000000L};
    ::nanosleep(&step, nullptr);
}

} // namespace

const std::string& InstanceLock::root() { return root_folder(); }

void InstanceLock::set_root(std::string folder)
{
    if (folder.empty())
        folder = default_root;
    else if (folder.back() != '/')
        folder += '/';
    root_folder() = std::move(folder);
}

std::string InstanceLock::lock_path(std::string_view class_name, std::string_view title)
{
    return lock_path(class_name, title, lock_folder());
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

std::string InstanceLock::this_display()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* value = std::getenv(name); value && *value)
            return value;
    return {};
}

bool InstanceLock::same_display(std::string_view a, std::string_view b)
{
    return a.empty() || b.empty() || a == b || display_key(a) == display_key(b);
}

InstanceLock::Result InstanceLock::acquire(std::string_view class_name, std::string_view title,
                                           std::unique_ptr<InstanceLock>& lock, Place* place)
{
    return acquire(class_name, title, lock, place, this_display());
}

InstanceLock::Result InstanceLock::acquire(std::string_view class_name, std::string_view title,
                                           std::unique_ptr<InstanceLock>& lock, Place* place,
                                           std::optional<std::string_view> display)
{
    Place ignored;
    Place& at = place ? *place : ignored;
    const std::string folder = lock_folder();
    at.path = without_trailing_separator(folder);
    // The folder is the program's, not one of the player's files: made
    // closed to others whatever the umask, and one an earlier start left
    // with mode 000 is mended, or no later start could make its lock in it.
    // One that was there already, made by anyone, is used only when it
    // passes the check below.
    if (!make_folder(AT_FDCWD, at.path.c_str(), 0700)) {
        if (errno != EEXIST) {
            at.reason = system_error_text(errno);
            return Result::failed;
        }
        (void)mend_entry(AT_FDCWD, at.path, S_IFDIR, 0700);
    }
    const int dir = open_own_folder(folder, at.reason);
    if (dir < 0)
        return Result::failed;
    at.path = lock_path(class_name, title, folder);
    return try_lock(dir, at, lock, display);
}

InstanceLock::Result InstanceLock::try_lock(int dir, Place& at, std::unique_ptr<InstanceLock>& lock,
                                            std::optional<std::string_view> display)
{
    const std::string name = at.path.substr(at.path.rfind('/') + 1);
    auto fail = [&](int fd, std::string reason) {
        if (fd >= 0)
            ::close(fd);
        ::close(dir);
        at.reason = std::move(reason);
        return Result::failed;
    };
    // A holder removes its file when it ends. One that ends between our
    // open and our lock leaves us a locked file that nobody else can find
    // any more, so the lock counts only when the file we hold is still the
    // one at the name; otherwise the file at the name is tried again.
    bool mended = false;
    for (int attempt = 0; attempt < 16; ++attempt) {
        // Made with its mode whatever the umask: a second start must be
        // able to open it.
        int fd = open_or_make(dir, name.c_str(), O_RDWR | O_CREAT | O_NONBLOCK, 0600);
        // One an earlier start left with mode 000 is the player's all
        // the same: mended once, and opened again.
        if (fd < 0 && errno == EACCES && !mended && (mended = mend_entry(dir, name, S_IFREG, 0600)))
            continue;
        if (fd < 0 && errno == EACCES)
            return fail(-1, refused_entry_fault(dir, name, S_IFREG));
        if (fd < 0)
            return fail(-1, errno == ELOOP ? link_refused : system_error_text(errno));
        if (std::string fault = entry_fault(fd, S_IFREG); !fault.empty())
            return fail(fd, std::move(fault));
        // flock belongs to the open file, not the process: a second open in
        // the same process conflicts too, and the lock goes when the holder
        // dies.
        int rc;
        do
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            if (errno != EWOULDBLOCK)
                return fail(fd, system_error_text(errno));
            ::close(fd);
            ::close(dir);
            return Result::other_instance;
        }
        struct stat held {}, named {};
        if (::fstat(fd, &held) != 0 || ::fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
            ::close(fd);
            continue;
        }
        // The holder's process id, for a person wondering who holds it, and
        // its display, for a second start to tell whether it is on its own;
        // in one write, so a reader sees the id before the display. A name
        // that could not be read back as one line is not written. A holder
        // without a window on any display writes that line empty.
        std::string record = std::to_string(::getpid()) + "\n";
        if (!display)
            record.append("\n");
        else if (!display->empty() && display_fits(*display))
            record.append(*display).append("\n");
        if (::ftruncate(fd, 0) == 0) {
            [[maybe_unused]] const auto written = ::write(fd, record.data(), record.size());
        }
        const int pipe_fd = open_raise_pipe(dir, pipe_path(name));
        lock.reset(new InstanceLock(fd, dir, at.path, pipe_fd));
        return Result::acquired;
    }
    return fail(-1, "the lock file kept being replaced");
}

InstanceLock::Holder InstanceLock::holder(const std::string& lock_path)
{
    const int fd = open_own_entry(lock_path, O_RDONLY, S_IFREG);
    if (fd < 0)
        return {};
    char text[32 + display_most + 2] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return {};
    // The id of a process that has ended names nobody (a holder killed
    // outright, whose lock a copy of it kept): a start would send the
    // player after it, or after whatever gets the number next.
    int pid = parse_pid(text);
    if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
        pid = 0;
    const std::string_view record(text, size_t(n));
    const size_t first_end = record.find('\n');
    const bool windowless = first_end != std::string_view::npos && first_end + 1 < record.size() &&
                            record[first_end + 1] == '\n';
    return {pid, parse_display(record), windowless};
}

InstanceLock::Raise InstanceLock::ask_holder_to_raise(const std::string& lock_path, std::string_view display,
                                                      int wait_ms)
{
    // A window on another display would come up where the player who
    // asked does not see it; a holder without one has nothing to raise.
    const Holder held = holder(lock_path);
    if (held.windowless)
        return Raise::no_window;
    if (!same_display(held.display, display))
        return Raise::other_display;
    // Opening a pipe for writing without blocking fails (ENXIO) when nobody
    // holds the read end, so a holder that died leaves nothing to wait for.
    const std::string pipe = pipe_path(lock_path);
    const int fd = open_own_entry(pipe, O_WRONLY, S_IFIFO);
    if (fd < 0)
        return Raise::no_holder;
    // A read end of the asker's own, opened once the holder's is known to
    // be there: it tells how much is still unread, and takes the request
    // back. It must be the very pipe written to: the folder is the
    // player's, but the holder makes the pipe afresh when it starts.
    const int back = open_own_entry(pipe, O_RDONLY, S_IFIFO);
    struct stat written {}, read_back {};
    if (back < 0 || ::fstat(fd, &written) != 0 || ::fstat(back, &read_back) != 0 ||
        written.st_dev != read_back.st_dev || written.st_ino != read_back.st_ino) {
        if (back >= 0)
            ::close(back);
        ::close(fd);
        return Raise::no_holder;
    }
    const char byte = 'R';
    ssize_t n;
    do
        n = ::write(fd, &byte, 1);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    // A full pipe holds thousands of requests nobody took.
    if (n != 1) {
        ::close(back);
        return n < 0 && errno == EAGAIN ? Raise::not_answered : Raise::no_holder;
    }
    // The holder empties the pipe when it raises its window. The wait is a
    // poll: nothing wakes a writer when a pipe is emptied.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        int unread = 0;
        if (::ioctl(back, FIONREAD, &unread) == 0 && unread == 0) {
            ::close(back);
            return Raise::raised;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        nap(10);
    }
    // Taken back, or a holder that wakes up later would come to the front
    // when nobody waits for it any more. A pipe found empty now was emptied
    // by the holder just after the last look. A request of another start
    // that asked at the same time may be the one taken back; that start
    // then finds its own taken, and this one says what it would without.
    char taken;
    do
        n = ::read(back, &taken, 1);
    while (n < 0 && errno == EINTR);
    ::close(back);
    return n == 1 ? Raise::not_answered : Raise::raised;
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

InstanceLock::InstanceLock(int fd, int dir_fd, std::string path, int pipe_fd)
    : fd_(fd), dir_fd_(dir_fd), path_(std::move(path)), lock_name_(path_.substr(path_.rfind('/') + 1)),
      pipe_name_(pipe_path(lock_name_)), pipe_fd_(pipe_fd), owner_(::getpid())
{
    for (const int held_fd : {fd_, dir_fd_, pipe_fd_})
        note_held(held_fd);
}

void InstanceLock::leave() noexcept
{
    // Only the holder's own process: a copy of it has closed what it had
    // of the lock, and the files are the holder's.
    if (left_ || owner_ != ::getpid())
        return;
    left_ = true;
    // Both files go while the lock is still held: a new instance that
    // opened the old file before this point finds, once it has the lock,
    // that the file is no longer the one at the name, and starts over. The
    // folder stays, for the next start.
    ::unlinkat(dir_fd_, pipe_name_.c_str(), 0);
    ::unlinkat(dir_fd_, lock_name_.c_str(), 0);
}

InstanceLock::~InstanceLock()
{
    if (owner_ != ::getpid())
        return;
    leave();
    for (const int held_fd : {pipe_fd_, fd_, dir_fd_}) {
        if (held_fd >= 0) {
            forget_held(held_fd);
            ::close(held_fd);
        }
    }
}

} // namespace platform
