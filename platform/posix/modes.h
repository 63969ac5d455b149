// The modes of what the program makes, set on descriptors (private to
// platform/posix). What the program makes is the program's: a start under
// `umask 777` made files no later start could open, so no mode here
// follows the umask.
#pragma once

#include <sys/stat.h>

namespace platform {

// A file the program makes (race.log, race.cfg, the data files, a
// picture): the player writes it, everyone may read it.
inline constexpr mode_t made_file_mode = 0644;

// Sets the permission bits of what is open as `fd`, also through an
// O_PATH handle, which needs no rights to the file: a folder or pipe left
// with mode 000 can be given its mode without being opened for reading.
// Acts on the very file the descriptor holds, never on what has its name
// now. False with errno on failure.
[[nodiscard]] bool set_mode(int fd, mode_t mode);

} // namespace platform
