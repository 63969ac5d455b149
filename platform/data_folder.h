// The game's data folder: one judge for the game's search, its loads and
// the data tool, so that the same folder gets the same answer everywhere,
// and a binding that makes every load read the very folder judged.
#pragma once

#include "platform/folder.h"

#include <string>
#include <vector>

namespace platform {

// The names in the folder `folder` (as the system names it; "" for the
// current one) that stand for its data folder `name`: each folder whose
// whole name is `name`, ASCII case aside, as the loads find it
// (data_folder_bind), and each link so named, for the judge to follow or
// refuse. Nothing else is a data folder: neither a file named so nor a
// name that only begins like it ("database-notes.txt", "DATA.old"). The
// one the loads take first comes first: `name` as written, then the
// others in byte order. None when the folder cannot be listed, and
// `error` then says why (0 when it was listed).
[[nodiscard]] std::vector<std::string> data_folder_names(const std::string& folder, const std::string& name,
                                                         int& error);

// Opens the folder at `path` (every name on the way judged by the rule for
// shared folders, trust.h) and judges the open folder: it must be the
// player's or root's, and not one every user may write to, since another
// user could then swap its files. A folder shared with a group passes.
// The folder, or invalid_folder with the reason in last_error(): the
// open's own (ENOENT, ENOTDIR, a refusal on the way), error_untrusted_owner
// or error_open_to_all; system_error_text() then names the folder, whose
// it is and the way out. Opened `for` writing (the data tool), the walk
// takes only the player's and root's links on the way, as every write's.
[[nodiscard]] FolderHandle data_folder_open(const char* path, FolderFor use = FolderFor::reading);

// True when data_folder_open's failure `error` is a refusal, of the folder
// or of a name on the way to it, by the rule for shared folders or the
// judge; false for a folder that could not be opened (too many open
// files, no memory, no permission), which is the player's all the same.
[[nodiscard]] bool data_folder_refused(int error);

// From now on, a relative name whose first name is `name` (ASCII case
// aside, as the loads find it), opened while the current folder is the one
// current now, is opened inside `folder` (taken over): the name is never
// looked up again, so nothing renamed over it later is read. With
// `folder` invalid, such names fail with `error`, the judge's refusal: a
// folder the judge refused is never read, whatever happens after.
void data_folder_bind(const std::string& name, FolderHandle folder, int error);
// Ends the binding, closing the folder.
void data_folder_unbind();

} // namespace platform
