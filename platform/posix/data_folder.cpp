#include "platform/data_folder.h"

#include "platform/posix/path_walk.h"
#include "platform/trust.h"

#include <algorithm>
#include <cerrno>
#include <mutex>

#include <dirent.h>
#include <strings.h>
#include <unistd.h>

namespace platform {

namespace {

struct Binding {
    bool set = false;
    dev_t holder_device = 0; // the current folder it was bound in
    ino_t holder_inode = 0;
    std::string name;
    int folder = -1;
    int error = 0;
    std::string refused_path; // the refusal's details, for its message
    uid_t refused_owner = 0;
};

std::mutex binding_mutex;
Binding binding;

void clear_locked()
{
    if (binding.folder >= 0)
        ::close(binding.folder);
    binding = {};
}

} // namespace

std::vector<std::string> data_folder_names(const std::string& folder, const std::string& name, int& error)
{
    std::vector<std::string> names;
    error = 0;
    DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!listing) {
        error = errno;
        return names;
    }
    // What a name is, the name itself: a link is the judge's to follow,
    // under the rule for shared folders, or to refuse.
    while (const dirent* entry = ::readdir(listing)) {
        struct stat st;
        if (::strcasecmp(entry->d_name, name.c_str()) == 0 &&
            ::fstatat(::dirfd(listing), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)))
            names.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    std::sort(names.begin(), names.end(), [&name](const std::string& a, const std::string& b) {
        return (a == name) != (b == name) ? a == name : a < b;
    });
    return names;
}

FolderHandle data_folder_open(const char* path, FolderFor use)
{
    const int folder =
        path ? open_under_rule(AT_FDCWD, path, O_PATH | O_DIRECTORY, true, use == FolderFor::writing) : -1;
    if (folder < 0)
        return invalid_folder;
    struct stat st;
    int error = 0;
    if (::fstat(folder, &st) != 0)
        error = errno;
    else if (!trusted_owner(st.st_uid))
        error = error_untrusted_owner;
    else if (st.st_mode & S_IWOTH)
        error = error_open_to_all;
    if (error == 0)
        return folder;
    if (error == error_untrusted_owner || error == error_open_to_all)
        note_refusal(error, path, st.st_uid);
    ::close(folder);
    errno = error;
    return invalid_folder;
}

bool data_folder_refused(int error)
{
    return error == error_untrusted_link || error == error_untrusted_owner || error == error_open_to_all;
}

void data_folder_bind(const std::string& name, FolderHandle folder, int error)
{
    struct stat here;
    const bool known = ::stat(".", &here) == 0;
    std::lock_guard lock(binding_mutex);
    clear_locked();
    if (!known || name.empty()) {
        if (folder >= 0)
            ::close(folder);
        return;
    }
    binding.set = true;
    binding.holder_device = here.st_dev;
    binding.holder_inode = here.st_ino;
    binding.name = name;
    binding.folder = folder;
    binding.error = folder >= 0 ? 0 : (error != 0 ? error : ENOENT);
    // The refusal's details, kept for the loads that fail on it later.
    (void)refusal_details(binding.error, binding.refused_path, binding.refused_owner);
}

void data_folder_unbind()
{
    std::lock_guard lock(binding_mutex);
    clear_locked();
}

bool bound_data_folder(int cwd, const std::string& first, int& folder, std::string& name, int& error)
{
    std::lock_guard lock(binding_mutex);
    if (!binding.set || ::strcasecmp(first.c_str(), binding.name.c_str()) != 0)
        return false;
    struct stat here;
    if (::fstat(cwd, &here) != 0 || here.st_dev != binding.holder_device || here.st_ino != binding.holder_inode)
        return false;
    folder = -1;
    name = binding.name;
    error = binding.error;
    if (!binding.refused_path.empty())
        note_refusal(error, binding.refused_path, binding.refused_owner);
    if (binding.folder >= 0) {
        folder = ::fcntl(binding.folder, F_DUPFD_CLOEXEC, 0);
        if (folder < 0)
            error = errno;
    }
    return true;
}

} // namespace platform
