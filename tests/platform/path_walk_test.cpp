// Every open walks its path one name at a time and judges each name where
// it stands: the kernel's own resolution for the player's names, refusal
// for another user's names in a folder every user may write to.
#include "platform/data_folder.h"
#include "platform/platform.h"
#include "tests/support/as_unprivileged.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr uid_t other = 65534;

std::string read_all(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void give_away(const fs::path& path, uid_t to = other) { ASSERT_EQ(::lchown(path.c_str(), to, to), 0); }

// The descriptors this process holds open (the listing's own among them).
long open_descriptors()
{
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
}

// What the open of `path` (relative to the scratch folder, or absolute
// when it starts with "@", which stands for the scratch folder's path)
// finds: the file's text, or the error.
struct Row {
    const char* what;
    fs::perms folder; // the scratch folder's mode
    bool as_root;     // gives names away
    std::function<void(const fs::path&)> setup;
    const char* path;
    platform::FileOpen how;
    const char* text; // read back through the open; null: it fails
    int error;
    const char* made = nullptr; // a file the open made
    bool unprivileged = false;  // opened by a user whose opens modes limit
    int opens = 1;              // one after another, each closed
};

TEST(PathWalk, EachNameIsJudgedWhereItStands)
{
    const fs::path dir = fs::temp_directory_path() / ("quarn_walk_" + std::to_string(::getpid()));
    const auto file = [](const fs::path& at, const char* text) {
        fs::create_directories(at.parent_path());
        std::ofstream(at) << text;
    };
    const fs::perms mine = fs::perms(0755), everyone = fs::perms(01777), group = fs::perms(02775);
    using platform::FileOpen;
    const Row rows[] = {
        {"plain names", mine, false, [&](const fs::path& d) { file(d / "a/b/f", "ab"); }, "a/b/f",
         FileOpen::read_existing, "ab", 0},
        {"a chain of relative links", mine, false,
         [&](const fs::path& d) {
             file(d / "a/f", "chained");
             fs::create_symlink("l2", d / "l1");
             fs::create_directory_symlink("a", d / "l2");
         },
         "l1/f", FileOpen::read_existing, "chained", 0},
        {"an absolute link on the way", mine, false,
         [&](const fs::path& d) {
             file(d / "a/f", "absolute");
             fs::create_directory_symlink(d / "a", d / "abs");
         },
         "@/abs/f", FileOpen::read_existing, "absolute", 0},
        // ".." after a link leaves the folder the link led to, as the
        // kernel's own walk does.
        {"'..' after a link", mine, false,
         [&](const fs::path& d) {
             file(d / "a/f", "parent");
             fs::create_directories(d / "a/b");
             fs::create_directory_symlink("a/b", d / "lb");
         },
         "lb/../f", FileOpen::read_existing, "parent", 0},
        {"a link loop", mine, false,
         [&](const fs::path& d) {
             fs::create_symlink("y", d / "x");
             fs::create_symlink("x", d / "y");
         },
         "x/f", FileOpen::read_existing, nullptr, ELOOP},
        {"a new file through the player's link that leads nowhere yet", mine, false,
         [&](const fs::path& d) {
             fs::create_directories(d / "a");
             fs::create_symlink("a/made", d / "new");
         },
         "new", FileOpen::write_always, "", 0, "a/made"},
        {"another user's link on the way in a shared folder", everyone, true,
         [&](const fs::path& d) {
             file(d / "a/f", "theirs");
             fs::create_directory_symlink("a", d / "x");
             give_away(d / "x");
         },
         "x/f", FileOpen::read_existing, nullptr, platform::error_untrusted_link},
        // A member's link leads only to what the member owns: aimed at a
        // private file of the player's, it had the file's first line said
        // in a log the group reads.
        {"another user's link to their own file in a group's folder", group, true,
         [&](const fs::path& d) {
             file(d / "a/f", "group");
             give_away(d / "a/f");
             fs::create_directory_symlink("a", d / "x");
             give_away(d / "x");
         },
         "x/f", FileOpen::read_existing, "group", 0},
        {"another user's link to the player's file in a group's folder", group, true,
         [&](const fs::path& d) {
             file(d / "a/f", "private");
             fs::create_symlink("a/f", d / "x");
             give_away(d / "x");
         },
         "x", FileOpen::read_existing, nullptr, platform::error_untrusted_owner},
        {"another user's link to the player's folder in a group's folder", group, true,
         [&](const fs::path& d) {
             file(d / "a/f", "private");
             fs::create_directory_symlink("a", d / "x");
             give_away(d / "x");
         },
         "x/f", FileOpen::read_existing, nullptr, platform::error_untrusted_owner},
        {"another user's link, then the player's, to the player's file", group, true,
         [&](const fs::path& d) {
             file(d / "a/f", "private");
             fs::create_symlink("a/f", d / "mine");
             fs::create_symlink("mine", d / "x");
             give_away(d / "x");
         },
         "x", FileOpen::read_existing, nullptr, platform::error_untrusted_owner},
        // The walk holds the folder of the first link of another user's
        // it follows, to name it in a refusal: the descriptor is let go
        // with the walk.
        {"another user's link to their own file, read 2000 times", group, true,
         [&](const fs::path& d) {
             file(d / "f", "group");
             give_away(d / "f");
             fs::create_symlink("f", d / "x");
             give_away(d / "x");
         },
         "x", FileOpen::read_existing, "group", 0, nullptr, false, 2000},
        // Links of one other user lead on to what that user owns; a link
        // of a second user on the way leads only to what both own.
        {"two links of another user to their own file in a group's folder", group, true,
         [&](const fs::path& d) {
             file(d / "a/f", "chained");
             give_away(d / "a/f");
             fs::create_symlink("y", d / "x");
             fs::create_symlink("a/f", d / "y");
             give_away(d / "x");
             give_away(d / "y");
         },
         "x", FileOpen::read_existing, "chained", 0},
        {"a link of another user to a second's, to the first's file", group, true,
         [&](const fs::path& d) {
             file(d / "a/f", "first's");
             give_away(d / "a/f");
             fs::create_symlink("y", d / "x");
             fs::create_symlink("a/f", d / "y");
             give_away(d / "x");
             give_away(d / "y", 65533);
         },
         "x", FileOpen::read_existing, nullptr, platform::error_untrusted_owner},
        // A write follows only the player's and root's links: a member
        // could aim theirs at any file of the player's.
        {"another user's link on the way in a group's folder, to write", group, true,
         [&](const fs::path& d) {
             file(d / "f", "kept");
             fs::create_directory_symlink(".", d / "x");
             give_away(d / "x");
         },
         "x/f", FileOpen::write_truncate, nullptr, platform::error_untrusted_owner},
        {"another user's folder on the way in a shared folder", everyone, true,
         [&](const fs::path& d) {
             file(d / "a/f", "theirs");
             give_away(d / "a");
         },
         "a/f", FileOpen::read_existing, nullptr, platform::error_untrusted_owner},
        // Refused before it is emptied.
        {"another user's file in a shared folder", everyone, true,
         [&](const fs::path& d) {
             file(d / "f", "kept");
             fs::permissions(d / "f", fs::perms(0666));
             give_away(d / "f");
         },
         "f", FileOpen::write_truncate, nullptr, platform::error_untrusted_owner},
        // The open itself fails, and the name is judged all the same: the
        // refusal says whose it is, not "Permission denied".
        {"another user's file the player may not open in a shared folder", everyone, true,
         [&](const fs::path& d) {
             file(d / "f", "theirs");
             fs::permissions(d / "f", fs::perms(0600));
             ASSERT_EQ(::lchown((d / "f").c_str(), 65533, 65533), 0);
         },
         "f", FileOpen::read_existing, nullptr, platform::error_untrusted_owner, nullptr, true},
        {"another user's file in the player's folder", mine, true,
         [&](const fs::path& d) {
             file(d / "f", "theirs");
             give_away(d / "f");
         },
         "f", FileOpen::read_existing, "theirs", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.as_root && ::geteuid() != 0) {
            std::printf("the row '%s' is skipped: only root can give a name away\n", row.what);
            continue;
        }
        fs::remove_all(dir);
        fs::create_directories(dir);
        row.setup(dir);
        fs::permissions(dir, row.folder);
        const std::string path = row.path[0] == '@' ? dir.string() + (row.path + 1) : (dir / row.path).string();
        const std::string before = read_all(dir / "f");
        if (row.unprivileged) {
            const bool refused = test_support::as_unprivileged(dir, [&] {
                const platform::FileHandle opened = platform::file_open(row.path, row.how);
                const int error = platform::last_error();
                if (opened == platform::invalid_file && error == row.error)
                    return true;
                std::fprintf(stderr, "opened %d: %s\n", opened, platform::system_error_text(error).c_str());
                return false;
            });
            EXPECT_TRUE(refused);
            EXPECT_EQ(read_all(dir / "f"), before);
            continue;
        }
        // An open lets go of every descriptor it took but the one it gives
        // back. The opens stop at the row's first failure.
        const testing::TestResult& result = *testing::UnitTest::GetInstance()->current_test_info()->result();
        const int failures = result.total_part_count();
        const long held = open_descriptors();
        int opens = 0;
        for (; opens < row.opens && result.total_part_count() == failures; ++opens) {
            const platform::FileHandle opened = platform::file_open(path.c_str(), row.how);
            const int error = platform::last_error();
            if (!row.text) {
                EXPECT_EQ(opened, platform::invalid_file);
                EXPECT_EQ(error, row.error) << platform::system_error_text(error);
                EXPECT_EQ(read_all(dir / "f"), before);
                if (opened != platform::invalid_file)
                    (void)platform::file_close(opened);
                continue;
            }
            EXPECT_NE(opened, platform::invalid_file) << platform::system_error_text(error);
            if (opened == platform::invalid_file)
                continue;
            char text[32] = {};
            const int64_t got = platform::file_read(opened, text, sizeof text - 1);
            EXPECT_TRUE(platform::file_close(opened));
            if (row.how == FileOpen::read_existing) {
                EXPECT_EQ(std::string(text, got > 0 ? size_t(got) : 0), row.text);
            }
            if (row.made) {
                EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / row.made)));
            }
        }
        EXPECT_EQ(open_descriptors(), held) << "left open by " << opens << " opens";
    }
    fs::permissions(dir, fs::perms(0755));
    fs::remove_all(dir);
}

// The player's own link at the settings' name leads into the data folder,
// which the game bound by the read rule. In a group's folder where DATA is
// a member's link to another data folder of the player's, the save wrote
// into that other folder, whichever way the link's text named DATA.
TEST(PathWalk, AWriteReachesTheBoundDataFolderByTheWriteRule)
{
    const fs::path dir = fs::temp_directory_path() / ("quarn_walk_bound_" + std::to_string(::getpid()));
    const fs::path game = dir / "game";
    const struct {
        const char* text;    // of the player's link at race.cfg
        bool members_link;   // DATA is a member's link to other/DATA
        const char* written; // the file the save wrote, or null: refused
    } rows[] = {
        {"DATA/race.cfg", true, nullptr},
        {"./DATA/race.cfg", true, nullptr},
        {"data/race.cfg", true, nullptr},
        {"DATA/race.cfg", false, "game/DATA/race.cfg"},
        {"./DATA/race.cfg", false, "game/DATA/race.cfg"},
        {"data/race.cfg", false, "game/DATA/race.cfg"},
        {"../game/DATA/race.cfg", false, "game/DATA/race.cfg"},
    };
    const fs::path start = fs::current_path();
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.text << (row.members_link ? ", a member's DATA" : ", the player's"));
        if (row.members_link && ::geteuid() != 0) {
            std::printf("the row '%s' with a member's link is skipped: only root can give a name away\n", row.text);
            continue;
        }
        fs::remove_all(dir);
        fs::create_directories(dir / "other" / "DATA");
        std::ofstream(dir / "other" / "DATA" / "race.cfg") << "other";
        fs::create_directories(game);
        fs::permissions(game, fs::perms(02775));
        if (row.members_link) {
            fs::create_directory_symlink("../other/DATA", game / "DATA");
            give_away(game / "DATA");
        } else {
            fs::create_directories(game / "DATA");
            std::ofstream(game / "DATA" / "race.cfg") << "own";
        }
        fs::create_symlink(row.text, game / "race.cfg");
        fs::current_path(game);
        platform::data_folder_bind("DATA", platform::data_folder_open("DATA"), 0);
        // As the save goes: through the player's links, then the folder
        // opened to write, then the file in it.
        int refusal = 0;
        const auto [folder_path, name] = platform::split_folder_path(platform::write_target("race.cfg", refusal));
        bool saved = false;
        if (refusal == 0) {
            const platform::OpenFolder folder(folder_path, platform::FolderFor::writing);
            refusal = folder.handle == platform::invalid_folder ? platform::last_error() : 0;
            const platform::FileHandle file =
                folder.handle == platform::invalid_folder
                    ? platform::invalid_file
                    : platform::folder_open_file(folder.handle, name.c_str(), platform::FileOpen::write_truncate);
            saved = file != platform::invalid_file && platform::file_write_all(file, "saved", 5) == 0;
            EXPECT_TRUE(file == platform::invalid_file || platform::file_close(file));
        }
        if (!row.written) {
            EXPECT_EQ(platform::system_error_text(refusal),
                      "Owned by another user ('DATA', a link of user nobody (uid 65534)): make it yours, or remove it");
        }
        platform::data_folder_unbind();
        fs::current_path(start);
        EXPECT_EQ(saved, row.written != nullptr);
        EXPECT_EQ(read_all(dir / "other" / "DATA" / "race.cfg"), "other");
        if (row.written) {
            EXPECT_EQ(read_all(dir / row.written), "saved");
        }
    }
    fs::remove_all(dir);
}

// A refusal names the path, whose it is and the way out.
TEST(PathWalk, ARefusalNamesThePathItsOwnerAndTheWayOut)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a name away";
    const fs::path dir = fs::temp_directory_path() / ("quarn_walk_said_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "f") << "theirs";
    give_away(dir / "f");
    fs::permissions(dir, fs::perms(01777));
    EXPECT_EQ(platform::file_open((dir / "f").c_str(), platform::FileOpen::read_existing), platform::invalid_file);
    EXPECT_EQ(platform::system_error_text(platform::last_error()),
              "Owned by another user ('" + (dir / "f").string() +
                  "', user nobody (uid 65534)): make it yours, or remove it");
    // A player who is not root may not remove another user's name from a
    // sticky folder: the way out offered it all the same.
    ASSERT_EQ(::lchown((dir / "f").c_str(), 65533, 65533), 0);
    for (const auto& [mode, way_out] : {std::pair{fs::perms(01777), "it is not yours to remove; run a copy of the game "
                                                                    "from a folder of your own"},
                                        std::pair{fs::perms(0777), "make it yours, or remove it"}}) {
        SCOPED_TRACE(way_out);
        fs::permissions(dir, mode);
        EXPECT_TRUE(test_support::as_unprivileged(dir, [&] {
            return platform::file_open("f", platform::FileOpen::read_existing) == platform::invalid_file &&
                   platform::system_error_text(platform::last_error()) ==
                       std::string("Owned by another user ('f', user 65533): ") + way_out;
        }));
    }
    fs::permissions(dir, fs::perms(0755));
    fs::remove_all(dir);
}

} // namespace
