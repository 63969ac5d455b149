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
//
// A walk to write (`writes`, or `flags` that write, make or empty a file)
// follows, at every step, only the player's and root's links: anyone
// else's, a group member's in the group's folder included, is refused
// (error_untrusted_owner, named as a link). It reaches the bound data
// folder by that rule too, and only when the name leads to the very folder
// bound. Reads keep the rule above, and a read through another user's link
// opens only a file of that user's (error_untrusted_owner, naming the
// link): their link gives the program no more than they have.
int open_under_rule(int start, const char* path, int flags, bool follow, bool writes = false);
inline int open_under_rule(const char* path, int flags, bool follow)
{
    return open_under_rule(AT_FDCWD, path, flags, follow);
}

// What file_open does with a link at the last name of its path.
enum class LastName {
    follow,  // follows it, as the walk's rule lets it
    no_link, // fails on it (ELOOP)
    own,     // fails on it, and opens only the player's own file
};

// file_open from the folder `start` (the walk begins there), `last`
// deciding what a link at the last name does.
FileHandle open_checked(int start, const char* path, FileOpen how, LastName last);

// The folder holding the last name of `path`, opened by a walk to write
// (O_PATH), and that name: for the calls that make, remove or follow the
// name itself (a folder made, a link's text for a write). -1 with errno on
// failure; `name` is "." for a path that names a folder ("/", ".", "a/").
int open_parent_under_rule(const char* path, std::string& name);

// The data folder bound for names opened from the current folder `cwd`
// whose first name is `first` (data_folder.h): true when the binding
// applies, with a descriptor of the bound folder in `folder` and its name
// in the current folder in `name`, or -1 and the judge's refusal in
// `error`.
bool bound_data_folder(int cwd, const std::string& first, int& folder, std::string& name, int& error);

// Keeps the details of a refusal for refusal_text() in this thread: of a
// link when `link`, and with the way out the player has in the open folder
// `folder` that holds the name (-1: taken as one they may remove it from).
void note_refusal(int error, const std::string& path, uid_t owner, bool link = false, int folder = -1);
// The details of this thread's last refusal, when it had the number `error`.
bool refusal_details(int error, std::string& path, uid_t& owner);

} // namespace platform
