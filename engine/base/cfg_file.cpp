// Reading and writing configuration lines.
#include "engine/base/cfg_internal.h"

#include "platform/file.h"
#include "platform/process.h"

#include <cerrno>
#include <cstring>
#include <string_view>

int cfgWriteFailAfterForTest = -1;

// A FIFO at the name would hold std::fopen in the open, and a link to
// /dev/zero would be read without end: the platform's open takes regular
// files only and never waits.
std::FILE* cfgFileOpenRd(const char* fileName)
{
    if (!fileName) {
        platform::set_last_error(ENOENT);
        return nullptr;
    }
    return platform::file_open_stream(fileResolve(fileName).c_str(), platform::FileOpen::read_existing);
}

std::FILE* cfgFileOpenWr(const char* fileName)
{
    if (!fileName) {
        platform::set_last_error(ENOENT);
        return nullptr;
    }
    return platform::file_open_stream(fileResolve(fileName).c_str(), platform::FileOpen::write_truncate);
}

void cfgFileClose(std::FILE* stream)
{
    if (stream)
        std::fclose(stream);
}

bool cfgWriteFailsNow()
{
    if (cfgWriteFailAfterForTest == 0)
        return true;
    if (cfgWriteFailAfterForTest > 0)
        --cfgWriteFailAfterForTest;
    return false;
}

int cfgFileWriteVar(std::FILE* stream, const char* name, const char* value)
{
    if (cfgWriteFailsNow())
        return ERR_WRITE;
    if (!stream || std::fprintf(stream, "%s = %s\n", name ? name : "", value ? value : "") < 0)
        return ERR_WRITE;
    return 0;
}

namespace {

// What a NUL byte in the file reads as: the character that stands for
// what could not be read (U+FFFD in UTF-8), as the report of its damaged
// line shows it. A NUL would end the text where it stands, and the report
// would show the line cut short.
constexpr char nul_stand_in[] = "\xEF\xBF\xBD";

// The length of `line`'s first `n` bytes without a UTF-8 letter that
// begins there and is not whole: a letter's lead byte says how many bytes
// it has. Bytes that are no UTF-8 stay as they are.
size_t whole_letters(const char* line, size_t n)
{
    size_t start = n;
    while (start > 0 && n - start < 3 && (static_cast<unsigned char>(line[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start == 0)
        return n;
    const auto lead = static_cast<unsigned char>(line[start - 1]);
    const size_t letter = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return letter > n - (start - 1) ? start - 1 : n;
}

// What of a line's dropped rest a scan would have read: anything but
// blanks before a comment ("--"), and nothing once a comment has begun.
class DroppedRest {
public:
    explicit DroppedRest(bool in_comment) : comment_(in_comment) {}

    void Take(unsigned char c)
    {
        if (comment_)
            return;
        // A '-' is text unless the next byte makes it a comment's start.
        if (c == '-' && !dash_) {
            dash_ = true;
            return;
        }
        comment_ = dash_ && c == '-';
        lost_ = lost_ || (!comment_ && (dash_ || c > 0x20));
        dash_ = false;
    }
    void Lose() { lost_ = lost_ || !comment_; }
    bool Lost() const { return lost_ || dash_; }

private:
    bool comment_;
    bool dash_ = false;
    bool lost_ = false;
};

// Reads one line without its line end into `line` (at most size - 1
// bytes). The rest of a longer line is read and dropped, so that it cannot
// pass for a line of its own; the cut falls between two letters, so that
// what is kept is text a save may write back. A line ends at LF, at CR LF,
// and at a CR alone, as some editors end lines (taken into the line, it
// would make a whole file one line). `nul` says whether the line held a
// NUL byte, also in its dropped rest, `cut` whether the dropped rest held
// what a scan reads (a long comment or trailing blanks lose nothing).
// False at the end of the file.
bool read_line(std::FILE* stream, char* line, size_t size, bool& nul, bool& cut)
{
    size_t n = 0;
    DroppedRest rest(false);
    bool full = false; // once a byte did not fit, no later one goes in
    nul = false;
    int c = std::getc(stream);
    if (c == EOF)
        return false;
    for (; c != EOF && c != '\n' && c != '\r'; c = std::getc(stream)) {
        nul = nul || c == '\0';
        const char byte = static_cast<char>(c);
        const char* bytes = c == '\0' ? nul_stand_in : &byte;
        const size_t count = c == '\0' ? sizeof nul_stand_in - 1 : 1;
        if (!full && n + count >= size) {
            full = true;
            // A comment that begins at the cut takes its first '-' along.
            const bool comment_cut = c == '-' && n > 0 && line[n - 1] == '-';
            n -= comment_cut;
            rest = DroppedRest(comment_cut || std::string_view(line, n).find("--") != std::string_view::npos);
            // The byte that did not fit goes on a letter begun before it,
            // which is dropped whole.
            const size_t kept = (c & 0xC0) == 0x80 ? whole_letters(line, n) : n;
            if (kept < n)
                rest.Lose();
            n = kept;
        }
        if (full)
            rest.Take(static_cast<unsigned char>(c));
        else {
            std::memcpy(line + n, bytes, count);
            n += count;
        }
    }
    if (c == '\r' && (c = std::getc(stream)) != '\n' && c != EOF)
        std::ungetc(c, stream);
    line[n] = '\0';
    cut = full && rest.Lost();
    return true;
}

inline bool blank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// FF FE or FE FF, UTF-16's byte order marks, at `text`.
bool utf16_mark(const char* text)
{
    const auto first = static_cast<unsigned char>(text[0]), second = static_cast<unsigned char>(text[1]);
    return (first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF);
}

} // namespace

bool cfgReadLine(std::FILE* stream, char* line, size_t size, bool* nul, bool* cut)
{
    bool held_nul = false, was_cut = false;
    const bool read = stream && read_line(stream, line, size, held_nul, was_cut);
    if (nul)
        *nul = held_nul;
    if (cut)
        *cut = was_cut;
    return read;
}

cfgLineKind cfgScanLine(const char* line, char* name, char* value)
{
    enum { before_name, in_name, after_equals, in_value } state = before_name;
    size_t name_start = 0, name_end = 0, value_start = 0, value_end = 0;
    // A NUL ends the line as its end would.
    for (size_t i = 0; line[i] != '\0'; ++i) {
        const char c = line[i];
        if (c == '-' && line[i + 1] == '-')
            break;
        switch (state) {
        case before_name:
            if (blank(c))
                break;
            // A byte order mark before a name is no part of it, on any
            // line: one in front of the first line's key (a doubled mark,
            // or a later line's mark that a save moved to the top) would
            // be taken for the file's mark by the next load, and the key
            // renamed or lost.
            if (std::strncmp(line + i, cfgByteOrderMark, cfgByteOrderMarkSize) == 0) {
                i += cfgByteOrderMarkSize - 1;
                break;
            }
            // UTF-16's marks before UTF-8 text likewise: the bytes FF and
            // FE stand in no UTF-8 text, and would rename the key.
            if (utf16_mark(line + i)) {
                ++i;
                break;
            }
            if (c == '=')
                return cfgLineKind::empty_name;
            name_start = i;
            name_end = i + 1;
            state = in_name;
            break;
        case in_name:
            if (c == '=')
                state = after_equals;
            else if (!blank(c))
                name_end = i + 1;
            break;
        case after_equals:
            if (blank(c))
                break;
            value_start = i;
            value_end = i + 1;
            state = in_value;
            break;
        case in_value:
            if (!blank(c))
                value_end = i + 1;
            break;
        }
    }
    if (state == before_name)
        return cfgLineKind::blank;
    if (state == in_name)
        return cfgLineKind::no_equals;
    std::memcpy(name, line + name_start, name_end - name_start);
    name[name_end - name_start] = '\0';
    std::memcpy(value, line + value_start, value_end - value_start);
    value[value_end - value_start] = '\0';
    return cfgLineKind::variable;
}

cfgLineKind cfgScanReadLine(const char* line, bool nul, char* name, char* value)
{
    return nul ? cfgLineKind::damaged : cfgScanLine(line, name, value);
}

const char* cfgLineError(cfgLineKind kind)
{
    return kind == cfgLineKind::empty_name ? "Empty variable name" : "Invalid line";
}

int cfgFileReadVar(std::FILE* stream, char* name, char* value)
{
    char line[CFG_LINE_SIZE];
    bool nul = false;
    while (cfgReadLine(stream, line, sizeof(line), &nul)) {
        const cfgLineKind kind = cfgScanReadLine(line, nul, name, value);
        if (kind == cfgLineKind::variable)
            return 1;
        if (kind != cfgLineKind::blank) {
            dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "%s", cfgLineError(kind)));
            return 0;
        }
    }
    return 0;
}
