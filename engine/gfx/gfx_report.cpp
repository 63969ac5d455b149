// Reports and stream-reading helpers shared by the image units.
#include "engine/gfx/gfx_internal.h"

#include "platform/process.h"
#include "quarn/Stream.h"

#include <string>

void gfxReportNotImpl(const char* text) { dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "%s", text)); }

int gfxReportDataError() { return dbgBreakOnRetry(errReport(ERR_DATA)); }

int gfxReportDataError(const char* why)
{
    // The code's own text ("Data error in file '%s'") begins the message,
    // as a report without a reason shows it; the message table has no text
    // with a reason, so the whole message is made here.
    static char message[STR_MESSAGE_BUFFER_SIZE];
    if (const char* name = errReadingFileName())
        strQuoteName(message, sizeof message, "Data error in file '", name,
                     (std::string("': ") + (why ? why : "")).c_str());
    else
        strFormat(message, sizeof message, "Data error: %s", why);
    return dbgBreakOnRetry(errReportEx(nullptr, ERR_LEVEL_ERROR, ERR_DATA, 0, message, nullptr, nullptr, -1));
}

int gfxReportDecoderError(const char* name, const char* text)
{
    static char message[STR_MESSAGE_BUFFER_SIZE];
    strQuoteName(message, sizeof message, "", name, (std::string(": ") + (text ? text : "")).c_str());
    return dbgBreakOnRetry(errReportEx(nullptr, ERR_LEVEL_ERROR, ERR_DATA, 0, message, nullptr, nullptr, -1));
}

int gfxReportFile(int code, const char* name)
{
    // Kept whole, as long as a path may be: the message tables show it,
    // shortened to its start and end where it does not fit.
    static char copy[4096];
    strCopy(copy, sizeof copy, name);
    return dbgBreakOnRetry(errReportArg(code, copy));
}

namespace {

// Reports `code` as "<what> '<name>': <why>", the name shortened where
// the whole would not fit: a long title's screenshot, or the first of its
// temporary names in `why`, left no room for the owner and the way out.
int report_file_reason(int code, const char* what, const char* name, const char* why)
{
    static char message[STR_MESSAGE_BUFFER_SIZE];
    strQuoteName(message, sizeof message, (std::string(what) + " '").c_str(), name,
                 (std::string("': ") + (why ? why : "")).c_str());
    return dbgBreakOnRetry(errReportEx(nullptr, ERR_LEVEL_ERROR, code, 0, message, nullptr, nullptr, -1));
}

} // namespace

int gfxReportOpenFailure(const char* name, const quarn::io::Stream& stream)
{
    char why[512] = "";
    if (const quarn::io::StreamBufEx* buffer = stream.buffer_ex())
        if (const quarn::ErrorInfo* error = buffer->last_error())
            (void)error->describe(why, sizeof why);
    return why[0] ? report_file_reason(ERR_OPEN, "Can't open file", name, why) : gfxReportFile(ERR_OPEN, name);
}

int gfxReportFileFailure(int code, const char* name, int error)
{
    return report_file_reason(code, code == ERR_CREATE ? "Can't create file" : "Can't write to file", name,
                              platform::system_error_text(error).c_str());
}

size_t gfxStreamLeft(const rwCTy* stream)
{
    if (!stream || stream->position >= stream->length)
        return 0;
    return stream->length - stream->position;
}

int gfxReadU32(rwCTy* stream, uint32_t* value)
{
    uint8_t b[4];
    const int rc = rwRead(stream, b, sizeof b);
    *value = rc == 0 ? uint32_t { b[0] } | uint32_t { b[1] } << 8 | uint32_t { b[2] } << 16 | uint32_t { b[3] } << 24
                     : 0;
    return rc < 0 ? rc : 0;
}

int gfxFailShortRead(rwCTy* stream, size_t size)
{
    // A null destination makes the stream skip zeroing it; a size larger
    // than what is left makes it only report and move to its end.
    const size_t left = gfxStreamLeft(stream);
    const int rc = rwRead(stream, nullptr, size > left ? size : left + 1);
    return rc < 0 ? rc : ERR_END_OF_DATA;
}
