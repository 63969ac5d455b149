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
// (2775) is not one every user may write to: its members' names are used,
// but an open that writes, makes or removes follows, at every step of its
// path, only the player's and root's links (path_walk.h).
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
// error_untrusted_owner, error_open_to_all, file.h's error_second_name
// and error_link_at_name, and folder.h's error_names_taken): when this thread's last refusal had that
// number, it names the path refused, whose it is (root as root, a link as
// a link), and the way out: "make it yours, or remove it" where the player
// may remove the name, else running a copy of the game from a folder of
// their own. "" for other numbers.
[[nodiscard]] std::string refusal_text(int error);

// True for the player alone: only a leftover of the player's is the
// player's to remove.
[[nodiscard]] bool player_owns(uint32_t uid);

// What the program means to do with a name something already has. Whether
// it may is decided by may_use() alone, for every caller; the links on the
// way to its folder are the walk's to judge (folder_open for writing).
enum class NameUse {
    obey,            // read a file and act on what it says (the log's settings)
    replace,         // put a file of the player's in its place by a rename
    write_through,   // follow the link at the name to write where it leads
    remove_leftover, // remove what an interrupted write of the program left
};

// True when the player's program may use what has the name `name` of the
// open folder (its status: `status`) for `use`:
// - the player's own name, for every use;
// - obey: root's file too, wherever it is;
// - replace: a file (never a link) that the rule for shared folders lets
//   through (root's, or any in a folder not every user may write to), that
//   its owner did not make read-only and that the player may write;
// - write_through and remove_leftover: the player's own name alone. In a
//   folder a group shares, a member could aim a link of theirs at any file
//   of the player's, and a member's leftover may be their save under way.
// Otherwise false, with error_untrusted_owner in last_error(); when `shown`
// is not empty, the refusal is kept for refusal_text() under that name,
// with the way out the player can follow there.
[[nodiscard]] bool may_use(FolderHandle folder, const char* name, const NameStatus& status, NameUse use,
                           const std::string& shown);

// may_use() for `obey`, for an open file: true when it belongs to the
// player or root. A refusal is kept for refusal_text() under the name
// `name`.
[[nodiscard]] bool file_trusted(FileHandle file, const std::string& name);

// True when nobody but the player (and root) may make a name in the open
// folder: the player's own, and neither its group nor other users may write
// to it.
[[nodiscard]] bool folder_only_player_writes(FolderHandle folder);

// Where a write to `path` goes: the path itself when no link has the name,
// else the name the last link of a chain of the player's own links gives
// (which may not exist yet; a relative link counts from its own folder).
// A link of anyone else's is not followed: its own path is the result,
// where the writer finds a link that may_use() does not let it write
// through. The folders on the way are reached by the walk. After 40 links
// (a loop), ELOOP in `error` and the name reached.
[[nodiscard]] std::string write_target(const std::string& path, int& error);

} // namespace platform
