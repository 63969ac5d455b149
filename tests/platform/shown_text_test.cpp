#include "platform/shown_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

std::string a(size_t n) { return std::string(n, 'a'); }

std::string times(const std::string& letter, size_t n)
{
    std::string text;
    while (n-- > 0)
        text += letter;
    return text;
}

// Each row: the bytes of a file, and what a report shows of them, written
// out by hand.
struct Shown {
    const char* what;
    std::string bytes;
    std::string shown;
    size_t view = std::string::npos; // the bytes passed: a view of the first `view`
};

TEST(ShownText, ControlBytesAndBytesThatAreNoLetterAreWrittenOut)
{
    const Shown rows[] = {
        {"plain text", "snd_volume = 50", "snd_volume = 50"},
        {"clear the screen", "a\x1b[2Jb", "a\\x1b[2Jb"},
        {"the terminal's title", "\x1b]0;owned\a", "\\x1b]0;owned\\a"},
        {"colours", "\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
        {"the seven named ones", "\a\b\t\n\v\f\r", "\\a\\b\\t\\n\\v\\f\\r"},
        {"NUL and the rest of C0", "\0\x01\x1f"s, "\\x00\\x01\\x1f"},
        {"DEL", "x\x7fy", "x\\x7fy"},
        {"CR in mid-line", "title = a\rb", "title = a\\rb"},
        {"a tab", "name\tvalue", "name\\tvalue"},
        {"a raw C1 byte (CSI)", "\x9b" "2J", "\\x9b2J"},
        {"C1 letters in UTF-8 (CSI, NEL)", "\xc2\x9b" "2J\xc2\x85", "\\u009b2J\\u0085"},
        {"right-to-left override", "abc\xe2\x80\xae" "def", "abc\\u202edef"},
        {"first strong isolate and its end", "\xe2\x81\xa8x\xe2\x81\xa9", "\\u2068x\\u2069"},
        {"line and paragraph separators", "\xe2\x80\xa8\xe2\x80\xa9", "\\u2028\\u2029"},
        {"a stray continuation byte", "a\x80z", "a\\x80z"},
        {"a letter cut short at the end", "a\xe8\xa1", "a\\xe8\\xa1"},
        {"a letter cut short by ASCII", "\xe8\xa1z", "\\xe8\\xa1z"},
        {"an overlong slash", "\xc0\xaf", "\\xc0\\xaf"},
        {"an overlong ESC", "\xc0\x9b", "\\xc0\\x9b"},
        {"an overlong three-byte letter", "\xe0\x80\xaf", "\\xe0\\x80\\xaf"},
        {"a surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"bytes no UTF-8 uses", "\xf5\xfe\xff", "\\xf5\\xfe\\xff"},
        {"F5 to F7 as lead bytes", "\xf5\x80\x80\x80\xf6\x80\x80\x80\xf7\xbf\xbf\xbf",
         "\\xf5\\x80\\x80\\x80\\xf6\\x80\\x80\\x80\\xf7\\xbf\\xbf\\xbf"},
        {"a lead byte in the third place", "\xe8\xa1\xc3\xa9\xf0\x9f\xe8\xa1\x8c",
         "\\xe8\\xa1\xc3\xa9\\xf0\\x9f\xe8\xa1\x8c"},
        {"the last C1 letter and the first isolate", "\xc2\x9f\xe2\x81\xa6", "\\u009f\\u2066"},
        // Only the view is read: the bytes after it would end its letter.
        {"a view cut inside a two-byte letter", "a\xc3\xa9", "a\\xc3", 2},
        {"a view cut inside a three-byte letter", "\xe8\xa1\x8c", "\\xe8\\xa1", 2},
        {"a view cut inside a four-byte letter", "\xf0\x9f\x98\x80", "\\xf0\\x9f\\x98", 3},
        {"Latin-1 text", "caf\xe9", "caf\\xe9"},
        {"letters of any language", "caf\xc3\xa9 \xd0\xb6 \xd7\x90 \xd8\xb9 \xe8\xa1\x8c \xf0\x9f\x98\x80",
         "caf\xc3\xa9 \xd0\xb6 \xd7\x90 \xd8\xb9 \xe8\xa1\x8c \xf0\x9f\x98\x80"},
        {"the letters next to the ones written out",
         "\xc2\xa0\xe2\x80\xa7\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xaa\xef\xbf\xbd\xf4\x8f\xbf\xbf",
         "\xc2\xa0\xe2\x80\xa7\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xaa\xef\xbf\xbd\xf4\x8f\xbf\xbf"},
        {"backslashes as typed", "C:\\games\\x1b", "C:\\games\\x1b"},
        {"nothing", "", ""},
    };
    for (const Shown& row : rows) {
        EXPECT_EQ(platform::shown_text(std::string_view(row.bytes).substr(0, row.view)), row.shown) << row.what;
        char room[128];
        const size_t length =
            platform::shown_text_into(room, sizeof room, std::string_view(row.bytes).substr(0, row.view));
        EXPECT_EQ(std::string(room, length), row.shown) << row.what;
        EXPECT_EQ(room[length], '\0') << row.what;
        // What is shown once shows the same again: a name quoted by two
        // layers on its way to a report reads the same.
        EXPECT_EQ(platform::shown_text(row.shown), row.shown) << row.what;
    }
}

// A report cuts a line at 80 bytes: between two letters or escapes, never
// inside one, whatever its width and wherever it meets the cut.
TEST(ShownText, ACutFallsBetweenLetters)
{
    const std::string e2 = "\xc3\xa9", e3 = "\xe8\xa1\x8c", e4 = "\xf0\x9f\x98\x80";
    const Shown rows[] = {
        {"1 byte, ends at 80", a(79) + "z" + "b", a(79) + "z"},
        {"2 bytes, ends at 79", a(77) + e2 + "bb", a(77) + e2 + "b"},
        {"2 bytes, ends at 80", a(78) + e2 + "b", a(78) + e2},
        {"2 bytes, 1 of them before the cut", a(79) + e2 + "b", a(79)},
        {"2 bytes, starts at the cut", a(80) + e2, a(80)},
        {"3 bytes, ends at 80", a(77) + e3 + "b", a(77) + e3},
        {"3 bytes, 2 of them before the cut", a(78) + e3 + "b", a(78)},
        {"3 bytes, 1 of them before the cut", a(79) + e3 + "b", a(79)},
        {"3 bytes, starts at the cut", a(80) + e3, a(80)},
        {"4 bytes, ends at 80", a(76) + e4 + "b", a(76) + e4},
        {"4 bytes, 3 of them before the cut", a(77) + e4 + "b", a(77)},
        {"4 bytes, 2 of them before the cut", a(78) + e4 + "b", a(78)},
        {"4 bytes, 1 of them before the cut", a(79) + e4 + "b", a(79)},
        {"4 bytes, starts at the cut", a(80) + e4, a(80)},
        {"CJK all along", times(e3, 28), times(e3, 26)},
        {"an escape ends at 80", a(76) + "\x1b" + "b", a(76) + "\\x1b"},
        {"an escape across the cut", a(77) + "\x1b" + "b", a(77)},
        {"a named escape across the cut", a(79) + "\t", a(79)},
        {"a letter written out across the cut", a(75) + "\xe2\x80\xae", a(75)},
        // A name a layer showed before, cut by the next.
        {"an escape shown before, across the cut", a(77) + "\\x1b" + "b", a(77)},
        {"a letter shown before, across the cut", a(75) + "\\u202e", a(75)},
        {"short of the cut", "abc", "abc"},
    };
    for (const Shown& row : rows) {
        EXPECT_EQ(platform::shown_text(row.bytes, 80), row.shown) << row.what;
        char room[81]; // 80 bytes and the NUL
        EXPECT_EQ(std::string(room, platform::shown_text_into(room, sizeof room, row.bytes)), row.shown) << row.what;
    }
}

// A name quoted in a report of its own length: its start and its end
// about "...", each cut between letters or escapes, in 20 bytes here.
TEST(ShownText, ALongNameKeepsItsStartAndItsEnd)
{
    const Shown rows[] = {
        {"fits", a(20), a(20)},
        {"plain", "abcdefghijklmnopqrstuvwxyz", "abcde...opqrstuvwxyz"},
        {"a letter across the start's cut", "abcd\xc3\xa9" "fghijklmnopqrstuvwxyz", "abcd...nopqrstuvwxyz"},
        {"an escape across the end's cut", "abcdefghij\x1b" "klmnopqrstu", "abcde...klmnopqrstu"},
        {"the same shown before", "abcdefghij\\x1b" "klmnopqrstu", "abcde...klmnopqrstu"},
    };
    for (const Shown& row : rows)
        EXPECT_EQ(platform::shown_name(row.bytes, 20), row.shown) << row.what;
}

} // namespace
