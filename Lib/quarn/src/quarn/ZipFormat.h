// quarn::io::ZipFormat: ZIP archives standing in for folders (ArcFormat.h),
// and quarn::io::ZipFileBuf, the buffer that reads one member.
#pragma once

#include "quarn/ArcFormat.h"
#include "quarn/BasicFileBuf.h"
#include "quarn/ZipFile.h"

namespace quarn::io {

// Registers the extension "zip" while it lives.
class ZipFormat : public ArcFormat {
public:
    ZipFormat();

    // A ZipFileBuf over "archive?member", or null.
    std::unique_ptr<StreamBufEx> open_member(const std::string& archive, const std::string& member) override;
};

// A buffered reader of an open archive member that it owns; named
// "archive?member" in stream failures.
class ZipFileBuf : public BasicFileBuf {
public:
    explicit ZipFileBuf(std::unique_ptr<ZipFile> file);
    ~ZipFileBuf() override;

    ZipFile& zip_file() { return *file_; }

private:
    std::unique_ptr<ZipFile> file_;
};

} // namespace quarn::io
