// quarn::io::FileBuf: a BasicFileBuf that owns its quarn::File.
#pragma once

#include "quarn/BasicFileBuf.h"
#include "quarn/File.h"

namespace quarn::io {

class FileBuf : public BasicFileBuf {
public:
    // Closed, with an empty name.
    FileBuf();
    // Works on a handle opened elsewhere (never closed here).
    FileBuf(platform::FileHandle handle, uint32_t mode);
    // Opens `name` and keeps it as the buffer's name.
    FileBuf(const char* name, uint32_t mode);
    // Closes the buffer (writing what it holds), then the file.
    ~FileBuf() override;

    // Opens the file; the name is looked up without regard to case when it
    // does not exist as written (platform::resolve_path). The buffer's name
    // stays as it was. This, or null.
    FileBuf* open(const char* name, uint32_t mode);

    File& owned_file() { return file_; }

private:
    File file_;
};

} // namespace quarn::io
