#include "platform/posix/path_walk.h"

#include "platform/posix/modes.h"
#include "platform/trust.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <deque>
#include <string_view>
#include <unistd.h>

namespace platform {

namespace {

// A link's text is spliced into the names still to walk; after this many
// the walk is taken for a loop, as the kernel takes it.
constexpr int max_links = 40;

void close_quietly(int fd)
{
    if (fd >= 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
}

// Puts the names of `text` in front of `names`, in order. Empty names
// ("a//b", a trailing "/") are dropped, as the kernel drops them.
void push_names_front(std::deque<std::string>& names, const std::string& text)
{
    std::deque<std::string> parts;
    size_t from = 0;
    while (from <= text.size()) {
        const size_t slash = std::min(text.find('/', from), text.size());
        if (slash > from)
            parts.emplace_back(text, from, slash - from);
        from = slash + 1;
    }
    names.insert(names.begin(), parts.begin(), parts.end());
}

std::string shown_name(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The state of one walk: the folder reached, whether every user may write
// to it, and the path walked so far (for messages). A walk to write takes
// only the player's and root's links.
class Walk {
public:
    explicit Walk(bool writes) : writes_(writes) {}
    ~Walk()
    {
        close_quietly(folder_);
        close_quietly(steering_folder_);
    }

    // Starts at "/" for an absolute path, else at `start`, or inside the
    // bound data folder when the first name is its name.
    bool begin(int start, const char* path, std::deque<std::string>& names)
    {
        const bool absolute = path[0] == '/';
        push_names_front(names, path);
        if (absolute)
            return restart_at_root();
        folder_ = ::openat(start, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folder_ < 0 || !note_folder())
            return false;
        drop_dots(names);
        if (start != AT_FDCWD || names.empty())
            return true;
        int bound = -1;
        int error = 0;
        std::string bound_name;
        if (!bound_data_folder(folder_, names.front(), bound, bound_name, error))
            return true;
        if (bound < 0) {
            errno = error;
            return false;
        }
        if (writes_ && !reached_to_write(bound, bound_name)) {
            close_quietly(bound);
            return false;
        }
        shown_ = names.front();
        names.pop_front();
        close_quietly(folder_);
        folder_ = bound;
        return note_folder();
    }

    bool restart_at_root()
    {
        close_quietly(folder_);
        folder_ = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        shown_.assign(1, '/');
        return folder_ >= 0 && note_folder();
    }

    // Takes the folder `fd` (named `name` in the one before) as the next.
    void enter(int fd, bool open_to_all, const std::string& name)
    {
        close_quietly(folder_);
        folder_ = fd;
        shared_ = open_to_all;
        shown_ = shown_name(shown_, name);
    }

    // The rule for the name `name` of the folder reached, owned by `owner`.
    bool allowed(uid_t owner) const { return name_allowed(owner, shared_); }

    bool refuse(int error, const std::string& name, uid_t owner, bool link = false) const
    {
        note_refusal(error, shown_name(shown_, name), owner, link, folder_);
        errno = error;
        return false;
    }

    // Follows the link `link` (an O_PATH descriptor of it, named `name`)
    // when the rule lets it through: its text goes in front of `names`. A
    // write follows no link of anyone else's, a group member's included:
    // the member could aim it at any file of the player's.
    bool follow(int link, const struct stat& st, const std::string& name, std::deque<std::string>& names)
    {
        if (!allowed(st.st_uid))
            return refuse(error_untrusted_link, name, st.st_uid);
        if (writes_ && !trusted_owner(st.st_uid))
            return refuse(error_untrusted_owner, name, st.st_uid, true);
        if (!trusted_owner(st.st_uid))
            steer(st.st_uid, name);
        if (++links_ > max_links) {
            errno = ELOOP;
            return false;
        }
        char text[PATH_MAX];
        const ssize_t length = ::readlinkat(link, "", text, sizeof text);
        if (length < 0)
            return false;
        if (length == 0 || static_cast<size_t>(length) == sizeof text) {
            errno = length == 0 ? ENOENT : ENAMETOOLONG;
            return false;
        }
        const std::string target(text, static_cast<size_t>(length));
        push_names_front(names, target);
        return target[0] != '/' || restart_at_root();
    }

    int folder() const { return folder_; }

    // A link of another user's (a group member's, read in the group's
    // folder) leads only to what that user owns: it gives the player's
    // program no more than its owner has. Otherwise a member could aim one
    // at a private file of the player's and have its lines reported into
    // a log the group reads. A file the walk reached through such a link,
    // not owned by every user whose link it followed, is refused, named
    // by the first of those links. Folders on the way are not judged so:
    // what is read is the file at the end.
    bool reaches_what_the_links_owner_has(const struct stat& st) const
    {
        if (steered_by_ < 0 || S_ISDIR(st.st_mode) || (!steered_mixed_ && st.st_uid == uid_t(steered_by_)))
            return true;
        note_refusal(error_untrusted_owner, steering_link_, uid_t(steered_by_), true, steering_folder_);
        errno = error_untrusted_owner;
        return false;
    }

private:
    void steer(uid_t owner, const std::string& name)
    {
        if (steered_by_ >= 0) {
            steered_mixed_ = steered_mixed_ || owner != uid_t(steered_by_);
            return;
        }
        steered_by_ = owner;
        steering_link_ = shown_name(shown_, name);
        steering_folder_ = ::fcntl(folder_, F_DUPFD_CLOEXEC, 0);
    }

    // The bound data folder was opened by the read rule, which takes a
    // group member's link at its name: a write reaches it by its own rule,
    // walking the name `name` from the current folder, and only when that
    // walk leads to the very folder bound (`bound`); a folder put at the
    // name since was never judged (ESTALE).
    bool reached_to_write(int bound, const std::string& name) const
    {
        const int reached = open_under_rule(folder_, name.c_str(), O_PATH | O_DIRECTORY, true, true);
        if (reached < 0)
            return false;
        struct stat walked, held;
        const bool same = ::fstat(reached, &walked) == 0 && ::fstat(bound, &held) == 0 &&
                          walked.st_dev == held.st_dev && walked.st_ino == held.st_ino;
        close_quietly(reached);
        if (!same)
            errno = ESTALE;
        return same;
    }

    bool note_folder()
    {
        struct stat st;
        if (::fstat(folder_, &st) != 0)
            return false;
        shared_ = (st.st_mode & S_IWOTH) != 0;
        return true;
    }

    static void drop_dots(std::deque<std::string>& names)
    {
        while (names.size() > 1 && names.front() == ".")
            names.pop_front();
    }

    const bool writes_;
    int folder_ = -1;
    bool shared_ = false;
    int links_ = 0;
    std::string shown_;
    long long steered_by_ = -1; // the owner of the first link of another user's followed
    bool steered_mixed_ = false; // links of more than one other user followed
    std::string steering_link_;
    int steering_folder_ = -1; // the folder holding that link
};

// open_last's answer for a link followed: the walk goes on.
constexpr int link_followed = -2;

// Opens the last name `name` in the walk's folder with `flags`. A link
// there, or a name the open fails on for another reason than its absence,
// is looked at on its own (O_PATH) and judged: a link the rule lets
// through comes back as link_followed with `names` extended, anything the
// rule refuses is named as refused rather than by the open's own error.
int open_last(Walk& walk, const std::string& name, int flags, bool follow, std::deque<std::string>& names)
{
    // A file made here gets made_file_mode (modes.h).
    int fd = open_or_make(walk.folder(), name.c_str(), flags, made_file_mode);
    struct stat st;
    if (fd >= 0) {
        if (::fstat(fd, &st) != 0) {
            close_quietly(fd);
            return -1;
        }
        // O_PATH opens a link itself.
        if (S_ISLNK(st.st_mode)) {
            const bool followed = follow && walk.follow(fd, st, name, names);
            if (!follow)
                errno = ELOOP;
            close_quietly(fd);
            return followed ? link_followed : -1;
        }
    } else {
        const int refused = errno;
        if (refused == ENOENT || refused == EEXIST)
            return -1;
        const int look = ::openat(walk.folder(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (look < 0 || ::fstat(look, &st) != 0) {
            close_quietly(look);
            errno = refused;
            return -1;
        }
        if (S_ISLNK(st.st_mode) && follow) {
            const bool followed = walk.follow(look, st, name, names);
            close_quietly(look);
            return followed ? link_followed : -1;
        }
        close_quietly(look);
        if (!S_ISLNK(st.st_mode) && name != "." && name != ".." && !walk.allowed(st.st_uid))
            return walk.refuse(error_untrusted_owner, name, st.st_uid), -1;
        errno = S_ISLNK(st.st_mode) ? ELOOP : refused;
        return -1;
    }
    // "." and ".." were judged where the walk met them by their names.
    if (name != "." && name != ".." && !walk.allowed(st.st_uid)) {
        close_quietly(fd);
        return walk.refuse(error_untrusted_owner, name, st.st_uid), -1;
    }
    if (!walk.reaches_what_the_links_owner_has(st)) {
        close_quietly(fd);
        return -1;
    }
    if ((flags & O_TRUNC) && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
        close_quietly(fd);
        return -1;
    }
    return fd;
}

} // namespace

int open_under_rule(int start, const char* path, int flags, bool follow, bool writes)
{
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    Walk walk(writes || (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0);
    std::deque<std::string> names;
    if (!walk.begin(start, path, names))
        return -1;
    for (;;) {
        if (names.empty())
            names.emplace_back(".");
        const std::string name = names.front();
        names.pop_front();
        if (names.empty()) {
            const int fd = open_last(walk, name, flags, follow, names);
            if (fd != link_followed)
                return fd;
            continue;
        }
        if (name == ".")
            continue;
        const int fd = ::openat(walk.folder(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            close_quietly(fd);
            return -1;
        }
        if (S_ISLNK(st.st_mode)) {
            const bool followed = walk.follow(fd, st, name, names);
            close_quietly(fd);
            if (!followed)
                return -1;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            close_quietly(fd);
            errno = ENOTDIR;
            return -1;
        }
        if (name != ".." && !walk.allowed(st.st_uid)) {
            close_quietly(fd);
            return walk.refuse(error_untrusted_owner, name, st.st_uid), -1;
        }
        walk.enter(fd, (st.st_mode & S_IWOTH) != 0, name);
    }
}

int open_parent_under_rule(const char* path, std::string& name)
{
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    std::string_view whole = path;
    while (whole.size() > 1 && whole.back() == '/')
        whole.remove_suffix(1);
    const size_t slash = whole.find_last_of('/');
    const std::string_view last = slash == std::string_view::npos ? whole : whole.substr(slash + 1);
    name.assign(last.empty() || last == "/" ? std::string_view(".") : last);
    const std::string folder(slash == std::string_view::npos ? std::string_view(".")
                             : slash == 0                    ? std::string_view("/")
                                                             : whole.substr(0, slash));
    return open_under_rule(AT_FDCWD, folder.c_str(), O_PATH | O_DIRECTORY, true, true);
}

} // namespace platform
