#include "quarn/ArcFormat.h"

#include "quarn/FileBuf.h"
#include "quarn/PathSplit.h"

#include <algorithm>
#include <mutex>

namespace quarn::io {

namespace {

struct FormatList {
    std::mutex lock;
    std::vector<ArcFormat*> formats;
};

FormatList& format_list()
{
    static FormatList list;
    return list;
}

} // namespace

ArcFormat::ArcFormat(const char* const* extensions, uint32_t count)
    : extensions_(extensions)
    , extension_count_(count)
{
    FormatList& list = format_list();
    std::lock_guard guard(list.lock);
    list.formats.push_back(this);
}

ArcFormat::~ArcFormat()
{
    FormatList& list = format_list();
    std::lock_guard guard(list.lock);
    std::erase(list.formats, this);
}

std::vector<ArcFormat*> ArcFormat::formats()
{
    FormatList& list = format_list();
    std::lock_guard guard(list.lock);
    return list.formats;
}

ArcBuffer open_arc_buffer(const char* name)
{
    auto plain = std::make_unique<FileBuf>(name, open_mode::in | open_mode::binary);
    if (plain->is_open())
        return { std::move(plain), true };

    const detail::PathParts parts = detail::split_path(name ? name : "");
    const std::string& dir = parts.dir;
    if (dir.empty())
        return { std::move(plain), false };
    const std::string file = parts.name + parts.ext;

    for (ArcFormat* format : ArcFormat::formats()) {
        const size_t last = dir.find_last_of("\\/");
        if (last == std::string::npos || last == 0 || format->extension_count() == 0)
            continue;
        for (uint32_t e = 0; e < format->extension_count(); ++e) {
            const std::string ext = format->extensions()[e];
            // From the innermost folder outwards: "a\b\c\x" tries "a\b\c"
            // with "x", then "a\b" with "c\x", then "a" with "b\c\x".
            for (size_t at = last; at != std::string::npos && at != 0; at = dir.find_last_of("\\/", at - 1)) {
                const std::string archive = parts.drive + dir.substr(0, at);
                const std::string member = dir.substr(at + 1) + file;
                if (auto buffer = format->open_member(archive, member))
                    return { std::move(buffer), true };
                if (auto buffer = format->open_member(archive + "." + ext, member))
                    return { std::move(buffer), true };
            }
        }
    }
    return { std::move(plain), false };
}

} // namespace quarn::io
