// Where the tool's files go. Every file is written through one function,
// which makes it new under a temporary name and renames it into place, so
// a link that someone planted at a file's name is replaced, never written
// through.
#pragma once

#include "platform/file.h"
#include "platform/folder.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace mkdata {

// Writes the content into a new open file; false when it did not go out
// whole. May throw (the physics streams do).
using FileFill = std::function<bool(platform::FileHandle)>;

// Writes the file `name` of the open `folder`: made new under a temporary
// name beside it (exclusively: never through a link), filled, then renamed
// over `name`. A failed or thrown fill leaves what had the name as it was
// and removes the temporary file. False on failure, with the reason in
// platform::last_error().
[[nodiscard]] bool write_new_file(platform::FolderHandle folder, const std::string& name, const FileFill& fill);
[[nodiscard]] bool write_new_file(
    platform::FolderHandle folder, const std::string& name, std::span<const uint8_t> bytes);
// The same for a path, through the folder holding it.
[[nodiscard]] bool write_new_file(const std::string& path, const FileFill& fill);
[[nodiscard]] bool write_new_file(const std::string& path, std::span<const uint8_t> bytes);

// The game's data folder, opened once and checked on its descriptor: the
// folder checked is the folder written, whatever is renamed over its name.
class DataFolder {
public:
    DataFolder() = default;
    ~DataFolder();
    DataFolder(const DataFolder&) = delete;
    DataFolder& operator=(const DataFolder&) = delete;

    // Opens the folder at `path`, making it (and the folders on the way)
    // when missing, mode 0755 whatever the umask. Judged as the game judges
    // it (platform::data_folder_open): refused when it is neither the
    // player's nor root's, or when every user may write to it. "" when it
    // may be used, else why not, naming the folder that failed.
    [[nodiscard]] std::string open(const std::string& path);

    [[nodiscard]] bool write(const std::string& name, std::span<const uint8_t> bytes) const;
    [[nodiscard]] bool write(const std::string& name, const FileFill& fill) const;

private:
    platform::FolderHandle folder_ = platform::invalid_folder;
};

} // namespace mkdata
