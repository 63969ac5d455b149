// quarn::File: a file of the operating system.
#pragma once

#include "quarn/AbstractFile.h"

#include "platform/file.h"

namespace quarn {

class File : public AbstractFile {
public:
    File();
    ~File() override;

    // Uses a handle opened elsewhere; it is never closed here. False when
    // this file is open or the handle is invalid.
    [[nodiscard]] bool attach(platform::FileHandle handle, uint32_t mode);

    uint32_t size() override;
    [[nodiscard]] bool flush() override;
    // Without open_mode::binary, a CR before LF is dropped and a Ctrl-Z
    // (26) ends the data, the next read starting at it.
    [[nodiscard]] uint32_t read(void* data, uint32_t n) override;
    [[nodiscard]] uint32_t read_raw(void* data, uint32_t n) override;
    uint32_t write(const void* data, uint32_t n) override;
    int64_t seek(int64_t offset, int whence) override;
    // Null until a system call of this file failed: the record's code is
    // only meaningful after a failure, and quoting errno left over from
    // unrelated calls made stream failure texts misleading.
    const ErrorInfo* last_error() const override { return failed_ ? &error_ : nullptr; }

    platform::FileHandle handle() const { return handle_; }

protected:
    // Modes, ignoring ate and binary: in; out and out|app (created when
    // missing); in|out (must exist); out|trunc and in|out|trunc (created or
    // emptied). Anything else is refused without touching the system.
    bool do_open(const char* name, uint32_t mode) override;
    bool do_close() override;

private:
    void record_error();

    platform::FileHandle handle_ = platform::invalid_file;
    bool owns_handle_ = false;
    SystemErrorInfo error_;
    bool failed_ = false;
};

// True when an open finds anything at the path, directories included: the
// name matched as every open matches it (platform/path_resolve.h), and
// reached as every open reaches it (platform::path_exists).
[[nodiscard]] bool file_exists(const char* path);
// True when anything has the name, a link that leads nowhere too (which
// file_exists, following links, misses). The name is matched as every open
// matches it (platform/path_resolve.h), namesakes of another case included.
[[nodiscard]] bool name_taken(const char* path);
// name_taken for the one name `name` of the folder `folder` (null or ""
// for the current one), both as the system names them: nothing is
// resolved, so that '\' is a letter of the name, and a namesake of
// another case is another name.
[[nodiscard]] bool name_taken_in(const char* folder, const char* name);

} // namespace quarn
