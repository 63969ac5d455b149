#include "platform/trust.h"

#include "platform/posix/path_walk.h"
#include "platform/shown_text.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The details of the last refusal in this thread, for its message.
struct Refusal {
    int error = 0;
    std::string path;
    uid_t owner = 0;
    bool link = false;      // the name refused is a link
    bool removable = true;  // the player may remove the name from its folder
};
thread_local Refusal last_refusal;

// "user bob (uid 1001)", or "user 1001" where the system names no user.
std::string whose(uid_t owner)
{
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(owner, &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name)
        return "user " + std::string(found->pw_name) + " (uid " + std::to_string(owner) + ")";
    return "user " + std::to_string(owner);
}

// True when the sticky bit of the open folder keeps the player from
// removing or renaming over a name of `owner`'s in it: it leaves the name
// to the owners of the folder and of the name.
bool sticky_keeps(FolderHandle folder, uid_t owner)
{
    struct stat holder;
    return ::fstat(folder, &holder) == 0 && (holder.st_mode & S_ISVTX) != 0 && !player_owns(holder.st_uid) &&
           !player_owns(owner);
}

// True when the player may take the name `name` (owned by `owner`) out of
// the open folder: the folder lets them write in it, and its sticky bit,
// when set, leaves the name to them.
bool may_remove(FolderHandle folder, uid_t owner)
{
    return ::faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) == 0 && !sticky_keeps(folder, owner);
}

// "user bob (uid 1001)", with "yours" and "root's" for the player and root.
std::string owner_words(uid_t owner)
{
    return player_owns(owner) ? "yours" : owner == 0 ? "root's" : whose(owner);
}

} // namespace

void note_refusal(int error, const std::string& path, uid_t owner, bool link, int folder)
{
    last_refusal = {.error = error,
                    .path = path,
                    .owner = owner,
                    .link = link,
                    .removable = folder < 0 || may_remove(folder, owner)};
}

bool refusal_details(int error, std::string& path, uid_t& owner)
{
    if (error == 0 || last_refusal.error != error)
        return false;
    path = last_refusal.path;
    owner = last_refusal.owner;
    return true;
}

bool trusted_owner(uint32_t uid) { return uid == ::geteuid() || uid == 0; }

bool name_allowed(uint32_t owner, bool folder_open_to_all) { return trusted_owner(owner) || !folder_open_to_all; }

std::string refusal_text(int code)
{
    const Refusal& last = last_refusal;
    const bool noted = last.error == code;
    // The path holds names read from disk (a link's text) and from the
    // settings (DATA_DIR): shown, never sent as they stand. A long one is
    // shortened: the report this reason goes into names a file of its own
    // (a title's screenshot beside its first temporary name) in 511 bytes.
    constexpr size_t path_most = 160;
    const std::string path = shown_name(last.path, path_most);
    // Where the player cannot take the name away, a game installed for all
    // users among them, a copy of their own is what they can do.
    const char* not_removable = "it is not yours to remove; run a copy of the game from a folder of your own";
    if (code == error_second_name) {
        if (!noted || player_owns(last.owner))
            return "A file of yours with a second name (a hard link) elsewhere, which writing it would change too: "
                   "remove this name, and the file keeps its other";
        return "A file of " + owner_words(last.owner) +
               " with a second name (a hard link) elsewhere, which writing it would change too: ask its owner to "
               "remove this name, or run a copy of the game from a folder of your own";
    }
    if (code == error_names_taken) {
        const char* all_taken = "Every name for a new file is taken";
        if (!noted || last.path.empty())
            return all_taken;
        return std::string(all_taken) + ", the first ('" + path + "', " + (last.link ? "a link of " : "") +
               owner_words(last.owner) + "): " + (last.removable ? "remove those names" : not_removable);
    }
    if (code == error_link_at_name) {
        if (!noted || last.path.empty())
            return "A link, which is not written through";
        return "A link, which is not written through ('" + path + "', a link of " + owner_words(last.owner) +
               "): " + (last.removable ? "remove it" : not_removable);
    }
    const char* base = code == error_untrusted_link    ? "A link of another user's in a folder every user may write to"
                       : code == error_untrusted_owner ? "Owned by another user"
                       : code == error_open_to_all     ? "Every user may write to it"
                                                       : nullptr;
    if (!base)
        return {};
    if (!noted || last.path.empty())
        return base;
    const std::string kind = last.link ? "a link of " : "";
    std::string text = code == error_untrusted_owner && last.owner == 0
                           ? "Owned by root ('" + path + "'" + (last.link ? ", a link" : "") + ")"
                           : std::string(base) + " ('" + path + "', " + kind + whose(last.owner) + ")";
    if (code == error_open_to_all)
        text += ": close it to other users (chmod o-w), or remove it";
    else if (last.removable)
        text += ": make it yours, or remove it";
    else
        text += std::string(": ") + not_removable;
    return text;
}

bool player_owns(uint32_t uid) { return uid == ::geteuid(); }

bool may_use(FolderHandle folder, const char* name, const NameStatus& status, NameUse use, const std::string& shown)
{
    if (player_owns(status.owner))
        return true;
    bool allowed = false;
    switch (use) {
    case NameUse::obey:
        allowed = status.owner == 0;
        break;
    case NameUse::replace:
        // Root's name, or a group member's in the group's folder: whether
        // the player may write it is the system's to say, as for any file;
        // its owner's write bit is asked too, as the system does not ask it
        // of root. A link is its owner's: the rename would put the player's
        // file where they aimed it. A sticky folder keeps a name of
        // another's from the rename, whatever the file's mode.
        allowed = !status.link && name_allowed(status.owner, folder_open_to_all(folder)) &&
                  (status.mode & S_IWUSR) != 0 && folder_may_write(folder, name) &&
                  !sticky_keeps(folder, status.owner);
        break;
    case NameUse::write_through:
    case NameUse::remove_leftover:
        break;
    }
    if (allowed)
        return true;
    if (!shown.empty())
        note_refusal(error_untrusted_owner, shown, status.owner, status.link, folder);
    errno = error_untrusted_owner;
    return false;
}

bool file_trusted(FileHandle file, const std::string& name)
{
    struct stat st;
    if (::fstat(file, &st) != 0)
        return false;
    const NameStatus status{.regular = S_ISREG(st.st_mode), .owner = st.st_uid, .mode = st.st_mode & 07777u};
    return may_use(invalid_folder, "", status, NameUse::obey, name);
}

bool folder_only_player_writes(FolderHandle folder)
{
    struct stat st;
    return ::fstat(folder, &st) == 0 && player_owns(st.st_uid) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

namespace {

// One hop from `path`, as write_target() takes it: the link's owner and
// text are read off one descriptor of the link itself, so another link
// swapped in between is not read. A link of anyone else's is not
// followed: false with `error` 0, as where no link has the name.
bool hop(std::string& path, int& error)
{
    error = 0;
    std::string name;
    const int folder = open_parent_under_rule(path.c_str(), name);
    if (folder < 0) {
        if (errno != ENOENT)
            error = errno;
        return false;
    }
    const int link = ::openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    char text[PATH_MAX];
    ssize_t length = -1;
    if (link < 0) {
        if (errno != ENOENT)
            error = errno;
    } else if (::fstatat(link, "", &st, AT_EMPTY_PATH) != 0) {
        error = errno;
    } else if (S_ISLNK(st.st_mode)) {
        const size_t slash = path.find_last_of('/');
        const NameStatus status{.link = true, .owner = st.st_uid, .mode = st.st_mode & 07777u};
        if (!may_use(folder, name.c_str(), status, NameUse::write_through, ""))
            length = -1;
        else if ((length = ::readlinkat(link, "", text, sizeof text)) < 0)
            error = errno;
        else if (static_cast<size_t>(length) == sizeof text)
            error = ENAMETOOLONG;
        else if (text[0] == '/' || slash == std::string::npos)
            path.assign(text, static_cast<size_t>(length));
        else
            path = path.substr(0, slash + 1) + std::string(text, static_cast<size_t>(length));
    }
    if (link >= 0)
        ::close(link);
    ::close(folder);
    return error == 0 && length >= 0;
}

} // namespace

std::string write_target(const std::string& path, int& error)
{
    std::string file = path;
    for (int hops = 0; hops < 40; ++hops) {
        if (!hop(file, error))
            return file;
    }
    error = ELOOP;
    return file;
}

} // namespace platform
