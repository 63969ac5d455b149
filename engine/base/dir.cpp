// Folder listing with the layer's find-first/find-next shape.
#include "engine/base/file_internal.h"

#include "platform/folder.h"
#include "platform/trust.h"

#include <filesystem>
#include <new>
#include <string>

namespace fs = std::filesystem;

namespace {

// The names come from the listing; what each name is comes from the
// folder opened by the walk (platform/trust.h), the name itself looked at
// where it stands: a link is not followed, and a name the rule for shared
// folders refuses says nothing of itself (no kind, size or time), as the
// opens would not use it either.
struct Search {
    fs::directory_iterator it;
    platform::FolderHandle folder = platform::invalid_folder;
    bool open_to_all = false;
    int dots_left = 2; // "." and ".." come first, as a "*.*" search of a folder gives them

    Search(fs::directory_iterator listing, const std::string& path)
        : it(std::move(listing)), folder(platform::folder_open(path.c_str())),
          open_to_all(folder != platform::invalid_folder && platform::folder_open_to_all(folder))
    {
    }
    ~Search()
    {
        if (folder != platform::invalid_folder)
            platform::folder_close(folder);
    }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;

    void describe(dirEntryTy& out) const
    {
        platform::NameStatus status;
        if (folder == platform::invalid_folder || !platform::folder_name_status(folder, out.name, status) ||
            !platform::name_allowed(status.owner, open_to_all))
            return;
        if (status.folder)
            out.attrib = DIR_ATTR_SUBDIR;
        else
            out.size = static_cast<uint64_t>(status.size);
        out.writeTime = status.write_time;
    }
};

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
        s.describe(out);
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
    // pattern is not built here, the folder is listed directly. Its name is
    // the system's (the folders the program stands in), not a data name:
    // "\\" in it is an ordinary character.
    const std::string folder = (directory && *directory) ? directory : ".";
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return nullptr;
    auto* search = static_cast<dirTy*>(memHooks.allocZ(1, sizeof(dirTy)));
    if (!search)
        return nullptr;
    auto* state = new (std::nothrow) Search(std::move(it), folder);
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
