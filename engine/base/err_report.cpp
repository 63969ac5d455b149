#include "engine/base/base_internal.h"

errStateTy errState;

namespace {

// Files are read on the main thread only.
const char* reading_file = nullptr;

} // namespace

errReadingFile::errReadingFile(const char* name) : previous_(reading_file) { reading_file = name; }

// Also on the way out of a report that unwinds to a TRY frame.
errReadingFile::~errReadingFile() { reading_file = previous_; }

const char* errReadingFileName() { return reading_file; }

void errUnwind(int code) { throw errUnwindTy{code, errState.frames}; }

int errReportEx(const errMsgSetTy* extraSet, int level, int code, uintptr_t argument, const char* message,
                const strArgListTy* argList, const char* sourceFile, int line)
{
    errState.answer = 0;
    errState.extraSet = extraSet;
    errState.level = static_cast<uint8_t>(level);
    errState.code = code;
    if (code == ERR_DATA && argument == 0 && !message && reading_file)
        argument = reinterpret_cast<uintptr_t>(reading_file);
    errState.argument = argument;
    errState.message = message;
    errState.argList = argList;
    errState.sourceFile = sourceFile;
    errState.line = line;

    if (!(errState.mode & ERR_MODE_NO_HANDLER) && errState.reportHandler) {
        errState.reportHandler();
        return errState.answer != 0 ? errState.answer : code;
    }
    // A code of 0 never unwinds: the frame would take it for "no error".
    if (!(errState.mode & ERR_MODE_NO_UNWIND) && errState.frames && code != 0)
        errUnwind(code);
    return errState.answer != 0 ? errState.answer : code;
}

int errReport(int code)
{
    if (code == 0)
        return 0;
    return errReportEx(nullptr, 0, code, 0, nullptr, nullptr, nullptr, -1);
}

int errReportArg(int code, const char* fileName)
{
    if (code == 0)
        return 0;
    return errReportEx(nullptr, 0, code, reinterpret_cast<uintptr_t>(fileName), nullptr, nullptr, nullptr, -1);
}

int errMessage(int level, const char* format, ...)
{
    va_list va;
    va_start(va, format);
    strVFormat(nullptr, 0, format, va);
    va_end(va);
    return errReportEx(nullptr, level, ERR_USER_MSG, 0, strMessageBuffer(), nullptr, nullptr, -1);
}

int errReraise()
{
    if (errState.code == 0)
        return 0;
    return errReportEx(errState.extraSet, errState.level, errState.code, errState.argument, errState.message,
                       errState.argList, errState.sourceFile, errState.line);
}
