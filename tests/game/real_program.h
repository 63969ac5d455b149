// What the tests that run the real program share: children that never
// outlive the test, a /tmp of its own for the child that runs the game,
// and a private X server to show its window on.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace game_test {

namespace fs = std::filesystem;

inline std::string file_text(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Whether the game writing the log `log` has loaded its data and runs the
// race: its window shows before that, and the log names the last shape
// file read. What a player does (a click, a key) or what befalls the game
// (its folder removed) comes after.
inline bool race_started(const fs::path& log)
{
    return file_text(log).find("'DATA/car.obst' file opened") != std::string::npos;
}

// What a shell command prints, its last line break taken off.
inline std::string output_of(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        ::pclose(pipe);
    }
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

// In a child of the test program, first: the child leads a process group
// of its own, and a keeper, forked into that group, waits for the child's
// end, however it comes (its exit, a kill, the test program's end by the
// parent-death signal), then kills what is left of the group, itself
// last. So the processes the child forks in turn, which no parent-death
// signal reaches (SDL's copy drawing a box, an X server's helpers), end
// with it, also when the code under test is wrong and one of them would
// wait for good. The keeper holds none of the test's descriptors: a pipe
// the test reads to its end is not kept open by it.
inline void keep_process_group()
{
    const pid_t child = ::getpid();
    if (::setpgid(0, 0) != 0 || ::fork() != 0)
        return;
    ::close_range(0, ~0U, 0);
    sigset_t end;
    ::sigemptyset(&end);
    ::sigaddset(&end, SIGUSR1);
    ::sigprocmask(SIG_BLOCK, &end, nullptr);
    int got = 0;
    if (::prctl(PR_SET_PDEATHSIG, SIGUSR1) == 0 && ::getppid() == child)
        ::sigwait(&end, &got);
    ::kill(-child, SIGKILL);
    ::_exit(0);
}

// A child process of the test. It ends with the test program (by
// SIGKILL, when CTest's timeout or anything else ends that first), and it
// is ended and reaped when the object goes while it still runs; what it
// forks ends with it (keep_process_group). No test leaves a process
// running, even when the code under test is wrong.
class Child {
public:
    Child() = default;
    // Forks; the child runs `run`, which ends it (an exec, or _exit).
    template <typename Run>
    explicit Child(const Run& run)
    {
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
                ::_exit(127);
            keep_process_group();
            run();
            ::_exit(127);
        }
    }
    ~Child() { stop(SIGKILL); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    bool started() const { return pid_ > 0; }
    // Whether it has ended (it is reaped then), without waiting.
    bool ended()
    {
        if (pid_ > 0 && !reaped_ && ::waitpid(pid_, &status_, WNOHANG) == pid_)
            reaped_ = true;
        return pid_ <= 0 || reaped_;
    }
    // Waits for its end, up to `limit`; false when it still runs.
    bool wait_for_end(std::chrono::milliseconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!ended()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    // Sends `signal` if it still runs, waits up to 10 s for its end, then
    // kills it. True when it still ran when asked.
    bool stop(int signal = SIGTERM)
    {
        if (ended())
            return false;
        ::kill(pid_, signal);
        if (signal != SIGKILL && wait_for_end(std::chrono::seconds(10)))
            return true;
        ::kill(pid_, SIGKILL);
        reaped_ = ::waitpid(pid_, &status_, 0) == pid_;
        return true;
    }
    // Its exit status once it has ended; -1 when a signal ended it.
    int exit_status() const { return reaped_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    // waitpid's status once it has ended.
    int wait_status() const { return status_; }

private:
    pid_t pid_ = -1;
    int status_ = 0;
    bool reaped_ = false;
};

// The real program keeps its single-instance lock in /tmp/quarn-<user
// id>, outside the test's folder, and leaves that folder for its next
// start. A child that runs it gets a /tmp of its own first: a new mount
// namespace (in a user namespace of its own where it is not root) with an
// empty file system at /tmp, holding again only the test's folder, at
// /tmp/<its name>, and the X server's sockets, copies of the real /tmp's.
// Everything the program makes there goes with the namespace. The path
// to the game's folder is then made of that file system, whose owner is
// the child's user, and the test's own folder: a user namespace of a
// player maps that player alone, and root's folder above the test's
// (TMPDIR=/var/tmp/ci/u) would show as nobody's, which the program
// rightly refuses in a folder every user may write to. Returns where the
// test's folder is in the new view; empty where namespaces are not to be
// had.
inline fs::path private_tmp(const fs::path& keep)
{
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return {};
    if (uid != 0) {
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << uid << ' ' << uid << " 1";
        std::ofstream("/proc/self/gid_map") << gid << ' ' << gid << " 1";
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return {};
    // Copies of the two folders' mounts, taken before /tmp is covered.
    const int kept = ::open_tree(AT_FDCWD, keep.c_str(), OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC);
    const int x11 = ::open_tree(AT_FDCWD, "/tmp/.X11-unix", OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC);
    std::error_code ec;
    const auto put = [&ec](int tree, const fs::path& at) {
        fs::create_directories(at, ec);
        return !ec && ::move_mount(tree, "", AT_FDCWD, at.c_str(), MOVE_MOUNT_F_EMPTY_PATH) == 0;
    };
    const fs::path inside = fs::path("/tmp") / keep.filename();
    const bool made = kept >= 0 && ::mount("tmpfs", "/tmp", "tmpfs", 0, "mode=1777") == 0 && put(kept, inside) &&
                      (x11 < 0 || put(x11, "/tmp/.X11-unix"));
    return made ? inside : fs::path();
}

// In the child, before the program starts: it is to open a real window on
// the X server DISPLAY names (whatever the test program runs on), with
// SDL's sound output that plays to no device. Built with the sanitizers,
// the program would report at its end the blocks of the desktop's
// libraries that SDL loads and unloads (the message bus's), which no
// stack names once unloaded; its own leaks are the in-process runs' to
// find.
inline void start_in_a_real_window()
{
    ::unsetenv("QUARN_PLATFORM");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("SDL_VIDEODRIVER", "x11", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    for (const char* options : {"ASAN_OPTIONS", "LSAN_OPTIONS"}) {
        const char* before = std::getenv(options);
        ::setenv(options, (std::string(before ? before : "") + ":detect_leaks=0").c_str(), 1);
    }
}

// Starts the real program, copied into the game's folder `folder`
// beforehand, in `game`: a child of its own in that folder, with a /tmp of
// its own. `prepare` runs in the child before the program starts
// (descriptors, environment, limits). A child that cannot have a /tmp of
// its own ends with status 77.
template <typename Prepare>
void start_real_game(std::optional<Child>& game, const fs::path& folder, const Prepare& prepare)
{
    game.reset();
    game.emplace([&] {
        const fs::path inside = private_tmp(folder);
        if (inside.empty())
            ::_exit(77);
        if (::chdir(inside.c_str()) != 0)
            ::_exit(127);
        prepare();
        ::execl("./race", "race", static_cast<char*>(nullptr));
    });
}

// A font for the boxes of SDL2's X11 backend, in the folder `folder`: a
// font of 120 decipoints, medium, upright and of normal width, as it asks
// the X server for, under the two encodings a locale's text may need
// (ISO 8859-1 for the C locale, ISO 10646-1 for UTF-8 ones). Each letter
// is a plain block: the box is read by the test, not by a person.
inline void write_box_font(const fs::path& folder)
{
    fs::create_directories(folder);
    std::ofstream dir(folder / "fonts.dir");
    dir << "2\n";
    for (const char* encoding : {"iso8859-1", "iso10646-1"}) {
        const std::string name = std::string("-quarn-box-medium-r-normal--13-120-75-75-c-80-") + encoding;
        const std::string file = std::string("box-") + encoding + ".bdf";
        dir << file << ' ' << name << '\n';
        std::ofstream bdf(folder / file);
        bdf << "STARTFONT 2.1\nFONT " << name << "\nSIZE 12 75 75\nFONTBOUNDINGBOX 8 13 0 -2\n"
            << "STARTPROPERTIES 2\nFONT_ASCENT 11\nFONT_DESCENT 2\nENDPROPERTIES\nCHARS 95\n";
        for (int letter = 32; letter < 127; ++letter) {
            bdf << "STARTCHAR c" << letter << "\nENCODING " << letter
                << "\nSWIDTH 640 0\nDWIDTH 8 0\nBBX 8 13 0 -2\nBITMAP\n";
            for (int row = 0; row < 13; ++row)
                bdf << (letter != ' ' && row > 1 && row < 11 ? "7E\n" : "00\n");
            bdf << "ENDCHAR\n";
        }
        bdf << "ENDFONT\n";
    }
}

// A private X server (Xvfb) for one test: it picks a free display number
// and reports it, as the test command's smoke step does. Its fonts are
// the server's own and the box font in the test's folder, never the
// machine's: with X fonts installed a box opens and waits for an answer,
// without them SDL cannot draw it and the program takes its default, so
// a row would see one or the other by what the machine has. Here a box
// always opens. Its files are in `folder`, made for it and removed with it.
// It never resets: an X server resets when its last client leaves, and the
// rows' box answerer comes and goes ten times a second, so a program that
// connected during a reset would find no display.
class PrivateX {
public:
    explicit PrivateX(const fs::path& folder) : folder_(folder), number_file_(folder / "x.display")
    {
        write_box_font(folder / "x.fonts");
        installed_ = std::system("command -v Xvfb >/dev/null 2>&1") == 0;
        if (!installed_)
            return;
        const std::string fonts = "built-ins," + (folder / "x.fonts").string();
        server_.emplace([&] {
            // The display's number comes on descriptor 3.
            const int number = ::open(number_file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int null = ::open("/dev/null", O_WRONLY);
            if (number < 0 || null < 0 || (number != 3 && ::dup2(number, 3) != 3) || ::dup2(null, 1) != 1 ||
                ::dup2(null, 2) != 2)
                ::_exit(127);
            ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset",
                     "-fp", fonts.c_str(), static_cast<char*>(nullptr));
        });
        // A busy machine may take seconds to start it: a row that needs it
        // fails rather than skip when it does not start in a minute.
        for (int i = 0; i < 1200 && display_.empty() && !server_->ended(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            display_ = read_digits(number_file_);
        }
        if (display_.empty())
            failure_ = server_->ended() ? "Xvfb ended at its start, with status " +
                                             std::to_string(server_->exit_status())
                                       : "Xvfb did not start within a minute";
    }
    ~PrivateX()
    {
        // Asked to end, the server removes its socket and its lock file.
        if (server_)
            server_->stop(SIGTERM);
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    // Whether Xvfb is installed; tests that need it skip without it.
    bool installed() const { return installed_; }
    // ":N", or empty when the server did not start.
    std::string display() const { return display_.empty() ? "" : ":" + display_; }
    // Why it did not start, where it is installed.
    const std::string& failure() const { return failure_; }
    // Ends the server by `signal`; what it serves loses its display. Also
    // from a copy of the test program (a death test's child), which cannot
    // reap it: until the test does, its process id is no other process's.
    void stop(int signal = SIGTERM)
    {
        if (server_ && !server_->ended())
            ::kill(server_->pid(), signal);
    }

private:
    static std::string read_digits(const fs::path& file)
    {
        std::string digits;
        for (char c : file_text(file))
            if (c >= '0' && c <= '9')
                digits += c;
        return digits;
    }

    fs::path folder_, number_file_;
    bool installed_ = false;
    std::string display_, failure_;
    std::optional<Child> server_;
};

} // namespace game_test
