#include "quarn/ErrorInfo.h"

#include "platform/process.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>

namespace quarn {

size_t append_format(char* buffer, size_t size, size_t used, const char* format, ...)
{
    if (!buffer || used >= size)
        return 0;
    va_list args;
    va_start(args, format);
    int wanted = std::vsnprintf(buffer + used, size - used, format, args);
    va_end(args);
    if (wanted < 0) {
        buffer[used] = '\0';
        return 0;
    }
    // vsnprintf answers with the length it wanted, not what it stored; a
    // caller that added the wanted length would write past the buffer.
    size_t room = size - used - 1;
    return static_cast<size_t>(wanted) < room ? static_cast<size_t>(wanted) : room;
}

size_t ErrorInfo::describe(char* buffer, size_t size) const
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    size_t n = 0;
    if (inner) {
        n = inner->describe(buffer, size);
        // Records from other code may overstate; never trust a count past
        // the end.
        if (n > size - 1)
            n = size - 1;
    }
    if (detail && *detail)
        n += append_format(buffer, size, n, " ('%s')", detail);
    return n;
}

size_t TextualErrorInfo::describe(char* buffer, size_t size) const
{
    if (!buffer || size == 0)
        return 0;
    size_t k = text ? std::strlen(text) : 0;
    if (k > size - 1)
        k = size - 1;
    std::memcpy(buffer, text ? text : "", k);
    buffer[k] = '\0';
    return k + ErrorInfo::describe(buffer + k, size - k);
}

SystemErrorInfo::SystemErrorInfo(int32_t code) { set_code(code); }

void SystemErrorInfo::set_code(int32_t code) { code_ = code != 0 ? code : platform::last_error(); }

size_t SystemErrorInfo::describe(char* buffer, size_t size) const
{
    if (!buffer || size == 0)
        return 0;
    std::string text = platform::system_error_text(code_);
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n'))
        buffer[--n] = '\0';
    return n + ErrorInfo::describe(buffer + n, size - n);
}

std::ostream& operator<<(std::ostream& out, const ErrorInfo& info)
{
    char buffer[4096];
    size_t n = info.describe(buffer, sizeof buffer);
    return out.write(buffer, static_cast<std::streamsize>(n));
}

} // namespace quarn
