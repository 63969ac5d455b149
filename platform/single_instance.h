// One running copy per window class and title.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Held by the first instance for as long as it lives. The desktop offers no
// portable way to find another process's window by its class and title, so
// the first instance holds an exclusive lock on a file whose name is made
// from the class and the title; a second instance finds the lock taken. The
// lock ends with the holder, also when it crashes (a copy of the holder
// that a library forks holds none of it), so a stale file never blocks a
// new start; a holder that ends in order removes the file and its pipe.
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
// holder, reading it with raise_requested(), raises its own window. The
// holder reads only when it has a window to raise, so a byte it has taken
// is its answer: the second instance waits a while for the pipe to be
// emptied, and takes its byte back when it is not. A holder stuck (in a
// box, without a window yet, or without its display) is then never said
// to have raised anything, and does not jump to the front unasked when it
// wakes up later. The holder also writes the display its window is on
// into the lock file, as a second line after its process id, so that a
// start on another display does not ask it. A holder that shows no window on
// any display (the headless backend) leaves that line empty, and is not
// asked either.
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
    // The holder names `display` in the lock file (this_display() unless
    // given); nullopt says it shows no window on any display.
    [[nodiscard]] static Result acquire(std::string_view class_name, std::string_view title,
                                        std::unique_ptr<InstanceLock>& lock, Place* place = nullptr);
    [[nodiscard]] static Result acquire(std::string_view class_name, std::string_view title,
                                        std::unique_ptr<InstanceLock>& lock, Place* place,
                                        std::optional<std::string_view> display);

    // The lock file's path for a class and title, in the folder acquire
    // uses or in `folder` (which ends with a separator). Makes nothing.
    static std::string lock_path(std::string_view class_name, std::string_view title);
    static std::string lock_path(std::string_view class_name, std::string_view title, const std::string& folder);

    // What the holder of a lock file wrote into it: its process id (0 when
    // it cannot be read, is no process id, or names no running process: a
    // holder that has just taken the lock has not written it yet) and its display ("" when it named
    // none, as the lock files of earlier versions, which hold the id
    // alone). Never waits.
    struct Holder {
        int pid = 0;
        std::string display;
        bool windowless = false; // it said it shows no window on any display
    };
    static Holder holder(const std::string& lock_path);

    // The display this process's windows go to, as the desktop names it:
    // DISPLAY, else WAYLAND_DISPLAY (the order the SDL backend tries them
    // in); "" when neither is set.
    static std::string this_display();

    // Whether two displays are the same one: equal, or X displays that
    // differ only in the screen (":0" and ":0.1") or in naming the local
    // host as "unix" (":0" and "unix:0"). One that is "" is unknown and
    // matches any.
    static bool same_display(std::string_view a, std::string_view b);

    // What ask_holder_to_raise learned.
    enum class Raise {
        raised,        // the holder took the request: it raised its window
        no_holder,     // nobody listens, or the pipe is not the player's own
        not_answered,  // the holder left the request unread until the wait ended
        other_display, // the holder's window is on another display; not asked
        no_window,     // the holder shows no window on any display; not asked
    };

    // Asks the holder of the lock file at `lock_path` to bring its window
    // to the front on `display` (this_display(), "" for any), and waits at
    // most `wait_ms` milliseconds for it to take the request. A request
    // left unread is taken back.
    static Raise ask_holder_to_raise(const std::string& lock_path, std::string_view display, int wait_ms);

    // Removes the lock file and its pipe now, for an end that runs no
    // destructor (a box's answer ends the process at once); the lock
    // itself goes with the process. Safe beside another thread's use of
    // the lock; does nothing in a copy of the process.
    void leave() noexcept;

    // True when some instance asked since the last call (never blocks).
    // The holder calls it only when it has a window to raise: taking the
    // request is the answer the asker waits for.
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
    static Result try_lock(int dir, Place& at, std::unique_ptr<InstanceLock>& lock,
                           std::optional<std::string_view> display);

    InstanceLock(int fd, int dir_fd, std::string path, int pipe_fd);
    int fd_;
    int dir_fd_; // the folder holding both files, which the holder removes
    std::string path_;
    // Both names in the folder, worked out at the start: the destructor
    // runs at exit, where memory may have run out, and allocates nothing.
    std::string lock_name_, pipe_name_;
    int pipe_fd_; // the raise pipe's read end; -1 when it could not be made
    // The holder's process: a copy of it that a library forks (SDL's box)
    // closes its descriptors of the lock when it is made, and its end
    // touches neither them nor the holder's files.
    int owner_;
    bool left_ = false; // the files are removed
};

} // namespace platform
