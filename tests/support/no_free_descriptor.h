// Leaves a process no descriptor to open: the soft limit of open files is
// set to the lowest free descriptor, so every later open fails with EMFILE
// as under a tight `ulimit -n`. For a child process only (EXPECT_EXIT):
// nothing gives the limit back.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

namespace test_support {

inline void leave_no_free_descriptor()
{
    const int free_fd = ::dup(STDERR_FILENO);
    ::close(free_fd);
    rlimit limit {};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = rlim_t(free_fd);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

} // namespace test_support
