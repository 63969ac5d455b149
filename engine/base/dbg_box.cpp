// The debug message box: its text, its title and what its answer means.
#include "engine/base/base_internal.h"

#include "platform/debug.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/shown_text.h"
#include "platform/window.h"
#include "quarn/ReportBox.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

dbgHooksTy hooks{};
bool box_open = false;

constexpr size_t user_text_limit = 512;
constexpr size_t name_limit = 64;

// The program's path holds the names of the folders it was started from,
// which another user may have made: shown, and a long one cut to its start
// and its end, the informative part of a path.
std::string cut_name(std::string_view name) { return platform::shown_name(name, name_limit); }

int show(void* owner, const char* text, const char* title, unsigned type)
{
    platform::BoxRequest request;
    request.caption = title ? title : "";
    request.text = text ? text : "";
    switch (type & 0xF) {
    case DBG_MB_ABORTRETRYIGNORE:
        request.buttons = platform::BoxButtons::abort_retry_ignore;
        break;
    case DBG_MB_RETRYCANCEL:
        request.buttons = platform::BoxButtons::retry_cancel;
        break;
    default:
        request.buttons = platform::BoxButtons::ok;
        break;
    }
    request.default_button = static_cast<int>((type >> 8) & 0xF);
    switch (type & DBG_MB_ICONMASK) {
    case DBG_MB_ICONHAND:
        request.icon = platform::BoxIcon::error;
        break;
    case DBG_MB_ICONEXCLAMATION:
        request.icon = platform::BoxIcon::warning;
        break;
    case DBG_MB_ICONQUESTION:
    case DBG_MB_ICONASTERISK:
        request.icon = platform::BoxIcon::information;
        break;
    default:
        request.icon = platform::BoxIcon::none;
        break;
    }
    request.owner = owner;
    request.system_modal = (type & DBG_MB_SYSTEMMODAL) != 0;
    request.topmost = (type & DBG_MB_TOPMOST) != 0;
    request.set_foreground = (type & DBG_MB_SETFOREGROUND) != 0;
    // A box that nobody saw was answered by nobody: the report goes on as
    // if ignored (or cancelled), instead of taking the default button,
    // which for a report is Abort and would end the program.
    request.unshown_answer = request.buttons == platform::BoxButtons::abort_retry_ignore ? platform::BoxAnswer::ignore
                             : request.buttons == platform::BoxButtons::retry_cancel    ? platform::BoxAnswer::cancel
                                                                                        : platform::BoxAnswer::ok;
    switch (quarn::show_logged_box(request, request.text)) {
    case platform::BoxAnswer::ok: return DBG_IDOK;
    case platform::BoxAnswer::cancel: return DBG_IDCANCEL;
    case platform::BoxAnswer::abort: return DBG_IDABORT;
    case platform::BoxAnswer::retry: return DBG_IDRETRY;
    case platform::BoxAnswer::ignore: return DBG_IDIGNORE;
    }
    return DBG_IDCANCEL;
}

// Per thread: a report on the sound's thread is not one of the screenshot
// the main thread takes meanwhile.
thread_local int optional_acts = 0;

class BoxOpen {
public:
    BoxOpen() { box_open = true; }
    ~BoxOpen() { box_open = false; }
    BoxOpen(const BoxOpen&) = delete;
    BoxOpen& operator=(const BoxOpen&) = delete;
};

} // namespace

errOptionalAct::errOptionalAct() { ++optional_acts; }

errOptionalAct::~errOptionalAct() { --optional_acts; }

bool errInOptionalAct() { return optional_acts > 0; }

void dbgSetHooks(const dbgHooksTy* table) { hooks = table ? *table : dbgHooksTy{}; }

void dbgResetForTest()
{
    hooks = dbgHooksTy{};
    box_open = false;
}

void dbgBreak() { platform::debug_break(); }

int dbgMessageBox(const char* text, const char* title, unsigned type)
{
    void* owner = hooks.window ? hooks.window() : nullptr;
    // The box takes the screen while it is up; once it is answered the
    // program goes on, so its window and cursor come back as they were.
    // (Only the entry's handler of an escaping exception, which ends the
    // program, leaves the window hidden.)
    const bool ownerShown = owner && platform::is_window_visible(owner) && !platform::is_minimised(owner);
    const bool cursorShown = platform::cursor_visible();
    platform::show_cursor_until_visible();
    platform::hide_window(owner);
    const auto restore = [&] {
        if (ownerShown && platform::is_window(owner))
            platform::show_window(owner, platform::ShowCommand::show);
        if (!cursorShown)
            platform::set_cursor_visible(false);
    };

    if (!(type & DBG_MB_MODALMASK))
        type |= DBG_MB_SYSTEMMODAL;
    if (!(type & DBG_MB_ICONMASK))
        type |= DBG_MB_ICONHAND;
    type |= DBG_MB_SETFOREGROUND;

    if (box_open) {
        // A box asked for while another is up (from a hook or a report made
        // while it shows) gets a title of its own so the two can be told apart.
        type &= ~(DBG_MB_TASKMODAL | 0x20u | 0x40u | 0x80u);
        type |= DBG_MB_SYSTEMMODAL | DBG_MB_ICONHAND;
        const int answer = show(owner, text, "Debug Message - SECOND CALL", type);
        restore();
        return answer;
    }
    BoxOpen open;
    if (hooks.beforeBox)
        hooks.beforeBox();
    const int answer = show(owner, text, title, type);
    if (hooks.afterBox)
        hooks.afterBox();
    restore();
    return answer;
}

int dbgMessage(const char* format, const char* sourceFile, int line, int code, va_list va)
{
    std::string user;
    bool has_user = false;
    if (format) {
        char buffer[user_text_limit + 1];
        va_list copy;
        va_copy(copy, va);
        const int n = std::vsnprintf(buffer, sizeof buffer, format, copy);
        va_end(copy);
        has_user = true;
        user = n > 0 ? buffer : "";
        if (n > static_cast<int>(user_text_limit))
            user += "User message too long";
    }

    std::string text = "Program     : ";
    const std::string module = platform::module_file_name();
    text += module.empty() ? std::string("unknown") : cut_name(module);
    text += '\n';
    if (sourceFile) {
        text += "File        : ";
        text += cut_name(sourceFile);
        text += '\n';
        if (line > 0)
            text += "Line        : " + std::to_string(line);
        text += '\n';
        errState.sourceFile = nullptr;
    }
    if (code != 0) {
        char code_line[64];
        std::snprintf(code_line, sizeof code_line, "Error Code  : 0x%08lX (%d)",
                      static_cast<unsigned long>(static_cast<uint32_t>(code)), static_cast<int>(static_cast<int16_t>(code & 0xFFFF)));
        text += code_line;
    }
    text += '\n';
    if (has_user) {
        text += '\n';
        text += user;
        text += '\n';
    }
    text += "\nPress Retry to debug the application";

    const char* title = (errState.level & ERR_LEVEL_ERROR)     ? "Error Message"
                        : (errState.level & ERR_LEVEL_WARNING) ? "Warning Message"
                                                               : "Message";
    if (hooks.title)
        hooks.title(title);
    // Return answers the default button: for an act the program does
    // without, the one that goes on.
    const unsigned default_button = errInOptionalAct() ? DBG_MB_DEFBUTTON3 : 0;
    const int button = dbgMessageBox(text.c_str(), title, DBG_MB_ABORTRETRYIGNORE | default_button);
    if (hooks.button)
        hooks.button(button);

    const int answer = button == DBG_IDRETRY ? ERR_DEBUG_BREAK : button == DBG_IDABORT ? ERR_BOX_ABORT : ERR_BOX_IGNORE;
    errState.answer = static_cast<int8_t>(answer);
    if (answer == ERR_BOX_ABORT) {
        // Abort ends the process with the stored code, the program's save
        // first. A box shown outside a report has none stored; it must not
        // end the process as a success.
        const int exit_code = errState.code != 0 ? errState.code : code != 0 ? code : ERR_BOX_ABORT;
        quarn::end_on_box_answer({.status = exit_code});
    }
    return answer;
}

int dbgMessageF(const char* sourceFile, int line, int code, const char* format, ...)
{
    va_list va;
    va_start(va, format);
    const int answer = dbgMessage(format, sourceFile, line, code, va);
    va_end(va);
    return answer;
}
