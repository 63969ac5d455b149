// The library's two message sets.
#include "engine/base/base_internal.h"

#include "platform/shown_text.h"

#include <string>

int32_t errCodeCopy = 0;

namespace {

// The most bytes a message of the tables says around the name it quotes
// (checked below), and so the most the name may take for the message to
// stay whole in the message buffer.
constexpr size_t around_name_most = 40;
constexpr size_t file_name_most = STR_MESSAGE_BUFFER_SIZE - 1 - around_name_most;

// Every message of the tables that names a file names it through here:
// a name from the settings or a folder's listing is shown, not sent as it
// stands, and a long one keeps its start and its end.
intptr_t file_name_getter()
{
    static char shown[file_name_most + 1];
    const auto* name = reinterpret_cast<const char*>(errState.argument);
    if (!name)
        return 0;
    strCopy(shown, sizeof shown, platform::shown_name(name, file_name_most).c_str());
    return reinterpret_cast<intptr_t>(shown);
}
intptr_t drive_getter() { return 'A' + errState.drive; }
intptr_t code_getter() { return errCodeCopy; }

constexpr strArgTy file_name_item[] = {strArgTy::TextGetter(file_name_getter)};
constexpr strArgTy drive_item[] = {strArgTy::IntGetter(drive_getter)};
constexpr strArgTy code_item[] = {strArgTy::IntGetter(code_getter)};
constexpr strArgListTy file_name_arg{file_name_item, 1};
constexpr strArgListTy drive_arg{drive_item, 1};
constexpr strArgListTy code_arg{code_item, 1};

constexpr uint32_t E = ERR_LEVEL_ERROR;
constexpr uint32_t W = ERR_LEVEL_WARNING;
constexpr uint32_t F = ERR_LEVEL_ERROR | ERR_MSG_FILE_ARG;
constexpr uint32_t D = ERR_LEVEL_ERROR | ERR_MSG_DRIVE_ARG;

constexpr errMsgTy general_records[] = {
    {-2, E, "No memory", nullptr},
    {-3, E, "Array too large", nullptr},
    {-5, F, "Data error in file '%^s'", &file_name_arg},
    {-5, E, "Data error", nullptr},
    {-6, E, "Value not found", nullptr},
    {-8, E, "Bad length", nullptr},
    {-10, E, "Array is empty", nullptr},
    {-9, E, "Array overflow", nullptr},
    {-60, E, "Bad EXE-file", nullptr},
    {-61, E, "Bad version", nullptr},
    {-62, E, "Bad range", nullptr},
    {-63, E, "Bad argument", nullptr},
    {-64, E, "Function is not implemented", nullptr},
    {-65, E, "String too long", nullptr},
    {-66, E, "Object is not created", nullptr},
    {-67, E, "Duplicate value", nullptr},
    {-68, E, "Timer overflow", nullptr},
    {-69, E, "Pointer is NULL", nullptr},
    {-70, W, "Number overflow", nullptr},
    {-71, E, "Division by zero", nullptr},
    {-72, E, "Format error", nullptr},
    {-73, E, "Unexpected end of data", nullptr},
    {-76, E, "To many iterations", nullptr},
    {-77, E, "Matrix is not positive", nullptr},
    {-78, E, "Bad number", nullptr},
    {-79, E, "Bad character", nullptr},
    {-249, E, "Memory access violation", nullptr},
    {-250, E, "Internal error", nullptr},
    {-251, E, "Initialization error", nullptr},
    {-252, E, "Unknown error", nullptr},
    {-253, E, "Stack is empty", nullptr},
    {-254, E, "Stack overflow", nullptr},
    {-255, E, "Program error (memory may be destroyed)", nullptr},
    {0, E, "Error %^d", &code_arg},
};

// Each record with an argument stands before its plain twin, so a report
// without the argument falls through to the plain text.
constexpr errMsgTy file_records[] = {
    {-16, E, "Input/output error", nullptr},
    {-17, F, "Can't open file '%^s'", &file_name_arg},
    {-17, E, "Can't open file", nullptr},
    {-18, F, "Can't create file '%^s'", &file_name_arg},
    {-18, E, "Can't create file", nullptr},
    {-19, F, "Can't read from file '%^s'", &file_name_arg},
    {-19, E, "Can't read from file", nullptr},
    {-20, F, "Can't write to file '%^s'", &file_name_arg},
    {-20, E, "Can't write to file", nullptr},
    {-21, F, "Can't read after end of file '%^s'", &file_name_arg},
    {-21, E, "Can't read after end of file", nullptr},
    {-22, D, "Device '%^c' is write protected", &drive_arg},
    {-22, E, "Device is write protected", nullptr},
    {-23, E, "Operation is aborted", nullptr},
    {-24, E, "Unknown media type", nullptr},
    {-25, D, "Disk '%^c' is full", &drive_arg},
    {-25, E, "Disk is full", nullptr},
    {-26, F, "Bad file '%^s' length", &file_name_arg},
    {-26, E, "Bad file length", nullptr},
    {-27, E, "Path or device not found", nullptr},
    {-28, E, "Access denied", nullptr},
    {-29, E, "Device timeout", nullptr},
    {-30, E, "Buffer overflow", nullptr},
    {-31, F, "Can't close file '%^s'", &file_name_arg},
    {-31, E, "Can't close file", nullptr},
    {-32, E, "Device is not a terminal", nullptr},
    {-33, E, "Bad terminal", nullptr},
    {-34, D, "Disk '%^c' is too big", &drive_arg},
    {-34, E, "Disk is too big", nullptr},
    {-35, F, "File '%^s' seek error", &file_name_arg},
    {-35, E, "File seek error", nullptr},
    {-36, E, "Device is not ready", nullptr},
    {-37, E, "Device is off", nullptr},
    {-38, F, "Bad object len in file '%^s'", &file_name_arg},
    {-38, E, "Bad object len in file", nullptr},
    {-39, F, "Bad argument in file '%^s'", &file_name_arg},
    {-39, E, "Bad argument in file", nullptr},
    {-40, F, "Incorrect version of file '%^s'", &file_name_arg},
    {-40, E, "Incorrect version of file", nullptr},
    {-41, F, "Bad data in file '%^s'", &file_name_arg},
    {-41, E, "Bad data in file", nullptr},
    {-42, F, "File '%^s' was not closed", &file_name_arg},
    {-42, E, "File was not closed", nullptr},
    {0, 0, nullptr, nullptr},
};

template <size_t N>
constexpr bool leaves_the_name_its_room(const errMsgTy (&records)[N])
{
    for (const errMsgTy& record : records)
        if (record.args == &file_name_arg && std::char_traits<char>::length(record.text) - 3 > around_name_most)
            return false;
    return true;
}
static_assert(leaves_the_name_its_room(general_records) && leaves_the_name_its_room(file_records));

constexpr uint32_t library_set_flags = 3 | ERR_SET_SECOND_PASS | ERR_SET_VARIANTS; // 0x3803

} // namespace

errMsgSetTy errGeneralMessages{nullptr, library_set_flags, 0, general_records, nullptr};
errMsgSetTy errFileMessages{nullptr, library_set_flags, 0, file_records, nullptr};
