// The log file of a whole program, as it lands beside the executable: the
// program golden/golden_app.cpp is copied into a scratch folder, run there,
// and its log is compared byte for byte with golden/golden_app.log. When a
// file of the log's name cannot be created there, the log goes to the first
// free numbered name beside it.
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The box quotes the log's last nine lines below its heading; the box's own
// entry, with the answer, comes after it closed.
std::string expected_box_text(const fs::path& log, const std::string& golden)
{
    std::vector<std::string> lines;
    std::istringstream in(golden);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    while (!lines.empty() && lines.back().rfind("[box] ", 0) != 0)
        lines.pop_back();
    if (!lines.empty())
        lines.pop_back();
    std::string text = "The race cannot start.\n\nRecent log entries (\"" + log.string() + "\"):\n";
    for (size_t i = lines.size() > 9 ? lines.size() - 9 : 0; i < lines.size(); ++i)
        text += lines[i] + "\n";
    return text + "\n";
}

// Runs a copy of the program in a fresh folder where the names `blocked`
// are taken by directories, and checks that its log landed in `log_name`.
void run_and_compare(const std::vector<std::string>& blocked, const std::string& log_name)
{
    quarn_test::ScratchDir dir;
    const fs::path app = dir.path() / "golden_app";
    fs::copy_file(QUARN_GOLDEN_APP, app);
    fs::permissions(app, fs::perms::owner_all);
    dir.write("golden_app.log.ini", "[game.quiet] info -*\n");
    // A directory cannot be opened as a file, whoever runs the test (root
    // ignores permission bits, not this).
    for (const std::string& name : blocked)
        fs::create_directory(dir.path() / name);

    const fs::path box = dir.path() / "box.txt";
    std::string command = "\"";
    command += app.string();
    command += "\" \"";
    command += box.string();
    command += '"';
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    const std::string golden = read_file(QUARN_GOLDEN_LOG);
    ASSERT_FALSE(golden.empty()) << QUARN_GOLDEN_LOG;
    const fs::path log = dir.path() / log_name;
    // A log that is not at its own name says first where it is, and why.
    const std::string moved = log_name == "golden_app.log" ? ""
                              : "the log is '" + log.string() + "', not '" + (dir / "golden_app.log") +
                                    "': Is a directory\n";
    EXPECT_EQ(read_file(log), moved + golden);
    EXPECT_EQ(read_file(box), expected_box_text(log, golden));
    for (const std::string& name : blocked) {
        EXPECT_TRUE(fs::is_directory(dir.path() / name));
        EXPECT_TRUE(fs::is_empty(dir.path() / name));
    }
}

TEST(LogGolden, LogFileBesideTheExecutable) { run_and_compare({}, "golden_app.log"); }

TEST(LogGolden, FallsBackToANumberedNameBesideIt)
{
    run_and_compare({"golden_app.log"}, "golden_app_000000.log");
    run_and_compare({"golden_app.log", "golden_app_000000.log"}, "golden_app_000001.log");
}

// Another user's settings beside the program are not obeyed, and the log
// and stderr both name them, their owner and the way out, whatever the
// folder's mode: in a folder every user may write to (777, 1777 as /tmp)
// the open itself refuses them, and that refusal once went unsaid.
TEST(LogGolden, AnotherUsersSettingsAreNamedInEveryFolder)
{
    if (::geteuid() != 0) {
        std::printf("skipped: only root can give a file away\n");
        return;
    }
    for (const fs::perms mode : {fs::perms(0755), fs::perms(0777), fs::perms(01777)}) {
        SCOPED_TRACE(static_cast<int>(mode));
        quarn_test::ScratchDir dir;
        const fs::path app = dir.path() / "golden_app";
        fs::copy_file(QUARN_GOLDEN_APP, app);
        const fs::path ini = dir.path() / "golden_app.log.ini";
        dir.write("golden_app.log.ini", "[*] -*\n");
        ASSERT_EQ(::chown(ini.c_str(), 65534, 65534), 0);
        fs::permissions(dir.path(), mode);
        // Appended piece by piece: g++ 12 warns of a bound it cannot
        // prove on "\"" + std::string here.
        std::string command = "\"";
        command += app.string();
        command += "\" \"";
        command += dir / "box.txt";
        command += "\" 2>\"";
        command += dir / "said";
        command += "\"";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const std::string named = "can't read the log settings \"" + ini.string() + "\": Owned by another user ('" +
                                  ini.string() + "', user nobody (uid 65534)): make it yours, or remove it; they are "
                                  "ignored\n";
        const std::string log = read_file(dir.path() / "golden_app.log");
        EXPECT_EQ(log.substr(0, log.find('\n') + 1), "[] warning: " + named);
        EXPECT_NE(log.find("[game.quiet] not written"), std::string::npos) << log;
        EXPECT_NE(read_file(dir.path() / "said").find(named), std::string::npos) << read_file(dir.path() / "said");
    }
}

} // namespace
