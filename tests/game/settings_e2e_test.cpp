// The game headless on a damaged settings file or damaged data: what the
// user is told, and that nothing of the settings is lost at exit.
#include "game/game.h"

#include "engine/app/app_internal.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "tests/game/game_folder.h"
#include "tests/game/game_run.h"
#include "tests/Lib/quarn/src/quarn/log_capture.h"
#include "tools/mkdata/config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class GameSettings : public game_test::GameRun {
protected:
    GameSettings() : GameRun("quarn_game_settings_") {}

    void WriteSettings(const std::string& text) { std::ofstream(root_ / "race.cfg", std::ios::binary) << text; }

    // Starts the game; false when start-up threw (the entry would show it).
    bool Start()
    {
        g_app = new gaCTy;
        try {
            g_app->Init();
        } catch (const quarn::Exception&) {
            return false;
        }
        return true;
    }

    void Quit()
    {
        delete g_app;
        g_app = nullptr;
    }

    // What the program's `main` does, in the game folder; the entry's
    // status becomes the process's.
    [[noreturn]] static void RunProgram()
    {
        char name[] = "race";
        char* argv[] = {name, nullptr};
        const int status = gaMain(1, argv);
        platform::shutdown();
        std::_Exit(status);
    }

    static bool Shown(const std::string& words)
    {
        for (const auto& box : platform::shown_boxes())
            if (box.text.find(words) != std::string::npos)
                return true;
        return false;
    }
};

// One line without '=' near the top of the file once dropped every key
// after it, and the save at exit wrote the defaults over the best time,
// the sound and the layout.
TEST_F(GameSettings, ABadLineIsReportedAndEveryOtherSettingSurvivesTheRun)
{
    const std::string shipped = mkdata::make_config();
    WriteSettings("snd_volume 50\n" + shipped + "best_result = 61234\n");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Shown("Invalid line"));
    EXPECT_TRUE(Shown("'race.cfg', line 1: snd_volume 50"));
    g_app->OnFrame();
    char best[16];
    FormatRaceTime(best, sizeof best, 61234);
    EXPECT_EQ(g_bestText.text, best);
    cfgCTy expected;
    ASSERT_EQ(expected.Load((root_ / "race.cfg").string().c_str()).read, cfgReadTy::whole);
    EXPECT_EQ(g_newButton.sprite.x, expected.GetInt("but_new_x"));
    EXPECT_EQ(g_exitButton.sprite.y, expected.GetInt("but_exit_y"));
    Quit();

    cfgCTy saved;
    ASSERT_EQ(saved.Load((root_ / "race.cfg").string().c_str()).read, cfgReadTy::whole);
    for (const char* key : {"best_result", "snd_volume", "music", "but_new_x", "but_exit_x", "time_x", "game_over_y",
                            "FPS_LIMIT", "WND_NAME"})
        EXPECT_STREQ(saved.GetStr(key), expected.GetStr(key)) << key;
}

// FPS_LIMIT = -1 made every frame sleep for weeks, and a volume of 100000
// played six times too loud.
TEST_F(GameSettings, OutOfRangeNumbersAreReportedByKeyAndReplaced)
{
    WriteSettings(mkdata::make_config() + "FPS_LIMIT = -1\nsnd_volume = 100000\ntime_x = 2000000000\ntime_y = 12px\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(g_app->frameLimit, 0u);
    EXPECT_EQ(g_app->cfg->GetInt("snd_volume"), 100);
    EXPECT_EQ(g_app->cfg->GetInt("time_x"), 4096);
    EXPECT_TRUE(Shown("Bad value of FPS_LIMIT: -1"));
    EXPECT_TRUE(Shown("Bad value of snd_volume: 100000"));
    EXPECT_TRUE(Shown("Bad value of time_x: 2000000000"));
    EXPECT_EQ(g_app->cfg->GetInt("time_y"), 0); // no number, no nearer end
    EXPECT_TRUE(Shown("Bad value of time_y: 12px"));
    g_app->quit = 1;
    g_app->Run(); // one turn, and no sleep
    Quit();
}

// The real program on SDL's dummy driver with no display beside it, where
// no message box can be shown: a settings typo and a bad number ended the
// program with Abort's code before its window opened. The reports now go
// on as ignored, and the close request ends the race normally.
TEST_F(GameSettings, ReportsNoBoxCanShowLeaveTheRealProgramRunning)
{
    WriteSettings("snd_volume 50\n" + mkdata::make_config() + "FPS_LIMIT = -1\n");
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            platform::set_box_policy(nullptr);
            platform::shutdown();
            platform::use_backend(platform::BackendKind::sdl2);
            if (platform::backend_kind() != platform::BackendKind::sdl2)
                std::_Exit(77);
            g_soundListener = [](const char*) { platform::post_message(g_app->window, platform::msg::close); };
            RunProgram();
        },
        testing::ExitedWithCode(0), "Invalid line.*answered Ignore.*Bad value of FPS_LIMIT.*answered Ignore");
}

// A save that could not open its file ended the run as a success, losing
// the window's place and the best time without a word.
TEST_F(GameSettings, ASaveThatCannotOpenItsFileIsReported)
{
    ASSERT_TRUE(Start());
    fs::remove(root_ / "race.cfg");
    fs::create_directory(root_ / "race.cfg");
    Quit();
    EXPECT_TRUE(Shown("Can't write to file 'race.cfg'"));
    EXPECT_TRUE(fs::is_directory(root_ / "race.cfg"));
}

// The save replaces race.cfg only where the start read it whole or found
// none. A FIFO hung the exit in the open, a read-only file was replaced,
// and a missing one gave the framework's bare defaults, then saved them.
TEST_F(GameSettings, EachKindOfSettingsFileGetsWhatItShould)
{
    const fs::path cfg = root_ / "race.cfg";
    const char* kept_theirs = "the settings were not saved: 'race.cfg' was kept (Owned by another user ('race.cfg', "
                              "user nobody (uid 65534)): make it yours, or remove it)";
    const struct {
        const char* kind;
        const char* at_start; // the box, or null
        const char* at_exit;  // on stderr, or null: saved
        const char* title;    // the window's title in force
    } cases[] = {
        {"fifo", "Can't read file 'race.cfg': Not a regular file", "could not be read at start (Not a regular file)",
         "Quarn Race"},
        {"read-only", nullptr, "the settings were not saved: 'race.cfg' is read-only", "Quarn Race"},
        // In a game folder every user may write to, another user's file
        // once set the title (the screenshots' names) and was never saved.
        {"another user's",
         "Can't read file 'race.cfg': Owned by another user ('race.cfg', user nobody (uid 65534)): make it yours, "
         "or remove it",
         "could not be read at start (Owned by another user", "Quarn Race"},
        // Another user's file that appeared while the game ran, writable
        // by all, was taken over: the player's settings became writable by
        // every user.
        {"another user's, appeared in 777", nullptr, kept_theirs, "Quarn Race"},
        {"another user's, appeared in 1777", nullptr, kept_theirs, "Quarn Race"},
        // A member's link in a game folder shared with a group had the
        // settings written into the player's file it led to, and the
        // file's first line said in the log the group reads.
        {"another user's link, in a 2775 folder",
         "Can't read file 'race.cfg': Owned by another user ('race.cfg', a link of user nobody (uid 65534)): make it "
         "yours, or remove it",
         "could not be read at start (Owned by another user ('race.cfg', a link of user nobody (uid 65534))",
         "Quarn Race"},
        // A refusal of another file after race.cfg's (the cursor's) gave
        // its own reason to the exit's line about race.cfg.
        {"another user's links, race.cfg's and the cursor's, in a 2775 folder",
         "Can't read file 'race.cfg': Owned by another user ('race.cfg', a link of user nobody (uid 65534))",
         "could not be read at start (Owned by another user ('race.cfg', a link of user nobody (uid 65534)): make it "
         "yours, or remove it)",
         "Quarn Race"},
        {"the player's 0640", nullptr, nullptr, "Quarn Race"},
        // Text in another encoding is kept byte for byte, not rewritten as
        // UTF-8 with the best time lost in it.
        {"UTF-16 with its mark",
         "Can't read file 'race.cfg': it is UTF-16 text (two-byte letters from line 1, byte offset 2), and the "
         "settings are read as UTF-8",
         "could not be read at start (it is UTF-16 text", "Quarn Race"},
        {"UTF-32 without a mark",
         "Can't read file 'race.cfg': it is UTF-32 text (four-byte letters from line 1, byte offset 0), and the "
         "settings are read as UTF-8",
         "could not be read at start (it is UTF-32 text", "Quarn Race"},
        // NULs are what a crash leaves, not UTF-32: each bad line is
        // named (a NUL reads as U+FFFD), and the exit saves over them.
        {"387 NULs", "'race.cfg', line 1: \xEF\xBF\xBD", nullptr, "Quarn Race"},
        {"text, then 200 NULs", "'race.cfg', line 3: \xEF\xBF\xBD", nullptr, "theirs"},
        {"missing", nullptr, nullptr, "Quarn Race"},
        {"no shipped copy", nullptr, nullptr, "Tiny Lovely Game"},
    };
    // The log of this test's own: other tests of the program, run beside
    // it, start the log beside the executable afresh.
    quarn_test::LogCapture log;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const std::string kind = c.kind;
        const bool theirs = kind.starts_with("another user's"), appears = kind.find("appeared") != std::string::npos;
        const bool link = kind.find("link") != std::string::npos;
        if (theirs && ::geteuid() != 0) {
            std::printf("the row of another user's file is skipped: only root can give a file away\n");
            continue;
        }
        game_test::make_game_folder(root_);
        if (kind != "read-only" && kind != "the player's 0640")
            fs::remove(cfg);
        if (kind == "the player's 0640")
            fs::permissions(cfg, fs::perms(0640));
        if (kind == "fifo")
            ::mkfifo(cfg.c_str(), 0600);
        if (kind == "read-only")
            fs::permissions(cfg, fs::perms::owner_read);
        if (kind == "no shipped copy")
            fs::remove(root_ / "DATA/shipped.cfg");
        std::string encoded;
        if (kind.starts_with("UTF-")) {
            const int width = kind.starts_with("UTF-16") ? 2 : 4;
            encoded = width == 2 ? "\xFF\xFE" : "";
            for (const char ch : std::string("WND_NAME = theirs\nbest_result = 5\n"))
                encoded += ch + std::string(width - 1, '\0');
            std::ofstream(cfg, std::ios::binary) << encoded;
        }
        if (kind.ends_with("NULs")) {
            const bool text = kind.starts_with("text");
            std::ofstream(cfg, std::ios::binary) << (text ? "WND_NAME = theirs\nbest_result = 5\n" : "")
                                                 << std::string(text ? 200 : 387, '\0');
        }
        if (kind == "another user's") {
            std::ofstream(cfg) << "WND_NAME = theirs\n";
            ASSERT_EQ(::chown(cfg.c_str(), 65534, 65534), 0);
            fs::permissions(root_, fs::perms::others_write, fs::perm_options::add);
        }
        const fs::perms folder_mode = fs::status(root_).permissions();
        const std::string mine = "PRIVATE KEY\n" + mkdata::make_config() + "best_result = 7\n";
        if (link) {
            std::ofstream(root_ / "mine") << mine;
            fs::create_symlink("mine", cfg);
            ASSERT_EQ(::lchown(cfg.c_str(), 65534, 65534), 0);
            fs::permissions(root_, fs::perms(02775));
        }
        if (kind.find("cursor") != std::string::npos) {
            std::ofstream(root_ / "notes") << "PRIVATE NOTES\n";
            fs::remove(root_ / "DATA/cursor.bmp");
            fs::create_symlink("../notes", root_ / "DATA/cursor.bmp");
            ASSERT_EQ(::lchown((root_ / "DATA/cursor.bmp").c_str(), 65534, 65534), 0);
        }
        if (appears)
            fs::permissions(root_, kind.ends_with("1777") ? fs::perms(01777) : fs::perms(0777));
        platform::clear_shown_boxes();
        testing::internal::CaptureStderr();
        ASSERT_TRUE(Start());
        EXPECT_STREQ(g_app->cfg->GetStr("WND_NAME"), c.title);
        EXPECT_EQ(c.at_start && Shown(c.at_start), c.at_start != nullptr);
        if (appears) {
            std::ofstream(cfg) << "WND_NAME = theirs\n";
            ASSERT_EQ(::chown(cfg.c_str(), 65534, 65534), 0);
            fs::permissions(cfg, fs::perms(0666));
        }
        g_app->cfg->SetInt("best_result", 61234); // a race won
        Quit();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.find(c.at_exit ? c.at_exit : "not saved") != std::string::npos, c.at_exit != nullptr) << said;
        EXPECT_EQ(fs::is_fifo(cfg), kind == "fifo");
        EXPECT_EQ(!fs::is_fifo(cfg) && read_file(cfg) == mkdata::make_config(), kind == "read-only");
        if (!encoded.empty()) {
            EXPECT_EQ(read_file(cfg), encoded);
        }
        struct stat st {};
        if (link) {
            EXPECT_EQ(read_file(root_ / "mine"), mine);
            EXPECT_TRUE(fs::is_symlink(cfg));
            EXPECT_NE(log.text().find(c.at_exit), std::string::npos);
            EXPECT_EQ(log.text().find("PRIVATE KEY"), std::string::npos);
            EXPECT_EQ(said.find("PRIVATE KEY"), std::string::npos);
            fs::permissions(root_, folder_mode);
        } else if (theirs) {
            EXPECT_EQ(read_file(cfg), "WND_NAME = theirs\n");
            EXPECT_EQ(::stat(cfg.c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, 65534u);
            if (appears) {
                EXPECT_EQ(st.st_mode & 07777, 0666u);
            }
            EXPECT_NE(log.text().find(c.at_exit), std::string::npos);
            fs::permissions(root_, folder_mode & ~fs::perms::others_write);
        }
        if (!c.at_exit) {
            cfgCTy saved;
            EXPECT_EQ(saved.Load(cfg.c_str()).read, cfgReadTy::whole);
            EXPECT_EQ(saved.GetInt("best_result"), 61234);
            EXPECT_STREQ(saved.GetStr("WND_NAME"), c.title);
        }
        if (kind == "the player's 0640") {
            EXPECT_EQ(::stat(cfg.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0640u);
            EXPECT_EQ(st.st_uid, ::geteuid());
        }
        gaInstanceLock().reset();
        fs::current_path(start_dir_);
    }
    EXPECT_NE(log.text().find("the shipped settings DATA/shipped.cfg are used"), std::string::npos);
}

// Another user's race.cfg in a shared game folder sent its bad lines to the
// player's terminal and log as they stood: ESC [ 2 J cleared the screen,
// ESC ] 0 ; ... BEL set the terminal's title. Each reaches the box, stderr
// and race.log written out, cut at 80 bytes between letters.
TEST_F(GameSettings, ControlBytesOfTheSettingsFileAreShownWrittenOut)
{
    using namespace std::string_literals;
    const std::string ideo = "\xe8\xa1\x8c", emoji = "\xf0\x9f\x98\x80";
    const struct {
        std::string line; // in race.cfg, without '=': a bad line
        std::string shown;
    } rows[] = {
        {"clear \x1b[2J\x1b[H", "clear \\x1b[2J\\x1b[H"},
        {"title \x1b]0;owned\a", "title \\x1b]0;owned\\a"},
        {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
        {"bell\a del\x7f back\b", "bell\\a del\\x7f back\\b"},
        {"c1 \x9b" "2J \xc2\x9b" "2J", "c1 \\x9b2J \\u009b2J"},
        {"tab\there", "tab\\there"},
        {"latin-1 caf\xe9 \xff\xfe", "latin-1 caf\\xe9 \\xff\\xfe"},
        {"\xd0\xb6\xd7\x90 " + ideo + " " + emoji, "\xd0\xb6\xd7\x90 " + ideo + " " + emoji},
        {std::string(78, 'x') + "\xc3\xa9" + "tail", std::string(78, 'x') + "\xc3\xa9"},
        {std::string(79, 'x') + "\xc3\xa9" + "tail", std::string(79, 'x')},
        {std::string(78, 'x') + ideo + "tail", std::string(78, 'x')},
        {std::string(79, 'x') + emoji + "tail", std::string(79, 'x')},
        {std::string(77, 'x') + "\x1b" + "tail", std::string(77, 'x')},
    };
    const std::string shipped = mkdata::make_config();
    std::string text = shipped;
    for (const auto& row : rows)
        text += row.line + "\n";
    // Blanks and control bytes around a value are not part of it.
    text += "snd_volume = 5\x1b[2J0\nSCR_BPP = 1\x1b]0;x\a6\nWND_NAME = A\x1b[2JB\x9b\xc2\x9b\n";
    WriteSettings(text);
    quarn_test::LogCapture log;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(Start());
    Quit();
    const std::string said = testing::internal::GetCapturedStderr();
    const std::string logged = log.text();
    std::string boxes;
    for (const auto& box : platform::shown_boxes())
        boxes += box.text + "\n";
    unsigned number = 1 + static_cast<unsigned>(std::count(shipped.begin(), shipped.end(), '\n'));
    for (const auto& row : rows) {
        const std::string words = "'race.cfg', line " + std::to_string(number++) + ": " + row.shown + "\n";
        EXPECT_NE(boxes.find(words), std::string::npos) << words;
        EXPECT_NE(said.find(words), std::string::npos) << words;
        EXPECT_NE(logged.find(words), std::string::npos) << words;
    }
    for (const std::string words : {"Bad value of snd_volume: 5\\x1b[2J0 (", "Bad value of SCR_BPP: 1\\x1b]0;x\\a6 ("}) {
        EXPECT_NE(boxes.find(words), std::string::npos) << words;
        EXPECT_NE(said.find(words), std::string::npos) << words;
        EXPECT_NE(logged.find(words), std::string::npos) << words;
    }
    // Not one control byte but the line ends, wherever the text went.
    for (const std::string& shown : {boxes, said, logged})
        for (const char c : shown)
            EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F ? true : c == '\n' || c == '\r')
                << int(static_cast<unsigned char>(c));
    // What is shown is written out; what is saved is what the file said.
    EXPECT_NE(read_file(root_ / "race.cfg").find("\nWND_NAME = A\x1b[2JB\x9b\xc2\x9b\n"), std::string::npos);
}

// "Data error" alone left the user to guess which of the game's files was
// broken.
TEST_F(GameSettings, DataErrorsNameTheBrokenFile)
{
    struct Case {
        const char* file;
        bool starts; // the game can do without it
    };
    for (const Case c : {Case {"DATA/gameover.bmp", true}, Case {"DATA/cursor.bmp", true},
                         Case {"DATA/but_new0.bmp", true}, Case {"DATA/big-digits.fnt", true},
                         Case {"DATA/car.imgs", false}}) {
        platform::clear_shown_boxes();
        game_test::make_game_folder(root_);
        // The header stays, the rest is scrambled.
        std::string bytes = read_file(root_ / c.file);
        for (size_t i = 60; i < bytes.size(); i += 5)
            bytes[i] = char(bytes[i] ^ 0x5A);
        bytes.resize(std::min<size_t>(bytes.size(), 400));
        std::ofstream(root_ / c.file, std::ios::binary) << bytes;
        EXPECT_EQ(Start(), c.starts) << c.file;
        EXPECT_TRUE(Shown(std::string(" '") + c.file + "'")) << c.file;
        Quit();
        gaInstanceLock().reset();
        fs::current_path(start_dir_);
    }
}

// A FIFO in place of a data file held start-up in its open for good, and
// no signal ended the wait. It is now the file that cannot be opened, with
// that file's message. Each start runs in a child whose alarm ends a wait.
TEST_F(GameSettings, AFifoInPlaceOfADataFileIsAFileThatCannotBeOpened)
{
    struct Case {
        const char* file;
        bool starts;
        const char* said; // in a box; null: in the log or the exception
    };
    for (const Case c : {Case {"DATA/track.obst", false, nullptr},
                         Case {"DATA/bkg.jpg", true, "Can't open file 'DATA/bkg.jpg': Not a regular file"},
                         Case {"DATA/car.imgs", false, "Can't open file 'DATA/car.imgs'"},
                         Case {"DATA/big-digits.fda", true,
                               "Font's file can't be opened : DATA/big-digits.fda (Not a regular file)"},
                         Case {"DATA/start.wav", true, nullptr}, Case {"DATA/music.mid", true, nullptr}}) {
        game_test::make_game_folder(root_);
        fs::remove(root_ / c.file);
        ASSERT_EQ(::mkfifo((root_ / c.file).c_str(), 0600), 0);
        EXPECT_EXIT(
            {
                ::alarm(10);
                std::_Exit(Start() == c.starts && (!c.said || Shown(c.said)) ? 0 : 1);
            },
            testing::ExitedWithCode(0), "")
            << c.file;
    }
}

// The tests' game folder takes the data tool's settings, not the file a
// player's runs left in the build folder (a window position placed by a
// window manager moved every test picture).
TEST_F(GameSettings, TheTestFolderIgnoresAPlayersSavedSettings)
{
    const fs::path build = root_ / "player_build";
    fs::create_directories(build);
    fs::copy(root_ / "DATA", build / "DATA", fs::copy_options::recursive);
    std::ofstream(build / "race.cfg", std::ios::binary) << mkdata::make_config() << "WINDOW_X = 1\nWINDOW_Y = 20\n";
    const fs::path folder = root_ / "fresh";
    game_test::make_game_folder(folder, build);
    EXPECT_EQ(read_file(folder / "race.cfg"), mkdata::make_config());
}

} // namespace
