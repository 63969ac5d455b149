// The walk behind every open of the program (private to platform/posix).
#pragma once

#include "platform/file.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>

namespace platform {

// Opens `path` one name at a time, each folder on the way opened with
// O_PATH | O_NOFOLLOW relative to the one before, and every name judged
// where it stands by the rule for shared folders (trust.h): a link is
// followed, and a file or folder used, only when the rule lets it through.
// The kernel follows no link on its own, so a link anywhere in the path is
// judged, not only at the last name.
//
// A relative `path` starts at `start` (AT_FDCWD: the current folder, where
// the data folder's binding applies, data_folder.h); an absolute one at
// "/". `flags` are those of the open of the last name; O_TRUNC empties the
// file only after it passed the rule. With `follow` false a link at the
// last name fails the open (ELOOP). The descriptor, or -1 with the reason
// in errno (error_untrusted_link, error_untrusted_owner for a refusal, with
// its details kept for refusal_text()).
int open_under_rule(int start, const char* path, int flags, bool follow);
inline int open_under_rule(const char* path, int flags, bool follow)
{
    return open_under_rule(AT_FDCWD, path, flags, follow);
}

// file_open from the folder `start` (the walk begins there): `own`
// follows no link at the last name and opens only the player's own file.
FileHandle open_checked(int start, const char* path, FileOpen how, bool own);

// The folder holding the last name of `path`, opened by the walk (O_PATH),
// and that name: for the calls that act on a name itself (lstat, a link's
// text). -1 with errno on failure; `name` is "." for a path that names a
// folder ("/", ".", "a/").
int open_parent_under_rule(const char* path, std::string& name);

// The data folder bound for names opened from the current folder `cwd`
// whose first name is `first` (data_folder.h): true when the binding
// applies, with a descriptor of the bound folder in `folder`, or -1 and
// the judge's refusal in `error`.
bool bound_data_folder(int cwd, const std::string& first, int& folder, int& error);

// Keeps the details of a refusal for refusal_text() in this thread: the
// way out is the one the player has in the open folder `folder` that holds
// the name (-1: removing the name is offered), `link` when it is a link.
void note_refusal(int error, const std::string& path, uid_t owner, int folder = -1, bool link = false);
// The details of this thread's last refusal, when it had the number `error`.
bool refusal_details(int error, std::string& path, uid_t& owner);

} // namespace platform
