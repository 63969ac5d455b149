// Rows that need file modes to count, which they do not for root.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <functional>

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test_support {

// The user the body below runs as when the tests run as root.
inline constexpr uid_t unprivileged_user = 65534;

// In a process of a test's own (a child): as root, drops to user and group
// 65534 for good; as anyone else, stays who it is. True when file modes
// now count for the process.
inline bool become_unprivileged()
{
    return ::geteuid() != 0 ||
           (::setgroups(0, nullptr) == 0 && ::setgid(unprivileged_user) == 0 && ::setuid(unprivileged_user) == 0);
}

// Runs `body` in a child process in `folder` as a user for whom file modes
// count: as root (as in CI) the child drops to user and group 65534. The
// body names files relative to the folder, whose parents may be closed to
// that user. What the body changes in its process (the umask, the lock's
// folder) ends with the child. True when it answered true.
inline bool as_unprivileged(const std::filesystem::path& folder, const std::function<bool()>& body)
{
    const pid_t child = ::fork();
    if (child == 0 && ::chdir(folder.c_str()) == 0 && become_unprivileged())
        std::_Exit(body() ? 0 : 1);
    if (child == 0)
        std::_Exit(1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace test_support
