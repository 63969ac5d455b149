// Folder listing with the layer's find-first/find-next shape.
#include "engine/base/file_internal.h"

#include <chrono>
#include <filesystem>
#include <new>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Search {
    fs::directory_iterator it;
    int dots_left = 2; // "." and ".." come first, as a "*.*" search of a folder gives them
};

int64_t seconds_since_epoch(fs::file_time_type t)
{
    // libstdc++'s file clock counts from the same epoch shift as
    // file_clock::to_sys applies; clock_cast is not available everywhere.
    const auto sys = std::chrono::file_clock::to_sys(t);
    return std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
}

// Fills `out` with the next entry; false at the end. Names that do not fit
// the record are skipped rather than handed out cut short.
bool fetch(Search& s, dirEntryTy& out)
{
    if (s.dots_left > 0) {
        out = dirEntryTy {};
        out.attrib = DIR_ATTR_SUBDIR;
        strCopy(out.name, sizeof(out.name), s.dots_left == 2 ? "." : "..");
        --s.dots_left;
        return true;
    }
    std::error_code ec;
    for (; s.it != fs::directory_iterator(); s.it.increment(ec)) {
        if (ec)
            return false;
        const std::string name = s.it->path().filename().string();
        if (name.size() >= sizeof(out.name))
            continue;
        out = dirEntryTy {};
        strCopy(out.name, sizeof(out.name), name.c_str());
        std::error_code entry_ec;
        if (s.it->is_directory(entry_ec))
            out.attrib = DIR_ATTR_SUBDIR;
        else
            out.size = s.it->file_size(entry_ec);
        const auto when = s.it->last_write_time(entry_ec);
        if (!entry_ec)
            out.writeTime = seconds_since_epoch(when);
        s.it.increment(ec);
        if (ec)
            s.it = fs::directory_iterator();
        return true;
    }
    return false;
}

} // namespace

dirTy* dirOpen(const char* directory)
{
    // The layer searched "<directory>/*.*", which matches every entry; the
    // pattern is not built here, the folder is listed directly.
    const std::string folder = (directory && *directory) ? fileResolve(directory) : ".";
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return nullptr;
    auto* search = static_cast<dirTy*>(memHooks.allocZ(1, sizeof(dirTy)));
    if (!search)
        return nullptr;
    auto* state = new (std::nothrow) Search { std::move(it) };
    if (!state) {
        memHooks.free(search);
        return nullptr;
    }
    search->handle = state;
    fetch(*state, search->find);
    search->firstPending = 1;
    search->valid = 1;
    return search;
}

int dirNext(dirTy* search)
{
    if (!search || !search->valid)
        return 0;
    if (search->firstPending) {
        search->firstPending = 0;
        return 1;
    }
    auto* state = static_cast<Search*>(search->handle);
    if (state && fetch(*state, search->find))
        return 1;
    search->valid = 0;
    return 0;
}

void dirClose(dirTy* search)
{
    if (!search)
        return;
    delete static_cast<Search*>(search->handle);
    memHooks.free(search);
}
