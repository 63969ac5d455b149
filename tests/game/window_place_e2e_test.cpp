// The game's window comes back where the player left it, start after start,
// under the window managers players run, at a place in the middle of the
// screen and at one on the work area's foot near its right edge, however
// the game ends: its EXIT button, the manager's close (asked as a pager or
// the frame's close button asks), Alt+F4, or Ctrl-C. A game started in
// full screen and taken back to a window by Alt+Enter has its frame
// there, lets other windows cover it and keeps its place. Each run is the
// real program in a child of its own, on a private X server with the
// manager started for the test.
#include "engine/base/cfg.h"
#include "platform/geometry.h"
#include "platform/sdl2/sdl2_x11.h"
#include "tests/game/game_folder.h"
#include "tests/game/real_program.h"
#include "tools/mkdata/layout.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::Point;
using game_test::output_of;
using platform::sdl2_impl::WindowOnScreen;

// Waits for `done`, up to 20 s: a manager answers in its own time, later on
// a loaded machine.
bool wait_for(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A window manager on the display, with a home of its own in `home`: it
// reads the machine's default settings and writes only there.
class WindowManager {
public:
    WindowManager(const std::string& name, const fs::path& home)
    {
        if (std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) != 0)
            return;
        fs::create_directories(home);
        manager_.emplace([&] {
            ::setenv("HOME", home.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
            ::setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
            ::setenv("XDG_DATA_HOME", (home / ".local").c_str(), 1);
            ::unsetenv("XDG_RUNTIME_DIR");
            if (!std::freopen((home / "said").c_str(), "w", stdout) ||
                !std::freopen((home / "said").c_str(), "a", stderr))
                ::_exit(127);
            ::execlp(name.c_str(), name.c_str(), static_cast<char*>(nullptr));
        });
        // Running once it names its check window and the work area.
        running_ = manager_->started() && wait_for([] {
                       const std::string root = output_of("xprop -root _NET_SUPPORTING_WM_CHECK _NET_WORKAREA 2>&1");
                       return root.find("window id") != std::string::npos &&
                              root.find("_NET_WORKAREA(CARDINAL) =") != std::string::npos;
                   });
        // On a fresh server, the first key sent through the XTEST keyboard
        // (xdotool's) is now and then lost under openbox, by a plain
        // xmessage window as by the game; none after it is. A player's
        // keyboard has long been in use by the time the game's window
        // shows; so has this one, by a key that does nothing.
        if (running_)
            (void)std::system("xdotool key shift 2>/dev/null");
    }
    ~WindowManager()
    {
        if (manager_)
            manager_->stop(SIGTERM);
    }
    bool running() const { return running_; }

private:
    std::optional<game_test::Child> manager_;
    bool running_ = false;
};

// The first screen's work area, as the manager states it.
platform::Rect work_area()
{
    std::istringstream in(output_of("xprop -root _NET_WORKAREA | sed 's/.*= //; s/,/ /g'"));
    platform::Rect r;
    in >> r.x >> r.y >> r.width >> r.height;
    return r;
}

// The window `id` as the server shows it, into `x`: true once the manager
// holds it as a framed normal window.
bool framed(unsigned long id, WindowOnScreen& x)
{
    return platform::sdl2_impl::any_window_on_screen_for_test(id, x) && x.managed && !x.full_screen &&
           x.frame != platform::Rect{};
}

enum class End { exit_button, manager_close, alt_f4, signal };
constexpr const char* end_names[] = {"EXIT", "the manager's close", "Alt+F4", "Ctrl-C (SIGINT)"};

class GameWindowPlace : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        if (std::system("command -v xdotool >/dev/null 2>&1 && command -v xprop >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "xdotool and xprop play the player here; they are not installed";
        const std::string run = std::to_string(std::random_device{}());
        root_ = fs::temp_directory_path() / ("quarn_window_place_" + run);
        title_ = "Quarn Race place test " + run;
        server_.emplace(root_.string() + "-x");
        if (!server_->installed())
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(server_->display().empty()) << server_->failure();
        ::setenv("DISPLAY", server_->display().c_str(), 1);
        manager_.emplace(GetParam(), root_.string() + "-wm");
        if (!manager_->running())
            GTEST_SKIP() << GetParam() << " is not installed or did not start";
        game_test::make_game_folder(root_);
        fs::copy_file(fs::path(QUARN_GAME_BUILD_DIR) / "race", root_ / "race");
        cfgCTy cfg;
        ASSERT_EQ(cfg.Load(Cfg().c_str()).read, cfgReadTy::whole);
        cfg.SetStr("WND_NAME", title_.c_str());
        ASSERT_EQ(cfg.Save(Cfg().c_str()), 0);
    }
    void TearDown() override
    {
        // Before its X server and its folder go, whatever the rows found.
        game_.reset();
        manager_.reset();
        server_.reset();
        ::unsetenv("DISPLAY");
        std::error_code ec;
        fs::remove_all(root_, ec);
        fs::remove_all(root_.string() + "-wm", ec);
    }

    std::string Cfg() const { return (root_ / "race.cfg").string(); }
    // Gives settings of the game's file the values beside them.
    void Set(std::initializer_list<std::pair<const char*, int>> keys)
    {
        cfgCTy cfg;
        ASSERT_EQ(cfg.Load(Cfg().c_str()).read, cfgReadTy::whole);
        for (const auto& [key, value] : keys)
            cfg.SetInt(key, value);
        ASSERT_EQ(cfg.Save(Cfg().c_str()), 0);
    }
    // A setting as the game saved it.
    int Saved(const char* key) const
    {
        cfgCTy cfg;
        EXPECT_EQ(cfg.Load(Cfg().c_str()).read, cfgReadTy::whole);
        return cfg.GetInt(key);
    }

    // Starts the game in its folder, with a /tmp of its own for its lock,
    // and waits until it has started and its window shows, so that it
    // takes the player's input. The
    // game's window; 0 when it did not show (the test then skipped or
    // failed).
    unsigned long Start()
    {
        fs::remove(root_ / "race.log");
        game_test::start_real_game(game_, root_, [] {
            if (!std::freopen("said", "w", stderr))
                ::_exit(127);
            std::signal(SIGINT, SIG_DFL);
            game_test::start_in_a_real_window();
            ::setenv("QUARN_BOX_ANSWER", "ok", 1);
        });
        unsigned long id = 0;
        wait_for([&] {
            if (game_->ended())
                return true;
            if (game_test::race_started(root_ / "race.log"))
                id = std::strtoul(
                    output_of("xdotool search --onlyvisible --name '^" + title_ + "$' 2>/dev/null | head -1").c_str(),
                    nullptr, 10);
            return id != 0;
        });
        if (game_->exit_status() == 77) {
            [] { GTEST_SKIP() << "no mount namespace for a /tmp of the program's own"; }();
            return 0;
        }
        EXPECT_NE(id, 0u) << "the game's window did not show; it said: " << game_test::file_text(root_ / "said");
        return id;
    }

    // Gives the window `id` the focus, as a player's click on it does, and
    // waits until the focus has stayed there for half a second: a window
    // manager may take it away and give it back after a change (leaving
    // full screen), and SDL takes no click that it reads within 10 ms of
    // a focus change. A player's key or click comes well after.
    void Focus(unsigned long id)
    {
        const std::string window = std::to_string(id);
        EXPECT_EQ(std::system(("xdotool windowactivate --sync " + window + " 2>/dev/null").c_str()), 0);
        using Clock = std::chrono::steady_clock;
        auto since = Clock::now();
        WindowOnScreen x;
        EXPECT_TRUE(wait_for([&] {
            if (!platform::sdl2_impl::any_window_on_screen_for_test(id, x) || !x.focused)
                since = Clock::now();
            return Clock::now() - since >= std::chrono::milliseconds(500);
        })) << "the game's window did not keep the focus";
    }

    // Ends the game as `end` says, and waits for it: its exit status, or -1
    // when it did not end by itself (it is then killed).
    int EndGame(unsigned long id, End end)
    {
        const std::string window = std::to_string(id);
        if (end == End::exit_button || end == End::alt_f4)
            Focus(id);
        switch (end) {
        case End::exit_button:
            EXPECT_EQ(std::system(("xdotool mousemove --window " + window + " " +
                                   std::to_string(mkdata::exit_x + mkdata::button_width / 2) + " " +
                                   std::to_string(mkdata::buttons_y + mkdata::button_height / 2) + " click 1")
                                      .c_str()),
                      0);
            break;
        case End::manager_close:
            EXPECT_TRUE(platform::sdl2_impl::close_by_manager_for_test(id));
            break;
        case End::alt_f4:
            EXPECT_EQ(std::system("xdotool key alt+F4"), 0);
            break;
        case End::signal:
            ::kill(game_->pid(), SIGINT);
            break;
        }
        if (!game_->wait_for_end(std::chrono::seconds(20))) {
            game_->stop(SIGKILL);
            ADD_FAILURE() << "the game was still running 20 s after " << end_names[int(end)]
                          << ", and was killed; it said: " << game_test::file_text(root_ / "said");
            return -1;
        }
        return game_->exit_status();
    }

    fs::path root_;
    std::string title_;
    std::optional<game_test::Child> game_;
    std::optional<game_test::PrivateX> server_;
    std::optional<WindowManager> manager_;
};

TEST_P(GameWindowPlace, TheWindowComesBackWhereItWasLeftHoweverTheGameEnds)
{
    const platform::Size client{800, 600};
    const Point middle{112, 84};
    platform::Rect frame; // the manager's borders, as its first frame shows
    for (const bool at_the_edge : {false, true}) {
        Point place = middle;
        if (at_the_edge) {
            // The frame on the work area's foot, a little off its right
            // edge: where a manager that keeps frames on the screen has a
            // say, and room to stray right.
            const platform::Rect area = work_area();
            place = {area.x + area.width - frame.width - client.width - 16,
                     area.y + area.height - frame.height - client.height};
        }
        Set({{"WINDOW_X", place.x}, {"WINDOW_Y", place.y}});
        // Each start takes the place the last end stored.
        for (const End end : {End::exit_button, End::manager_close, End::alt_f4, End::signal}) {
            SCOPED_TRACE(std::string(GetParam()) + (at_the_edge ? ", at the edge, " : ", in the middle, ") +
                         end_names[int(end)]);
            const unsigned long id = Start();
            if (!id)
                return;
            WindowOnScreen x;
            EXPECT_TRUE(wait_for([&] { return framed(id, x) && x.client == place; }))
                << "shown at " << x.client.x << ", " << x.client.y << ", not " << place.x << ", " << place.y;
            frame = x.frame;
            EXPECT_EQ(EndGame(id, end), 0) << game_test::file_text(root_ / "said");
            EXPECT_EQ(Saved("WINDOW_X"), place.x);
            EXPECT_EQ(Saved("WINDOW_Y"), place.y);
        }
    }
}

// Started in full screen, kept above other windows there; back in a window
// by Alt+Enter, the frame is back and other windows may cover the game.
// IceWM once kept the window above others: it had been mapped with the
// wish, which that manager never lets go.
TEST_P(GameWindowPlace, AGameStartedInFullScreenIsAPlainWindowAfterAltEnter)
{
    const Point place{112, 84};
    Set({{"WINDOW_X", place.x}, {"WINDOW_Y", place.y}, {"FULL_SCREEN", 1}});
    const unsigned long id = Start();
    if (!id)
        return;
    WindowOnScreen x;
    EXPECT_TRUE(wait_for([&] { return platform::sdl2_impl::any_window_on_screen_for_test(id, x) && x.full_screen; }));
    Focus(id);
    EXPECT_EQ(std::system("xdotool keydown alt key Return keyup alt"), 0);
    EXPECT_TRUE(wait_for([&] { return framed(id, x) && !x.above && x.decorated && x.client == place; }))
        << "above " << x.above << ", decorated " << x.decorated << ", at " << x.client.x << ", " << x.client.y;
    EXPECT_EQ(EndGame(id, End::exit_button), 0) << game_test::file_text(root_ / "said");
    EXPECT_EQ(Saved("FULL_SCREEN"), 0);
    EXPECT_EQ(Saved("WINDOW_X"), place.x);
    EXPECT_EQ(Saved("WINDOW_Y"), place.y);
}

INSTANTIATE_TEST_SUITE_P(Managers, GameWindowPlace, testing::Values("jwm", "openbox", "icewm"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

} // namespace
