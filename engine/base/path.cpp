// Splitting paths into folder, name and extension.
#include "engine/base/file.h"

#include <cstring>

namespace {

constexpr const char* separators = "\\/:";

void copy_part(char* out, size_t size, const char* from, size_t count)
{
    if (!out || size == 0)
        return;
    if (count > size - 1)
        count = size - 1;
    std::memcpy(out, from, count);
    out[count] = '\0';
}

} // namespace

void pathSplit(const char* path, char* dir, size_t dirSize, char* name, size_t nameSize, char* ext, size_t extSize)
{
    copy_part(dir, dirSize, "", 0);
    copy_part(name, nameSize, "", 0);
    copy_part(ext, extSize, "", 0);
    if (!path)
        return;
    const char* end = path + std::strlen(path);
    const char* last_sep = strFindLastOf(path, separators);
    const char* base = last_sep ? last_sep + 1 : path;
    const char* dot = std::strrchr(base, '.');
    const char* name_end = dot ? dot : end;
    copy_part(dir, dirSize, path, static_cast<size_t>(base - path));
    copy_part(name, nameSize, base, static_cast<size_t>(name_end - base));
    copy_part(ext, extSize, name_end, static_cast<size_t>(end - name_end));
}

const char* pathStripDir(const char* path)
{
    const char* last_sep = strFindLastOf(path, separators);
    return last_sep ? last_sep + 1 : path;
}
