// String and path helpers.
#include "engine/base/err.h"
#include "engine/base/str.h"

#include "platform/shown_text.h"

#include <cstring>

char* strCopy(char* dst, size_t size, const char* src)
{
    if (!dst || size == 0)
        return nullptr;
    size_t n = src ? strnlen(src, size - 1) : 0;
    std::memcpy(dst, src ? src : "", n);
    dst[n] = '\0';
    return dst + n;
}

char* strCopyShown(char* dst, size_t size, const char* src)
{
    if (!dst || size == 0)
        return nullptr;
    return strCopy(dst, size, platform::shown_text(src ? src : "", size - 1).c_str());
}

const char* strFindLastOf(const char* text, const char* set)
{
    if (!text || !set)
        return nullptr;
    const char* found = nullptr;
    for (const char* p = text; *p; ++p) {
        if (std::strchr(set, *p))
            found = p;
    }
    return found;
}

char* strFindLastOf(char* text, const char* set)
{
    return const_cast<char*>(strFindLastOf(static_cast<const char*>(text), set));
}

char* strAppendSep(char* dst, size_t size, const char* src)
{
    char* end = strCopy(dst, size, src);
    if (!end)
        return dst;
    // Paths written by this layer use "/"; "\\" and ":" still count as an
    // existing separator so that paths from old data are not doubled up.
    if (end != dst && !std::strchr("\\/:", end[-1]) && static_cast<size_t>(end - dst) + 1 < size) {
        end[0] = '/';
        end[1] = '\0';
    }
    return dst;
}

const char* pathExt(const char* text)
{
    if (!text)
        return nullptr;
    const char* end = text + std::strlen(text);
    if (*text == '\0')
        return end;
    const char* dot = std::strrchr(text + 1, '.');
    return dot ? dot : end;
}

char* pathExt(char* text) { return const_cast<char*>(pathExt(static_cast<const char*>(text))); }
