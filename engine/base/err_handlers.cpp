// Set-up of the reporter, its default handlers, the program name and the
// console check.
#include "engine/base/base_internal.h"

#include "platform/process.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

int errConsoleFlag = 0;

namespace {

bool installed = false;
bool file_messages_installed = false;
bool exit_handler_registered = false;
char program_name[32];

void empty_message_hook(errStateTy*, const char*) {}

void append_at_tail(errMsgSetTy* set)
{
    errMsgSetTy** link = &errState.chain;
    while (*link) {
        if (*link == set)
            return;
        link = &(*link)->next;
    }
    set->next = nullptr;
    set->flags2 |= ERR_SET2_LINKED;
    *link = set;
}

} // namespace

void errInit()
{
    if (installed)
        return;
    installed = true;
    append_at_tail(&errGeneralMessages);
    errState.reportHandler = errDefaultHandler;
    errState.messageHook = empty_message_hook;
    errState.boxHandler = errBoxHandler;
    errConsoleFlag = conCheck();
    if (!errState.programName)
        errState.programName = errProgramName();
    if (!exit_handler_registered) {
        exit_handler_registered = true;
        std::atexit(errDone);
    }
}

void errDone()
{
    if (!installed)
        return;
    errState.programName = nullptr;
    installed = false;
}

void errInitFileMessages()
{
    if (file_messages_installed)
        return;
    file_messages_installed = true;
    errInit();
    errAddMessages(&errFileMessages);
    errState.boxHandler = errBoxHandler;
}

void errSetBoxHandler(errBoxHandlerTy handler) { errState.boxHandler = handler; }

void errDefaultHandler()
{
    // No handler and no unwind for the handler's own run.
    const errModeScope guard(ERR_MODE_NO_HANDLER | ERR_MODE_NO_UNWIND);
    errCodeCopy = errState.code;

    unsigned kinds = 0;
    if (errState.drive != 0xFF)
        kinds |= ERR_MSG_DRIVE_ARG;
    if (errState.argument != 0)
        kinds |= ERR_MSG_FILE_ARG;

    bool straight_to_box = false;
    if (!errState.message) {
        errLookupStatus status;
        const char* message = errLookupMessage(nullptr, 0, nullptr, errState.code, kinds, &errState.level, &status);
        if (status == errLookupStatus::dropped)
            return;
        if (status == errLookupStatus::skip) {
            straight_to_box = true;
        } else {
            errState.message = message;
            if (!*message)
                errState.level = ERR_LEVEL_ERROR;
        }
    }

    if (!straight_to_box) {
        // Inside a TRY frame no box is shown, whatever the level.
        if (errState.code != 0 && !(guard.saved() & ERR_MODE_NO_UNWIND) && errState.frames)
            errUnwind(errState.code); // the guard puts the mode back on the way out
        if (!(errState.level & ERR_LEVEL_ERROR)) {
            if (errState.messageHook)
                errState.messageHook(&errState, errState.message);
            else if (errConsoleFlag == 1)
                dbgMessageF(errState.sourceFile, errState.line, 0, "%s", errState.message ? errState.message : "");
        }
    }
    if ((errState.level & ERR_LEVEL_ERROR) && errState.boxHandler)
        errState.boxHandler(&errState);
}

void errBoxHandler(errStateTy* state)
{
    if (!state)
        return;
    if (state->code == -1)
        std::exit(-1);
    // The message is finished text that may hold bytes from a file (a file
    // or class name): it is shown, never used as a format.
    if (state->level & ERR_LEVEL_ERROR)
        dbgMessageF(state->sourceFile, state->line, state->code, "%s", state->message ? state->message : "");
}

const char* errProgramName()
{
    if (program_name[0])
        return program_name;
    const std::string path = platform::module_file_name();
    size_t begin = path.find_last_of("\\/:");
    begin = begin == std::string::npos ? 0 : begin + 1;
    size_t end = path.find_last_of('.');
    if (end == std::string::npos || end < begin)
        end = path.size();
    const size_t length = std::min<size_t>(end - begin, sizeof program_name - 1);
    std::memcpy(program_name, path.data() + begin, length);
    program_name[length] = '\0';
    return program_name;
}

int conCheck()
{
    // There is no console to allocate here: a process has one when its
    // standard error is a terminal, and only then does text go there.
    static const int flag = platform::console_present() ? 0 : 1;
    return flag;
}

void errResetForTest()
{
    errState = errStateTy{};
    for (errMsgSetTy* set : {&errGeneralMessages, &errFileMessages}) {
        set->next = nullptr;
        set->flags2 &= ~ERR_SET2_LINKED;
    }
    installed = false;
    file_messages_installed = false;
    program_name[0] = '\0';
    errCodeCopy = 0;
    errConsoleFlag = 0;
    dbgResetForTest();
}
