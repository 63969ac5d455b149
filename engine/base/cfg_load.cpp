// The configuration's load: the text's encoding judged, then line by line.
#include "engine/base/cfg_internal.h"

#include "platform/file.h"
#include "platform/process.h"
#include "platform/shown_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

struct StreamCloser {
    void operator()(std::FILE* f) const { cfgFileClose(f); }
};

// The reports of one load's lines, shown even inside a TRY frame: a bad
// line is the user's to see, and the lines after it still load. Each is a
// box to answer and a line on stderr, so a file of a million bad lines
// would hold the player at the start: past the first cfgLineReportsShown,
// the lines are counted, and Finish reports them in one.
class LineReports {
public:
    explicit LineReports(const char* fileName) : file_(platform::shown_text(fileName ? fileName : "")) {}

    void Bad(cfgLineKind kind, unsigned number, const char* line)
    {
        if (!Room(number))
            return;
        // Blanks at the end show nothing; lines are cut for the box, and
        // the number finds the rest.
        std::string_view text(line);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
            text.remove_suffix(1);
        Report("%s\n '%s', line %u: %s", cfgLineError(kind), file_.c_str(), number,
               platform::shown_text(text, shown_line_most).c_str());
    }
    // A setting whose value lost its end to the line's limit, named by its
    // key: the value in force, and the one a save writes, is not the file's.
    void Cut(const char* name, const char* value, unsigned number)
    {
        if (!Room(number))
            return;
        Report("Value of %s cut to its first %u bytes (a line holds at most %u)\n '%s', line %u",
               platform::shown_text(name, shown_line_most).c_str(), static_cast<unsigned>(std::strlen(value)),
               static_cast<unsigned>(CFG_LINE_SIZE - 1), file_.c_str(), number);
    }
    void Finish()
    {
        if (hidden_ == 1)
            Report("1 more bad line\n '%s', line %u", file_.c_str(), last_);
        else if (hidden_ > 1)
            Report("%u more bad lines\n '%s', lines %u to %u", hidden_, file_.c_str(), first_, last_);
        hidden_ = 0;
    }

private:
    bool Room(unsigned number)
    {
        if (shown_ < cfgLineReportsShown) {
            ++shown_;
            return true;
        }
        first_ = hidden_++ == 0 ? number : first_;
        last_ = number;
        return false;
    }
    template <typename... Args>
    static void Report(const char* format, Args... args)
    {
        const errModeScope no_unwind(ERR_MODE_NO_UNWIND);
        dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, format, args...));
    }

    // The most bytes a line or a key shows in a report.
    static constexpr size_t shown_line_most = 80;

    const std::string file_; // as shown
    unsigned shown_ = 0;
    unsigned hidden_ = 0;
    unsigned first_ = 0, last_ = 0; // the lines counted, not shown
};

} // namespace

int cfgLoadStream(cfgCTy& cfg, std::FILE* stream, const char* fileName, uint32_t* variables)
{
    char line[CFG_LINE_SIZE];
    char name[CFG_LINE_SIZE];
    char value[CFG_LINE_SIZE];
    bool nul = false, cut = false;
    LineReports reports(fileName);
    for (unsigned number = 1; cfgReadLine(stream, line, sizeof line, &nul, &cut); ++number) {
        // Editors that save UTF-8 with a byte order mark put it before the
        // first line's key, which would not match its name otherwise.
        const bool marked = number == 1 && std::strncmp(line, cfgByteOrderMark, cfgByteOrderMarkSize) == 0;
        const char* text = marked ? line + cfgByteOrderMarkSize : line;
        const cfgLineKind kind = cfgScanReadLine(text, nul, name, value);
        if (kind == cfgLineKind::variable) {
            cfg.SetStr(name, value);
            if (variables)
                ++*variables;
            if (cut)
                reports.Cut(name, value, number);
        } else if (kind != cfgLineKind::blank)
            reports.Bad(kind, number, text);
    }
    // A read that failed looks like the end of the file to the line reader;
    // the stream's error flag tells the two apart. The last read set errno,
    // before any report could change it.
    const int error = !std::ferror(stream) ? 0 : errno != 0 ? errno : EIO;
    reports.Finish();
    return error;
}

cfgLoadTy cfgCTy::Load(const char* fileName)
{
    // Closed on every way out: a failed allocation's report may unwind.
    std::unique_ptr<std::FILE, StreamCloser> stream(cfgFileOpenRd(fileName));
    if (!stream) {
        const int error = platform::last_error();
        if (error == ENOENT)
            return {cfgReadTy::none, 0};
        if (error == EISDIR || error == platform::error_not_regular_file)
            return {cfgReadTy::not_a_file, error};
        return {cfgReadTy::unopened, error};
    }
    return cfgLoadOpenStream(*this, stream.get(), fileName);
}

cfgLoadTy cfgLoadOpenStream(cfgCTy& cfg, std::FILE* stream, const char* fileName)
{
    // Read byte by byte, UTF-16 and UTF-32 text turn into bad lines and
    // keys with U+FFFD between their letters, which a save would then put
    // in place of the player's settings: such a file is not read, and not
    // saved over either.
    if (const cfgEncodingTy encoding = cfgTextEncoding(stream); encoding.read != cfgReadTy::whole)
        return {.read = encoding.read, .error = EILSEQ, .wideAt = encoding.at, .wideLine = encoding.line};
    errno = 0;
    uint32_t variables = 0;
    if (const int error = cfgLoadStream(cfg, stream, fileName, &variables))
        return {cfgReadTy::cut, error, variables};
    return {cfgReadTy::whole, 0, variables};
}
