#include "platform/shown_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

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

// An escape as shown_text() writes it, already in the text: a name shown
// by one layer and cut or shortened by another is never cut inside one.
// 0 when `bytes` starts with none. A backslash the player typed before
// such letters ("C:\temp") is kept whole with them, which is a cut
// between letters too.
size_t escape_length(std::string_view bytes)
{
    const auto hex = [&](size_t from, size_t count) {
        if (bytes.size() < from + count)
            return false;
        for (size_t i = from; i < from + count; ++i)
            if (!((bytes[i] >= '0' && bytes[i] <= '9') || (bytes[i] >= 'a' && bytes[i] <= 'f')))
                return false;
        return true;
    };
    if (bytes.size() < 2 || bytes[0] != '\\')
        return 0;
    if (std::string_view("abtnvfr").find(bytes[1]) != std::string_view::npos)
        return 2;
    if (bytes[1] == 'x' && hex(2, 2))
        return 4;
    if (bytes[1] == 'u' && hex(2, 4))
        return 6;
    return 0;
}

// The piece of text at the start of `bytes` that a cut never splits, and
// how it shows: `escape` when it is written out, else as it is.
struct Piece {
    size_t length = 0; // of `bytes`
    std::string escape;
    bool written_out() const { return !escape.empty(); }
    size_t shown_size() const { return written_out() ? escape.size() : length; }
};

Piece first_piece(std::string_view bytes)
{
    uint32_t code = 0;
    const size_t length = letter_length(bytes, code);
    const auto byte = static_cast<unsigned char>(bytes[0]);
    if (length == 0)
        return {1, byte_escape(byte)};
    if (length == 1 && (byte < 0x20 || byte == 0x7F))
        return {1, byte_escape(byte)};
    if (steers_display(code))
        return {length, code_escape(code)};
    if (const size_t escape = escape_length(bytes))
        return {escape, {}};
    return {length, {}};
}

} // namespace

std::string shown_text(std::string_view bytes, size_t most)
{
    std::string shown;
    shown.reserve(bytes.size() < most ? bytes.size() : most);
    while (!bytes.empty()) {
        const Piece piece = first_piece(bytes);
        if (piece.shown_size() > most - shown.size())
            break;
        if (piece.written_out())
            shown += piece.escape;
        else
            shown += bytes.substr(0, piece.length);
        bytes.remove_prefix(piece.length);
    }
    return shown;
}

size_t shown_text_into(char* out, size_t size, std::string_view bytes) noexcept
{
    if (size == 0)
        return 0;
    // A piece's escape is at most six bytes, held inside its string.
    size_t length = 0;
    while (!bytes.empty()) {
        const Piece piece = first_piece(bytes);
        const size_t shown = piece.shown_size();
        if (shown > size - 1 - length)
            break;
        std::memcpy(out + length, piece.written_out() ? piece.escape.data() : bytes.data(), shown);
        length += shown;
        bytes.remove_prefix(piece.length);
    }
    out[length] = '\0';
    return length;
}

std::string shown_name(std::string_view bytes, size_t most)
{
    constexpr std::string_view gap = "...";
    std::string whole = shown_text(bytes);
    if (whole.size() <= most)
        return whole;
    if (most <= gap.size())
        return shown_text(bytes, most);
    // The places of `whole` between two pieces, its two ends included.
    std::vector<size_t> cuts{0};
    for (std::string_view rest = bytes; !rest.empty();) {
        const Piece piece = first_piece(rest);
        cuts.push_back(cuts.back() + piece.shown_size());
        rest.remove_prefix(piece.length);
    }
    // A third for the start, which says where; the rest for the end, the
    // file's own name, and what the start leaves.
    const size_t room = most - gap.size();
    const size_t head = *std::prev(std::upper_bound(cuts.begin(), cuts.end(), room / 3));
    const size_t tail = *std::lower_bound(cuts.begin(), cuts.end(), whole.size() - (room - head));
    return whole.substr(0, head).append(gap).append(whole, tail);
}

std::string letters_only(std::string_view bytes, char with)
{
    std::string kept;
    kept.reserve(bytes.size());
    while (!bytes.empty()) {
        const Piece piece = first_piece(bytes);
        if (piece.written_out())
            kept += with;
        else
            kept += bytes.substr(0, piece.length);
        bytes.remove_prefix(piece.length);
    }
    return kept;
}

} // namespace platform
