#include "platform/trust.h"

#include "platform/posix/path_walk.h"

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

} // namespace

void note_refusal(int error, const std::string& path, uid_t owner) { last_refusal = {error, path, owner}; }

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
    const char* base = code == error_untrusted_link    ? "A link of another user's in a folder every user may write to"
                       : code == error_untrusted_owner ? "Owned by another user"
                       : code == error_open_to_all     ? "Every user may write to it"
                                                       : nullptr;
    if (!base)
        return {};
    std::string text = base;
    if (last_refusal.error != code || last_refusal.path.empty())
        return text;
    text += " ('" + last_refusal.path + "', " + whose(last_refusal.owner) + "): ";
    text += code == error_open_to_all ? "close it to other users (chmod o-w), or remove it"
                                      : "make it yours, or remove it";
    return text;
}

bool name_passes(const char* path)
{
    std::string name;
    const int folder = path ? open_parent_under_rule(path, name) : -1;
    if (folder < 0)
        return false;
    struct stat st;
    struct stat holder;
    const bool passes = ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                        ::fstat(folder, &holder) == 0 && name_allowed(st.st_uid, (holder.st_mode & S_IWOTH) != 0);
    ::close(folder);
    return passes;
}

bool player_owns(uint32_t uid) { return uid == ::geteuid(); }

bool file_trusted(FileHandle file, const std::string& name)
{
    struct stat st;
    if (::fstat(file, &st) != 0)
        return false;
    if (trusted_owner(st.st_uid))
        return true;
    note_refusal(error_untrusted_owner, name, st.st_uid);
    return false;
}

bool may_replace(FolderHandle folder, const char* name, const NameStatus& status, const std::string& shown)
{
    if (player_owns(status.owner))
        return true;
    // Root's name, or a group member's in the group's folder: whether the
    // player may write it is the system's to say, as for any file; its
    // owner's write bit is asked too, as the system does not ask it of root.
    if (name_allowed(status.owner, folder_open_to_all(folder)) && (status.mode & S_IWUSR) != 0 &&
        folder_may_write(folder, name))
        return true;
    note_refusal(error_untrusted_owner, shown, status.owner);
    errno = error_untrusted_owner;
    return false;
}

bool follow_link(std::string& path, int& error)
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
    struct stat holder;
    char text[PATH_MAX];
    ssize_t length = -1;
    if (link < 0) {
        if (errno != ENOENT)
            error = errno;
    } else if (::fstatat(link, "", &st, AT_EMPTY_PATH) != 0 || ::fstat(folder, &holder) != 0) {
        error = errno;
    } else if (S_ISLNK(st.st_mode)) {
        const size_t slash = path.find_last_of('/');
        if (!name_allowed(st.st_uid, (holder.st_mode & S_IWOTH) != 0)) {
            error = error_untrusted_link;
            note_refusal(error, path, st.st_uid);
        } else if ((length = ::readlinkat(link, "", text, sizeof text)) < 0)
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

} // namespace platform
