// Entry of every test program. Tests never see a real window or a person:
// the headless backend answers message boxes by its policy.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include <unistd.h>

// With a display, SDL's video opens the desktop's message bus (libdbus),
// which keeps a block of its one-time set-up that nothing frees; without a
// session bus that block is left when the program ends, and LeakSanitizer
// reports it. Only leaks allocated inside that library are suppressed: a
// leak of the project's own still fails the run.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace {

// A test that ends the whole program through exit() (the second-instance
// check, a fatal-error path) leaves CTest a status of 0, which reads as a
// pass; such an ending is made a failure. Death-test children, and the
// children a test forks itself, end that way on purpose and keep their
// status.
pid_t test_program = 0;

void fail_an_exit_inside_a_test()
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    if (!test || testing::internal::InDeathTestChild() || getpid() != test_program)
        return;
    std::fprintf(stderr, "%s.%s ended the test program through exit() before it finished\n", test->test_suite_name(),
                 test->name());
    std::fflush(stderr);
    std::_Exit(1);
}

// CTest runs the test programs side by side, and the program's
// single-instance lock lives in one folder per player: two tests starting
// the program at once would find each other, and a test would make or
// change /tmp/quarn-<user id>, which is outside its own folder. Each test
// program gets a temporary folder of its own, and the player's lock folder
// is made in it. A death-test child that starts the program afresh keeps
// its parent's folder through QUARN_TEST_OWN_TMPDIR, which no test
// changes; TMPDIR, which it inherits too, may be what a test set.
// A program whose folder cannot be made does not run: its tests would
// use the real /tmp/quarn-<user id>.
bool own_temp_dir(std::filesystem::path& made)
{
    if (const char* own = std::getenv("QUARN_TEST_OWN_TMPDIR"); own && own[0] == '/') {
        platform::InstanceLock::set_root(own);
        return true;
    }
    std::error_code ec;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path(ec) / ("quarn_test_" + std::to_string(std::random_device{}()));
    if (ec || !std::filesystem::create_directories(dir, ec)) {
        std::fprintf(stderr, "the test program's own temporary folder %s cannot be made: %s\n", dir.c_str(),
                     ec ? ec.message().c_str() : "it is there already");
        return false;
    }
    setenv("TMPDIR", dir.c_str(), 1);
    setenv("QUARN_TEST_OWN_TMPDIR", dir.c_str(), 1);
    platform::InstanceLock::set_root(platform::temp_dir());
    made = dir;
    return true;
}

} // namespace

namespace test_support {
// Where the lock's folder is made before this entry moves it: the game's
// own place, which tests compare with the one it must be.
std::string lock_root_at_start;
} // namespace test_support

int main(int argc, char** argv)
{
    test_support::lock_root_at_start = platform::InstanceLock::root();
    testing::InitGoogleTest(&argc, argv);
    platform::use_backend(platform::BackendKind::headless);
    std::filesystem::path temp;
    if (!own_temp_dir(temp))
        return 1;
    test_program = getpid();
    std::atexit(fail_an_exit_inside_a_test);
    const int status = RUN_ALL_TESTS();
    if (!temp.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(temp, ec);
    }
    return status;
}
