#include "quarn/Stream.h"

#include <zlib.h>

namespace quarn::io {

const char* Stream::Error::code_text(uint32_t code)
{
    static constexpr const char* texts[] = {
        "",
        "reading rw1 header failed",
        "g1rw streams packed with zrpack are not supported",
        "Encrypted g1rw streams are not supported",
        "Unknown g1rw stream packer type",
        "z_uncompress() failed while opening g1rw stream",
    };
    return code < std::size(texts) ? texts[code] : "";
}

size_t Stream::Error::describe(char* buffer, size_t size) const
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    size_t n = 0;
    if (code != none)
        n += append_format(buffer, size, n, " %s", code_text(code));
    const ErrorInfo* file_error = nullptr;
    if (stream && stream->buffer_ex()) {
        // A buffer whose file cannot tell its last error must not turn the
        // description of one failure into a second exception.
        try {
            file_error = stream->buffer_ex()->last_error();
        } catch (...) {
            file_error = nullptr;
        }
    }
    if (file_error && n < size - 1) {
        size_t k = file_error->describe(buffer + n, size - n);
        n += k < size - n ? k : size - n - 1;
    }
    return n + ErrorInfo::describe(buffer + n, size - n);
}

size_t ZipError::describe(char* buffer, size_t size) const
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    // zError indexes a table: codes outside zlib's range have no text.
    const char* text = code >= Z_VERSION_ERROR && code <= Z_NEED_DICT ? zError(static_cast<int>(code)) : "";
    size_t n = append_format(buffer, size, 0, ": %s", text);
    return n + ErrorInfo::describe(buffer + n, size - n);
}

} // namespace quarn::io
