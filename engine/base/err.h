// Error codes and the one reporter, message sets, TRY frames and the debug
// message box.
//
// Every failure is a negative code that goes through `errReportEx` (or one of
// its front ends). A caller that reports compares the result with
// ERR_DEBUG_BREAK and then breaks into the debugger (`dbgBreakOnRetry` does
// both), and goes on with its own failure path.
#pragma once

#include "engine/base/str.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// Error codes shared across the system. 0 means no error.

inline constexpr int32_t ERR_NO_MEMORY = -2;
inline constexpr int32_t ERR_TOO_LARGE = -3;
inline constexpr int32_t ERR_BAD_INDEX = -4;
inline constexpr int32_t ERR_DATA = -5;
inline constexpr int32_t ERR_OVERFLOW = -9;
inline constexpr int32_t ERR_IO = -16;
inline constexpr int32_t ERR_OPEN = -17;
inline constexpr int32_t ERR_CREATE = -18;
inline constexpr int32_t ERR_WRITE = -20;
inline constexpr int32_t ERR_BAD_ARG = -63;
inline constexpr int32_t ERR_NOT_IMPL = -64;
inline constexpr int32_t ERR_NOT_CREATED = -66;
inline constexpr int32_t ERR_NULL_POINTER = -69;
inline constexpr int32_t ERR_NUMBER_OVERFLOW = -70;
inline constexpr int32_t ERR_FORMAT = -72;
inline constexpr int32_t ERR_END_OF_DATA = -73;
inline constexpr int32_t ERR_BUF_SHORT = -74;
inline constexpr int32_t ERR_BOX_IGNORE = -93;
inline constexpr int32_t ERR_DEBUG_BREAK = -94;
inline constexpr int32_t ERR_BOX_ABORT = -95;
inline constexpr int32_t ERR_STOP_RECORD = -96;
inline constexpr int32_t ERR_USER_MSG = -97;

// Report levels (the low bits of the state's level byte).
inline constexpr uint8_t ERR_LEVEL_WARNING = 2;
inline constexpr uint8_t ERR_LEVEL_ERROR = 4;

// Error state, message sets and TRY frames.

struct errStateTy;

// A TRY frame. Frames are made by `errTry`; the chain head is the innermost.
struct errFrameTy {
    errFrameTy* previous = nullptr;
};

// A message record: a code-0 record ends its set (with a text, it is the
// set's catch-all).
inline constexpr uint32_t ERR_MSG_LEVEL_MASK = 0x0F;
inline constexpr uint32_t ERR_MSG_FILE_ARG = 0x10; // needs the file-name argument word
inline constexpr uint32_t ERR_MSG_DRIVE_ARG = 0x20; // needs the drive number
struct errMsgTy {
    int32_t code;
    uint32_t flags;
    const char* text;
    const strArgListTy* args; // for the text's placeholders; null when none
};
struct errMsgShortTy {
    int32_t code;
    const char* text;
};

// Called after a lookup that found the set's record; a result of 0 makes the
// lookup yield null, ERR_NO_MEMORY makes it answer errLookupStatus::skip.
using errMsgCallbackTy = int (*)(int level, int code, const char* text);

inline constexpr uint32_t ERR_SET_LANGUAGE_MASK = 0xFF;
inline constexpr uint32_t ERR_SET_SECOND_PASS = 0x800;
inline constexpr uint32_t ERR_SET_VARIANTS = 0x3000;
inline constexpr uint32_t ERR_SET2_LEVEL_MASK = 0x0F;
inline constexpr uint32_t ERR_SET2_LINKED = 0x100;
inline constexpr uint32_t ERR_SET2_SHORT = 0x400; // records are errMsgShortTy
struct errMsgSetTy {
    errMsgSetTy* next;
    uint32_t flags;
    uint32_t flags2;
    const void* records; // errMsgTy[] or, with ERR_SET2_SHORT, errMsgShortTy[]
    errMsgCallbackTy callback;
};

using errReportHandlerTy = void (*)();
using errMessageHookTy = void (*)(errStateTy* state, const char* message);
using errBoxHandlerTy = void (*)(errStateTy* state);

inline constexpr uint8_t ERR_MODE_NO_HANDLER = 1; // reports do not call the report handler
inline constexpr uint8_t ERR_MODE_NO_UNWIND = 2; // reports do not unwind to a TRY frame

// The one error state.
struct errStateTy {
    errFrameTy* frames = nullptr;
    errReportHandlerTy reportHandler = nullptr;
    errMessageHookTy messageHook = nullptr;
    errBoxHandlerTy boxHandler = nullptr;
    uintptr_t argument = 0; // a file name for the "'%^s'" messages; 0 = none
    int32_t code = 0;
    errMsgSetTy* chain = nullptr;
    const errMsgSetTy* extraSet = nullptr;
    const char* message = nullptr;
    const char* sourceFile = nullptr;
    int32_t line = -1;
    const char* programName = nullptr;
    const strArgListTy* argList = nullptr;
    uint16_t language = 3;
    uint8_t level = 0;
    uint8_t mode = 0;
    uint8_t drive = 0xFF; // 0xFF = none; the drive getter yields 'A' + drive
    int8_t answer = 0;    // the current report's box answer, 0 = none
};

extern errStateTy errState;

// Adds mode bits (ERR_MODE_NO_HANDLER, ERR_MODE_NO_UNWIND) for a scope and
// puts the caller's mode back on every way out, an unwind included.
class errModeScope {
public:
    explicit errModeScope(uint8_t bits) : saved_(errState.mode) { errState.mode |= bits; }
    ~errModeScope() { errState.mode = saved_; }
    errModeScope(const errModeScope&) = delete;
    errModeScope& operator=(const errModeScope&) = delete;
    // The mode before the scope.
    uint8_t saved() const { return saved_; }

private:
    uint8_t saved_;
};

// The reporter. Returns the box answer (ERR_BOX_IGNORE, ERR_DEBUG_BREAK) when
// this report's box was answered, else the code. Inside a TRY frame a
// non-zero code unwinds to the frame instead of returning. Reports must not
// be made from inside a C library's callback (the unwind would cross it) nor
// from a destructor or noexcept function that may run inside a frame.
[[nodiscard]] int errReportEx(const errMsgSetTy* extraSet, int level, int code, uintptr_t argument,
                              const char* message, const strArgListTy* argList, const char* sourceFile, int line);
[[nodiscard]] int errReport(int code);
[[nodiscard]] int errReportArg(int code, const char* fileName);
// Names the file being read in the ERR_DATA reports made meanwhile that name
// none ("Data error in file '%s'"). Scopes nest (a font reads its glyph
// picture): the innermost counts. The name must outlive the scope.
class errReadingFile {
public:
    explicit errReadingFile(const char* name);
    ~errReadingFile();
    errReadingFile(const errReadingFile&) = delete;
    errReadingFile& operator=(const errReadingFile&) = delete;

private:
    const char* previous_;
};
// The name of the innermost errReadingFile scope; null outside any.
[[nodiscard]] const char* errReadingFileName();
// Marks the reports made on the calling thread while it lives as being
// about an act the program does without when it fails (a screenshot, a
// sound): their debug box has Ignore as its default button, so that Return
// goes on, where the first button, Abort, would end the program. Scopes
// nest.
class errOptionalAct {
public:
    errOptionalAct();
    ~errOptionalAct();
    errOptionalAct(const errOptionalAct&) = delete;
    errOptionalAct& operator=(const errOptionalAct&) = delete;
};
// True inside an errOptionalAct scope of the calling thread.
[[nodiscard]] bool errInOptionalAct();
// Formats into the library's message buffer and reports ERR_USER_MSG with it.
[[nodiscard]] int errMessage(int level, const char* format, ...);
// Reports the stored code again with every stored field (0 when none).
int errReraise();
// Ends a TRY frame's error branch: pops the frame, clears code and argument.
int errCatch(errStateTy* state, errFrameTy* frame);

// Runs `body` inside a TRY frame. Returns 0 when it finishes, or the code of
// the report that unwound it (after `errCatch`). The chain head is restored
// on every exit, also when another exception passes through.
using errTryBodyTy = void (*)(void* context);
[[nodiscard]] int errTryCall(errTryBodyTy body, void* context);
template <class Body>
[[nodiscard]] int errTry(Body&& body)
{
    using B = std::remove_reference_t<Body>;
    return errTryCall([](void* c) { (*static_cast<B*>(c))(); }, const_cast<void*>(static_cast<const void*>(&body)));
}

// Message sets and lookup.
void errAddMessages(errMsgSetTy* set);
// What a lookup came to. The status says it, never the address of the text:
// compilers may merge equal string literals, so "" and "" can be one object.
enum class errLookupStatus {
    found,   // the text of a record (or a catch-all)
    none,    // no record and no catch-all: the text is ""
    dropped, // the set's callback answered 0: the text is null
    skip,    // the set's callback answered ERR_NO_MEMORY: go straight to the box
};
// Finds the text for `code` (argument kinds: ERR_MSG_FILE_ARG/ERR_MSG_DRIVE_ARG)
// and formats it into `buffer` (or the library's message buffer). Returns the
// text, null when dropped, "" when nothing was found or on skip; `status`
// (may be null) tells which.
const char* errLookupMessage(char* buffer, size_t size, errMsgSetTy* chain, int code, unsigned argKinds,
                             uint8_t* levelOut, errLookupStatus* status = nullptr);
extern errMsgSetTy errGeneralMessages; // the general set (catch-all "Error %^d")
extern errMsgSetTy errFileMessages;    // the file and device set

// Set-up and handlers.
void errInit();
void errDone();
void errInitFileMessages();
void errSetBoxHandler(errBoxHandlerTy handler);
void errDefaultHandler();
void errBoxHandler(errStateTy* state);
const char* errProgramName();
int conCheck();

// Debug message box.

// Box type bits and answers, as the box hooks and callers see them.
inline constexpr unsigned DBG_MB_OK = 0x0;
inline constexpr unsigned DBG_MB_ABORTRETRYIGNORE = 0x2;
inline constexpr unsigned DBG_MB_RETRYCANCEL = 0x5;
inline constexpr unsigned DBG_MB_ICONHAND = 0x10;
inline constexpr unsigned DBG_MB_ICONQUESTION = 0x20;
inline constexpr unsigned DBG_MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned DBG_MB_ICONASTERISK = 0x40;
inline constexpr unsigned DBG_MB_ICONMASK = 0xF0;
inline constexpr unsigned DBG_MB_DEFBUTTON2 = 0x100;
inline constexpr unsigned DBG_MB_DEFBUTTON3 = 0x200;
inline constexpr unsigned DBG_MB_SYSTEMMODAL = 0x1000;
inline constexpr unsigned DBG_MB_TASKMODAL = 0x2000;
inline constexpr unsigned DBG_MB_MODALMASK = 0x3000;
inline constexpr unsigned DBG_MB_SETFOREGROUND = 0x10000;
inline constexpr unsigned DBG_MB_TOPMOST = 0x40000;
inline constexpr int DBG_IDOK = 1;
inline constexpr int DBG_IDCANCEL = 2;
inline constexpr int DBG_IDABORT = 3;
inline constexpr int DBG_IDRETRY = 4;
inline constexpr int DBG_IDIGNORE = 5;

// Box hooks; each may be null. The window getter names the owner of every
// debug box (the display installs one returning the main window).
struct dbgHooksTy {
    void* (*window)();
    void (*beforeBox)();
    void (*afterBox)();
    void (*title)(const char* title);
    void (*button)(int answer);
};
void dbgSetHooks(const dbgHooksTy* hooks);

int dbgMessageBox(const char* text, const char* title, unsigned type);
// The debug box: program, file, line, code and the user text (`format` is a
// printf format). Returns ERR_DEBUG_BREAK (Retry), ERR_BOX_IGNORE, or ends
// the process on Abort with the stored code (Linux keeps its low 8 bits:
// -97 is seen as exit status 159), through quarn::end_on_box_answer, which
// runs the program's save first. Its default button is Abort, Ignore
// inside an errOptionalAct scope.
int dbgMessage(const char* format, const char* sourceFile, int line, int code, va_list va);
int dbgMessageF(const char* sourceFile, int line, int code, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Breaks into an attached debugger (nothing without one).
void dbgBreak();
// The callers' convention after a report: break on ERR_DEBUG_BREAK.
inline int dbgBreakOnRetry(int result)
{
    if (result == ERR_DEBUG_BREAK)
        dbgBreak();
    return result;
}
