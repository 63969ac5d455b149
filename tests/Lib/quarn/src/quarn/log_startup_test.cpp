// The log as a program sees it from start to exit: the settings file beside
// the executable read at the first entry, the log file beside it, and
// logging from a static destructor after the log itself is gone. This
// program holds exactly one test, because its settings file is shared by
// every process started from it. A player's build may be closed to the
// tests, so the test runs a copy of this program from a folder of its own.
#include "quarn/Exception.h"
#include "quarn/Log.h"

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool test_ran = false;

// Built before main, so destroyed after the log's state: its destructor
// logs into a log that is gone, which must do nothing and not crash.
struct LogsAtExit {
    ~LogsAtExit()
    {
        if (!test_ran)
            return;
        if (quarn::open_entry(quarn::io::log_error) || quarn::default_log_stream())
            std::_Exit(3);
        quarn::open_entry(quarn::log_exception) << "after teardown" << std::endl;
        (void)quarn::report_throw({"f", 1, "g"}, quarn::Exception("late"));
        try {
            quarn::report_and_throw({}, quarn::Exception("late throw"));
        } catch (const quarn::Exception&) {
        }
    }
} logs_at_exit;

// Runs this program's test in a copy of it in a folder of the test's own,
// where its settings and its log go; the copy's status is the test's.
void run_in_a_copy(const std::filesystem::path& exe)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(platform::temp_dir()) / "log_startup";
    fs::create_directories(dir);
    const fs::path copy = dir / exe.filename();
    fs::copy_file(exe, copy, fs::copy_options::overwrite_existing);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("QUARN_LOG_STARTUP_COPY", "1", 1);
        ::execl(copy.c_str(), copy.c_str(), "--gtest_filter=LogStartup.*", static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the copy in " << dir << " ended " << status;
    fs::remove_all(dir);
}

TEST(LogStartup, SettingsBesideTheExecutableApplyFromTheFirstEntry)
{
    namespace fs = std::filesystem;
    fs::path exe = platform::module_file_name();
    if (!std::getenv("QUARN_LOG_STARTUP_COPY")) {
        run_in_a_copy(exe);
        return;
    }
    test_ran = true;
    fs::path ini = exe.parent_path() / "test_quarn_log_startup.log.ini";
    fs::path log = exe.parent_path() / "test_quarn_log_startup.log";
    // A FIFO at the settings' name held the first entry in its open; it is
    // a settings file that cannot be read. The child's alarm ends a wait.
    fs::remove(ini);
    ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0);
    EXPECT_EXIT(
        {
            ::alarm(10);
            quarn::open_entry(quarn::io::log_warning) << "read no settings" << std::endl;
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
    // Another user's settings would silence the player's log: they are
    // not obeyed, and the log says why. Only root can give a file away.
    if (::geteuid() == 0) {
        fs::remove(ini);
        std::ofstream(ini) << "[*] -*\n";
        ASSERT_EQ(::chown(ini.c_str(), 65534, 65534), 0);
        EXPECT_EXIT(
            {
                ::alarm(10);
                quarn::open_entry(quarn::io::log_warning) << "kept" << std::endl;
                quarn::default_log_stream()->flush();
                std::ifstream in(log);
                std::stringstream text;
                text << in.rdbuf();
                std::fputs(text.str().c_str(), stderr);
                std::_Exit(text.str() == "[] warning: can't read the log settings \"" + ini.string() +
                                             "\": Owned by another user ('" + ini.string() +
                                             "', user nobody (uid 65534)): make it yours, or remove it; they are "
                                             "ignored\n"
                                             "[quarn.io] warning: kept\n"
                               ? 0
                               : 1);
            },
            testing::ExitedWithCode(0), "");
    } else {
        std::printf("the row of another user's settings is skipped: only root can give a file away\n");
    }
    fs::remove(ini);
    std::ofstream(ini) << "; settings for the start-up test\n"
                          "[quarn.io] info -*\n"
                          "[noisy] -*\n"
                          "[a] += -*\n"
                          "[b] warning // only the most important\n"
                          "  -1\n"
                          "#end\n";

    static constexpr quarn::LogChannel noisy("noisy", 1);
    static constexpr quarn::LogChannel a("a", 1);
    static constexpr quarn::LogChannel b("b", 2);
    quarn::open_entry(quarn::io::log_info) << "silenced" << std::endl;
    quarn::open_entry(quarn::io::log_warning) << "kept" << std::endl;
    quarn::open_entry(noisy) << "silenced" << std::endl;
    quarn::open_entry(a) << "the bad line changed nothing" << std::endl;
    quarn::open_entry(b, 0) << "important" << std::endl;
    quarn::open_entry(b, 1) << "silenced" << std::endl;
    quarn::default_log_stream()->flush();

    EXPECT_EQ(quarn::default_log_file_name(), log.string());
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "[] warning: log settings line 4: '+=' is not supported; rest of the line ignored\n"
                          "[quarn.io] warning: kept\n"
                          "[a] error: the bad line changed nothing\n"
                          "[b] warning: important\n");
    fs::remove(ini);
}

} // namespace
