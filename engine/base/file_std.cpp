// Runtime streams opened by name and flag bits.
#include "engine/base/file_internal.h"

#include "platform/file.h"

#include <cstring>

const char* fileModeString(unsigned flags)
{
    static char mode[8];
    const unsigned access = flags & (FILE_STD_READ | FILE_STD_WRITE);
    const bool update = (flags & FILE_STD_UPDATE) || access == (FILE_STD_READ | FILE_STD_WRITE);
    const bool write = access == FILE_STD_WRITE;
    char* p = mode;
    *p++ = (flags & FILE_STD_APPEND) ? 'a' : write ? 'w' : 'r';
    if (update)
        *p++ = '+';
    // glibc ignores the 't' of text mode; it is kept so that the mode texts
    // stay the ones the layer has always produced.
    *p++ = (flags & FILE_STD_BINARY) ? 'b' : 't';
    *p = '\0';
    return mode;
}

namespace {

// The open that a mode text of fileModeString stands for; text and binary
// streams are the same on this system.
platform::FileOpen open_kind(const char* mode)
{
    using platform::FileOpen;
    const bool update = mode[1] == '+';
    switch (mode[0]) {
    case 'a': return update ? FileOpen::read_append : FileOpen::append_always;
    case 'w': return update ? FileOpen::read_write_truncate : FileOpen::write_truncate;
    default: return update ? FileOpen::read_write_existing : FileOpen::read_existing;
    }
}

} // namespace

std::FILE* fileStdOpen(const char* name, unsigned flags)
{
    if ((flags & FILE_STD_OUT) || name == FILE_STD_NAME_OUT)
        return stdout;
    if ((flags & FILE_STD_IN) || !name)
        return stdin;
    if ((flags & FILE_STD_ERR) || name == FILE_STD_NAME_ERR)
        return stderr;
    // FILE_STD_DENY_SHARE opens plainly: Linux files have no sharing modes,
    // and nothing of this program opens its own files twice. The platform's
    // open takes only regular files and never waits: a FIFO at the name is
    // a file that cannot be opened.
    std::FILE* stream = platform::file_open_stream(fileResolve(name).c_str(), open_kind(fileModeString(flags)));
    if (!stream)
        dbgBreakOnRetry(errReportArg(ERR_OPEN, fileNameForReport(name)));
    return stream;
}

int fileStdClose(std::FILE* stream)
{
    if (!stream || stream == stdin || stream == stdout || stream == stderr)
        return 0;
    if (std::fclose(stream) != 0) {
        dbgBreakOnRetry(errReport(ERR_IO));
        return ERR_IO;
    }
    return 0;
}
