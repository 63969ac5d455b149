// Start-up, shut-down and the entry, end to end on the headless backend.
#include "app_test_support.h"

#include "platform/headless.h"
#include "quarn/quarn.h"
#include "tests/Lib/quarn/src/quarn/log_capture.h"
#include "tests/support/no_free_descriptor.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<std::string> saved_names(const std::string& text)
{
    std::vector<std::string> names;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        names.push_back(line.substr(0, line.find(" = ")));
    return names;
}

bool box_says(const std::string& words)
{
    for (const auto& box : platform::shown_boxes())
        if (box.text.find(words) != std::string::npos)
            return true;
    return false;
}

std::string read_text(const std::filesystem::path& file)
{
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(AppTest, StartUpAndShutDownCallEverythingInOrder)
{
    int frames = 0;
    testGame.onFrame = [&] {
        if (++frames == 2)
            g_app->quit = 1;
        return 0;
    };
    gaCTy& app = Start();
    app.Run();
    Stop();
    const std::vector<std::string> expected = {
        "gfxInit",      "GamePreInit",       "gCreate",      "sndInit",   "sndSetGlobalFocus(1)", "fntListInit",
        "GameInit",     "sndActivateApp(1)", "GameActivate", "GameFrame", "GameDraw",             "GameFrame",
        "GameDraw",     "GameShutdown",      "fntListDone",  "gRelease",  "sndDone"};
    EXPECT_EQ(testGame.calls, expected);
    EXPECT_EQ(testGame.setModeFlags, std::vector<unsigned>{GA_DISPLAY_VID_MEM});
    EXPECT_EQ(g_app, nullptr);
}

// A bad line is shown and skipped: the keys after it keep the file's
// values and are saved again, not overwritten by the defaults.
TEST_F(AppTest, ConfigurationSkipsABadLineAndSavesDefaultsFirst)
{
    WriteConfig("MY_KEY = 5\nFPS_LIMIT = 20\nSCR_LX = 800\n = oops\nSCR_LY = 100\nsnd_volume 50\nbest_result = 4321\n");
    gaCTy& app = Start();
    // Found two folders up, and made current: the file was read from there.
    EXPECT_EQ(std::filesystem::current_path(), root);
    EXPECT_EQ(std::string(app.rootDir), root.string() + "/");
    EXPECT_EQ(app.appName, "race");
    EXPECT_EQ(app.frameLimit, 20u);
    EXPECT_EQ(app.cfg->GetInt("SCR_LX"), 800);
    EXPECT_EQ(app.cfg->GetInt("SCR_LY"), 100);
    EXPECT_TRUE(box_says("'race.cfg', line 4:  = oops"));
    EXPECT_TRUE(box_says("Invalid line"));
    EXPECT_TRUE(box_says("'race.cfg', line 6: snd_volume 50"));
    platform::set_window_position(app.window, {123, 45});
    Stop();

    const std::vector<std::string> expected = {
        "USE_GFX",       "FULL_SCREEN", "FULL_SCREEN_CLIPPER", "WINDOW_NO_CAPTION", "WINDOW_STORE_POSITION",
        "WINDOW_X",      "WINDOW_Y",    "ENABLE_ALT_ENTER",    "USE_VID_MEM",       "NEED_FLIP",
        "SCR_LX",        "SCR_LY",      "SCR_BPP",             "NEED_GFX",          "NEED_DRAW_FPS",
        "FPS_LIMIT",     "WND_NAME",    "DATA_DIR",            "DBG_CRT_BLK_N",     "SOUNDBUFFER_ENABLE_GLOBAL_FOCUS",
        "MY_KEY",        "best_result"};
    const std::string saved = ReadConfig();
    EXPECT_EQ(saved_names(saved), expected);
    EXPECT_NE(saved.find("WINDOW_X = 123\nWINDOW_Y = 45\n"), std::string::npos);
    EXPECT_NE(saved.find("WND_NAME = Tiny Lovely Game\n"), std::string::npos);
    EXPECT_NE(saved.find("SCR_LY = 100\n"), std::string::npos);
    EXPECT_NE(saved.find("best_result = 4321\n"), std::string::npos);
}

// A start whose settings file gives none names the shipped settings: the
// program's name and DATA_DIR shown, ESC and U+202E written out.
TEST_F(AppTest, TheShippedSettingsAreNamedShown)
{
    std::filesystem::create_directories("DATA");
    std::ofstream("DATA/shipped.cfg") << "WND_NAME = shipped\n";
    const char* const rows[][3] = {
        {"race", "d\x1b[2J\xe2\x80\xae", "race.cfg gives no settings, nor does d\\x1b[2J\\u202e/shipped.cfg (No such"},
        {"r\x1b[2J\xe2\x80\xae", "DATA", "r\\x1b[2J\\u202e.cfg gives no settings: the shipped settings DATA/shipped"},
    };
    for (const auto& [program, data, said] : rows) {
        quarn_test::LogCapture log;
        gaCTy app;
        app.SetDefaults();
        app.appName = program;
        app.cfg->SetStr("DATA_DIR", data);
        gaLoadSettings(app);
        EXPECT_NE(log.text().find(said), std::string::npos) << log.text();
    }
}

// The program file's name, whatever its bytes and its length, names the
// settings file whole: a name of 64 bytes or more was cut inside a letter,
// the player's file not read and a second one written at exit. A name too
// long for a file's says so and the way out; no other file stands in.
// stderr and the log show the name as the box does: its bytes went raw.
TEST_F(AppTest, TheProgramsWholeNameNamesItsSettingsFileAndIsShown)
{
    namespace fs = std::filesystem;
    std::string accents;
    for (int i = 0; i < 70; ++i)
        accents += "\xc3\xa9";
    const auto not_saved = [](const std::string& shown, const std::string& why) {
        return shown + ": the settings were not saved: '" + shown + ".cfg' " + why + "\n";
    };
    const std::string too_long(300, 'r');
    const struct {
        std::string program;
        bool file;        // the settings file is there, holding FPS_LIMIT = 20
        bool read_only;   // and read-only
        std::string said; // on stderr (and, after the program's name, in the log); empty: nothing
    } rows[] = {
        {"rr" + accents, true, false, ""},
        {"rr" + accents, true, true, not_saved("rr" + accents, "is read-only")},
        {"race\x1b]0;T\a\xe2\x80\xae\xff", true, true, not_saved("race\\x1b]0;T\\a\\u202e\\xff", "is read-only")},
        {too_long, false, false,
         not_saved(too_long, "could not be read at start (the program's name makes its settings file's name (304 "
                             "bytes) longer than the system takes: rename the program file to a shorter name)")},
    };
    quarn_test::LogCapture log;
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.program.substr(0, 12)) + (row.read_only ? ", read-only" : ""));
        const fs::path settings = root / (row.program + ".cfg");
        if (row.file) {
            ASSERT_TRUE(std::ofstream(settings) << "FPS_LIMIT = 20\n");
            if (row.read_only)
                fs::permissions(settings, fs::perms::owner_read);
        }
        gaExePath = (root / "bin" / "x64" / row.program).string();
        platform::clear_shown_boxes();
        testing::internal::CaptureStderr();
        EXPECT_EQ(Start().frameLimit, row.file ? 20u : 0u);
        Stop();
        gaInstanceLock().reset();
        const std::string said = testing::internal::GetCapturedStderr();
        if (row.said.empty()) {
            EXPECT_EQ(said.find("not saved"), std::string::npos) << said;
        } else {
            EXPECT_NE(said.find(row.said), std::string::npos) << said;
            EXPECT_NE(log.text().find(row.said.substr(row.said.find(": ") + 2)), std::string::npos) << log.text();
        }
        for (const std::string& text : {said, log.text()})
            EXPECT_EQ(text.find_first_of("\x1b\a\xff\xae"), std::string::npos) << text;
        EXPECT_EQ(box_says("rename the program file to a shorter name"), !row.file);
        // That file alone beside the test's folders, saved unless read-only.
        std::set<std::string> names, expected{"DATA", "bin", "start"};
        for (const auto& entry : fs::directory_iterator(root))
            names.insert(entry.path().filename().string());
        if (row.file) {
            expected.insert(settings.filename().string());
            const std::string text = read_text(settings);
            EXPECT_EQ(text.find("WND_NAME = ") != std::string::npos, !row.read_only) << text;
            EXPECT_NE(text.find("FPS_LIMIT = 20\n"), std::string::npos) << text;
            fs::remove(settings);
        }
        EXPECT_EQ(names, expected);
    }
}

// Numbers the window, the display or the loop cannot use, and values that
// are no number, are reported by key and replaced; FPS_LIMIT = -1 once made
// every frame sleep for weeks, FPS_LIMIT = abc silently lifted the limit.
TEST_F(AppTest, OutOfRangeKeysAreReportedByNameAndReplaced)
{
    struct Case {
        std::string_view line;
        const char* key;
        int used;
        const char* said = nullptr; // the box, when not "Bad value of <key>: "
    };
    const Case cases[] = {
        {"FPS_LIMIT = -1", "FPS_LIMIT", 0},
        {"FPS_LIMIT = 5000", "FPS_LIMIT", 0},
        {"SCR_LX = 0", "SCR_LX", 640},
        {"SCR_LX = 100000", "SCR_LX", 640},
        {"SCR_LY = -480", "SCR_LY", 480},
        {"SCR_BPP = 17", "SCR_BPP", 16},
        // No full screen has 8 bits: started so, the window stayed black.
        {"SCR_BPP = 8", "SCR_BPP", 16},
        {"SCR_BPP = 99", "SCR_BPP", 16},
        {"WINDOW_X = 99999999999", "WINDOW_X", 0},
        {"WINDOW_Y = -70000", "WINDOW_Y", 0},
        // Not whole numbers: they once read as their leading digits or 0.
        {"FPS_LIMIT = abc", "FPS_LIMIT", 0},
        {"SCR_LX = 12abc", "SCR_LX", 640},
        {"SCR_LY = 1e3", "SCR_LY", 480},
        {"SCR_BPP = 16 bits", "SCR_BPP", 16},
        {"WINDOW_X = ", "WINDOW_X", 0},
        {"WINDOW_Y = 0x10", "WINDOW_Y", 0},
        // Bad only through a NUL byte, which once ended the value: dropped,
        // it reads as 10; read as a blank, the second as 12. A line with a
        // NUL is a damaged line, and the key keeps its default.
        {std::string_view("SCR_LX = 1\0" "0", 12), "SCR_LX", 640, "Invalid line"},
        {std::string_view("SCR_LY = 12\0", 12), "SCR_LY", 480, "Invalid line"},
    };
    for (const Case& c : cases) {
        platform::clear_shown_boxes();
        WriteConfig("WINDOW_STORE_POSITION = 1\n" + std::string(c.line) + "\n");
        gaCTy& app = Start();
        EXPECT_EQ(app.cfg->GetInt(c.key), c.used) << c.line;
        EXPECT_TRUE(box_says(c.said ? c.said : std::string("Bad value of ") + c.key + ": ")) << c.line;
        EXPECT_NE(app.window, nullptr) << c.line;
        if (std::string(c.key) == "FPS_LIMIT") {
            EXPECT_EQ(app.frameLimit, 0u);
        }
        Stop();
        EXPECT_EQ(ReadConfig().find(std::string(c.line) + "\n"), std::string::npos) << c.line; // not saved back
    }
}

TEST_F(AppTest, StoredPositionIsUsedOnlyWhenAskedFor)
{
    WriteConfig("WINDOW_STORE_POSITION = 1\nWINDOW_X = 70\nWINDOW_Y = 80\n");
    EXPECT_EQ(platform::window_position(Start().window), (platform::Point{70, 80}));
    Stop();
    // Centred on the 1024 x 768 work area: the frame (2+640+2 by 22+480+2)
    // at (190, 132), so the client area at (192, 154).
    WriteConfig("WINDOW_X = 70\nWINDOW_Y = 80\n");
    EXPECT_EQ(platform::window_position(Start().window), (platform::Point{192, 154}));
}

TEST_F(AppTest, MissingDataFolderIsReportedAndStartUpGoesOn)
{
    std::filesystem::remove_all(root / "DATA");
    gaCTy& app = Start();
    EXPECT_TRUE(box_says("Can't find data directory!"));
    EXPECT_EQ(app.rootDir[0], '\0');
    EXPECT_EQ(std::filesystem::current_path(), startDir);
    EXPECT_NE(app.window, nullptr);
}

// With no descriptor left to list a folder (`ulimit -n 5` in a window),
// the search said "No data folder 'DATA' in ..." while DATA was there:
// the reason is named instead. In a child: the limit is the lowest free
// descriptor, so no open can succeed.
// With one descriptor to spare, the folder is listed but the player's own
// data folder cannot be opened: that was called "refusing the data
// folder", as if the judge had refused it.
TEST_F(AppTest, AFolderThatCannotBeListedIsNamedWithTheReason)
{
    if (test_support::sanitizer_needs_descriptors)
        GTEST_SKIP() << test_support::sanitizer_needs_descriptors_reason;
    const struct {
        int spare; // descriptors left free
        std::string said;
    } rows[] = {
        {0, "can't look for the data folder in " + (root / "bin" / "x64").string() + ": Too many open files"},
        {1, "can't open the data folder " + (root / "DATA").string() + ": Too many open files"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.said);
        EXPECT_EXIT(
            {
                test_support::leave_free_descriptors(row.spare);
                Start();
                std::_Exit(box_says("Can't find data directory!") && box_says(row.said) && !box_says("refusing") ? 0
                                                                                                                  : 1);
            },
            testing::ExitedWithCode(0), "");
    }
}

// The second start says what it did, naming the first by its process, and
// ends with 0 only when the first raised its window. It finds the first
// whatever its runtime folder and TMPDIR say: a start from the desktop and
// one from a script or under su once looked for the lock in different
// folders, and both copies ran. A first copy that does not answer (stuck
// in a box, its display gone) was said to have raised its window, with
// status 0, and came to the front when it woke up, unasked.
TEST_F(AppTest, SecondInstanceRaisesTheFirstOrSaysHowToEndIt)
{
    namespace fs = std::filesystem;
    const fs::path run = root / "run";
    fs::create_directory(run);
    fs::permissions(run, fs::perms::owner_all);
    const std::string pid = std::to_string(getpid());
    const std::string kill =
        "; end it with `kill " + pid + "` (or `kill -9 " + pid + "` if it does not end) and start again\n";
    const std::string running = "race: another copy of the game is already running (process " + pid + ")";
    const std::string raised = running + "; its window was raised\n";
    const std::string lock = platform::InstanceLock::lock_path(GA_WND_CLASS, "Second start test");
    const char* const display_was = getenv("DISPLAY");
    const std::string display_kept = display_was ? display_was : "";
    const std::shared_ptr<void> restore(nullptr, [&](void*) {
        display_was ? setenv("DISPLAY", display_kept.c_str(), 1) : unsetenv("DISPLAY");
    });
    const struct {
        const char* run_dir; // the second start's runtime folder and TMPDIR (null: unset)
        const char* tmpdir;
        bool answers;         // the first pumps its messages while the second waits
        const char* first_on; // the displays (null: unset)
        const char* second_on;
        int status;
        std::string said;
        bool default_wait = false; // the start waits as the game does
        bool holder_gone = false;  // the lock names a process that has ended
        bool shown = true;         // the first's window is on a display a person sees
        const char* reported = ""; // a settings line both starts report
        std::string program = "race"; // the second start's program file
        platform::BoxAnswer answer = platform::BoxAnswer::ignore; // the second's to that line's box
    } rows[] = {
        {run.c_str(), root.c_str(), true, ":7", ":7", 0, raised},
        {nullptr, "/no/such/folder", true, nullptr, nullptr, 0, raised},
        {nullptr, nullptr, false, ":7", ":7", 1,
         running + " but does not answer, so its window could not be raised" + kill},
        {nullptr, nullptr, true, ":7", ":8.0", 1,
         running + ", but its window is on display :7, not this one (:8.0)" + kill},
        {nullptr, nullptr, true, ":7", ":7", 0, raised, true},
        // Neither the id of the process gone nor 0 is named.
        {nullptr, nullptr, false, ":7", ":7", 1,
         "race: another copy of the game is already running but does not answer, so its window could not be "
         "raised; end the process that holds " + lock + " (`fuser -v " + lock + "` names it) and start again\n",
         false, true},
        // A first that pumps but shows its window to no one is not raised.
        {nullptr, nullptr, true, ":7", ":7", 1,
         running + ", but it shows no window on any display (QUARN_PLATFORM=headless), so none could be raised" + kill,
         false, false, false},
        // The program's name is shown written out, as a box shows it.
        {nullptr, nullptr, true, ":7", ":7", 0, "race\\x1b]0;T\\a" + raised.substr(4), false, false, true, "",
         "race\x1b]0;T\a"},
        // A line reported before the first is found: the first's log was emptied.
        {nullptr, nullptr, true, ":7", ":7", 0, raised, false, false, true, " = oops\n"},
        // Abort in that box, before the lock is asked for, ends the start
        // with the box's code and its text on stderr: it once wrote the
        // first's log afresh, holding only its own box.
        {nullptr, nullptr, true, ":7", ":7", ERR_USER_MSG & 0xFF, "\nPress Retry to debug the application\n", false,
         false, true, " = oops\n", "race", platform::BoxAnswer::abort},
    };
    // Both starts have one log, which the second never writes.
    quarn_test::LogCapture log;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.said);
        WriteConfig("WND_NAME = Second start test\n" + std::string(row.reported));
        if (row.program != "race")
            fs::copy_file(root / "race.cfg", root / (row.program + ".cfg"), fs::copy_options::overwrite_existing);
        row.first_on ? setenv("DISPLAY", row.first_on, 1) : unsetenv("DISPLAY");
        platform::headless::put_windows_on_a_display(row.shown);
        gaCTy& app = Start();
        platform::show_window(app.window, platform::ShowCommand::minimise);
        // A line only the first writes: a second start that empties the log
        // loses it, even where it writes the same box again.
        quarn::open_entry(quarn::log_warning) << "the first copy's own line" << std::endl;
        if (row.holder_gone) {
            const pid_t gone = fork();
            if (gone == 0)
                _exit(0);
            ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
            std::ofstream(lock) << gone << "\n" << row.first_on << "\n";
        }
        const fs::path said = root / "second.txt";
        const std::string first_log = log.text();
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            // A new process: the same log file, not yet opened.
            quarn::default_log_stream()->file_buf()->set_file((log.dir() / "capture.log").c_str(),
                                                               quarn::open_mode::out | quarn::open_mode::trunc);
            const int err = open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (err < 0 || dup2(err, 2) != 2)
                _exit(4);
            row.run_dir ? setenv("XDG_RUNTIME_DIR", row.run_dir, 1) : unsetenv("XDG_RUNTIME_DIR");
            row.tmpdir ? setenv("TMPDIR", row.tmpdir, 1) : unsetenv("TMPDIR");
            row.second_on ? setenv("DISPLAY", row.second_on, 1) : unsetenv("DISPLAY");
            // A first that answers does so at its next pump; one that does
            // not is waited for briefly.
            if (!row.default_wait)
                gaRaiseWaitMs = row.answers ? 60000 : 50;
            static platform::BoxAnswer answer;
            answer = row.answer;
            platform::set_box_policy([](const platform::BoxRequest&) { return answer; });
            gaExePath = (root / "bin" / "x64" / row.program).string();
            g_app = nullptr; // the first's, which this process does not run
            gaCTy second;
            second.Init();
            _exit(3); // not reached: the start-up ends the process
        }
        ASSERT_GT(child, 0);
        int status = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        for (; waitpid(child, &status, WNOHANG) == 0; usleep(1000)) {
            if (std::chrono::steady_clock::now() > until)
                ::kill(child, SIGKILL); // a second start that never ends, as its status shows
            if (row.answers)
                app.Pump();
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.status) << status;
        // A line reported goes to stderr before what the start found.
        const std::string second_said = read_text(said), line = "'race.cfg', line 2:  = oops\n";
        const bool reported = *row.reported;
        EXPECT_TRUE(reported ? second_said.ends_with(row.said) : second_said == row.said) << second_said;
        EXPECT_EQ(second_said.find(line) != std::string::npos, reported) << second_said;
        EXPECT_EQ(first_log.find(line) != std::string::npos, reported) << first_log;
        EXPECT_EQ(log.text(), first_log);
        // A request left unread was taken back: the first does not come up
        // when it pumps again.
        app.Pump();
        EXPECT_EQ(platform::is_minimised(app.window), row.status != 0);
        EXPECT_EQ(platform::foreground_window() == app.window, row.status == 0);
        Stop();
    }
}

// A lock folder that others may enter is not used: the start names it and
// why, and goes on without the check. Its path is shown as a box shows it.
TEST_F(AppTest, ALockFolderOthersMayEnterIsNamedAndTheStartGoesOn)
{
    namespace fs = std::filesystem;
    const std::string own = platform::InstanceLock::root();
    platform::InstanceLock::set_root((root / "locks\x1b]0;T\a").string());
    const fs::path folder = fs::path(platform::InstanceLock::lock_path(GA_WND_CLASS, "")).parent_path();
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms(0755));
    testing::internal::CaptureStderr();
    EXPECT_NE(Start().window, nullptr);
    const std::string said = testing::internal::GetCapturedStderr();
    platform::InstanceLock::set_root(own);
    const std::string shown = root.string() + "/locks\\x1b]0;T\\a/" + folder.filename().string();
    EXPECT_NE(said.find("cannot be made (" + shown + ": others may enter it (mode 0755))\n"), std::string::npos)
        << said;
}

TEST_F(AppTest, EscapingExceptionIsReportedAndNothingIsSavedAndTheRunFails)
{
    testGame.onInit = [] { throw quarn::Exception("the track broke"); };
    char name[] = "race";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(gaMain(1, argv), 1);
    EXPECT_TRUE(box_says("the track broke"));
    EXPECT_FALSE(std::filesystem::exists(root / "race.cfg"));
    ASSERT_NE(g_app, nullptr); // left as it was: no shut-down ran
    EXPECT_FALSE(platform::is_window_visible(g_app->window));
    // Only what runs beside the main thread was stopped: the game's hook
    // (its music), then the sound system, once.
    const auto after_init = std::find(testGame.calls.begin(), testGame.calls.end(), "GameInit");
    EXPECT_EQ(std::vector<std::string>(after_init, testGame.calls.end()),
              (std::vector<std::string>{"GameInit", "GameShutdown", "sndDone"}));
}

// An `exit` while the game runs (a library that gave up: OpenMP without
// a thread, the X library without its display) stops the sound threads
// first; with memory gone that stop may throw, which once ended the
// process through std::terminate (status 134) instead of the status the
// library chose.
TEST_F(AppTest, AnExitWhoseThreadStopThrowsEndsWithItsOwnStatus)
{
    Start();
    EXPECT_EXIT(
        {
            gaEngine.sndDone = [] { throw std::bad_alloc(); };
            std::exit(5);
        },
        testing::ExitedWithCode(5), "");
    Stop();
}

// Too little memory (`ulimit -v`) ended the start through std::terminate,
// with status 134 and no report.
TEST_F(AppTest, MemoryRunningOutIsReportedAndTheRunFails)
{
    testGame.onInit = [] { throw std::bad_alloc(); };
    char name[] = "race";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(gaMain(1, argv), 1);
    EXPECT_TRUE(box_says("Not enough memory to run the game."));
    EXPECT_FALSE(std::filesystem::exists(root / "race.cfg"));
}

// A path of exactly `length` characters: `folder`, then folders of
// names short enough for the system, then `last`.
std::filesystem::path path_of_length(const std::filesystem::path& folder, size_t length, const std::string& last)
{
    std::string path = folder.string();
    const size_t end = length - last.size() - 1;
    while (path.size() < end) {
        const size_t left = end - path.size() - 1; // after the next separator
        path += '/';
        path.append(left > 250 ? 200 : left, 'p');
    }
    return path + "/" + last;
}

// The data folder is searched for upwards from the program's folder, whose
// path is cut at '/' alone ("\" is an ordinary character of a name), and
// found by the name the loads find (its case aside): only a folder with
// that whole name, not a file named DATA nor a name that only begins like
// it (database-notes.txt once stopped the search). A path of 256
// characters or more once read as no data folder at all; one of 4,095
// characters, the most the system takes, is taken, and one longer is
// named as the cause. A data folder the judge refuses is passed over:
// another user's (only root can make one), one every user may write to,
// one reached through another user's folder in a folder every user may
// write to, and one beside a name like it (DATA.orig), which once stopped
// the search there; the folder holding it may be anybody's; another
// user's "data" too, which was once passed over without a word. Each one
// passed over is named on stderr and in the log, also when one higher up
// is taken; when none is, the box names them, and the loads give the
// refusal as their reason.
TEST_F(AppTest, TheDataSearchTakesLongPathsAndPassesOverOtherUsersFolders)
{
    namespace fs = std::filesystem;
    const fs::path deep = root / std::string(120, 'a') / std::string(120, 'b') / std::string(120, 'c');
    const fs::path longest = path_of_length(root / "long", 4095, "race");
    const fs::path bin = root / "bin";
    const fs::path theirs = root / "shared" / "theirs";
    const auto others = [](const fs::path& path) { return ::chown(path.c_str(), 65534, 65534) == 0; };
    const auto game_in_theirs = [&](bool from_inside) {
        fs::remove_all(root / "DATA");
        fs::create_directories(theirs / "game" / "DATA");
        std::ofstream(theirs / "game" / "DATA" / "shipped.cfg") << "WND_NAME = theirs\n";
        fs::permissions(theirs.parent_path(), fs::perms(01777));
        if (from_inside)
            fs::current_path(theirs / "game");
        return others(theirs);
    };
    const auto refusing = [](const fs::path& data, const fs::path& whose) {
        return "refusing the data folder " + data.string() + ": Owned by another user ('" + whose.string() +
               "', user nobody (uid 65534)): make it yours, or remove it";
    };
    const struct {
        const char* name;
        fs::path exe;
        bool as_root;
        std::function<bool()> setup; // below root, which holds DATA
        fs::path found;              // empty: none, and `said` in a box
        std::string said;            // on stderr and in the log when one is found
    } cases[] = {
        {"long path", deep / "bin" / "race", false, [&] { return fs::create_directories(deep / "DATA"); }, deep, ""},
        {"the longest path the system takes", longest, false,
         [&] { return fs::create_directories(longest.parent_path() / "DATA"); }, longest.parent_path(), ""},
        {"one past it", path_of_length(root / "long", 4096, "race"), false, [] { return true; }, {},
         "the program's path is 4096 characters long, and the system takes paths of at most 4095."},
        {"too long", root / std::string(5000, 'd') / "race", false, [] { return true; }, {},
         "the program's path is "},
        {"a folder named with a backslash", root / "back\\slash" / "bin" / "race", false,
         [&] { return fs::create_directories(root / "back\\slash" / "DATA"); }, root / "back\\slash", ""},
        {"the player's data folder in lower case", bin / "x64" / "race", false,
         [&] {
             fs::remove_all(root / "DATA");
             return fs::create_directories(root / "data");
         },
         root, ""},
        {"names that only begin like the data folder's beside the game", bin / "x64" / "race", false,
         [&] {
             std::ofstream(bin / "x64" / "database-notes.txt") << "x";
             return fs::create_directories(bin / "x64" / "DATA.old");
         },
         root, ""},
        {"a file named DATA beside the game", bin / "x64" / "race", false,
         [&] { return !!(std::ofstream(bin / "x64" / "DATA") << "x"); }, root, ""},
        {"another user's file named data in a folder every user may write to", bin / "x64" / "race", true,
         [&] {
             std::ofstream(bin / "data") << "x";
             fs::permissions(bin, fs::perms(01777));
             return others(bin / "data");
         },
         root, ""},
        {"another user's folder", bin / "x64" / "race", true,
         [&] { return fs::create_directories(bin / "DATA") && others(bin); }, bin, ""},
        // The data tool writes through a group member's link in a folder
        // shared with the group; the game reads through it the same way.
        {"a group member's link at DATA", bin / "x64" / "race", true,
         [&] {
             fs::permissions(bin, fs::perms(02775));
             fs::create_directories(bin / "mine");
             fs::create_directory_symlink("mine", bin / "DATA");
             return ::lchown((bin / "DATA").c_str(), 65534, 65534) == 0;
         },
         bin, ""},
        {"another user's data folder", bin / "x64" / "race", true,
         [&] { return fs::create_directories(bin / "DATA") && others(bin / "DATA"); }, root,
         refusing(bin / "DATA", bin / "DATA") + "; the game uses the data folder " + (root / "DATA").string()},
        {"another user's data folder in a folder every user may write to", bin / "x64" / "race", true,
         [&] {
             fs::create_directories(bin / "DATA");
             fs::permissions(bin, fs::perms(01777));
             return others(bin / "DATA");
         },
         root, refusing(bin / "DATA", bin / "DATA") + "; the game uses the data folder " + (root / "DATA").string()},
        {"another user's data folder beside a name like it", bin / "x64" / "race", true,
         [&] {
             return fs::create_directories(bin / "DATA.orig") && fs::create_directories(bin / "DATA") &&
                    others(bin / "DATA");
         },
         root, refusing(bin / "DATA", bin / "DATA")},
        {"another user's data folder in lower case", bin / "x64" / "race", true,
         [&] { return fs::create_directories(bin / "data") && others(bin / "data"); }, root,
         refusing(bin / "data", bin / "data") + "; the game uses the data folder " + (root / "DATA").string()},
        {"another user's data folder beside the player's, in a folder every user may write to", bin / "x64" / "race",
         true,
         [&] {
             fs::create_directories(bin / "DATA");
             fs::create_directories(bin / "data");
             fs::permissions(bin, fs::perms(01777));
             return others(bin / "data");
         },
         bin, refusing(bin / "data", bin / "data") + "; the game uses the data folder " + (bin / "DATA").string()},
        {"a data folder every user may write to", bin / "x64" / "race", false,
         [&] {
             fs::create_directories(bin / "DATA");
             fs::permissions(bin / "DATA", fs::perms(0777));
             return true;
         },
         root,
         "refusing the data folder " + (bin / "DATA").string() + ": Every user may write to it ('" +
             (bin / "DATA").string() + "', user "},
        // A folder's name is bytes from disk, and the program's name any
        // bytes: they reached the terminal and the log as they stand.
        {"a data folder every user may write to, in a folder named with control bytes",
         root / "ctl\x1b[2J\x9b" / "x64" / "\x1b]0;T\arace", false,
         [&] {
             fs::create_directories(root / "ctl\x1b[2J\x9b" / "DATA");
             fs::permissions(root / "ctl\x1b[2J\x9b" / "DATA", fs::perms(0777));
             return true;
         },
         root,
         "refusing the data folder " + root.string() + "/ctl\\x1b[2J\\x9b/DATA: Every user may write to it ('" +
             root.string() + "/ctl\\x1b[2J\\x9b/DATA', user "},
        {"only a refused data folder, the report answered", bin / "x64" / "race", true,
         [&] {
             fs::remove_all(root / "DATA");
             fs::create_directories(bin / "DATA");
             std::ofstream(bin / "DATA" / "shipped.cfg") << "WND_NAME = theirs\n";
             fs::current_path(bin);
             return others(bin / "DATA" / "shipped.cfg") && others(bin / "DATA");
         },
         {}, refusing(bin / "DATA", bin / "DATA")},
        {"only another user's data folder in lower case", bin / "x64" / "race", true,
         [&] {
             fs::remove_all(root / "DATA");
             fs::create_directories(bin / "data");
             std::ofstream(bin / "data" / "shipped.cfg") << "WND_NAME = theirs\n";
             fs::current_path(bin);
             return others(bin / "data");
         },
         {}, refusing(bin / "data", bin / "data")},
        // The player's own game in another user's folder in /tmp: the
        // loads say why, started from elsewhere and from inside.
        {"the game in another user's folder in a folder every user may write to", theirs / "game" / "race", true,
         [&] { return game_in_theirs(false); }, {}, refusing(theirs / "game" / "DATA", theirs)},
        {"the same, started from inside", theirs / "game" / "race", true, [&] { return game_in_theirs(true); }, {},
         refusing(theirs / "game" / "DATA", theirs)},
    };
    // The log of this test's own: other tests of the program, run beside
    // it, start the log beside the executable afresh.
    quarn_test::LogCapture log;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.as_root && ::geteuid() != 0) {
            std::printf("skipped '%s': only root can make another user's folder\n", c.name);
            continue;
        }
        for (const char* made : {"bin", "back\\slash", "shared", "data", "long", "ctl\x1b[2J\x9b"})
            fs::remove_all(root / made);
        fs::remove_all(root / std::string(120, 'a'));
        fs::create_directories(root / "DATA");
        fs::create_directories(bin / "x64");
        gaExePath = c.exe.string();
        if (c.exe.string().size() < 4096)
            fs::create_directories(c.exe.parent_path());
        ASSERT_TRUE(c.setup());
        // A file of the data folder to be found, as a font's picture is
        // (where its path is one the system takes): in the player's own
        // data folder alone, so that it is read from no other.
        const bool probed = !c.found.empty() && (c.found / "DATA" / "probe.bmp").string().size() < 4096;
        for (const char* data : {"DATA", "data"}) {
            struct stat st;
            if (probed && ::stat((c.found / data).c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
                st.st_uid == ::geteuid())
                std::ofstream(c.found / data / "probe.bmp") << "x";
        }
        platform::clear_shown_boxes();
        testing::internal::CaptureStderr();
        gaCTy& app = Start();
        const std::string said = testing::internal::GetCapturedStderr();
        if (!c.found.empty()) {
            EXPECT_EQ(std::string(app.rootDir), c.found.string() + "/");
            EXPECT_EQ(std::filesystem::current_path(), c.found);
            EXPECT_EQ(quarn::file_exists("DATA/probe.bmp"), probed);
            if (c.said.empty()) {
                EXPECT_EQ(said.find("refusing"), std::string::npos) << said;
            } else {
                EXPECT_NE(said.find("race: " + c.said), std::string::npos) << said;
                EXPECT_EQ(said.find_first_of("\x1b\a\x9b"), std::string::npos) << said;
                EXPECT_NE(log.text().find("[data] warning: " + c.said), std::string::npos);
            }
        } else {
            EXPECT_TRUE(box_says(c.said)) << c.said;
            EXPECT_EQ(app.rootDir[0], '\0');
            EXPECT_STRNE(app.cfg->GetStr("WND_NAME"), "theirs");
            // The loads say why the data is not read.
            if (c.said.rfind("refusing", 0) == 0) {
                EXPECT_EQ(platform::file_open("DATA/shipped.cfg", platform::FileOpen::read_existing),
                          platform::invalid_file);
                EXPECT_EQ(platform::system_error_text(platform::last_error()).rfind("Owned by another user", 0), 0u)
                    << platform::system_error_text(platform::last_error());
            }
        }
        Stop();
        g_app = nullptr;
        gaInstanceLock().reset();
        std::filesystem::current_path(startDir);
    }
}

TEST_F(AppTest, WindowThatCannotBeMadeEndsInOrderWithNonZeroStatus)
{
    // Why it failed, beside the bare report; the size settings are named
    // only when the size was the cause.
    const struct {
        bool for_size;
        const char* says;
    } cases[] = {
        {false, " headless: the window was refused"},
        {true, " 640 x 480 (SCR_LX, SCR_LY): headless: the window is too large"},
    };
    for (const auto& c : cases) {
        platform::clear_shown_boxes();
        std::filesystem::remove(root / "race.cfg");
        platform::headless::refuse_windows(1, c.for_size);
        char name[] = "race";
        char* argv[] = {name, nullptr};
        EXPECT_NE(gaMain(1, argv), 0);
        platform::headless::refuse_windows(0);
        EXPECT_TRUE(box_says("Can't create window"));
        EXPECT_TRUE(box_says(c.says)) << c.says;
        EXPECT_EQ(box_says("SCR_LX"), c.for_size);
        EXPECT_TRUE(std::filesystem::exists(root / "race.cfg")); // the shut-down ran
        EXPECT_EQ(g_app, nullptr);
    }
}

TEST(CenterPos, CentresAndKeepsInsideTheBounds)
{
    const rectTy work{0, 0, 1024, 768};
    EXPECT_EQ(gaCenterPos(640, 480, work, work), (platform::Point{192, 144}));
    EXPECT_EQ(gaCenterPos(641, 481, work, work), (platform::Point{192, 144})); // halves toward zero
    EXPECT_EQ(gaCenterPos(300, 200, rectTy{-100, -50, 100, 50}, work), (platform::Point{0, 0}));
    EXPECT_EQ(gaCenterPos(300, 200, rectTy{900, 700, 200, 100}, work), (platform::Point{724, 568}));
}

} // namespace
