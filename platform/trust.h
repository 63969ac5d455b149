// Which names the program takes as its player's.
//
// The game's folder may be one that other users can write to (mode 777, or
// 1777 as /tmp), and what another user put there must not steer what the
// player's program reads or writes. Every open, save and search of the game
// and of its data tool decides through the functions here, and nowhere
// else. The rule for a name is judged where the name stands: the player's
// (the effective user's) and root's names are trusted everywhere; in a
// folder every user may write to, nothing else is used, neither followed
// as a link nor opened as a file or folder. Every open walks its path one
// name at a time and judges each name so, the first as the last: the
// kernel's own protection of links judges only the last name of a path,
// and not at all where it is switched off. A folder shared with a group
// (2775) is not one every user may write to: its members' names are used.
#pragma once

#include "platform/file.h"
#include "platform/folder.h"

#include <cstdint>
#include <string>

namespace platform {

// The error number of a name the rule refuses: a link of another user's in
// a folder every user may write to. system_error_text() reads it as "A link
// of another user's in a folder every user may write to". Like
// error_not_regular_file, it lies above every errno the system uses.
inline constexpr int error_untrusted_link = 0x10001;
// The error number of a file or folder refused because it is neither the
// player's nor root's ("Owned by another user").
inline constexpr int error_untrusted_owner = 0x10002;
// The error number of a data folder refused because every user may write
// to it ("Every user may write to it"): another user could swap its files.
inline constexpr int error_open_to_all = 0x10003;

// True for the player (the effective user) and for root.
[[nodiscard]] bool trusted_owner(uint32_t uid);

// The rule for one name: used when its owner is the player or root, or
// when the folder holding it is not one every user may write to.
[[nodiscard]] bool name_allowed(uint32_t owner, bool folder_open_to_all);

// The text of a refusal's error number (error_untrusted_link,
// error_untrusted_owner, error_open_to_all): when this thread's last
// refusal had that number, it names the path refused, whose it is, and the
// way out ("make it yours, or remove it"). "" for other numbers.
[[nodiscard]] std::string refusal_text(int error);

// True when the rule lets the name itself (a link is not followed) through
// where it stands; false when nothing has the name.
[[nodiscard]] bool name_passes(const char* path);

// True for the player alone: only a leftover of the player's is the
// player's to remove.
[[nodiscard]] bool player_owns(uint32_t uid);

// True when the open file or folder belongs to the player or root. A
// refusal is kept for refusal_text() under the name `name`.
[[nodiscard]] bool file_trusted(FileHandle file, const std::string& name);

// True when the player may put a file of their own in place of the name
// `name` of the open folder, whose status is `status` (as a rename over it
// does): a name of the player's own, or one the rule lets through (root's,
// or any in a folder not every user may write to) that its owner did not
// make read-only and the player may write. Otherwise false, with
// error_untrusted_owner in last_error() and the refusal kept for
// refusal_text() under the name `shown`.
[[nodiscard]] bool may_replace(FolderHandle folder, const char* name, const NameStatus& status,
                               const std::string& shown);

// One hop from `path`, its folders reached by the walk: when a link has
// the name and the rule lets it through, `path` becomes the name it gives
// (a relative one counted from the link's folder) and the result is true. False when no link has the
// name (`error` 0) or on failure (`error` set: error_untrusted_link for a
// refused link). The link's owner and text are read off one descriptor of
// the link itself, so another link swapped in between is not read.
[[nodiscard]] bool follow_link(std::string& path, int& error);

} // namespace platform
