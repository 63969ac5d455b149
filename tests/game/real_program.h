// What the tests that run the real program share: a /tmp of its own for
// the child that runs it, and a private X server to show its window on.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace game_test {

namespace fs = std::filesystem;

inline std::string file_text(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

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
    explicit PrivateX(const fs::path& folder)
        : folder_(folder), number_file_(folder / "x.display"), pid_file_(folder / "x.pid")
    {
        write_box_font(folder / "x.fonts");
        const std::string start = "command -v Xvfb >/dev/null && { Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp "
                                  "-noreset -fp 'built-ins," + (folder / "x.fonts").string() + "' 3>'" +
                                  number_file_.string() + "' >/dev/null 2>&1 & echo $! >'" + pid_file_.string() + "'; }";
        if (std::system(start.c_str()) != 0)
            return;
        pid_ = read_digits(pid_file_);
        for (int i = 0; i < 100 && display_.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            display_ = read_digits(number_file_);
        }
    }
    ~PrivateX()
    {
        stop();
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    // ":N", or empty when the server did not start.
    std::string display() const { return display_.empty() ? "" : ":" + display_; }
    // Asks the server to end; what it serves loses its display. A server
    // that ended already is left alone (its number may be another's now).
    void stop() const
    {
        if (!pid_.empty())
            (void)std::system(("[ \"$(cat /proc/" + pid_ + "/comm 2>/dev/null)\" = Xvfb ] && kill " + pid_).c_str());
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

    fs::path folder_, number_file_, pid_file_;
    std::string pid_, display_;
};

} // namespace game_test
