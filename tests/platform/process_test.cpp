#include "platform/platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include <sys/resource.h>

namespace {

TEST(Process, ModuleFileNameIsThisTestProgram)
{
    std::string name = platform::module_file_name();
    ASSERT_FALSE(name.empty());
    EXPECT_NE(name.find("test_platform"), std::string::npos);
}

TEST(Process, TempDirEndsWithSeparatorAndFollowsTmpdir)
{
    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(platform::temp_dir(), "/var/tmp/");
    unsetenv("TMPDIR");
    EXPECT_EQ(platform::temp_dir(), "/tmp/");
}

TEST(Process, ErrorTextsHaveNoLineEnd)
{
    std::string text = platform::system_error_text(ENOENT);
    EXPECT_EQ(text, "No such file or directory");
    platform::set_last_error(EACCES);
    EXPECT_EQ(platform::last_error(), EACCES);
}

TEST(Process, NoDebuggerMeansDebugBreakReturns)
{
    if (platform::debugger_present())
        GTEST_SKIP() << "running under a debugger";
    platform::debug_break();
    platform::debug_output("not shown\n");
    SUCCEED();
}

TEST(ProcessDeathTest, ExitNowKeepsTheLowByteOfTheCode)
{
    EXPECT_EXIT(platform::exit_now(-95), testing::ExitedWithCode(161), "");
    EXPECT_EXIT(platform::exit_now(3), testing::ExitedWithCode(3), "");
}

// The program's name as the shell gave it, shown: ESC ] 0 ; BEL set the
// terminal's title and U+202E turned the line around. A limit no need
// reaches makes any need refuse.
TEST(ProcessDeathTest, TooLittleMemoryAtTheStartIsSaidWithTheProgramsNameShown)
{
    const auto start = [] {
        const rlimit limit{rlim_t{1} << 60, rlim_t{1} << 60};
        if (::setrlimit(RLIMIT_AS, &limit) != 0)
            std::_Exit(127);
        platform::require_start_memory("Not enough memory", SIZE_MAX, "race\x1b]0;T\a\xe2\x80\xae\xff");
    };
    EXPECT_EXIT(start(), testing::ExitedWithCode(1),
                testing::AllOf(testing::HasSubstr("race\\x1b]0;T\\a\\u202e\\xff: Not enough memory\n"),
                               testing::Not(testing::HasSubstr("\x1b"))));
}

TEST(Process, CurrentFolderChangesOnlyToAnExistingFolder)
{
    const std::string start = platform::current_dir();
    ASSERT_FALSE(start.empty());
    const std::string temp = std::filesystem::canonical(platform::temp_dir()).string();
    EXPECT_TRUE(platform::set_current_dir(temp));
    EXPECT_EQ(platform::current_dir(), temp);
    EXPECT_FALSE(platform::set_current_dir(temp + "/no such folder here"));
    EXPECT_FALSE(platform::set_current_dir(""));
    EXPECT_EQ(platform::current_dir(), temp);
    EXPECT_TRUE(platform::set_current_dir(start));
}

} // namespace
