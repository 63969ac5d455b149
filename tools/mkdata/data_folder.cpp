#include "tools/mkdata/data_folder.h"

#include "platform/data_folder.h"
#include "platform/process.h"

#include <cerrno>

namespace mkdata {

namespace {

// Names tried for the temporary file before giving up: a run that ended
// half way leaves one behind, and the next takes the following number.
constexpr int temporary_names = 100;

bool write_all(platform::FileHandle file, std::span<const uint8_t> bytes)
{
    return platform::file_write_all(file, bytes.data(), bytes.size()) == 0;
}

// Removes the temporary file, keeping the reason for the failure that led
// here. Always false.
bool discard(platform::FolderHandle folder, const std::string& temporary, const platform::MadeFile& made)
{
    const int error = platform::last_error();
    (void)platform::folder_remove_made(folder, temporary.c_str(), made);
    platform::set_last_error(error);
    return false;
}

} // namespace

bool write_new_file(platform::FolderHandle folder, const std::string& name, const FileFill& fill)
{
    const auto temporary_name = [&name](int n) { return "." + name + "." + std::to_string(n) + ".new"; };
    std::string temporary;
    const platform::FileHandle file =
        platform::folder_create_first_free(folder, temporary_name, temporary_names, false, "", temporary);
    if (file == platform::invalid_file)
        return false;
    const platform::MadeFile made = platform::made_file(file);
    bool filled = false;
    try {
        filled = fill(file);
    } catch (...) {
        (void)platform::file_close(file);
        discard(folder, temporary, made);
        throw;
    }
    const int fill_error = platform::last_error();
    const bool closed = platform::file_close(file);
    if (!filled)
        platform::set_last_error(fill_error);
    if (!filled || !closed || !platform::folder_rename(folder, temporary.c_str(), name.c_str()))
        return discard(folder, temporary, made);
    return true;
}

bool write_new_file(platform::FolderHandle folder, const std::string& name, std::span<const uint8_t> bytes)
{
    return write_new_file(folder, name, [bytes](platform::FileHandle file) { return write_all(file, bytes); });
}

bool write_new_file(const std::string& path, const FileFill& fill)
{
    const auto [folder_path, name] = platform::split_folder_path(path);
    const platform::OpenFolder folder(folder_path, platform::FolderFor::writing);
    return folder.handle != platform::invalid_folder && write_new_file(folder.handle, name, fill);
}

bool write_new_file(const std::string& path, std::span<const uint8_t> bytes)
{
    return write_new_file(path, [bytes](platform::FileHandle file) { return write_all(file, bytes); });
}

DataFolder::~DataFolder()
{
    if (folder_ != platform::invalid_folder)
        platform::folder_close(folder_);
}

std::string DataFolder::open(const std::string& path)
{
    // Made closed to writing by others whatever the umask is: the judge
    // below refuses a data folder every user may write to.
    // A failure on the way is named where it came: the folder above that
    // could not be made or opened, not the data folder never reached. A
    // folder that is there but could not be opened (too many open files)
    // is not said to be one that could not be made.
    platform::FolderMakeFailure failed;
    if (!platform::folder_make(path.c_str(), 0755, &failed)) {
        const std::string why = platform::system_error_text(platform::last_error());
        return failed.opening ? "cannot open the folder " + failed.folder + " on the way to " + path + ": " + why
                              : "cannot make the folder " + failed.folder + ": " + why;
    }
    folder_ = platform::data_folder_open(path.c_str(), platform::FolderFor::writing);
    if (folder_ == platform::invalid_folder) {
        const int error = platform::last_error();
        return (platform::data_folder_refused(error) ? "refusing the data folder " : "cannot open the data folder ") +
               path + ": " + platform::system_error_text(error);
    }
    return {};
}

bool DataFolder::write(const std::string& name, std::span<const uint8_t> bytes) const
{
    return write_new_file(folder_, name, bytes);
}

bool DataFolder::write(const std::string& name, const FileFill& fill) const
{
    return write_new_file(folder_, name, fill);
}

} // namespace mkdata
