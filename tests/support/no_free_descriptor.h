// Leaves a process no descriptor to open: the soft limit of open files is
// set to the lowest free descriptor, so every later open fails with EMFILE
// as under a tight `ulimit -n`. For a child process only (EXPECT_EXIT):
// nothing gives the limit back.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

namespace test_support {

// A sanitizer's own checks need descriptors (whether memory may be read is
// found out through a pipe), so with none left it reports faults that are
// not there: the rows that take every descriptor away skip in its builds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool sanitizer_needs_descriptors = true;
#else
inline constexpr bool sanitizer_needs_descriptors = false;
#endif
inline constexpr const char* sanitizer_needs_descriptors_reason =
    "a sanitizer's own checks open descriptors, which the row takes away";

// Leaves `count` descriptors free (the lowest ones) and no more.
inline void leave_free_descriptors(int count)
{
    const int free_fd = ::dup(STDERR_FILENO);
    ::close(free_fd);
    rlimit limit {};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = rlim_t(free_fd + count);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

inline void leave_no_free_descriptor() { leave_free_descriptors(0); }

} // namespace test_support
