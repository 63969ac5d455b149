#include "quarn/ZipFormat.h"

namespace quarn::io {

namespace {

constexpr const char* zip_extensions[] = { "zip" };

} // namespace

ZipFormat::ZipFormat()
    : ArcFormat(zip_extensions, 1)
{
}

std::unique_ptr<StreamBufEx> ZipFormat::open_member(const std::string& archive, const std::string& member)
{
    const std::string name = archive + "?" + member;
    auto file = std::make_unique<ZipFile>();
    if (!file->open(name.c_str(), open_mode::in | open_mode::binary))
        return nullptr;
    return std::make_unique<ZipFileBuf>(std::move(file));
}

ZipFileBuf::ZipFileBuf(std::unique_ptr<ZipFile> file)
    : file_(std::move(file))
{
    // Named, so that a failure reading a member says which one.
    attach(file_.get(), file_->name().c_str());
}

ZipFileBuf::~ZipFileBuf() { close(); }

} // namespace quarn::io
