#include "quarn/LogFileBuf.h"

#include "quarn/Log.h"

#include "platform/process.h"
#include "platform/shown_text.h"

namespace quarn {

namespace {

struct SplitName {
    std::string dir; // with its trailing separator, "" when none
    std::string base;
    std::string ext; // with its dot, "" when none
};

// `separators` ends the folder part: "/\\" for the names the program asks
// for, "/" alone for the executable's own path, where "\\" is an ordinary
// character of a folder's name.
SplitName split_name(const std::string& name, const char* separators = "/\\")
{
    SplitName split;
    size_t slash = name.find_last_of(separators);
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    split.dir = name.substr(0, start);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot < start)
        dot = name.size();
    split.base = name.substr(start, dot - start);
    split.ext = name.substr(dot);
    return split;
}

std::string join(const std::string& dir, const std::string& file)
{
    if (dir.empty() || dir.back() == '/' || dir.back() == '\\')
        return dir + file;
    return dir + "/" + file;
}

std::string base36(unsigned value)
{
    std::string digits(6, '0');
    for (size_t i = digits.size(); i-- > 0 && value;) {
        digits[i] = "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36];
        value /= 36;
    }
    return digits;
}

// The reason of the open that just failed on `file`.
std::string open_failure(const File& file)
{
    const auto* error = dynamic_cast<const SystemErrorInfo*>(file.last_error());
    return platform::system_error_text(error ? error->code() : platform::last_error());
}

bool try_in(File& file, const std::string& dir, const SplitName& name, uint32_t mode, std::string* opened,
            std::string& first_failure)
{
    std::string path = join(dir, name.base + name.ext);
    if (opened)
        *opened = path;
    if (file.open(path.c_str(), mode))
        return true;
    if (first_failure.empty()) {
        const std::string shown = platform::shown_text(path);
        first_failure = "'" + shown + "': " + open_failure(file);
    }
    if (!(mode & open_mode::out))
        return false;
    // The name is taken or cannot be made here: try numbered names beside it.
    for (unsigned counter = 0; counter <= 100; ++counter) {
        if (counter > 0)
            open_entry(log_info) << "can't create unique file, trying again" << std::endl;
        path = join(dir, name.base + "_" + base36(counter) + name.ext);
        if (file.open(path.c_str(), mode)) {
            if (opened)
                *opened = path;
            return true;
        }
    }
    return false;
}

bool search_log_file(File& file, const std::string& name, uint32_t mode, std::string* opened,
                     std::string& first_failure)
{
    if (file.is_open() || name.empty())
        return false;
    const bool writing = mode & open_mode::out;
    // The log may land in the temporary folder, where anyone can put a
    // link at its name to have a file of the player's emptied and written
    // over. It is written only to a file of the player's own and through
    // no link, wherever it is; a name that fails that goes to the numbered
    // names.
    if (writing)
        mode |= open_mode::own;
    SplitName split = split_name(name);
    if (!split.dir.empty()) {
        if (try_in(file, split.dir, split, mode, opened, first_failure))
            return true;
        if (!writing)
            return false;
    }
    std::string module = platform::module_file_name();
    if (!module.empty()) {
        if (try_in(file, split_name(module, "/").dir, split, mode, opened, first_failure))
            return true;
        if (!writing)
            return false;
    }
    if (try_in(file, platform::temp_dir(), split, mode, opened, first_failure))
        return true;
    return try_in(file, "./", split, mode, opened, first_failure);
}

} // namespace

bool open_log_file(File& file, const std::string& name, uint32_t mode, std::string* opened, std::string* passed_over)
{
    std::string first_failure;
    const bool found = search_log_file(file, name, mode, opened, first_failure);
    if (passed_over)
        *passed_over = first_failure;
    return found;
}

const std::string& log_base_name()
{
    static const std::string base = [] {
        std::string module = platform::module_file_name();
        std::string name = module.empty() ? std::string() : split_name(module, "/").base;
        return name.empty() ? std::string("_quarn") : name;
    }();
    return base;
}

} // namespace quarn
