#include "platform/posix/modes.h"

#include <cerrno>
#include <string>

namespace platform {

bool set_mode(int fd, mode_t mode)
{
    int result;
    do
        result = ::fchmod(fd, mode & 07777);
    while (result != 0 && errno == EINTR);
    if (result == 0 || errno != EBADF)
        return result == 0;
    // fchmod takes no O_PATH handle; the descriptor's name in /proc leads
    // to the file the handle holds, whatever has been put at its name.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::chmod(self.c_str(), mode & 07777) == 0;
}

} // namespace platform
