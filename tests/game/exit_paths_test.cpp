// The ways the whole program ends other than by its exit button: a library
// exception out of the physics step, a data file that does not load, and
// the display going away; and an X error, which must not end it. Each run
// is the program's own entry with the real sound system (feeder thread,
// mixer, MIDI scheduler), in a child process, since what is checked is how
// the process ends.
#include "game/game.h"

#include "engine/app/app_internal.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "platform/sdl2/sdl2_x11.h"
#include "tests/game/game_folder.h"
#include "tests/game/real_program.h"
#include "tools/mkdata/shapes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using game_test::output_of;
using game_test::PrivateX;

std::string read_file(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A shape file holding one box, centred at (x, y) with the half sizes given.
void write_box_obst(const fs::path& file, float x, float y, float half)
{
    quarn::cls2::Collidable c;
    c.primitives.add_root(quarn::RefPtr<quarn::cls2::Primitive>(new quarn::cls2::PrimitiveProxy<quarn::cls2::Box>(
        quarn::cls2::Box{{x, y}, half, half}, &c, {})));
    c.mask = 0xFFFFFFFF;
    c.set_owners();
    mkdata::write_obst(file.string(), c);
}

// What the program's `main` does, on the backend already chosen and in the
// game folder: the entry's status becomes the process's. `at_start`, when
// given, runs when the start sound plays. `whole` runs the program's own
// `main` (gaStart), headless.
[[noreturn]] void run_program(void (*at_start)() = nullptr, bool whole = false)
{
    static void (*hook)() = nullptr;
    hook = at_start;
    if (hook) {
        g_soundListener = [](const char* path) {
            if (std::string(path) == "DATA/start.wav")
                hook();
        };
    }
    char name[] = "race";
    char* argv[] = {name, nullptr};
    if (whole) {
        setenv("QUARN_PLATFORM", "headless", 1);
        std::exit(gaStart(1, argv));
    }
    const int status = gaMain(1, argv);
    platform::shutdown();
    std::exit(status);
}

// The program on the SDL backend with the video driver given and SDL's
// dummy sound output; `at_start` runs when the start sound plays. Ends
// with 77 where SDL cannot start.
[[noreturn]] void run_program_on_sdl(const char* video_driver, void (*at_start)())
{
    setenv("SDL_VIDEODRIVER", video_driver, 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    platform::shutdown();
    platform::use_backend(platform::BackendKind::sdl2);
    if (platform::backend_kind() != platform::BackendKind::sdl2)
        std::_Exit(77);
    run_program(at_start);
}

// In a death test's child, before the program runs: the signals given do
// what they do by default, whatever the test program was started with,
// and a run that hangs ends by the alarm in a minute, or with the test
// program when that ends first; what it forks ends with it. Files are
// limited to `file_size` bytes when it is not 0.
void child_start(std::initializer_list<int> signals, rlim_t file_size = 0)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    game_test::keep_process_group();
    for (const int signal : signals)
        std::signal(signal, SIG_DFL);
    std::signal(SIGALRM, SIG_DFL);
    ::alarm(60);
    if (file_size) {
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = file_size;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
}

// Under the 800 x 600 picture of a screenshot, over the settings.
constexpr rlim_t below_a_screenshot = 64 << 10;

// A tap of F5 on the headless backend: a screenshot.
void press_f5()
{
    platform::headless::feed_input(
        {{.kind = platform::headless::InputKind::key_down, .key = platform::vk::f5},
         {.at_ms = 16, .kind = platform::headless::InputKind::key_up, .key = platform::vk::f5}});
}

// How a run of the real program ended: its exit status (-1 when it did not
// exit, 77 where no /tmp of its own could be had), and whether it was
// asked to end.
struct RealRun {
    int status = -1;
    bool asked = false;
};

class GameExit : public testing::Test {
protected:
    void SetUp() override
    {
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
        platform::set_box_policy([](const platform::BoxRequest&) { return platform::BoxAnswer::ok; });
        gaEngine = gaEngineDefaults();
        start_dir_ = fs::current_path();
        const std::string run = std::to_string(std::random_device{}());
        root_ = fs::temp_directory_path() / ("quarn_game_exit_" + run);
        title_ = "Quarn Race exit test " + run;
        MakeFolder();
    }

    // The game's folder afresh, under a title of its own: the program
    // takes the single-instance lock by its title, and other runs of the
    // game may be going on beside this one.
    void MakeFolder()
    {
        game_test::make_game_folder(root_);
        std::string cfg = read_file(root_ / "race.cfg");
        const size_t at = cfg.find("WND_NAME = ");
        ASSERT_NE(at, std::string::npos);
        cfg.replace(at, cfg.find('\n', at) - at, "WND_NAME = " + title_);
        std::ofstream(root_ / "race.cfg", std::ios::binary | std::ios::trunc) << cfg;
    }

    void TearDown() override
    {
        fs::current_path(start_dir_);
        std::error_code ec;
        fs::remove_all(root_, ec);
        fs::remove(root_.string() + "-said", ec);
        // The runs' lock files, which no later run will use.
        const std::string lock = platform::InstanceLock::lock_path(GA_WND_CLASS, title_);
        fs::remove(lock, ec);
        fs::remove(lock + ".raise", ec);
        gaExePath.clear();
        platform::set_box_policy(nullptr);
        platform::shutdown();
    }

    // The real program, copied into the game's folder, started there in a
    // child with a /tmp of its own; `prepare` runs in the child before it
    // starts (descriptors, environment, limits). It is asked to end
    // (SIGTERM) once its log shows the whole start done (the last shape
    // file read); one that neither ends nor gets there in a minute is
    // ended, and its status is not an exit's.
    template <typename Prepare>
    RealRun RunRealProgram(const Prepare& prepare)
    {
        fs::copy_file(fs::path(QUARN_GAME_BUILD_DIR) / "race", root_ / "race", fs::copy_options::overwrite_existing);
        fs::remove(root_ / "race.log");
        std::optional<game_test::Child> game;
        game_test::start_real_game(game, root_, [&] {
            std::signal(SIGTERM, SIG_DFL);
            std::signal(SIGPIPE, SIG_DFL);
            prepare();
        });
        RealRun run;
        for (int waited = 0; !game->ended() && waited < 1200; ++waited) {
            if (!run.asked && read_file(root_ / "race.log").find("car.obst") != std::string::npos) {
                ::kill(game->pid(), SIGTERM);
                run.asked = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        game->stop(SIGKILL);
        run.status = game->exit_status();
        return run;
    }

    fs::path root_, start_dir_;
    std::string title_;
};

// The car's box overlaps the track's at the start pose: the first physics
// step throws while the start sound plays. The program reports it, stops
// its sound threads and ends with a failure status, writing nothing.
TEST_F(GameExit, ShapesOverlappingAtTheStartEndInOrderWithAFailureStatus)
{
    write_box_obst(root_ / "DATA" / "car.obst", 0, 0, 10);
    write_box_obst(root_ / "DATA" / "track.obst", START_X, START_Y, 40);
    std::ofstream(root_ / "race.cfg", std::ios::app) << "music = 1\nsnd_volume = 100\n";
    const std::string cfg = read_file(root_ / "race.cfg");
    EXPECT_EXIT((child_start({}), run_program()), testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file(root_ / "race.cfg"), cfg);
}

// A shape file that is missing or does not read ends start-up through the
// same path, with the same status.
TEST_F(GameExit, ShapeFileThatDoesNotLoadEndsWithAFailureStatus)
{
    const struct {
        const char* file;
        const char* bytes; // null: the file is missing
    } cases[] = {
        {"car.obst", nullptr},
        {"track.obst", nullptr},
        {"car.obst", "quarn::io::Stream\x01"},
        {"track.obst", "not a shape"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.bytes ? " damaged" : " missing"));
        MakeFolder();
        const fs::path file = root_ / "DATA" / c.file;
        fs::remove(file);
        if (c.bytes)
            std::ofstream(file, std::ios::binary) << c.bytes;
        EXPECT_EXIT((child_start({}), run_program()), testing::ExitedWithCode(1), "");
    }
}

// The names a program may be started by, and as its lines show them: any
// bytes, where ESC ] 0 ; BEL set the terminal's title and U+202E turned the
// line around.
struct StartedAs {
    const char* program;
    const char* shown;
};
constexpr StartedAs started_as[] = {{"race", "race"},
                                    {"race\x1b]0;T\a\xe2\x80\xae\xff", "race\\x1b]0;T\\a\\u202e\\xff"}};

// Inside EXPECT_EXIT: the entry of a program started as `program`.
[[noreturn]] void start_as(const char* program)
{
    static char name[64];
    std::snprintf(name, sizeof name, "%s", program);
    static char* argv[2] = {name};
    std::exit(gaStart(1, argv));
}

// Words a start says after its shown name, and no escape let through.
testing::Matcher<const std::string&> says(const StartedAs& as, const std::string& words)
{
    return testing::AllOf(testing::HasSubstr(std::string(as.shown) + ": " + words),
                          testing::Not(testing::HasSubstr("\x1b")));
}

// Memory that runs out while `main` makes the backend, before the entry's
// own catch, once ended the process through std::terminate (status 134).
// The program says why and ends with status 1.
TEST_F(GameExit, MemoryRunningOutBeforeTheEntryEndsWithItsMessage)
{
    for (const StartedAs& as : started_as) {
        EXPECT_EXIT(
            {
                child_start({});
                setenv("QUARN_PLATFORM", "headless", 1);
                platform::shutdown();
                platform::fail_backend_creation(1);
                start_as(as.program);
            },
            testing::ExitedWithCode(1), says(as, "Not enough memory to run the game.\n"));
    }
}

// The program's own path and its folder's name. A game folder whose
// path is longer than the system takes (PATH_MAX): the program could not
// learn its own path, so it had no name, saved the shipped settings into a
// new file ".cfg" and ended with status 0 without a word. Now it says why,
// writes nothing and fails, also when its report is answered Ignore; a
// program's path of 4,095 characters, the most the system takes, runs. A
// folder named "back\slash" once read as no data folder, the program's
// path being cut at "\" too: it runs, started by its full path and from
// inside.
TEST_F(GameExit, FolderPastThePathLimitIsNamedAndNothingIsWritten)
{
    const struct {
        const char* what;
        size_t length;     // of the program's path; 0: the folder below
        const char* folder; // below root_
        bool from_inside;
        bool runs;
    } rows[] = {
        {"a program path of 4,095 characters", 4095, nullptr, true, true},
        {"a program path of 4,096 characters", 4096, nullptr, true, false},
        {"a folder named back\\slash, started by its full path", 0, "back\\slash", false, true},
        {"the same, started from inside", 0, "back\\slash", true, true},
    };
    const std::string lock = platform::InstanceLock::lock_path(GA_WND_CLASS, title_);
    const std::string settings = read_file(root_ / "race.cfg") + "# dropped by a save\n";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        // Made and left one level at a time from inside: the system refuses
        // a path this long whole, and so does std::filesystem::remove_all.
        fs::current_path(root_);
        int levels = 0;
        if (row.folder) {
            fs::create_directory(row.folder), fs::current_path(row.folder), ++levels;
        } else {
            // Names of 200 characters, the last one what is left over.
            const size_t folder_length = row.length - std::strlen("/race");
            for (size_t here; (here = fs::current_path().string().size()) < folder_length; ++levels) {
                const size_t left = folder_length - here - 1;
                const fs::path level(std::string(left > 250 ? 200 : left, 'd'));
                fs::create_directory(level), fs::current_path(level);
            }
        }
        const std::string program = row.folder ? (root_ / row.folder / "race").string() : "./race";
        // This test program, which runs the game's entry (below), named as
        // the game: it keeps its lock in this test program's own folder,
        // where the game itself would use the player's /tmp/quarn-<uid>.
        fs::copy_file(platform::module_file_name(), "race");
        fs::copy(fs::path(QUARN_GAME_BUILD_DIR) / "DATA", "DATA", fs::copy_options::recursive);
        std::ofstream("race.cfg", std::ios::binary) << settings;
        // A run that reads the shipped settings takes this test's lock too.
        fs::copy_file("race.cfg", "DATA/shipped.cfg", fs::copy_options::overwrite_existing);
        game_test::Child child([&] {
            ::setenv("QUARN_PLATFORM", "headless", 1);
            ::setenv("QUARN_BOX_ANSWER", "ignore", 1);
            if (std::freopen("said", "w", stderr) && ::dup2(2, 1) == 1 &&
                (row.from_inside || ::chdir(root_.c_str()) == 0))
                ::execl(program.c_str(), "race", "--gtest_also_run_disabled_tests",
                        "--gtest_filter=GameExitProgram.DISABLED_RunsWhereItIs", static_cast<char*>(nullptr));
        });
        // A run that goes on is asked to end once it holds its lock, as a
        // closing terminal would: it saves. One that has not ended after a
        // minute is asked too, and killed if that does not end it; the
        // checks below then fail.
        for (int waited = 0; !child.ended() && waited < 1200 && !(row.runs && fs::exists(lock)); ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        child.stop(SIGTERM);
        const int status = child.wait_status();
        const std::string said = read_file("said");
        ASSERT_TRUE(child.started() && WIFEXITED(status)) << status;
        if (row.runs) {
            EXPECT_EQ(WEXITSTATUS(status), 0) << said;
            EXPECT_EQ(said.find("Can't find data directory"), std::string::npos) << said;
            EXPECT_EQ(read_file("race.cfg").find("# dropped by a save"), std::string::npos);
        } else {
            EXPECT_NE(WEXITSTATUS(status), 0);
            EXPECT_NE(said.find("the program's path is longer than the system takes"), std::string::npos) << said;
            EXPECT_FALSE(fs::exists(".cfg"));
            EXPECT_EQ(read_file("race.cfg"), settings);
        }
        for (int i = 0; i < levels; ++i) {
            for (const auto& entry : fs::directory_iterator("."))
                fs::remove_all(entry.path().filename());
            fs::current_path("..");
        }
        fs::remove_all(row.folder ? row.folder : std::string(200, 'd').c_str());
    }
}

// Not a test on its own: what a copy of this program named "race" runs,
// made by the test above, so that the system names the copy's own path
// as the program's. The game's entry, in the copy's folder.
TEST(GameExitProgram, DISABLED_RunsWhereItIs)
{
    char name[] = "race";
    char* argv[] = {name, nullptr};
    const int status = gaMain(1, argv);
    platform::shutdown();
    std::fflush(nullptr);
    std::_Exit(status);
}

// A request to end from outside: the terminal the game was started from
// closes (SIGHUP), or it is asked to end (SIGTERM, Ctrl+C). Each ends the
// game as its window's close box does, on a desktop and without one
// (QUARN_PLATFORM=headless): status 0, settings saved (a save drops the
// comment), the lock and its pipe gone. A hang-up once killed it with
// nothing written, and so did each of them on the headless backend. A
// hang-up ignored at the start (nohup) stays ignored. A second request
// while the game ends (Ctrl+C twice, a logout's SIGHUP then SIGTERM)
// changes nothing: once killed it with status 143.
TEST_F(GameExit, ARequestToEndFromOutsideSavesTheSettings)
{
    const struct {
        bool sdl;
        int signal;
        bool hangup_ignored = false; // started under nohup
        bool again_at_exit = false;  // sent again as the process exits, after the program's `main`
    } cases[] = {
        {true, SIGHUP},          {true, SIGTERM},          {true, SIGINT},
        {false, SIGHUP},         {false, SIGTERM},         {false, SIGINT},
        {true, SIGTERM, true},   {false, SIGTERM, true},   {false, SIGTERM, false, true},
    };
    const std::string lock = platform::InstanceLock::lock_path(GA_WND_CLASS, title_);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sdl ? "sdl2, " : "headless, ") + strsignal(c.signal) +
                     (c.hangup_ignored ? ", hang-up ignored" : "") + (c.again_at_exit ? ", again at exit" : ""));
        MakeFolder();
        std::ofstream(root_ / "race.cfg", std::ios::app) << "# dropped by a save\n";
        static int g_signal;
        g_signal = c.signal;
        EXPECT_EXIT(
            {
                // What the test program was started with (nohup, a
                // script's background job) is not the game's: the signal
                // sent arrives, and a run that hangs fails.
                std::signal(c.signal, SIG_DFL);
                std::signal(SIGHUP, c.hangup_ignored ? SIG_IGN : SIG_DFL);
                child_start({});
                // An edit made while the game runs is replaced at exit.
                void (*at_start)() = [] {
                    std::ofstream("race.cfg", std::ios::app) << "# edited while it runs\n";
                    ::kill(::getpid(), g_signal);
                };
                if (c.hangup_ignored) {
                    at_start = [] {
                        struct sigaction now {};
                        if (::sigaction(SIGHUP, nullptr, &now) != 0 || now.sa_handler != SIG_IGN)
                            std::_Exit(3);
                        ::kill(::getpid(), g_signal);
                    };
                }
                if (c.again_at_exit)
                    std::atexit([] { ::kill(::getpid(), g_signal); });
                c.sdl ? run_program_on_sdl("dummy", at_start) : run_program(at_start, c.again_at_exit);
            },
            testing::ExitedWithCode(0), "");
        const std::string saved = read_file(root_ / "race.cfg");
        EXPECT_EQ(saved.find("# dropped by a save"), std::string::npos);
        EXPECT_EQ(saved.find("# edited while it runs"), std::string::npos);
        EXPECT_NE(saved.find("WND_NAME = " + title_), std::string::npos);
        EXPECT_FALSE(fs::exists(lock));
        EXPECT_FALSE(fs::exists(lock + ".raise"));
    }
}

// How the program is started from a shell.
struct Start {
    bool reader_gone = false;               // output and errors into a pipe nobody reads
    std::vector<int> closed;                // standard descriptors closed
    rlim_t file_size_limit = RLIM_INFINITY; // in bytes
};

// The program started with its output's reader gone (`race 2>&1 | head
// -1`), with standard streams closed (`race 2>&-`), or under a file size
// limit (`ulimit -f`), with a settings line to report, and asked to end by
// SIGTERM once it runs. Each run makes the process sound first, as the
// program's `main` does. The report to the pipe once killed it by SIGPIPE,
// unsaved with its lock left; a closed descriptor 2 was taken by the log
// or the lock file, which then got the messages; and the save past the
// limit was killed by SIGXFSZ. Now each ends with status 0, the settings
// saved, or, past the limit, the failure reported and the old file whole.
TEST_F(GameExit, HowTheProgramIsStartedDoesNotEndItUnsaved)
{
    std::string notes;
    for (int i = 0; i < 1000; ++i)
        notes += "note_" + std::to_string(i) + " = a line that makes the settings longer than the limit\n";
    const struct {
        const char* name;
        Start start;
        bool saved;
    } cases[] = {
        {"reader gone", {.reader_gone = true}, true},
        {"descriptor 2 closed", {.closed = {2}}, true},
        {"descriptors 0 to 2 closed", {.closed = {0, 1, 2}}, true},
        {"file size limit", {.file_size_limit = 32768}, false},
    };
    const std::string lock = platform::InstanceLock::lock_path(GA_WND_CLASS, title_);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MakeFolder();
        std::ofstream(root_ / "race.cfg", std::ios::app) << notes << "# dropped by a save\n";
        const std::string before = read_file(root_ / "race.cfg");
        static const Start* g_start;
        g_start = &c.start;
        const std::string said = c.saved ? "" : "Can't write to file 'race.cfg': File too large";
        EXPECT_EXIT(
            {
                // What the test program was started with is not the game's.
                std::signal(SIGPIPE, SIG_DFL);
                std::signal(SIGXFSZ, SIG_DFL);
                child_start({SIGTERM});
                int out[2];
                if (g_start->reader_gone && ::pipe(out) == 0) {
                    ::close(out[0]);
                    ::dup2(out[1], STDOUT_FILENO);
                    ::dup2(out[1], STDERR_FILENO);
                    ::close(out[1]);
                }
                for (int fd : g_start->closed)
                    ::close(fd);
                rlimit limit;
                limit.rlim_cur = limit.rlim_max = g_start->file_size_limit;
                ::setrlimit(RLIMIT_FSIZE, &limit);
                platform::make_process_sound();
                run_program([] {
                    // Each closed descriptor is /dev/null, not a file of the game's.
                    for (int fd : g_start->closed) {
                        std::error_code ec;
                        if (fs::read_symlink("/proc/self/fd/" + std::to_string(fd), ec) != "/dev/null")
                            std::_Exit(3);
                    }
                    ::kill(::getpid(), SIGTERM);
                });
            },
            testing::ExitedWithCode(0), said);
        const std::string after = read_file(root_ / "race.cfg");
        if (c.saved) {
            EXPECT_EQ(after.find("# dropped by a save"), std::string::npos);
            EXPECT_NE(after.find("note_999 = "), std::string::npos);
        } else {
            EXPECT_EQ(after, before);
            EXPECT_FALSE(fs::exists(root_ / "race.cfg.new"));
        }
        EXPECT_FALSE(fs::exists(lock));
    }
}

// A screenshot that cannot be written (past a file size limit, where the
// settings still fit) reports it in a box while a best time of this run
// is in the settings. Abort on that box ends the game with the box's code
// (ERR_WRITE's low byte), the settings saved first; Return answers the
// box's default, which for a screenshot goes on, and the game ends later
// as asked, saved. Settings past the limit too: the save's own failure is
// told in its box, whose Abort ends the game at once, the old file whole.
// Abort once ended the game at once, best time lost, and Return was Abort.
// The shut-down's own save that fails is told in one box: Abort on it ends
// the game without saving a second time. Each end removes the lock and its
// pipe, Abort during the shut-down too.
TEST_F(GameExit, AbortOnABoxSavesFirstAndReturnOnAScreenshotsBoxGoesOn)
{
    std::string notes;
    for (int i = 0; i < 2000; ++i)
        notes += "note_" + std::to_string(i) + " = a line that makes the settings longer than the limit\n";
    const struct {
        const char* name;
        bool abort; // else the box's default, as Return answers it
        bool long_settings;
        int status;
        bool saved;
        bool shot = true; // else the game is closed (as by EXIT) once it runs
    } rows[] = {
        {"Abort", true, false, ERR_WRITE & 0xFF, true},
        {"Return", false, false, 0, true},
        {"Abort, the settings past the limit too", true, true, ERR_WRITE & 0xFF, false},
        {"Abort on the shut-down's save", true, true, ERR_WRITE & 0xFF, false, false},
    };
    const std::string lock = platform::InstanceLock::lock_path(GA_WND_CLASS, title_);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MakeFolder();
        if (row.long_settings)
            std::ofstream(root_ / "race.cfg", std::ios::app) << notes;
        const std::string before = read_file(root_ / "race.cfg");
        static bool g_abort, g_shot;
        g_abort = row.abort;
        g_shot = row.shot;
        std::string said = row.shot ? "Can't write to file '" + title_ + "_0.bmp': File too large" : "";
        if (!row.saved)
            said += ".*Can't write to file 'race.cfg': File too large";
        EXPECT_EXIT(
            {
                child_start({SIGTERM}, below_a_screenshot);
                platform::make_process_sound();
                platform::set_box_policy([](const platform::BoxRequest& box) {
                    // The settings' save is told once, whatever ends the game.
                    static int save_boxes = 0;
                    if (box.text.find("'race.cfg'") != std::string::npos && ++save_boxes > 1)
                        std::_Exit(99);
                    if (g_abort)
                        return platform::BoxAnswer::abort;
                    // The game ends as asked once the box is answered.
                    ::kill(::getpid(), SIGTERM);
                    return platform::default_answer(box);
                });
                run_program([] {
                    g_app->cfg->SetInt("best_result", 54321);
                    if (!g_shot) {
                        g_app->quit = 1;
                        return;
                    }
                    press_f5();
                });
            },
            testing::ExitedWithCode(row.status), said);
        const std::string saved = read_file(root_ / "race.cfg");
        if (row.saved) {
            EXPECT_NE(saved.find("best_result = 54321\n"), std::string::npos) << saved;
            EXPECT_NE(saved.find("WND_NAME = " + title_), std::string::npos);
        } else {
            EXPECT_EQ(saved, before);
        }
        EXPECT_FALSE(fs::exists(root_ / (title_ + "_0.bmp")));
        EXPECT_FALSE(fs::exists(root_ / "race.cfg.new"));
        EXPECT_FALSE(fs::exists(lock));
        EXPECT_FALSE(fs::exists(lock + ".raise"));
    }
}

PrivateX* g_server = nullptr;

// Whether a window other than the game's, whose name is `spared`, is
// shown on the X server `display`: a box.
bool box_window_shown(const std::string& display, const std::string& spared)
{
    const std::string script = "export DISPLAY='" + display + "' SPARED='" + spared + "'\n" + R"(
        for id in $(xdotool search --onlyvisible --maxdepth 1 --class '' 2>/dev/null); do
          name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
          [ -n "$name" ] && [ "$name" != "$SPARED" ] && exit 0
        done; exit 1)";
    return std::system(script.c_str()) == 0;
}

// Whether no box is shown there within ten seconds: a copy of the game
// that drew one has ended, and the server has taken its window away.
bool box_gone(const std::string& display, const std::string& spared)
{
    for (int i = 0; i < 200; ++i) {
        if (!box_window_shown(display, spared))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}


// A person at the private X server's screen, as xdotool plays one: every
// window shown there whose name is not `spared` (the game's own) is taken
// for a box, given the focus and answered with Return, its default button;
// each name answered is kept, one a line, in the file `answered`. Goes on
// until stopped; `available()` is false where xdotool is not installed.
class BoxAnswerer {
public:
    BoxAnswerer(const std::string& display, const std::string& spared, const fs::path& answered)
    {
        if (std::system("command -v xdotool >/dev/null") != 0)
            return;
        person_.emplace([&] {
            ::setenv("DISPLAY", display.c_str(), 1);
            ::setenv("SPARED", spared.c_str(), 1);
            ::setenv("ANSWERED", answered.c_str(), 1);
            // Asked to stop, it ends its round first: a box answered just
            // before is on the list.
            ::execl("/bin/sh", "sh", "-c", R"(
                trap 'stop=1' TERM
                while [ -z "${stop:-}" ]; do
                  for id in $(xdotool search --onlyvisible --maxdepth 1 --class '' 2>/dev/null); do
                    name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
                    if [ -n "$name" ] && [ "$name" != "$SPARED" ] &&
                       timeout 5 xdotool windowfocus --sync "$id" key Return 2>/dev/null; then
                      grep -qxF "$name" "$ANSWERED" 2>/dev/null || echo "$name" >>"$ANSWERED"
                    fi
                  done
                  [ -n "${stop:-}" ] || sleep 0.1
                done)",
                    static_cast<char*>(nullptr));
        });
    }
    ~BoxAnswerer()
    {
        if (person_)
            person_->stop(SIGTERM);
    }
    bool available() const { return person_ && person_->started(); }

private:
    std::optional<game_test::Child> person_;
};

// The game in a real window with real sound output (SDL's dummy audio
// driver has a device thread) and music; when the start sound plays, a
// best time has just been driven and the X server goes away under it. The
// X library ends the process then, with its message and status 1: that
// end must stop the threads before the static objects go, and save the
// settings first, best time included, as the close box does. The best
// time was once lost.
TEST_F(GameExit, LostDisplayEndsTheProgramWithoutCorruptingIt)
{
    PrivateX server(root_.string() + "-x");
    if (!server.installed())
        GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(server.display().empty()) << server.failure();
    g_server = &server;
    std::ofstream(root_ / "race.cfg", std::ios::app) << "music = 1\nsnd_volume = 100\nFPS_LIMIT = 10\n";
    EXPECT_EXIT(
        {
            child_start({});
            setenv("DISPLAY", server.display().c_str(), 1);
            run_program_on_sdl("x11", [] {
                g_app->cfg->SetInt("best_result", 7954);
                g_server->stop();
            });
        },
        // The X library's words, which follow how the connection broke.
        testing::ExitedWithCode(1), "X connection to :[0-9]+ broken|fatal IO error [0-9]+ .* on X server \":[0-9]+\"");
    const std::string saved = read_file(root_ / "race.cfg");
    EXPECT_NE(saved.find("best_result = 7954\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("WND_NAME = " + title_), std::string::npos);
    EXPECT_NE(saved.find("WINDOW_X = "), std::string::npos);
    g_server = nullptr;
}

// The display goes away under the running game: its X server ends, or the
// game's connection to it is killed (as xkill does), while the settings
// can be saved or cannot (a file past the size limit, the game's folder
// removed, a read-only file, a full disk), also while a box is open (the
// settings' report at the start, a failed screenshot's in play). The game
// ends at once with status 1, having said on stderr why the settings were
// not saved; no box is shown or hidden, and nothing more is asked of the
// display. A report of the failed save once hid the window first, and the
// X library waited for good on the broken connection, using a whole core.
// With a box open, the save's report was once said nowhere, and with the
// game's connection killed, the box (drawn by a copy of the game, on a
// connection of its own) stayed up and the game waited for its answer.
TEST_F(GameExit, ALostDisplayEndsTheGameAtOnceWhateverBecomesOfTheSave)
{
    if (std::system("command -v xdotool >/dev/null && command -v xkill >/dev/null") != 0)
        GTEST_SKIP() << "xdotool and xkill (x11-utils) are not installed";
    enum class Fault { none, too_large, folder_gone, read_only, disk_full };
    enum class Box { none, settings, screenshot };
    const struct {
        const char* name;
        Fault fault;
        bool xkill; // the connection killed; otherwise the server ends
        const char* said;
        bool logged; // and in the log, where one can be written
        Box box = Box::none;
    } rows[] = {
        {"saved", Fault::none, false, nullptr, false},
        {"past the file size limit", Fault::too_large, false, "Can't write to file 'race.cfg': File too large", true},
        {"the folder removed", Fault::folder_gone, false, "Can't write to file 'race.cfg': No such file or directory",
         false},
        {"read-only", Fault::read_only, false, "the settings were not saved: 'race.cfg' is read-only", true},
        {"a full disk", Fault::disk_full, false, "Can't write to file 'race.cfg': No space left on device", false},
        {"past the file size limit, xkill", Fault::too_large, true, "Can't write to file 'race.cfg': File too large",
         true},
        {"a full disk, xkill", Fault::disk_full, true, "Can't write to file 'race.cfg': No space left on device", false},
        {"the settings' box open, a full disk", Fault::disk_full, false,
         "Can't write to file 'race.cfg': No space left on device", false, Box::settings},
        {"the settings' box open, past the file size limit", Fault::too_large, false,
         "Can't write to file 'race.cfg': File too large", true, Box::settings},
        {"the settings' box open, a full disk, xkill", Fault::disk_full, true,
         "Can't write to file 'race.cfg': No space left on device", false, Box::settings},
        {"a screenshot's box open, a full disk", Fault::disk_full, false,
         "Can't write to file 'race.cfg': No space left on device", false, Box::screenshot},
        {"a screenshot's box open, a full disk, xkill", Fault::disk_full, true,
         "Can't write to file 'race.cfg': No space left on device", false, Box::screenshot},
    };
    std::string notes;
    for (int i = 0; i < 2000; ++i)
        notes += "note_" + std::to_string(i) + " = a line that makes the settings longer than the limit\n";
    const fs::path said_file = root_.string() + "-said"; // removed by TearDown
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
#if defined(__SANITIZE_ADDRESS__)
        // As in the rows of a session ending with a box open: the box's copy
        // of the game may find the address sanitizer's allocator locked.
        if (row.box != Box::none) {
            std::printf("the row '%s' is skipped: SDL draws the box in a copy of the game, which the address "
                        "sanitizer's allocator may leave locked\n",
                        row.name);
            continue;
        }
#endif
        PrivateX server(root_.string() + "-x");
        if (!server.installed())
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(server.display().empty()) << server.failure();
        MakeFolder();
        fs::copy_file(fs::path(QUARN_GAME_BUILD_DIR) / "race", root_ / "race");
        // A comment, which a save drops: the save has something to write;
        // a volume past its range, which the start reports in a box.
        std::ofstream(root_ / "race.cfg", std::ios::app)
            << "-- dropped by a save\n" << (row.fault == Fault::too_large ? notes : "")
            << (row.box == Box::settings ? "snd_volume = 150\n" : "");
        if (row.fault == Fault::read_only)
            fs::permissions(root_ / "race.cfg", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        const std::string before = read_file(root_ / "race.cfg");
        // Outside the game's folder, which a row removes.
        const int said = ::open(said_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(said, 0);
        std::optional<game_test::Child> game;
        game_test::start_real_game(game, root_, [&] {
            if (::dup2(said, STDERR_FILENO) != STDERR_FILENO)
                ::_exit(127);
            ::setenv("DISPLAY", server.display().c_str(), 1);
            game_test::start_in_a_real_window();
            if (row.fault == Fault::too_large)
                child_start({}, below_a_screenshot);
            if (row.fault == Fault::disk_full) {
                // The game, its data and its settings on a file system of
                // its own, which the test fills once the game runs.
                std::error_code ec;
                if (::mkdir("disk", 0700) != 0 || ::mount("tmpfs", "disk", "tmpfs", 0, "size=1m,mode=0700") != 0 ||
                    !std::ofstream("disk/race") || ::mkdir("disk/DATA", 0700) != 0 ||
                    ::mount("race", "disk/race", nullptr, MS_BIND, nullptr) != 0 ||
                    ::mount("DATA", "disk/DATA", nullptr, MS_BIND, nullptr) != 0 ||
                    !fs::copy_file("race.cfg", "disk/race.cfg", ec) || ::chdir("disk") != 0)
                    ::_exit(127);
            }
        });
        ::close(said);
        // Started once it runs the race in its window.
        const std::string on_display = "DISPLAY=" + server.display() + " ";
        const std::string inside = "/proc/" + std::to_string(game->pid()) + "/root/tmp/" + root_.filename().string();
        const fs::path log = row.fault == Fault::disk_full ? fs::path(inside) / "disk/race.log" : root_ / "race.log";
        // A box hides the game's window.
        const std::string visible = row.box == Box::none ? "--onlyvisible " : "";
        std::string window;
        for (int i = 0; i < 1200 && window.empty() && !game->ended(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (game_test::race_started(log))
                window = output_of(on_display + "xdotool search " + visible + "--name '^" + title_ +
                                   "$' 2>/dev/null | head -1");
        }
        if (game->exit_status() == 77)
            GTEST_SKIP() << "no mount namespace for a /tmp of the program's own";
        ASSERT_FALSE(window.empty()) << "the game did not start the race in a window; it said: "
                                     << read_file(said_file);
        if (row.fault == Fault::folder_gone)
            fs::remove_all(root_);
        if (row.fault == Fault::disk_full) {
            std::ofstream filler(inside + "/disk/filler", std::ios::binary);
            const std::string block(4096, 'x');
            while (filler.write(block.data(), block.size()) && filler.flush()) {
            }
        }
        if (row.box != Box::none) {
            // A screenshot, taken once the disk is full, fails; a key the
            // window did not yet take is lost, so it is pressed again while
            // no box shows.
            bool shown = false;
            for (int i = 0; i < 1200 && !(shown = box_window_shown(server.display(), title_)) && !game->ended(); ++i) {
                if (row.box == Box::screenshot && i % 100 == 0)
                    std::system((on_display + "xdotool key --window " + window + " F9 >/dev/null 2>&1").c_str());
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            ASSERT_TRUE(shown) << "no box came; the game said: " << read_file(said_file);
        }
        if (row.xkill)
            EXPECT_EQ(std::system((on_display + "xkill -id " + window + " >/dev/null").c_str()), 0);
        else
            server.stop();
        const bool ended = game->wait_for_end(std::chrono::seconds(10));
        game->stop(SIGKILL);
        const std::string text = read_file(said_file);
        EXPECT_TRUE(ended) << "the game was still running 10 s after its display went, and was killed; it said: "
                           << text;
        EXPECT_EQ(game->exit_status(), 1) << text;
        // The X library's words, which follow how the connection broke.
        EXPECT_THAT(text,
                    testing::ContainsRegex("X connection to :[0-9]+ broken|fatal IO error [0-9]+ .* on X server"));
        if (row.said) {
            EXPECT_NE(text.find(row.said), std::string::npos) << text;
        }
        if (row.logged) {
            const std::string log = read_file(root_ / "race.log");
            EXPECT_NE(log.find(row.said), std::string::npos) << log;
        }
        // A report of the save's failure is said, never shown.
        if (row.said && std::string_view(row.said).starts_with("Can't write")) {
            EXPECT_NE(text.find("[message box] not shown: the display is gone; answered Ignore"), std::string::npos)
                << text;
        }
        EXPECT_EQ(text.find("could not be shown"), std::string::npos) << text;
        if (row.box != Box::none && row.xkill) {
            // Nothing of the game's is left on the server.
            EXPECT_TRUE(box_gone(server.display(), title_)) << "the box is still shown";
        }
        if (row.fault == Fault::none) {
            EXPECT_EQ(read_file(root_ / "race.cfg").find("-- dropped by a save"), std::string::npos);
        } else if (row.fault != Fault::folder_gone && row.fault != Fault::disk_full) {
            EXPECT_EQ(read_file(root_ / "race.cfg"), before);
        }
    }
}

// A request the X server refuses (as one about a window the window manager
// has just destroyed is) is reported and the program goes on; it never
// ends the process.
TEST_F(GameExit, XErrorIsReportedAndTheProgramGoesOn)
{
    PrivateX server(root_.string() + "-x");
    if (!server.installed())
        GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(server.display().empty()) << server.failure();
    EXPECT_EXIT(
        {
            child_start({});
            setenv("DISPLAY", server.display().c_str(), 1);
            setenv("SDL_VIDEODRIVER", "x11", 1);
            platform::shutdown();
            platform::use_backend(platform::BackendKind::sdl2);
            if (platform::backend_kind() != platform::BackendKind::sdl2)
                std::_Exit(77);
            const uint32_t before = platform::sdl2_impl::x_errors_seen();
            if (!platform::sdl2_impl::x_request_refused_for_test())
                std::_Exit(78);
            const bool seen = platform::sdl2_impl::x_errors_seen() == before + 1;
            platform::shutdown();
            // Without exit's handlers: the leak check would count what
            // SDL's video leaves with the desktop's message bus.
            std::_Exit(seen ? 0 : 79);
        },
        testing::ExitedWithCode(0), "X error \\(ignored\\): BadWindow");
}

// A start with no display to open says so, opens nothing, writes nothing
// and ends with status 2: no display named at all, and one that names no
// X server.
TEST_F(GameExit, NoDisplayEndsWithStatusTwoAndSaysSo)
{
    const struct {
        const char* name;
        const char* display; // null: unset
        const StartedAs& as = started_as[0];
    } cases[] = {
        {"no display named", nullptr},
        {"a display with no X server", ":65529"},
        {"a program named with control bytes", nullptr, started_as[1]},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MakeFolder();
        const std::string before = read_file(root_ / "race.cfg");
        static const char* g_display;
        g_display = c.display;
        EXPECT_EXIT(
            {
                child_start({});
                unsetenv("QUARN_PLATFORM");
                unsetenv("WAYLAND_DISPLAY");
                unsetenv("SDL_VIDEODRIVER");
                if (g_display)
                    setenv("DISPLAY", g_display, 1);
                else
                    unsetenv("DISPLAY");
                platform::shutdown();
                start_as(c.as.program);
            },
            testing::ExitedWithCode(2), says(c.as, "no display is available, so the game cannot open its window"));
        EXPECT_EQ(read_file(root_ / "race.cfg"), before);
        EXPECT_FALSE(fs::exists(platform::InstanceLock::lock_path(GA_WND_CLASS, title_)));
    }
}

// The program itself under a memory limit (set in the child before it
// starts) on each side of what a start of its backend needs: the address
// space (`ulimit -v`) or the private memory it maps (`ulimit -d`), as soft
// limits the system enforces. Below, it ends with status 1 and says that
// memory ran out before a library can end it in its own way (GLib's abort
// in malloc, a crash in the soundfont's load or the GL driver, OpenMP's
// exit(1), a "No memory" box played through). Under the headless figure
// that happens in its first code, before any static object is built and
// without a box: one static object's allocation just under the figure
// ended the start through std::terminate, and under a third of it the
// loader could not map the libraries. Above, it starts, music and all,
// and ends as asked when the whole start is done (the last shape file
// read). A start with no display to open says that, whatever the limit.
// In a window, the box that says memory ran out opens on the test's own X
// server and waits as it does for a player, who answers OK: the row
// answers it so (BoxAnswerer), and it must have been shown and answered.
TEST_F(GameExit, TheProgramUnderAnAddressSpaceLimitRunsOrSaysMemoryRanOut)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory takes terabytes of address space, past any such limit";
#endif
    constexpr size_t mb = size_t{1} << 20;
    const size_t headless = gaStartNeed(platform::BackendKind::headless);
    const size_t window = gaStartNeed(platform::BackendKind::sdl2);
    enum class Screen { headless, none, window };
    enum class End { ran, refused_first, refused, no_display };
    const struct {
        const char* name;
        Screen screen;
        int resource;
        size_t soft;
        rlim_t hard; // 0: the soft limit
        End end;
        size_t data_soft = 0; // and a soft data limit (`ulimit -d`) this size, set after it
    } cases[] = {
        {"headless, address space below", Screen::headless, RLIMIT_AS, headless - 16 * mb, 0, End::refused_first},
        {"headless, address space above", Screen::headless, RLIMIT_AS, headless + 16 * mb, 0, End::ran},
        {"headless, address space a page under", Screen::headless, RLIMIT_AS, headless - 4096, 0, End::refused_first},
        {"headless, soft address space below the hard", Screen::headless, RLIMIT_AS, headless - 16 * mb,
         RLIM_INFINITY, End::refused_first},
        {"headless, data far below", Screen::headless, RLIMIT_DATA, headless / 4, 0, End::refused_first},
        // The smaller limit counts, not the one looked at last.
        {"headless, address space below and data far above", Screen::headless, RLIMIT_AS, headless - 16 * mb,
         RLIM_INFINITY, End::refused_first, headless * 8},
        {"headless, address space a third", Screen::headless, RLIMIT_AS, headless / 3, 0, End::refused_first},
        {"no display, between the figures", Screen::none, RLIMIT_AS, (headless + window) / 2, 0, End::no_display},
        {"window, address space below", Screen::window, RLIMIT_AS, window - 16 * mb, 0, End::refused},
        {"window, address space above", Screen::window, RLIMIT_AS, window + 16 * mb, 0, End::ran},
    };
    std::unique_ptr<PrivateX> server;
    const fs::path answered = root_.string() + "-answered";
    for (const auto& c : cases) {
        if (c.screen == Screen::window && !server) {
            server = std::make_unique<PrivateX>(root_.string() + "-x");
            if (!server->installed())
                GTEST_SKIP() << "Xvfb is not installed: the rows in a window did not run";
            ASSERT_FALSE(server->display().empty()) << server->failure();
        }
        SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(c.soft >> 10) + " KB");
        MakeFolder();
        fs::remove(answered);
        const std::string display = c.screen == Screen::window ? server->display() : ":65529";
        std::optional<BoxAnswerer> person;
        if (c.screen == Screen::window) {
            person.emplace(display, title_, answered);
            if (!person->available())
                GTEST_SKIP() << "xdotool is not installed: the rows in a window did not run";
        }
        const RealRun run = RunRealProgram([&] {
            if (!std::freopen("said", "w", stderr))
                ::_exit(127);
            if (c.screen == Screen::headless) {
                ::setenv("QUARN_PLATFORM", "headless", 1);
            } else {
                ::unsetenv("QUARN_PLATFORM");
                ::unsetenv("WAYLAND_DISPLAY");
                ::setenv("DISPLAY", display.c_str(), 1);
                ::setenv("SDL_AUDIODRIVER", "dummy", 1);
                if (c.screen == Screen::window)
                    ::setenv("SDL_VIDEODRIVER", "x11", 1);
            }
            ::setenv("QUARN_BOX_ANSWER", "ok", 1);
            rlimit limit;
            limit.rlim_cur = c.soft;
            limit.rlim_max = c.hard ? c.hard : c.soft;
            if (::setrlimit(c.resource, &limit) != 0)
                ::_exit(127);
            if (c.data_soft) {
                rlimit data{};
                if (::getrlimit(RLIMIT_DATA, &data) != 0)
                    ::_exit(127);
                data.rlim_cur = c.data_soft; // below the hard limit, as the shell's `ulimit -d` sets it
                if (::setrlimit(RLIMIT_DATA, &data) != 0)
                    ::_exit(127);
            }
        });
        person.reset();
        const int status = run.status;
        const bool asked = run.asked;
        const std::string said = read_file(root_ / "said");
        // The names of the windows answered as boxes, one a line.
        const std::string boxes = read_file(answered);
        fs::remove(answered);
        if (status == 77)
            GTEST_SKIP() << "no mount namespace for a /tmp of the program's own: the rows did not run";
        ASSERT_GE(status, 0) << said;
        switch (c.end) {
        case End::ran:
            EXPECT_TRUE(asked) << said;
            EXPECT_EQ(status, 0) << said;
            EXPECT_EQ(said.find("memory"), std::string::npos) << said;
            EXPECT_EQ(boxes, "");
            break;
        case End::refused_first:
        case End::refused:
            EXPECT_EQ(status, 1) << said;
            EXPECT_NE(said.find("Not enough memory to run the game."), std::string::npos) << said;
            EXPECT_FALSE(asked);
            if (c.end == End::refused_first) {
                EXPECT_NE(said.find("race: Not enough memory to run the game."), std::string::npos) << said;
                EXPECT_EQ(said.find("[message box]"), std::string::npos) << said;
            } else {
                EXPECT_EQ(said.find("could not be shown"), std::string::npos) << said;
                EXPECT_EQ(boxes, "Out of memory\n") << said;
            }
            break;
        case End::no_display:
            EXPECT_EQ(status, 2) << said;
            EXPECT_NE(said.find("no display is available"), std::string::npos) << said;
            EXPECT_EQ(said.find("memory"), std::string::npos) << said;
            break;
        }
    }
}

// The real program with its output's reader gone (`race 2>&1 | head -1`)
// and a settings line to report: what it could not say on stderr is in
// race.log, and it runs on, is asked to end and ends with status 0.
TEST_F(GameExit, WhatTheProgramCouldNotSayIsInItsLog)
{
    MakeFolder();
    std::ofstream(root_ / "race.cfg", std::ios::app) << "a line without its sign\n";
    const RealRun run = RunRealProgram([] {
        int out[2];
        if (::pipe(out) != 0 || ::dup2(out[1], STDOUT_FILENO) < 0 || ::dup2(out[1], STDERR_FILENO) < 0)
            ::_exit(127);
        ::close(out[0]);
        ::close(out[1]);
        ::setenv("QUARN_PLATFORM", "headless", 1);
        ::setenv("QUARN_BOX_ANSWER", "ignore", 1);
    });
    if (run.status == 77)
        GTEST_SKIP() << "no mount namespace for a /tmp of the program's own";
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.asked);
    const std::string log = read_file(root_ / "race.log");
    EXPECT_NE(log.find("Invalid line"), std::string::npos) << log;
    EXPECT_EQ(read_file(root_ / "race.cfg").find("a line without its sign"), std::string::npos);
}

} // namespace

namespace {

// On a thread of the program's process: when `press_f5`, presses F5 in the
// game's window once it is shown, and again each 5 seconds while no box is
// (a key the window did not yet take is lost); once a box is shown, runs
// `act`. A box that does not come in a minute leaves the run to its alarm.
void when_a_box_shows(bool press_f5, void (*act)())
{
    std::thread([press_f5, act] {
        const char* const f5 = R"(xdotool search --onlyvisible --name "^$SPARED\$" key --window %1 F5 >/dev/null 2>&1)";
        using Clock = std::chrono::steady_clock;
        const auto until = Clock::now() + std::chrono::minutes(1);
        auto next_press = Clock::now();
        while (Clock::now() < until) {
            if (box_window_shown(std::getenv("DISPLAY"), std::getenv("SPARED"))) {
                act();
                return;
            }
            if (press_f5 && Clock::now() >= next_press && std::system(f5) == 0)
                next_press = Clock::now() + std::chrono::seconds(5);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }).detach();
}

} // namespace

// A box open in a real window when the session ends: the X server goes
// away, or a request to end comes (SIGTERM, SIGINT, a hang-up), while a
// box waits, at the start (a settings line without its sign, reported
// while the settings are read) or in play (a screenshot past the file size
// limit, with a best time just driven). SDL draws the box in a copy of the
// process and waits for it. A lost display ends the program as it does
// without a box: status 1, the settings saved. A request ends it as it
// does without a box: the box gone, no copy of it left, status 0, and the
// settings saved, but for a box raised before they were read, which saves
// nothing. The copy once ran the program's handlers: its save, then its
// exit handlers, which waited for a music thread it does not have, and the
// program waited for it for good; a request to end waited for the box.
// The headless rows take a box that a policy answers: a request that came
// while it was open ends the program the same way. After a request, the
// shut-down's failed save (past the file size limit) shows its box nowhere
// (it once waited on X, or Abort ended the game). Every end removes the
// lock and its pipe; a box's end once left them.
TEST_F(GameExit, TheSessionEndingWhileABoxIsOpenEndsTheProgramSaved)
{
    enum class Box { settings_line, screenshot, shutdown_save };
    const struct {
        bool x11;
        Box box;
        int signal; // 0: the X server goes away
    } rows[] = {
        {true, Box::screenshot, 0},     {true, Box::settings_line, 0},  {true, Box::screenshot, SIGTERM},
        {true, Box::screenshot, SIGINT}, {true, Box::screenshot, SIGHUP}, {true, Box::settings_line, SIGTERM},
        {false, Box::screenshot, SIGTERM}, {false, Box::settings_line, SIGHUP},
        {true, Box::shutdown_save, SIGTERM}, {false, Box::shutdown_save, SIGTERM},
    };
    std::string notes;
    for (int i = 0; i < 2000; ++i)
        notes += "note_" + std::to_string(i) + " = a line that makes the settings longer than the limit\n";
    const std::string lock = platform::InstanceLock::lock_path(GA_WND_CLASS, title_);
    std::unique_ptr<PrivateX> server;
    for (const auto& row : rows) {
        const char* const box_names[] = {"settings line, ", "screenshot, ", "shut-down's save, "};
        const std::string name = std::string(row.x11 ? "x11, " : "headless, ") + box_names[int(row.box)] +
                                 (row.signal ? strsignal(row.signal) : "display lost");
        SCOPED_TRACE(name);
#if defined(__SANITIZE_ADDRESS__)
        // The address sanitizer's allocator does not take its lock across a
        // fork: a copy forked while another thread of the game allocates
        // (the sound) waits for that lock for good, and keeps the box and
        // the test waiting. The release build runs these rows.
        if (row.x11) {
            std::printf("the row '%s' is skipped: SDL draws the box in a copy of the game, which the address "
                        "sanitizer's allocator may leave locked\n",
                        name.c_str());
            continue;
        }
#endif
        if (row.x11 && !server) {
            server = std::make_unique<PrivateX>(root_.string() + "-x");
            if (!server->installed())
                GTEST_SKIP() << "Xvfb is not installed";
            ASSERT_FALSE(server->display().empty()) << server->failure();
            if (std::system("command -v xdotool >/dev/null") != 0)
                GTEST_SKIP() << "xdotool is not installed";
        }
        MakeFolder();
        std::ofstream(root_ / "race.cfg", std::ios::app)
            << "music = 1\nFPS_LIMIT = 10\n" << (row.box == Box::settings_line ? "a line without its sign\n" : "")
            << (row.box == Box::shutdown_save ? notes : "");
        const std::string before = read_file(root_ / "race.cfg");
        static int g_signal;
        static bool g_x11, g_on_the_way_out;
        g_signal = row.signal;
        g_x11 = row.x11;
        g_on_the_way_out = row.box == Box::shutdown_save;
        g_server = server.get();
        const bool screenshot = row.box == Box::screenshot;
        EXPECT_EXIT(
            {
                child_start({SIGTERM, SIGINT, SIGHUP}, below_a_screenshot);
                platform::make_process_sound();
                static void (*const act)() = [] {
                    if (g_signal)
                        ::kill(::getpid(), g_signal);
                    else
                        g_server->stop();
                };
                // Asked to end once it runs; the box comes on the way out.
                static void (*const ask_at_start)() = [] {
                    g_app->cfg->SetInt("best_result", 7954);
                    act();
                };
                if (!g_x11) {
                    platform::set_box_policy([](const platform::BoxRequest& box) {
                        if (!g_on_the_way_out)
                            act();
                        return platform::default_answer(box);
                    });
                    run_program(g_on_the_way_out ? ask_at_start : screenshot ? +[] {
                        g_app->cfg->SetInt("best_result", 7954);
                        press_f5();
                    } : nullptr);
                }
                platform::set_box_policy(nullptr);
                setenv("DISPLAY", g_server->display().c_str(), 1);
                setenv("SPARED", title_.c_str(), 1);
                if (g_on_the_way_out)
                    run_program_on_sdl("x11", ask_at_start);
                if (!screenshot)
                    when_a_box_shows(false, act);
                run_program_on_sdl("x11", screenshot ? +[] {
                    g_app->cfg->SetInt("best_result", 7954);
                    when_a_box_shows(true, act);
                } : nullptr);
            },
            testing::ExitedWithCode(row.signal ? 0 : 1),
            row.box == Box::shutdown_save
                ? "Can't write to file 'race.cfg': File too large.*\\[message box\\] not shown: the program is ending"
            : !row.x11   ? ""
            : row.signal ? "\\[message box\\] closed: the program was asked to end"
                         : "X connection to :[0-9]+ broken|fatal IO error [0-9]+ .* on X server \":[0-9]+\"");
        // A row that ended its server leaves the next row a new one.
        if (!row.signal)
            server.reset();
        EXPECT_FALSE(fs::exists(lock));
        EXPECT_FALSE(fs::exists(lock + ".raise"));
        const std::string saved = read_file(root_ / "race.cfg");
        if (row.box != Box::shutdown_save && (screenshot || !row.signal)) {
            EXPECT_NE(saved.find("WND_NAME = " + title_), std::string::npos) << saved;
            EXPECT_EQ(saved.find("a line without its sign"), std::string::npos) << saved;
        } else {
            EXPECT_EQ(saved, before);
        }
        if (screenshot) {
            EXPECT_NE(saved.find("best_result = 7954\n"), std::string::npos) << saved;
        }
        if (row.x11 && row.signal) {
            // A copy left behind would keep its box on the screen.
            EXPECT_TRUE(box_gone(server->display(), title_)) << "a box is still shown";
        }
    }
    g_server = nullptr;
}
