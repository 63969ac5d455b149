// The generated data, read back by the engine's own readers, and the track
// checks that guard it.
#include "tools/mkdata/command_line.h"
#include "tools/mkdata/data.h"
#include "tools/mkdata/layout.h"
#include "tools/mkdata/track_check.h"
#include "tests/support/as_unprivileged.h"
#include "tests/support/no_free_descriptor.h"
#include "tests/support/refused_calls.h"

#include "engine/gfx/gfx.h"
#include "physics/physics.h"
#include "quarn/quarn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

uint32_t le32(const std::string& s, size_t at)
{
    uint32_t v;
    std::memcpy(&v, s.data() + at, 4);
    return v;
}

uint32_t be32(const std::string& s, size_t at)
{
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 | uint32_t(uint8_t(s[at + 2])) << 8
        | uint8_t(s[at + 3]);
}

class GeneratedData : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // CTest runs the cases of this suite as processes side by side: each
        // gets a folder of its own.
        dir_ = new fs::path(fs::temp_directory_path() / ("mkdata_test_" + std::to_string(std::random_device {}())));
        fs::remove_all(*dir_);
        ASSERT_EQ(mkdata::write_game_data(dir_->string()), 0);
    }
    static void TearDownTestSuite()
    {
        fs::remove_all(*dir_);
        delete dir_;
    }
    static fs::path data(const char* name) { return *dir_ / "DATA" / name; }
    static fs::path* dir_;
};
fs::path* GeneratedData::dir_ = nullptr;

// Counts the tree's leaves by shape kind.
std::map<uint32_t, int> leaf_kinds(const quarn::cls2::Collidable& c)
{
    std::map<uint32_t, int> kinds;
    c.primitives.for_each([&](const quarn::cls2::PrimitiveTree::Node& n) {
        if (n.is_leaf())
            ++kinds[n.primitive->kind];
    });
    return kinds;
}

TEST_F(GeneratedData, ShapesReadBackThroughTheObjectStreams)
{
    quarn::dyn::Obstacle track;
    {
        quarn::io::IArcStream in(data("track.obst").c_str());
        quarn::cls2::read_collidable(in, track);
        EXPECT_TRUE(in.good());
    }
    track.build_bounds(false);
    const auto kinds = leaf_kinds(track);
    EXPECT_EQ(kinds.size(), 1u);
    EXPECT_GT(kinds.at(quarn::cls2::kind_segment), 300);
    // Every group under the root holds at most 16 walls.
    for (auto* g = track.primitives.root()->first_child; g; g = g->next_sibling) {
        int n = 0;
        for (auto* s = g->first_child; s; s = s->next_sibling)
            ++n;
        EXPECT_LE(n, 16);
    }

    quarn::dyn::RigidBody car;
    quarn::io::IArcStream in(data("car.obst").c_str());
    quarn::cls2::read_collidable(in, car);
    car.build_bounds(true);
    EXPECT_EQ(leaf_kinds(car), (std::map<uint32_t, int> { { quarn::cls2::kind_circle, 2 } }));
}

TEST_F(GeneratedData, CarPicturesAreAnImageSetOfAntiAliasedAlphaImages)
{
    rwCTy* s = rwRdOpen(data("car.imgs").c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(rwReadU32(s), 0xFFFF0001u);
    const uint32_t n = rwReadU32(s);
    EXPECT_EQ(n, 64u);
    EXPECT_EQ(rwReadU32(s), 0u); // no shared palettes
    std::vector<uint32_t> offsets(n);
    for (uint32_t& o : offsets)
        o = rwReadU32(s);
    char* name = rwReadStr(s);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "imgAlpha");
    memFree(name);
    EXPECT_EQ(rwReadStr(s), nullptr); // the end of the name table
    std::vector<imgAlpha> images(n);
    for (auto& image : images) {
        EXPECT_EQ(rwReadU32(s), 0u);
        ASSERT_EQ(image.ReadHeader(s), 0);
    }
    std::vector<uint32_t> pels(32 * 32);
    auto alpha = [&](int x, int y) { return pels[size_t(y) * 32 + size_t(x)] >> 24; };
    for (uint32_t i = 0; i < n; ++i) {
        rwSeek(s, offsets[i]);
        ASSERT_EQ(images[i].ReadBody(s), 0);
        ASSERT_EQ(images[i].width, 32);
        images[i].Decode(pels.data());
        // Corners are clear, the middle is car, and the edges are neither.
        EXPECT_EQ(alpha(0, 0), 0u);
        EXPECT_EQ(alpha(16, 16), 255u);
        EXPECT_GT(images[i].alphaCount, 20u);
        if (i == 0) {
            // Picture 0 points right: long across, short up and down.
            EXPECT_GT(alpha(3, 16), 0u);
            EXPECT_EQ(alpha(16, 3), 0u);
            EXPECT_GT(alpha(28, 16), 0u);
            EXPECT_EQ(alpha(16, 28), 0u);
        }
    }
    rwClose(s);
}

TEST_F(GeneratedData, FontSoundsAndMusicHaveTheirFormats)
{
    const std::string fda = read_all(data("big-digits.fda"));
    ASSERT_EQ(fda.size(), 4128u);
    EXPECT_EQ(le32(fda, 0), 0x01746E66u);
    const uint32_t reference = le32(fda, 4);
    auto box_x = [&](unsigned c) { return le32(fda, 28 + c * 16); };
    for (unsigned c : { unsigned('A'), unsigned('z'), 200u })
        EXPECT_EQ(box_x(c), box_x(reference)) << c;
    for (unsigned c : { unsigned('0'), unsigned('9'), unsigned(':'), unsigned('-') })
        EXPECT_NE(box_x(c), box_x(reference)) << c;

    for (const char* name : { "start", "hit", "checkpoint", "lap", "gameover", "click" }) {
        const std::string wav = read_all(data((std::string(name) + ".wav").c_str()));
        ASSERT_GT(wav.size(), 44u) << name;
        EXPECT_EQ(wav.substr(0, 4) + wav.substr(8, 8), "RIFFWAVEfmt ") << name;
        EXPECT_EQ(le32(wav, 20), 0x00010001u) << name; // PCM, mono
        const double seconds = double(le32(wav, 40)) / 2 / le32(wav, 24);
        EXPECT_EQ(seconds > 2.0, std::strcmp(name, "gameover") == 0) << name << " " << seconds;
    }

    const std::string mid = read_all(data("music.mid"));
    ASSERT_EQ(mid.substr(0, 4), "MThd");
    EXPECT_EQ(be32(mid, 8), 0x00010003u); // format 1, three tracks
    size_t at = 14;
    for (int t = 0; t < 3; ++t) {
        ASSERT_EQ(mid.substr(at, 4), "MTrk");
        const uint32_t len = be32(mid, at + 4);
        EXPECT_EQ(mid.substr(at + 8 + len - 3, 3), std::string("\xFF\x2F\x00", 3));
        if (t > 0) { // the last event before the end is a note-off
            EXPECT_EQ(uint8_t(mid[at + 8 + len - 7]) & 0xF0, 0x80);
        }
        at += 8 + len;
    }
    EXPECT_EQ(at, mid.size());
}

TEST_F(GeneratedData, ConfigurationPlacesTheButtonsClearOfTrackAndGameOver)
{
    cfgCTy cfg;
    ASSERT_EQ(cfg.Load((*dir_ / "race.cfg").string().c_str()).read, cfgReadTy::whole);
    EXPECT_EQ(cfg.GetInt("SCR_LX"), 800);
    EXPECT_EQ(cfg.GetInt("SCR_LY"), 600);
    EXPECT_EQ(cfg.GetInt("FPS_LIMIT"), 16);
    EXPECT_GT(cfg.GetInt("snd_volume"), 0);
    const mkdata::Track track = mkdata::design_track();
    const int gx = cfg.GetInt("game_over_x"), gy = cfg.GetInt("game_over_y");
    for (const char* b : { "but_new", "but_exit" }) {
        const int x = cfg.GetInt((std::string(b) + "_x").c_str()), y = cfg.GetInt((std::string(b) + "_y").c_str());
        for (int dx : { 0, mkdata::button_width })
            for (int dy : { 0, mkdata::button_height }) {
                const mkdata::Vec2 p { float(x + dx), float(y + dy) };
                EXPECT_FALSE(mkdata::on_road(track, p)) << b;
                EXPECT_FALSE(p.x >= gx && p.x <= gx + mkdata::game_over_width && p.y >= gy
                    && p.y <= gy + mkdata::game_over_height)
                    << b;
            }
    }
}

TEST_F(GeneratedData, EveryRunWritesTheSameBytes)
{
    const fs::path again = *dir_ / "again";
    ASSERT_EQ(mkdata::write_game_data(again.string()), 0);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(*dir_ / "DATA")) {
        EXPECT_EQ(read_all(entry.path()), read_all(again / "DATA" / entry.path().filename())) << entry.path();
        ++files;
    }
    EXPECT_EQ(files, 21);
    // The copy the game starts from when race.cfg is missing.
    EXPECT_EQ(read_all(*dir_ / "DATA" / "shipped.cfg"), read_all(*dir_ / "race.cfg"));
    // The settings a player's games saved survive the next run (a rebuild)
    // byte for byte: shorter than the shipped text, so that the shipped
    // text written over their start would show.
    std::ofstream(again / "race.cfg") << "best_result = 4321\n";
    const std::string played = read_all(again / "race.cfg");
    ASSERT_EQ(mkdata::write_game_data(again.string()), 0);
    EXPECT_EQ(read_all(again / "race.cfg"), played);

    // Settings kept elsewhere through a link, or a chain of links each
    // relative to its own folder: a target that is missing gets the shipped
    // settings (the link was once taken for a kept file, and nothing was
    // written), and one that exists is left alone.
    const fs::path linked = *dir_ / "linked";
    for (const bool chain : {false, true}) {
        SCOPED_TRACE(chain ? "two links" : "one link");
        fs::remove_all(linked);
        fs::create_directories(linked / "kept");
        fs::create_directories(linked / "via");
        fs::create_symlink(chain ? "via/race.cfg" : "kept/race.cfg", linked / "race.cfg");
        fs::create_symlink("../kept/race.cfg", linked / "via" / "race.cfg");
        ASSERT_EQ(mkdata::write_game_data(linked.string()), 0);
        EXPECT_TRUE(fs::is_symlink(linked / "race.cfg"));
        EXPECT_EQ(read_all(linked / "kept" / "race.cfg"), read_all(*dir_ / "race.cfg"));
        std::ofstream(linked / "kept" / "race.cfg", std::ios::app) << "best_result = 4321\n";
        const std::string kept = read_all(linked / "kept" / "race.cfg");
        ASSERT_EQ(mkdata::write_game_data(linked.string()), 0);
        EXPECT_EQ(read_all(linked / "kept" / "race.cfg"), kept);
    }
    // A link that leads nowhere at all, a folder and a link to one are
    // reported with the reason; the folder passed for kept settings. A
    // group member's link in the group's folder, to settings of the
    // player's, passed for them too: the player's file could be any.
    struct Row {
        const char* to;
        uid_t owner;
        std::string why; // all that is said after "mkdata: "
    };
    const std::string members = "Owned by another user ('" + (linked / "race.cfg").string() +
                                "', a link of user nobody (uid 65534)): make it yours, or remove it";
    const std::string there = "cannot open the race.cfg that is there: ";
    for (const Row& row : {Row {"race.cfg", 0, there + "Too many levels of symbolic links"},
             Row {"kept", 0, there + "Is a directory"}, Row {nullptr, 0, there + "Is a directory"},
             Row {"kept/race.cfg", 65534, "cannot write race.cfg: " + members}}) {
        if (row.owner != 0 && ::geteuid() != 0)
            continue; // only root can give a link away
        fs::remove_all(linked / "race.cfg");
        if (row.to)
            fs::create_symlink(row.to, linked / "race.cfg");
        else
            fs::create_directory(linked / "race.cfg");
        if (row.owner != 0) {
            ASSERT_EQ(::lchown((linked / "race.cfg").c_str(), row.owner, row.owner), 0);
            fs::permissions(linked, fs::perms(02775));
        }
        testing::internal::CaptureStderr();
        EXPECT_EQ(mkdata::write_game_data(linked.string()), 1) << row.why;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "mkdata: " + row.why + "\n");
    }
}

// Another user could have made DATA/ before the player's first build: a
// folder of theirs, or one every user may write to, is refused whole, with
// the folder, whose it is and the way out. The game judges a data folder
// by the same function, so the rows that pass (a group's folder, the
// player's own link at DATA, a start under any umask) are what it reads.
// What the tool makes has its mode whatever the umask: under `umask 777`
// the first folder of `mkdata x/a/b` was left with mode 000 and the tool
// failed, and under `umask 277` race.cfg was made 0400, which the game
// takes for settings frozen by the player and never saves into.
TEST(DataFolder, AnotherUsersOrEveryonesFolderIsRefused)
{
    const fs::path dir = fs::temp_directory_path() / ("mkdata_refused_" + std::to_string(std::random_device {}()));
    const uid_t player = ::geteuid();
    struct Row {
        const char* what;
        bool as_root; // gives names away
        std::function<void()> setup;
        const char* why; // "": written
        mode_t umask = 022;
        // The game's folder, made by the tool, relative to `dir`; run as a
        // user whose opens modes limit (root's ignore them).
        const char* made = nullptr;
        bool modes_refused = false; // as by a file system that keeps no modes
        const char* said = nullptr; // all stderr says, for a run that fails on the way
    };
    const auto own = [](const fs::path& path, uid_t owner) { ASSERT_EQ(::lchown(path.c_str(), owner, 100), 0); };
    const Row rows[] = {
        {"another user's folder", true,
         [&] {
             fs::create_directories(dir / "DATA");
             own(dir / "DATA", 65534);
         },
         "Owned by another user ('"},
        {"a folder every user may write to", false,
         [&] {
             fs::create_directories(dir / "DATA");
             fs::permissions(dir / "DATA", fs::perms(0777));
         },
         "Every user may write to it ('"},
        // A teammate's folder shared with the group, holding the player's
        // own data folder.
        {"a group's folder", true,
         [&] {
             fs::permissions(dir, fs::perms(02775));
             own(dir, 65534);
         },
         ""},
        // The game reads through it; the tool writes only through the
        // player's and root's links, as the teammate could aim it at any
        // folder of the player's.
        {"a teammate's link at DATA in a group's folder", true,
         [&] {
             fs::permissions(dir, fs::perms(02775));
             fs::create_directories(dir / "mine");
             fs::create_directory_symlink("mine", dir / "DATA");
             own(dir / "DATA", 65534);
         },
         "Owned by another user ('"},
        {"a start under umask 000", false, [] {}, "", 0},
        {"a start under umask 777", false, [] {}, "", 0777, "x/a/b"},
        {"a start under umask 707", false, [] {}, "", 0707, "x/a/b"},
        {"a start under umask 770", false, [] {}, "", 0770, "x/a/b"},
        {"a start under umask 577", false, [] {}, "", 0577, "x/a/b"},
        {"a start under umask 277", false, [] {}, "", 0277, "x/a/b"},
        // Every file and folder was made, refused its mode and removed.
        {"a file system that keeps no modes", false, [] {}, "", 022, "x/a/b", true},
        // The folders below the first one lost the group's setgid bit.
        {"a folder shared with a group", false, [&] { fs::permissions(dir, fs::perms(02775)); }, "", 022, "x/a/b"},
        // The data folder never reached was named.
        {"a folder on the way closed to the player", false,
         [&] { fs::create_directory(dir / "x"), fs::permissions(dir / "x", fs::perms::none); }, "", 022, "x/a/b", false,
         "mkdata: cannot make the folder x/a: Permission denied\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.as_root && player != 0) {
            std::printf("the row '%s' is skipped: only root can give a folder away\n", row.what);
            continue;
        }
        fs::remove_all(dir);
        fs::create_directories(dir);
        row.setup();
        testing::internal::CaptureStderr();
        int status = 1;
        if (row.made) {
            // The group too: a setgid bit is kept only by its group's members.
            const uid_t user = test_support::unprivileged_user;
            for (const fs::path& mine : {dir, dir / "x"}) {
                if (player == 0 && fs::exists(mine)) {
                    ASSERT_EQ(::lchown(mine.c_str(), user, user), 0);
                }
            }
            status = test_support::as_unprivileged(dir, [&] {
                if (row.modes_refused && !test_support::refuse_modes())
                    return false;
                ::umask(row.umask);
                return mkdata::write_game_data(row.made) == 0;
            }) ? 0 : 1;
        } else {
            const mode_t umask_before = ::umask(row.umask);
            status = mkdata::write_game_data(dir.string());
            ::umask(umask_before);
        }
        const std::string said = testing::internal::GetCapturedStderr();
        if (row.said) {
            EXPECT_EQ(status, 1);
            EXPECT_EQ(said, row.said);
            fs::permissions(dir / "x", fs::perms::owner_all);
            continue;
        }
        if (*row.why) {
            EXPECT_EQ(status, 1);
            EXPECT_EQ(said.rfind("mkdata: refusing the data folder " + (dir / "DATA").string() + ": " + row.why +
                                     (dir / "DATA").string() + "', ",
                                 0),
                      0u)
                << said;
            EXPECT_NE(said.find("or remove it\n"), std::string::npos) << said;
            EXPECT_TRUE(fs::is_empty(dir / "DATA"));
            EXPECT_FALSE(fs::exists(dir / "race.cfg"));
            continue;
        }
        EXPECT_EQ(status, 0) << said;
        const fs::path game = row.made ? dir / row.made : dir;
        EXPECT_TRUE(fs::exists(game / "DATA" / "car.imgs"));
        const fs::perms setgid = fs::status(dir).permissions() & fs::perms::set_gid;
        for (fs::path folder = game / "DATA"; folder != dir; folder = folder.parent_path()) {
            const fs::perms mode = fs::status(folder).permissions() & (fs::perms::all | fs::perms::set_gid);
            EXPECT_EQ(mode, fs::perms(0755) | setgid) << folder;
        }
        EXPECT_EQ(fs::status(game / "race.cfg").permissions(), fs::perms(0644));
        std::error_code listed; // none when the folder is missing, which is said above
        for (const auto& entry : fs::directory_iterator(game / "DATA", listed)) {
            EXPECT_EQ(entry.status().permissions(), fs::perms(0644)) << entry.path();
        }
    }
    fs::remove_all(dir);
}

// Links planted at the data files' names are replaced by the files; what
// they led to is left as it was.
TEST(DataFolder, LinksAtTheFilesNamesAreReplacedNotWrittenThrough)
{
    const fs::path dir = fs::temp_directory_path() / ("mkdata_links_" + std::to_string(std::random_device {}()));
    fs::create_directories(dir / "DATA");
    fs::create_directories(dir / "outside");
    // The temporary names too: a file is made new there, never opened.
    for (const char* name : {"shipped.cfg", "gameover.bmp", "car.imgs", "track.obst", ".car.imgs.0.new"}) {
        std::ofstream(dir / "outside" / name) << "the player's own " << name;
        fs::create_symlink(dir / "outside" / name, dir / "DATA" / name);
    }
    ASSERT_EQ(mkdata::write_game_data(dir.string()), 0);
    EXPECT_EQ(read_all(dir / "outside" / ".car.imgs.0.new"), "the player's own .car.imgs.0.new");
    for (const char* name : {"shipped.cfg", "gameover.bmp", "car.imgs", "track.obst"}) {
        EXPECT_FALSE(fs::is_symlink(dir / "DATA" / name)) << name;
        EXPECT_EQ(read_all(dir / "outside" / name), std::string("the player's own ") + name);
    }
    EXPECT_EQ(read_all(dir / "DATA" / "shipped.cfg"), read_all(dir / "race.cfg"));
    fs::remove_all(dir);
}

// `--help` and `-h` were once taken for the folder: the tool made a folder
// of that name, full of data, and said nothing.
TEST(CommandLine, OptionsFollowTheConvention)
{
    using Action = mkdata::Command::Action;
    const struct {
        std::vector<const char*> argv;
        Action action;
        const char* folder_or_complaint;
    } rows[] = {
        {{"mkdata", "out"}, Action::make, "out"},
        {{"mkdata", "--help"}, Action::help, ""},
        {{"mkdata", "-x", "-h"}, Action::refuse, "unknown option '-x'"},
        {{"mkdata", "-h", "-x"}, Action::refuse, "unknown option '-x'"},
        {{"mkdata", "-x", "out"}, Action::refuse, "unknown option '-x'"},
        // An empty name would have the data made in "/".
        {{"mkdata", ""}, Action::refuse, "the folder's name is empty"},
        {{"mkdata", "--", ""}, Action::refuse, "the folder's name is empty"},
        {{"mkdata", "--", "-h"}, Action::make, "-h"},
        {{"mkdata", "--"}, Action::refuse, "no folder given"},
        {{"mkdata", "a", "b"}, Action::refuse, "more than one folder given"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.argv.back());
        const mkdata::Command command = mkdata::parse_command_line(int(row.argv.size()), row.argv.data());
        EXPECT_EQ(command.action, row.action);
        EXPECT_EQ(row.action == Action::make ? command.folder : command.complaint, row.folder_or_complaint);
    }
}

// The tool itself, as a shell runs it: what it prints and its status. The
// child's standard output and error go to a file of the test's own.
struct ToolRun {
    int status = -1; // the exit status; -1 when it did not exit
    std::string said;
};

// The tool runs in `dir`, and as root as the unprivileged user, who is
// given `dir`: a folder name the tool took wrongly ("" for "/") then
// reaches no folder outside the test's. The program is opened before the
// user changes, as the folders above it may be closed to that user.
ToolRun run_tool(const fs::path& dir, const std::vector<std::string>& args, rlim_t address_space = RLIM_INFINITY,
                 rlim_t file_size = RLIM_INFINITY, rlim_t open_files = RLIM_INFINITY)
{
    const fs::path said = dir / "said";
    if (::geteuid() == 0 && ::chown(dir.c_str(), test_support::unprivileged_user, test_support::unprivileged_user) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        const int program = ::open(QUARN_MKDATA_PROGRAM, O_RDONLY | O_CLOEXEC);
        if (program < 0 || ::chdir(dir.c_str()) != 0 || !test_support::become_unprivileged() ||
            !std::freopen("said", "w", stdout) || ::dup2(STDOUT_FILENO, STDERR_FILENO) < 0)
            ::_exit(126);
        rlimit limit{address_space, address_space};
        ::setrlimit(RLIMIT_AS, &limit);
        rlimit size{};
        if (file_size != RLIM_INFINITY && ::getrlimit(RLIMIT_FSIZE, &size) == 0) {
            size.rlim_cur = file_size; // soft: the tool sees EFBIG, as on a full disk
            ::setrlimit(RLIMIT_FSIZE, &size);
        }
        if (open_files != RLIM_INFINITY) {
            // As `ulimit -n` in a shell: the tool starts with 0, 1 and 2
            // open, whatever the test's own process holds.
            rlimit files{open_files, open_files};
            if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0 || ::setrlimit(RLIMIT_NOFILE, &files) != 0)
                ::_exit(126);
        }
        std::vector<char*> argv{const_cast<char*>("mkdata")};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::fexecve(program, argv.data(), environ);
        ::_exit(127);
    }
    int status = 0;
    ToolRun run;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    run.said = read_all(said);
    fs::remove(said);
    return run;
}

// What the usage says a shell sees: help on standard output and status 0;
// an unknown option, wherever it stands, or an empty folder name refused
// with the usage and status 2, nothing made.
TEST(CommandLine, TheToolsStatusIsTheConventions)
{
    const fs::path dir = fs::temp_directory_path() / ("mkdata_status_" + std::to_string(std::random_device {}()));
    fs::create_directories(dir);
    const struct {
        std::vector<std::string> args;
        int status;
        const char* said;
    } rows[] = {
        {{"-h"}, 0, "mkdata [--] <folder>"},
        {{"--help"}, 0, "mkdata [--] <folder>"},
        {{"-x", "-h"}, 2, "mkdata: unknown option '-x'"},
        {{"-x", "out"}, 2, "mkdata: unknown option '-x'"},
        {{""}, 2, "mkdata: the folder's name is empty"},
        {{"--", ""}, 2, "mkdata: the folder's name is empty"},
        {{}, 2, "mkdata [--] <folder>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.empty() ? "no arguments" : row.args.front());
        const ToolRun run = run_tool(dir, row.args);
        EXPECT_EQ(run.status, row.status) << run.said;
        EXPECT_NE(run.said.find(row.said), std::string::npos) << run.said;
        EXPECT_NE(run.said.find("usage: mkdata [--] <folder>"), std::string::npos) << run.said;
    }
    EXPECT_TRUE(fs::is_empty(dir));
    fs::remove_all(dir);
}

// Memory running out while the data is made (`ulimit -v`): the tool says
// so and ends with status 1, and every file it leaves is whole, the very
// bytes of a run that had memory enough. Limits a megabyte apart pass
// through the tool's whole run: below them the system's loader itself
// fails (127), above them the run ends well.
TEST(DataFolder, MemoryRunningOutLeavesNoFileInPart)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory takes terabytes of address space, past any such limit";
#endif
    const fs::path dir = fs::temp_directory_path() / ("mkdata_memory_" + std::to_string(std::random_device {}()));
    fs::create_directories(dir);
    ASSERT_EQ(run_tool(dir, {"whole"}).status, 0);
    int ran_out = 0, ended_well = 0;
    for (rlim_t mb = 20; mb <= 64 && ended_well == 0; ++mb) {
        SCOPED_TRACE(std::to_string(mb) + " MB");
        fs::remove_all(dir / "cut");
        const ToolRun run = run_tool(dir, {"cut"}, mb << 20);
        if (run.status == 127 && run.said.find("error while loading shared libraries") != std::string::npos)
            continue;
        ASSERT_TRUE(run.status == 0 || run.status == 1) << run.status << ": " << run.said;
        if (run.status == 1) {
            ++ran_out;
            // Where it ran out: in the tool's own code, or in a write that
            // the system refused for want of memory.
            EXPECT_TRUE(run.said.find("mkdata: not enough memory to make the game's data") != std::string::npos ||
                        run.said.find(": Cannot allocate memory") != std::string::npos)
                << run.said;
        } else {
            ++ended_well;
        }
        if (!fs::exists(dir / "cut"))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(dir / "cut")) {
            if (!entry.is_regular_file())
                continue;
            const fs::path name = fs::relative(entry.path(), dir / "cut");
            EXPECT_EQ(read_all(entry.path()), read_all(dir / "whole" / name)) << name;
        }
    }
    EXPECT_GT(ran_out, 0);
    EXPECT_EQ(ended_well, 1);
    fs::remove_all(dir);
}

// A write the disk refuses (full, or a file size limit) was said as
// "mkdata: i/o error" when it came through a physics stream: the file and
// the reason were only in the tool's log. Each row's limit is below the
// file named, and above every file written before it.
TEST(DataFolder, AWriteTheDiskRefusesNamesTheFileAndWhy)
{
    const fs::path dir = fs::temp_directory_path() / ("mkdata_fsize_" + std::to_string(std::random_device {}()));
    fs::create_directories(dir);
    const struct {
        rlim_t limit;
        int taken; // temporary names of track.obst taken beforehand
        const char* said;
    } rows[] = {
        {1024, 0, "mkdata: cannot write track.obst: File too large\n"},
        // Said "File exists", of a name that did not exist.
        {RLIM_INFINITY, 100,
         "mkdata: cannot write track.obst: Every name for a new file is taken, the first ('.track.obst.0.new', "
         "yours): remove those names\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.said);
        fs::create_directories(dir / "out" / "DATA");
        for (int n = 0; n < row.taken; ++n)
            std::ofstream(dir / "out" / "DATA" / (".track.obst." + std::to_string(n) + ".new")) << "kept";
        // The tool runs as the user a run as root drops to: the names are
        // that user's.
        const bool root = ::geteuid() == 0;
        const auto tools = [&](const fs::path& at) {
            EXPECT_EQ(::lchown(at.c_str(), root ? test_support::unprivileged_user : ::geteuid(),
                               root ? test_support::unprivileged_user : ::getegid()),
                      0);
        };
        tools(dir / "out");
        for (const auto& entry : fs::recursive_directory_iterator(dir / "out"))
            tools(entry.path());
        const ToolRun run = run_tool(dir, {"out"}, RLIM_INFINITY, row.limit);
        EXPECT_EQ(run.status, 1) << run.said;
        EXPECT_NE(run.said.find(row.said), std::string::npos) << run.said;
        fs::remove_all(dir / "out");
    }
    fs::remove_all(dir);
}

// Too few open files (`ulimit -n`), from a limit the loader itself fails
// under up to one the tool runs under: each failure is said with its
// reason, and a folder or a race.cfg that is there is never said to be one
// that could not be made or written. A race.cfg that is there keeps its
// bytes, and keeping it takes no more open files than writing it new: a
// game that was played is made under every limit a first run is made under.
TEST(DataFolder, TooFewOpenFilesIsSaidAsSuch)
{
    if (test_support::sanitizer_needs_descriptors)
        GTEST_SKIP() << test_support::sanitizer_needs_descriptors_reason;
    const fs::path dir = fs::temp_directory_path() / ("mkdata_files_" + std::to_string(std::random_device {}()));
    fs::create_directories(dir);
    const struct {
        const char* what;
        bool played; // a game folder with race.cfg, else a first run
    } rows[] = {{"a first run", false}, {"a game that was played", true}};
    std::map<std::string, rlim_t> fewest; // the fewest open files a first run is made under, by name
    for (const auto& row : rows) {
        int failed = 0, wrote = 0;
        fs::remove_all(dir / "out");
        if (row.played) {
            ASSERT_EQ(run_tool(dir, {"out"}).status, 0);
            std::ofstream(dir / "out" / "race.cfg", std::ios::app) << "best_result = 4321\n";
        }
        // Relative, so that the walk starts at "."; absolute, so that it
        // passes "/" too, where the tool's user may enter every folder
        // above the test's (run by root, the tests' temporary folder may be
        // closed to that user).
        std::vector<std::string> names{"out"};
        if (test_support::as_unprivileged(dir, [&] { return ::access(dir.c_str(), X_OK) == 0; }))
            names.push_back((dir / "out").string());
        for (const std::string& name : names) {
            for (rlim_t limit = 3; limit <= 8; ++limit) {
                SCOPED_TRACE(std::string(row.what) + ", " + name + ", at most " + std::to_string(limit) + " open files");
                if (!row.played)
                    fs::remove_all(dir / "out");
                const std::string kept = read_all(dir / "out" / "race.cfg");
                const ToolRun run = run_tool(dir, {name}, RLIM_INFINITY, RLIM_INFINITY, limit);
                if (run.status == 127) // the system's loader, before the tool
                    continue;
                if (row.played) {
                    EXPECT_EQ(read_all(dir / "out" / "race.cfg"), kept);
                    EXPECT_TRUE(!fewest.contains(name) || limit < fewest[name] || run.status == 0) << run.said;
                } else if (run.status == 0) {
                    fewest.try_emplace(name, limit);
                }
                if (run.status == 0) {
                    ++wrote;
                    EXPECT_EQ(run.said, "");
                    continue;
                }
                ++failed;
                EXPECT_EQ(run.status, 1) << run.said;
                EXPECT_TRUE(run.said.starts_with("mkdata: ") && run.said.ends_with(": Too many open files\n") &&
                            std::count(run.said.begin(), run.said.end(), '\n') == 1)
                    << run.said;
                // Every folder above DATA was there before the run.
                const size_t made = run.said.find("cannot make the folder ");
                if (made != std::string::npos) {
                    EXPECT_TRUE(
                        run.said.substr(made).starts_with("cannot make the folder " + (fs::path(name) / "DATA").string()))
                        << run.said;
                }
                if (row.played) {
                    EXPECT_EQ(run.said.find("cannot write race.cfg"), std::string::npos) << run.said;
                }
            }
        }
        EXPECT_GT(failed, 0) << row.what;
        EXPECT_GT(wrote, 0) << row.what;
    }
    fs::remove_all(dir);
}

TEST(TrackCheck, FindsAWallAcrossTheRoadAndAGateOffTheWalls)
{
    mkdata::Track track = mkdata::design_track();
    ASSERT_TRUE(mkdata::check_track(track).empty());

    // A wall across the road beyond gate 2 stops the autopilot.
    const mkdata::TrackPoint& p = track.centre[track.gate_index[2] + 40];
    const mkdata::Vec2 side = mkdata::perp(p.tangent) * (p.half_width + 1);
    mkdata::Track blocked = track;
    blocked.walls.push_back({ p.p - side, p.p + side });
    const auto faults = mkdata::check_track(blocked);
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_NE(faults[0].find("autopilot"), std::string::npos);

    // Walls moved away from a gate's ends are found.
    mkdata::Track wide = track;
    for (auto& wall : wide.walls)
        for (auto& v : wall)
            v = v + mkdata::Vec2 { 0, 3 };
    bool gate_fault = false;
    for (const auto& f : mkdata::check_track(wide))
        gate_fault |= f.find("from the walls") != std::string::npos;
    EXPECT_TRUE(gate_fault);
}

TEST(Autopilot, DrivesThreeCleanLapsAtOtherFrameTimes)
{
    const mkdata::Track track = mkdata::design_track();
    for (float frame : { 0.010f, 0.033f }) {
        const mkdata::LapRun run = mkdata::drive_laps(track, frame);
        EXPECT_EQ(run.laps, 3) << frame;
        EXPECT_EQ(run.gates_passed, 18) << frame;
        EXPECT_EQ(run.crash_contacts, 0) << frame;
        EXPECT_LT(run.seconds, 60) << frame;
    }
}

} // namespace
