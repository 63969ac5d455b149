#include "quarn/FileBuf.h"

#include "platform/file.h"
#include "platform/path_resolve.h"

#include <string>

namespace quarn::io {

FileBuf::FileBuf() { attach(&file_, nullptr); }

FileBuf::FileBuf(platform::FileHandle handle, uint32_t mode)
{
    attach(&file_, nullptr);
    (void)file_.attach(handle, mode);
}

FileBuf::FileBuf(const char* name, uint32_t mode)
{
    attach(&file_, name);
    open(name, mode);
}

FileBuf::~FileBuf() { close(); }

FileBuf* FileBuf::open(const char* name, uint32_t mode)
{
    if (!name || file_.is_open())
        return nullptr;
    // Data files name their folders and files as written on a system that
    // ignores case.
    const std::string path = platform::resolve_path(name);
    return file_.open(path.c_str(), mode) ? this : nullptr;
}

} // namespace quarn::io
