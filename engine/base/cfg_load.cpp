// The configuration's load: the text's encoding judged, then line by line.
#include "engine/base/cfg_internal.h"

#include "platform/file.h"
#include "platform/process.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct StreamCloser {
    void operator()(std::FILE* f) const { cfgFileClose(f); }
};

} // namespace

namespace {

// Shown even inside a TRY frame: a bad line is the user's to see, and the
// lines after it still load.
void report_bad_line(cfgLineKind kind, const char* fileName, unsigned number, const char* line)
{
    const errModeScope no_unwind(ERR_MODE_NO_UNWIND);
    // Lines are cut for the box; the number finds the rest.
    char shown[81];
    strCopy(shown, sizeof shown, line);
    for (size_t n = std::strlen(shown); n > 0 && static_cast<unsigned char>(shown[n - 1]) <= 0x20; --n)
        shown[n - 1] = '\0'; // a DOS line end
    dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "%s\n '%s', line %u: %s", cfgLineError(kind),
                               fileName ? fileName : "", number, shown));
}

} // namespace

int cfgLoadStream(cfgCTy& cfg, std::FILE* stream, const char* fileName, uint32_t* variables)
{
    char line[CFG_LINE_SIZE];
    char name[CFG_LINE_SIZE];
    char value[CFG_LINE_SIZE];
    bool nul = false;
    for (unsigned number = 1; cfgReadLine(stream, line, sizeof line, &nul); ++number) {
        // Editors that save UTF-8 with a byte order mark put it before the
        // first line's key, which would not match its name otherwise.
        const bool marked = number == 1 && std::strncmp(line, cfgByteOrderMark, cfgByteOrderMarkSize) == 0;
        const char* text = marked ? line + cfgByteOrderMarkSize : line;
        const cfgLineKind kind = cfgScanReadLine(text, nul, name, value);
        if (kind == cfgLineKind::variable) {
            cfg.SetStr(name, value);
            if (variables)
                ++*variables;
        } else if (kind != cfgLineKind::blank)
            report_bad_line(kind, fileName, number, text);
    }
    // A read that failed looks like the end of the file to the line reader;
    // the stream's error flag tells the two apart. The last read set errno.
    if (!std::ferror(stream))
        return 0;
    return errno != 0 ? errno : EIO;
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
    if (const cfgReadTy encoding = cfgTextEncoding(stream); encoding != cfgReadTy::whole)
        return {encoding, EILSEQ};
    errno = 0;
    uint32_t variables = 0;
    if (const int error = cfgLoadStream(cfg, stream, fileName, &variables))
        return {cfgReadTy::cut, error, variables};
    return {cfgReadTy::whole, 0, variables};
}
