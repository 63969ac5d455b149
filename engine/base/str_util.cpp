// String and path helpers.
#include "engine/base/err.h"
#include "engine/base/str.h"

#include "platform/shown_text.h"

#include <cstring>
#include <string>

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

char* strQuoteName(char* dst, size_t size, const char* before, const char* name, const char* after)
{
    if (!dst || size == 0)
        return nullptr;
    // The name keeps this much at least: an `after` too long for the rest
    // loses its end instead, cut between letters.
    constexpr size_t name_least = 40;
    const std::string rest = after ? after : "";
    std::string text = before ? before : "";
    const size_t around = text.size() + rest.size();
    text += platform::shown_name(name ? name : "", size - 1 > around + name_least ? size - 1 - around : name_least);
    const size_t room = size - 1 > text.size() ? size - 1 - text.size() : 0;
    text += rest.size() <= room ? rest : platform::shown_text(rest, room);
    strCopy(dst, size, text.c_str());
    return dst;
}

std::string strLettersOnly(const char* text, char with) { return platform::letters_only(text ? text : "", with); }

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
