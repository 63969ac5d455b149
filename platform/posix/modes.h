// How the program makes files, folders and pipes with their modes, and
// the one mend of a mode an earlier start left behind (private to
// platform/posix). Every maker and mender of the program asks these.
//
// What the program makes is made asking for its mode: the umask can only
// take bits away, so it is never more open than asked. The exact mode is
// then set on what was made, through its descriptor: a start under
// `umask 777` made files no later start could open. A file system that
// keeps no modes (vfat, CIFS, some NFS mounts) refuses that setting; what
// was made is then kept as the file system has it, and never removed by
// name, since another user may have put something else at the name by then.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

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

// Makes the file `name` in the folder `folder` where nothing has the name
// (O_CREAT | O_EXCL, never through a link) and opens it with `flags`, with
// the mode `mode`. The descriptor, or -1 with errno (EEXIST when anything
// has the name).
[[nodiscard]] int make_file(int folder, const char* name, int flags, mode_t mode);

// Opens the file `name` in the folder with `flags`, never through a link
// at the name; with O_CREAT in `flags`, one that is missing is made by
// make_file with `mode`, and one that is there keeps its mode. With O_EXCL
// too, only a file made here is opened. -1 with errno on failure.
[[nodiscard]] int open_or_make(int folder, const char* name, int flags, mode_t mode);

// Makes the folder `name` in the folder `folder` with the mode `mode`,
// keeping the setgid bit it takes from a parent shared with a group (its
// files then stay the group's). False with errno (EEXIST when anything
// has the name).
[[nodiscard]] bool make_folder(int folder, const char* name, mode_t mode);

// Makes the pipe `name` in the folder with the mode `mode`. False with
// errno (EEXIST when anything has the name).
[[nodiscard]] bool make_pipe(int folder, const char* name, mode_t mode);

// True when the file has names in other folders too (a hard link): what
// the program does to it by one name it does to every other. The program
// never mends, empties or writes afresh such a file of its own.
[[nodiscard]] bool has_second_name(const struct stat& st);

// The one mend of a mode: what is open as `handle` (an O_PATH handle does)
// is given `mode` when it is the player's own, of the type `type` (S_IFREG,
// S_IFDIR, S_IFIFO), has no second name, and has mode 000, as a start under
// `umask 777` left it. Nothing else is changed: a file the player made
// read-only (0400, 0444) is the player's choice. True when it was mended;
// errno is kept otherwise.
bool mend_mode(int handle, mode_t type, mode_t mode);

} // namespace platform
