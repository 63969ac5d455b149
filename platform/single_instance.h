// One running copy per window class and title.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Held by the first instance for as long as it lives. The desktop offers no
// portable way to find another process's window by its class and title, so
// the first instance holds an exclusive lock on a file in the temporary
// directory whose name is made from the class and the title; a second
// instance finds the lock taken. Where the file cannot be made there (a
// TMPDIR naming a folder that does not exist), it is made in the system's
// own, /tmp, so that two copies still find each other. The lock ends with
// the holder, also when it crashes, so a stale file never blocks a new
// start; a holder that ends in order removes the file and its pipe.
//
// The desktop cannot bring another process's window to the front for us
// either, so the holder listens on a named pipe beside the lock file: a
// second instance writes one byte into it (ask_holder_to_raise) and the
// holder, reading it with raise_requested(), raises its own window.
class InstanceLock {
public:
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    const std::string& path() const { return path_; }

    enum class Result { acquired, other_instance, failed };

    // Where acquire ended: the lock file taken, or the one another
    // instance holds; on failure the last one tried and why it failed.
    struct Place {
        std::string path;
        int error = 0; // errno, when failed
    };

    // `lock` receives the held lock when the result is acquired.
    [[nodiscard]] static Result acquire(std::string_view class_name, std::string_view title,
                                        std::unique_ptr<InstanceLock>& lock, Place* place = nullptr);

    // The lock file's path for a class and title, in the temporary folder
    // or in `folder` (which ends with a separator).
    static std::string lock_path(std::string_view class_name, std::string_view title);
    static std::string lock_path(std::string_view class_name, std::string_view title, const std::string& folder);

    // The process id that the holder of a lock file wrote into it; 0 when
    // it cannot be read (a holder that has just taken the lock has not
    // written it yet).
    static long holder_pid(const std::string& lock_path);

    // Asks the holder of the lock file at `lock_path` to bring its window
    // to the front. False when no holder listens.
    static bool ask_holder_to_raise(const std::string& lock_path);

    // True when some instance asked since the last call (never blocks).
    bool raise_requested();

private:
    // One folder's lock file: taken, held by another, or not made.
    static Result try_lock(std::string path, std::unique_ptr<InstanceLock>& lock);

    InstanceLock(int fd, std::string path, int pipe_fd) : fd_(fd), path_(std::move(path)), pipe_fd_(pipe_fd) {}
    int fd_;
    std::string path_;
    int pipe_fd_; // the raise pipe's read end; -1 when it could not be made
};

} // namespace platform
