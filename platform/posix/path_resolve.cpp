#include "platform/path_resolve.h"

#include "platform/trust.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

#include <optional>
#include <vector>

namespace platform {

namespace {

bool exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> split_components(std::string_view path)
{
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (c == '/' || c == '\\') {
            parts.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    parts.push_back(std::move(current));
    return parts;
}

// The name in `folder` equal to `name` without regard to case; the
// lexicographically first when there are several. Only a name of the
// player's or root's stands in: in a folder others may write to, another
// user's "RACE.CFG" would otherwise be read, and written, as race.cfg.
std::optional<std::string> find_folded(const std::string& folder, const std::string& name)
{
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return std::nullopt;
    std::optional<std::string> best;
    while (dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, name.c_str()) != 0)
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !trusted_owner(st.st_uid))
            continue;
        if (!best || std::string_view(entry->d_name) < *best)
            best = entry->d_name;
    }
    closedir(dir);
    return best;
}

// Matches `parts` one by one below `result` (a folder, "" for the current
// one, or "/"), as resolve_path describes.
std::string resolve_parts(std::string result, const std::vector<std::string>& parts, size_t i)
{
    bool matching = true;
    for (; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        std::string folder = result;
        if (!result.empty() && result.back() != '/')
            result += '/';
        if (!matching || part.empty() || part == "." || part == "..") {
            result += part;
            continue;
        }
        std::string exact = result + part;
        if (exists(exact)) {
            result = std::move(exact);
            continue;
        }
        if (auto folded = find_folded(folder, part)) {
            result += *folded;
        } else {
            // Nothing further can match under a folder that does not exist.
            matching = false;
            result += part;
        }
    }
    return result;
}

std::string with_slashes(std::string_view path)
{
    std::string normal(path);
    for (char& c : normal) {
        if (c == '\\')
            c = '/';
    }
    return normal;
}

} // namespace

std::string resolve_path(std::string_view path)
{
    const std::string normal = with_slashes(path);
    if (normal.empty() || exists(normal))
        return normal;

    const std::vector<std::string> parts = split_components(normal);
    // An absolute path starts with an empty component; the result is built
    // as "prefix" + "/" + component from there on.
    if (parts[0].empty())
        return resolve_parts("/", parts, 1);
    return resolve_parts("", parts, 0);
}

std::string resolve_path_in(const std::string& folder, std::string_view name)
{
    const std::string normal = with_slashes(name);
    if (folder.empty())
        return resolve_path(normal);
    const std::string whole = folder.back() == '/' ? folder + normal : folder + "/" + normal;
    if (normal.empty() || exists(whole))
        return whole;
    return resolve_parts(folder, split_components(normal), 0);
}

} // namespace platform
