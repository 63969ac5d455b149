#include "quarn/Log.h"

#include "scratch_dir.h"
#include "tests/support/as_unprivileged.h"
#include "tests/support/no_free_descriptor.h"
#include "tests/support/refused_calls.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace om = quarn::open_mode;

// A log buffer writing into a scratch file.
struct BufFixture : testing::Test {
    quarn_test::ScratchDir dir;
    quarn::LogFileBuf buf;
    quarn::LogStream out{&buf};

    void SetUp() override
    {
        buf.set_echo(false);
        buf.set_file((dir / "t.log").c_str(), om::out | om::trunc);
    }
    std::string written()
    {
        out.flush();
        return dir.read("t.log");
    }
};

// What a message should look like in the file.
std::string formatted(const std::string& prefix, const std::string& text)
{
    std::string out = prefix;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\n' && i + 1 < text.size())
            out.append(prefix.size(), ' ');
    }
    return out;
}

TEST_F(BufFixture, PrefixesByLevel)
{
    buf.begin_message("quarn.io", 0, 0);
    out << "e" << std::endl;
    buf.begin_message("quarn.io", 1, 0);
    out << "w" << std::endl;
    buf.begin_message("quarn.io", 2, 0);
    out << "i" << std::endl;
    buf.begin_message("", 0, 0);
    out << "unnamed" << std::endl;
    buf.begin_message(nullptr, 1, 0);
    out << "no name" << std::endl;
    EXPECT_EQ(written(), "[quarn.io] error: e\n[quarn.io] warning: w\n[quarn.io] i\n[] error: unnamed\nwarning: no name\n");
}

TEST_F(BufFixture, ContinuationLinesAreIndentedByThePrefix)
{
    buf.begin_message("quarn.io", 0, 0);
    out << "a\nb" << std::endl;
    EXPECT_EQ(written(), "[quarn.io] error: a\n"
                         "                  b\n");
}

TEST_F(BufFixture, SameChannelContinuesAndAnotherChannelFlushes)
{
    buf.begin_message("a", 2, 0);
    out << "x";
    buf.begin_message("a", 2, 0);
    out << "y" << std::endl;
    buf.begin_message("a", 2, 0);
    out << "pending";
    buf.begin_message("b", 2, 0); // writes "[a] pending" first
    out << "z" << std::endl;
    buf.begin_message("b", 2, 0);
    out << "lvl";
    buf.begin_message("b", 0, 0); // a level change flushes too
    out << "!" << std::endl;
    EXPECT_EQ(written(), "[a] xy\n[a] pending[b] z\n[b] lvl[b] error: !\n");
}

TEST_F(BufFixture, LongMessagesAcrossTheBufferEdgeStayIntact)
{
    std::string expected;
    for (size_t length : {4093u, 4094u, 4095u, 4096u, 8188u, 8189u, 12000u}) {
        std::string text(length, 'x');
        // Line breaks at and around the put area's edge.
        for (size_t at : {4093u, 4094u, 4095u, 8187u, 8188u})
            if (at < length)
                text[at - 1] = '\n';
        buf.begin_message("quarn.io", 0, 0);
        out << text << std::endl;
        expected += formatted("[quarn.io] error: ", text + "\n");
    }
    EXPECT_EQ(written(), expected);
}

TEST_F(BufFixture, BooleansAsWords)
{
    buf.begin_message("a", 2, 0);
    out << true << ' ' << false << ' ' << 42 << std::endl;
    EXPECT_EQ(written(), "[a] true false 42\n");
}

// Logs one line to a new buffer set to the file `name`; the file it went to.
std::filesystem::path log_once(const std::filesystem::path& name, const char* text)
{
    quarn::LogFileBuf buf;
    buf.set_echo(false);
    quarn::LogStream out(&buf);
    buf.set_file(name.c_str(), om::out | om::trunc);
    buf.begin_message("a", 2, 0);
    out << text << std::endl;
    return buf.file_name();
}

TEST(LogFileBufFallback, TakenNameGoesToNumberedNamesInBase36)
{
    quarn_test::ScratchDir dir;
    // A directory where the log should be cannot be created as a file. The
    // names are shown: a folder's name reached stderr and the log as it
    // stood, ESC [ 2 J and U+202E too.
    const std::string folder = "ctl\x1b[2J\xe2\x80\xae/", shown = dir / "ctl\\x1b[2J\\u202e/";
    std::filesystem::create_directories(dir.path() / folder / "x.log");
    EXPECT_EQ(log_once(dir / (folder + "x.log"), "first"), dir / (folder + "x_000000.log"));
    EXPECT_EQ(dir.read(folder + "x_000000.log"),
              "the log is '" + shown + "x_000000.log', not '" + shown + "x.log': Is a directory\n[a] first\n");
    std::filesystem::create_directory(dir.path() / "x.log");

    // With 000000 to 00000z taken as well, the next free name is 000010.
    std::filesystem::remove(dir.path() / "x_000000.log");
    for (int i = 0; i < 36; ++i) {
        const char* digits = "0123456789abcdefghijklmnopqrstuvwxyz";
        std::filesystem::create_directory(dir.path() / (std::string("x_00000") + digits[i] + ".log"));
    }
    EXPECT_EQ(log_once(dir / "x.log", "second"), dir / "x_000010.log");
}

// The log beside the program in the player's own folder and in one the
// player shares with a group (2775, also one of root's whose group the
// player is in): written at its name, mode 0644, the player's.
TEST(LogFileBufFallback, TheLogIsWrittenAtItsNameInAGroupsFolder)
{
    const struct {
        const char* what;
        std::filesystem::perms folder;
        bool roots; // the folder is root's, its group the player's
    } rows[] = {
        {"the player's folder", std::filesystem::perms(0755), false},
        {"the player's folder shared with a group", std::filesystem::perms(02775), false},
        {"root's folder shared with the player's group", std::filesystem::perms(02775), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.roots && ::geteuid() != 0) {
            std::printf("the row '%s' is skipped: only root can give a folder away\n", row.what);
            continue;
        }
        quarn_test::ScratchDir dir;
        // As root, the row runs as the user it drops to: the player.
        const uid_t player = ::geteuid() == 0 ? test_support::unprivileged_user : ::geteuid();
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(dir.path().c_str(), row.roots ? 0 : player, test_support::unprivileged_user), 0);
        }
        std::filesystem::permissions(dir.path(), row.folder);
        EXPECT_TRUE(test_support::as_unprivileged(dir.path(), [&] {
            quarn::LogFileBuf buf;
            buf.set_echo(false);
            quarn::LogStream out(&buf);
            // Named from the folder: the folders above it may be closed
            // to the player.
            buf.set_file("./x.log", om::out | om::trunc);
            buf.begin_message("a", 2, 0);
            out << "first" << std::endl;
            return buf.file_name() == "./x.log";
        }));
        struct stat st {};
        ASSERT_EQ(::stat((dir / "x.log").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, player);
        EXPECT_EQ(st.st_mode & 07777, 0644u);
        EXPECT_NE(dir.read("x.log").find("first"), std::string::npos);
    }
}

// A link at the log's name (in the temporary folder, anyone's to plant)
// had the file it led to emptied and written over; another user's file
// there is not the player's to write either.
TEST(LogFileBufFallback, ALinkOrAnotherUsersFileAtTheNameIsPassedOver)
{
    // A group member's link in a folder shared with the group passes the
    // rule for shared folders: the log follows no link at all.
    const struct {
        const char* what;
        bool link;
        uid_t planter; // the link's or the file's owner
        std::filesystem::perms folder;
        const char* said; // in the reason the name is passed over
        bool second_name = false; // the name is a second name of "mine", mode 0400
    } rows[] = {
        // The reasons were "Too many levels of symbolic links" and
        // "Operation not permitted", without the owner or the way out.
        {"the player's link", true, ::geteuid(), std::filesystem::perms(0700), "x.log', a link of yours): remove it"},
        {"another user's file", false, 65534, std::filesystem::perms(0700),
         "x.log', user nobody (uid 65534)): make it yours, or remove it"},
        {"a group member's link in the group's folder", true, 65534, std::filesystem::perms(02775),
         "x.log', a link of user nobody (uid 65534)): remove it"},
        {"a second name of a group member's file in the group's folder", false, 65534, std::filesystem::perms(02775),
         "x.log', user nobody (uid 65534)): make it yours, or remove it", true},
        // Another user can make one in a folder every user may write to
        // wherever fs.protected_hardlinks is 0: the file was written and
        // made 0644.
        {"a second name of the player's private file", false, ::geteuid(), std::filesystem::perms(0700),
         "': A file of yours with a second name", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.planter != ::geteuid() && ::geteuid() != 0) {
            std::printf("the row '%s' is skipped: only root can give a name away\n", row.what);
            continue;
        }
        quarn_test::ScratchDir dir;
        std::filesystem::permissions(dir.path(), row.folder);
        dir.write("mine", "keep");
        if (row.second_name) {
            std::filesystem::permissions(dir.path() / "mine", std::filesystem::perms(0400));
            std::filesystem::create_hard_link(dir.path() / "mine", dir.path() / "x.log");
        } else if (row.link) {
            std::filesystem::create_symlink(dir.path() / "mine", dir.path() / "x.log");
        } else {
            std::filesystem::rename(dir.path() / "mine", dir.path() / "x.log");
        }
        const std::filesystem::path kept = row.link || row.second_name ? dir.path() / "mine" : dir.path() / "x.log";
        EXPECT_EQ(::lchown((dir.path() / "x.log").c_str(), row.planter, ::getegid()), 0);
        quarn::LogFileBuf buf;
        buf.set_echo(false);
        quarn::LogStream out(&buf);
        buf.set_file((dir / "x.log").c_str(), om::out | om::trunc);
        buf.begin_message("a", 2, 0);
        out << "first" << std::endl;
        EXPECT_EQ(buf.file_name(), dir / "x_000000.log");
        EXPECT_EQ(dir.read(kept.filename().string()), "keep");
        if (row.second_name) {
            EXPECT_EQ(std::filesystem::status(kept).permissions(), std::filesystem::perms(0400));
        }
        const std::string log = dir.read("x_000000.log"), first_line = log.substr(0, log.find('\n'));
        EXPECT_NE(first_line.find(row.said), std::string::npos) << first_line;
    }
}

// After one start under `umask 777` the log had mode 000, and every later
// start wrote x_000000.log beside it. A log the program makes has mode
// 0644 whatever the umask, and one of the player's own left without the
// owner's rights is mended; so is a numbered one the search falls back
// to. Root's opens ignore modes: the rows run as a user whose do not.
TEST(LogFileBufFallback, ALogMadeUnderAnyUmaskIsRewrittenByTheNextStart)
{
    const struct {
        const char* what;
        mode_t umask;        // of the earlier start
        const char* left;    // a log it left with mode `left_mode` instead
        const char* written; // where both starts log
        mode_t left_mode = 0;
        const char* passed_over = "Is a directory"; // why x.log is not written
        bool second_name = false;                   // of the log left
        bool modes_refused = false;                 // as by vfat or CIFS
        bool roots = false; // x.log is a second name of root's 0666 file
    } rows[] = {
        {"a start under umask 777", 0777, nullptr, "x.log"},
        {"a start under umask 277", 0277, nullptr, "x.log"},
        {"a log left with mode 000", 022, "x.log", "x.log"},
        {"a numbered log left with mode 000", 022, "x_000000.log", "x_000000.log"},
        // The mend is for mode 000 alone: these the player chose.
        {"a log the player made read-only", 022, "x.log", "x_000000.log", 0400, "Permission denied"},
        {"a log the player made readable by all", 022, "x.log", "x_000000.log", 0444, "Permission denied"},
        // Mended, it would give the file of its other name mode 0644.
        {"a log left with mode 000 and a second name", 022, "x.log", "x_000000.log", 0,
         "A file of yours with a second name (a hard link) elsewhere, which writing it would change too: remove "
         "this name, and the file keeps its other",
         true},
        // Each name made was refused its mode and removed.
        {"a file system that keeps no modes", 022, nullptr, "x.log", 0, "", false, true},
        // The reason was "Operation not permitted", naming no owner.
        {"a second name of root's file", 022, nullptr, "x_000000.log", 0,
         "Owned by root ('./x.log'): make it yours, or remove it", false, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.roots && ::geteuid() != 0) {
            std::printf("the row '%s' is skipped: only root can make root's file\n", row.what);
            continue;
        }
        quarn_test::ScratchDir dir;
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(dir.path().c_str(), test_support::unprivileged_user, ::getegid()), 0);
        }
        const bool left_at_name = row.left && std::string(row.left) == "x.log";
        if (row.roots) {
            dir.write("roots", "");
            std::filesystem::permissions(dir.path() / "roots", std::filesystem::perms(0666));
            std::filesystem::create_hard_link(dir.path() / "roots", dir.path() / "x.log");
        } else if (std::string(row.written) != "x.log" && !left_at_name) {
            std::filesystem::create_directory(dir.path() / "x.log");
        }
        const bool answered = test_support::as_unprivileged(dir.path(), [&] {
            // A search that fails here goes on in the temporary folder.
            ::setenv("TMPDIR", ".", 1);
            if (row.modes_refused && !test_support::refuse_modes())
                return false;
            if (row.left)
                ::close(::open(row.left, O_CREAT | O_WRONLY, row.left_mode));
            if (row.second_name)
                (void)::link(row.left, "secret");
            const mode_t was = ::umask(row.umask);
            const std::filesystem::path first = log_once("./x.log", "first");
            ::umask(was);
            const std::filesystem::path second = log_once("./x.log", "second");
            if (first.filename() == row.written && second.filename() == row.written)
                return true;
            std::fprintf(stderr, "the starts logged to %s and %s\n", first.c_str(), second.c_str());
            return false;
        });
        EXPECT_TRUE(answered);
        const std::string moved = std::string(row.written) == "x.log"
                                      ? ""
                                      : "the log is './" + std::string(row.written) + "', not './x.log': " +
                                            row.passed_over + "\n";
        EXPECT_EQ(dir.read(row.written), moved + "[a] second\n");
        if (left_at_name && std::string(row.written) != "x.log") {
            const auto left = std::filesystem::status(dir.path() / "x.log").permissions();
            EXPECT_EQ(left, std::filesystem::perms(row.left_mode));
            EXPECT_EQ(dir.read("x.log"), "");
        }
        EXPECT_EQ(std::filesystem::status(dir.path() / row.written).permissions(), std::filesystem::perms(0644));
    }
}

TEST(LogFileBufFallback, NoFileMeansEchoOnlyForErrorsAndWarnings)
{
    setenv("QUARN_DEBUG_OUTPUT", "1", 1);
    quarn::LogFileBuf buf;
    quarn::LogStream out(&buf);
    buf.set_file(nullptr, 0);
    buf.set_echo(true);
    testing::internal::CaptureStderr();
    buf.begin_message("a", 1, 0);
    out << "seen" << std::endl;
    buf.begin_message("a", 2, 0);
    out << "info is not echoed" << std::endl;
    std::string echoed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(echoed, "[a] warning: seen\n");
    EXPECT_TRUE(out.good()) << "echo counts as written";
    EXPECT_EQ(buf.file_name(), "");

    // Without echo and without a file, text goes nowhere and the stream
    // reports it.
    quarn::LogFileBuf silent;
    silent.set_echo(false);
    quarn::LogStream quiet(&silent);
    silent.set_file(nullptr, 0);
    silent.begin_message("a", 0, 0);
    quiet << "lost" << std::endl;
    EXPECT_FALSE(quiet.good());
}

// With no descriptor left (`ulimit -n 9`), every place the search tries
// fails, and nothing at all said that the run had no log. In a child: the
// limit is the lowest free descriptor, so no open can succeed.
TEST(LogFileBufFallback, NoLogAnywhereIsSaidOnStderrWithTheReason)
{
    if (test_support::sanitizer_needs_descriptors)
        GTEST_SKIP() << test_support::sanitizer_needs_descriptors_reason;
    quarn_test::ScratchDir dir;
    const std::string name = dir / "ctl\x1b[2J\xe2\x80\xae/x.log";
    EXPECT_EXIT(
        {
            test_support::leave_no_free_descriptor();
            quarn::LogFileBuf buf;
            buf.set_echo(false);
            quarn::LogStream out(&buf);
            buf.set_file(name.c_str(), om::out | om::trunc);
            buf.begin_message("a", 2, 0);
            out << "lost" << std::endl;
            std::_Exit(buf.file_name().empty() ? 0 : 1);
        },
        testing::ExitedWithCode(0),
        "no log could be written: '[^']*/ctl\\\\x1b\\[2J\\\\u202e/x\\.log': Too many open files");
}

TEST(LogFileBufFallback, BufferWithoutOutputModeRefusesText)
{
    quarn::LogFileBuf buf; // never given a file: no output mode
    quarn::LogStream out(&buf);
    out << "x";
    EXPECT_TRUE(out.bad());
}

TEST(LogFileBufFallback, PendingTextIsWrittenAtDestruction)
{
    quarn_test::ScratchDir dir;
    {
        quarn::LogFileBuf buf;
        buf.set_echo(false);
        quarn::LogStream out(&buf);
        buf.set_file((dir / "p.log").c_str(), om::out | om::trunc);
        buf.begin_message("a", 2, 0);
        out << "unfinished";
    }
    EXPECT_EQ(dir.read("p.log"), "[a] unfinished");
}

// A held log neither opens nor empties its file, which may be another
// running copy's: a start once emptied it. What was held is written once
// kept; dropped, or still held at the end, the file stays and nothing more
// goes to it.
TEST(LogFileBufHold, TheFileIsTouchedOnlyOnceTheHeldTextIsKept)
{
    enum class Then { keep, drop, destroy };
    const std::string running = "[lock] the running copy's lines\n";
    const struct {
        const char* name;
        Then then;
        std::string file; // after the release and one more message
    } rows[] = {
        {"kept", Then::keep, "[a] warning: held\n             two lines\n[b] after\n"},
        {"dropped", Then::drop, running},
        {"still held at the end", Then::destroy, running},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        quarn_test::ScratchDir dir;
        dir.write("t.log", running);
        {
            quarn::LogFileBuf buf;
            buf.set_echo(false);
            quarn::LogStream out(&buf);
            buf.set_file((dir / "t.log").c_str(), om::out | om::trunc);
            buf.hold();
            buf.begin_message("a", 1, 0);
            out << "held\ntwo lines" << std::endl;
            EXPECT_TRUE(out.good());
            EXPECT_EQ(dir.read("t.log"), running);
            if (row.then != Then::destroy) {
                buf.release(row.then == Then::keep);
                buf.begin_message("b", 2, 0);
                out << "after" << std::endl;
                EXPECT_EQ(buf.file_name().empty(), row.then == Then::drop);
            }
        }
        EXPECT_EQ(dir.read("t.log"), row.file);
    }
}

} // namespace
