// A device for the rows that check code refuses to write to one. It is
// made in the test's own folder, never taken from /dev: code under test
// that wrongly writes to it, or renames a file over it, then changes
// nothing of the machine's.
#pragma once

#include <cstdio>
#include <string>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace test_support {

// A character device like /dev/full (reads give zeros, writes fail with
// ENOSPC) at `path`. False where none can be made (mknod needs root), and
// the test's output says that its device row is skipped.
inline bool make_full_device(const std::string& path)
{
    if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0)
        return true;
    std::printf("the device row is skipped: only root can make a device\n");
    return false;
}

} // namespace test_support
