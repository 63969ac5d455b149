#include "platform/folder.h"

#include "platform/posix/path_walk.h"
#include "platform/trust.h"

#include <cerrno>

namespace platform {

FileHandle folder_create_first_free(FolderHandle folder, const std::function<std::string(int)>& name_of, int count,
                                    bool remove_leftovers, const std::string& shown, std::string& made)
{
    // The first name taken, and whose, for the report when none is free:
    // "File exists" named a name the player never asked for and no way
    // out. Another user's name is the one to name, as it is theirs to
    // remove.
    bool others = false;
    bool noted = false;
    for (int n = 0; n < count; ++n) {
        made = name_of(n);
        NameStatus there;
        if (folder_name_status(folder, made.c_str(), there)) {
            const bool leftover =
                remove_leftovers && may_use(folder, made.c_str(), there, NameUse::remove_leftover, "");
            if (leftover)
                (void)folder_remove(folder, made.c_str());
            else if (!others && !trusted_owner(there.owner)) {
                note_refusal(error_untrusted_owner, shown + made, there.owner, there.link, folder);
                others = noted = true;
            } else if (!noted) {
                note_refusal(error_names_taken, shown + made, there.owner, there.link, folder);
                noted = true;
            }
        }
        const FileHandle file = folder_create_new(folder, made.c_str());
        if (file != invalid_file || errno != EEXIST)
            return file;
    }
    errno = others ? error_untrusted_owner : noted ? error_names_taken : EEXIST;
    return invalid_file;
}

} // namespace platform
