// One running copy per window class and title.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Held by the first instance for as long as it lives. The desktop offers no
// portable way to find another process's window by its class and title, so
// the first instance holds an exclusive lock on a file whose name is made
// from the class and the title; a second instance finds the lock taken. The
// lock ends with the holder, also when it crashes, so a stale file never
// blocks a new start; a holder that ends in order removes the file and its
// pipe.
//
// Anyone can compute those names, so they live in a folder of the player's
// alone, never directly in a folder others may write to: "quarn-<user id>"
// in /tmp (or in the root set_root names). That is one place for every
// start of the player whatever the environment says: the session's runtime
// folder and TMPDIR differ between a start from the desktop, one under su
// and one from a script, and two starts that looked in different folders
// both ran, the later end writing back an older best time. That folder is
// made closed to group and others, with mode 0700 whatever the umask (one
// of the player's found without the owner's rights is given them), and
// the lock and its pipe get mode 0600 whatever the umask (a lock of the
// player's left without the owner's rights is given them, and the pipe is
// made afresh at every start). The folder is used only when it is
// a real folder (not a link), the player's, and closed to group and
// others; the lock and its pipe are opened without following a link and
// used only when they are the player's own file and pipe.
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
    // instance holds; on failure the folder or file that failed and why.
    struct Place {
        std::string path;
        std::string reason; // when failed
    };

    // `lock` receives the held lock when the result is acquired.
    [[nodiscard]] static Result acquire(std::string_view class_name, std::string_view title,
                                        std::unique_ptr<InstanceLock>& lock, Place* place = nullptr);

    // The lock file's path for a class and title, in the folder acquire
    // uses or in `folder` (which ends with a separator). Makes nothing.
    static std::string lock_path(std::string_view class_name, std::string_view title);
    static std::string lock_path(std::string_view class_name, std::string_view title, const std::string& folder);

    // The process id that the holder of a lock file wrote into it; 0 when
    // it cannot be read or is no process id (a holder that has just taken
    // the lock has not written it yet). Never waits.
    static int holder_pid(const std::string& lock_path);

    // Asks the holder of the lock file at `lock_path` to bring its window
    // to the front. False when no holder listens, or when what lies at the
    // pipe's name is not the player's own pipe.
    static bool ask_holder_to_raise(const std::string& lock_path);

    // True when some instance asked since the last call (never blocks).
    bool raise_requested();

    // The folder in which the player's folder "quarn-<user id>" is made,
    // ending with a separator: "/tmp/" unless set_root chose another.
    static const std::string& root();

    // For tests and embedders that keep locks elsewhere: the player's
    // folder is made in `folder` from then on (a separator is added when
    // it has none); an empty one restores "/tmp/". Every start that is to
    // find the others has to choose the same. Not for use while another
    // thread acquires.
    static void set_root(std::string folder);

private:
    // The lock file at `at.path` in the open folder `dir` (taken over):
    // taken, held by another, or not made (`at.reason` says why).
    static Result try_lock(int dir, Place& at, std::unique_ptr<InstanceLock>& lock);

    InstanceLock(int fd, int dir_fd, std::string path, int pipe_fd);
    int fd_;
    int dir_fd_; // the folder holding both files, which the holder removes
    std::string path_;
    // Both names in the folder, worked out at the start: the destructor
    // runs at exit, where memory may have run out, and allocates nothing.
    std::string lock_name_, pipe_name_;
    int pipe_fd_; // the raise pipe's read end; -1 when it could not be made
};

} // namespace platform
