#include "engine/base/err.h"
#include "engine/base/str.h"

namespace {

constexpr char lower_digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr char upper_digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

} // namespace

char* numToText64(uint64_t value, unsigned base, unsigned options, char* end)
{
    if (base < 2 || base > 36)
        return end;
    const char* digits = (options & NUM_UPPER) ? upper_digits : lower_digits;
    bool negative = false;
    if ((options & NUM_NEGATIVE) && static_cast<int64_t>(value) < 0) {
        negative = true;
        value = 0 - value; // also right for the most negative value
    }
    char* p = end;
    if (options & NUM_SEGMENTED) {
        // Eight digits, the separator, then four more: the old segment:offset
        // look. Digits beyond the twelfth are dropped.
        for (int i = 0; i < 12; ++i) {
            if (i == 8)
                *--p = ':';
            *--p = digits[value % base];
            value /= base;
        }
    } else {
        do {
            *--p = digits[value % base];
            value /= base;
        } while (value != 0);
    }
    if (negative)
        *--p = '-';
    return p;
}

char* numToText32(uint32_t value, unsigned base, unsigned options, char* end)
{
    // Widen by the value's own signedness so that NUM_NEGATIVE sees a
    // negative 32-bit value as negative.
    uint64_t wide = (options & NUM_NEGATIVE) ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(value)))
                                             : value;
    return numToText64(wide, base, options, end);
}

// The high-byte rules are kept exactly as the layer has always had them.
// They are not inverses of each other: chrToLower maps 0x80-0x8F to
// 0xA0-0xAF and 0x90-0x9F to 0xE0-0xEF, while chrToUpper maps 0xE0-0xEF to
// 0xC0-0xCF and 0xF0-0xFF to 0x80-0x8F. Only non-ASCII text is affected and
// the game's texts are ASCII, so changing them would only risk old data.
char chrToUpper(char c)
{
    auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z')
        return static_cast<char>(u - 'a' + 'A');
    if (u >= 0xE0 && u <= 0xEF)
        return static_cast<char>(u ^ 0x20);
    if (u >= 0xF0)
        return static_cast<char>(u ^ 0x70);
    return c;
}

char chrToLower(char c)
{
    auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z')
        return static_cast<char>(u - 'A' + 'a');
    if (u >= 0x80 && u <= 0x8F)
        return static_cast<char>(u ^ 0x20);
    if (u >= 0x90 && u <= 0x9F)
        return static_cast<char>(u ^ 0x70);
    return c;
}

char* strLower(char* text)
{
    if (!text)
        return nullptr;
    for (char* p = text; *p; ++p)
        *p = chrToLower(*p);
    return text;
}
