// Folders held open while files are made in them: the folder that was
// checked is the folder written, whatever is renamed over its name
// meanwhile. Every failing call leaves its error number in last_error()
// (process.h).
#pragma once

#include "platform/file.h"

namespace platform {

using FolderHandle = int;
inline constexpr FolderHandle invalid_folder = -1;

// Opens the folder at `path`. A link at the last name is followed only
// under the rule for shared folders (trust.h); error_untrusted_link when
// the rule refuses it, ENOTDIR when the name is no folder.
[[nodiscard]] FolderHandle folder_open(const char* path);
bool folder_close(FolderHandle folder);

// True when every user may write to the open folder.
[[nodiscard]] bool folder_open_to_all(FolderHandle folder);

// Makes the file `name` in the folder for writing, only where nothing has
// the name: a link there, even one that leads nowhere, fails it (EEXIST).
[[nodiscard]] FileHandle folder_create_new(FolderHandle folder, const char* name);

// Gives the file `from` in the folder the name `to`, replacing what has
// that name: a link at `to` is itself replaced, never written through.
[[nodiscard]] bool folder_rename(FolderHandle folder, const char* from, const char* to);

// Removes the name `name` from the folder (a link, not what it leads to).
bool folder_remove(FolderHandle folder, const char* name);

} // namespace platform
