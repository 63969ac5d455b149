#include "platform/shown_text.h"

#include <cstdint>

namespace platform {

namespace {

// The length of the well-formed UTF-8 letter at the start of `bytes`
// (RFC 3629, table 3-7 of the Unicode standard), its code point in `code`;
// 0 when it starts with no such letter.
size_t letter_length(std::string_view bytes, uint32_t& code)
{
    const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // overlong below U+0800
        high = lead == 0xED ? 0x9F : 0xBF; // surrogates U+D800 to U+DFFF
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : 0x80;  // overlong below U+10000
        high = lead == 0xF4 ? 0x8F : 0xBF; // beyond U+10FFFF
    } else {
        return 0; // a continuation byte, C0, C1 (overlong) or F5 to FF
    }
    if (bytes.size() < length || at(1) < low || at(1) > high)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if (i > 1 && (at(i) < 0x80 || at(i) > 0xBF))
            return 0;
        code = (code << 6) | (at(i) & 0x3Fu);
    }
    return length;
}

// Letters that change how the rest of a line shows, or break it.
bool steers_display(uint32_t code)
{
    return (code >= 0x80 && code <= 0x9F) || (code >= 0x2028 && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

// The escape of one control byte.
std::string byte_escape(unsigned char byte)
{
    switch (byte) {
    case '\a': return "\\a";
    case '\b': return "\\b";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\v': return "\\v";
    case '\f': return "\\f";
    case '\r': return "\\r";
    default: break;
    }
    constexpr char hex[] = "0123456789abcdef";
    return {'\\', 'x', hex[byte >> 4], hex[byte & 0xF]};
}

std::string code_escape(uint32_t code)
{
    constexpr char hex[] = "0123456789abcdef";
    return {'\\', 'u', hex[(code >> 12) & 0xF], hex[(code >> 8) & 0xF], hex[(code >> 4) & 0xF], hex[code & 0xF]};
}

} // namespace

std::string shown_text(std::string_view bytes, size_t most)
{
    std::string shown;
    shown.reserve(bytes.size() < most ? bytes.size() : most);
    while (!bytes.empty()) {
        uint32_t code = 0;
        const size_t length = letter_length(bytes, code);
        const auto byte = static_cast<unsigned char>(bytes[0]);
        std::string escape;
        if (length == 0)
            escape = byte_escape(byte);
        else if (length == 1 && (byte < 0x20 || byte == 0x7F))
            escape = byte_escape(byte);
        else if (steers_display(code))
            escape = code_escape(code);
        const std::string_view piece = escape.empty() ? bytes.substr(0, length) : std::string_view(escape);
        if (piece.size() > most - shown.size())
            break;
        shown += piece;
        bytes.remove_prefix(length == 0 ? 1 : length);
    }
    return shown;
}

} // namespace platform
