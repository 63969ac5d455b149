// The older engine layer's base library: error codes and the one reporter,
// TRY frames, the text formatter, memory, arrays, lists, strings, random
// numbers and the millisecond timer.
//
// Every failure is a negative code that goes through `errReportEx` (or one of
// its front ends). A caller that reports compares the result with
// ERR_DEBUG_BREAK and then breaks into the debugger (`dbgBreakOnRetry` does
// both), and goes on with its own failure path.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <concepts>
#include <type_traits>

// ---------------------------------------------------------------------------
// Error codes shared across the system. 0 means no error.

inline constexpr int32_t ERR_NO_MEMORY = -2;
inline constexpr int32_t ERR_TOO_LARGE = -3;
inline constexpr int32_t ERR_BAD_INDEX = -4;
inline constexpr int32_t ERR_DATA = -5;
inline constexpr int32_t ERR_OVERFLOW = -9;
inline constexpr int32_t ERR_IO = -16;
inline constexpr int32_t ERR_OPEN = -17;
inline constexpr int32_t ERR_CREATE = -18;
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

// ---------------------------------------------------------------------------
// Formatter arguments.
//
// The formatter takes its arguments either from a va_list (by the C type
// each directive names: int for no size, 'l' and 'r'; long long for 'L' and
// "I64"; pointers for strings, '&', 'N', 'F' and 'n'; an `strGetterTy` for
// '^') or from an explicit, typed list of `strArgTy`. The explicit list knows
// its length and the type of each item, so a directive that does not match
// its argument is refused instead of reading garbage.

// A '^' argument: called without arguments, its result is the value (an
// integer, or a string pointer for 's').
using strGetterTy = intptr_t (*)();

enum class strArgKind : uint8_t {
    none,
    null,      // a null pointer, accepted by every pointer-like request
    int32,
    int64,
    text,      // const char*
    wtext,     // const char16_t*
    pointer,   // const void* printed by 'p'
    count,     // int* written by 'n'
    refInt32,  // '&': pointer to the value
    refInt64,
    refText,
    refWText,
    refPointer,
    getInt,    // '^': getter returning an integer
    getText,   // '^': getter returning a const char*
    getWText,  // '^': getter returning a const char16_t*
};

union strArgValueTy {
    int64_t i;
    const void* p;
    strGetterTy g;
};

struct strArgTy {
    strArgKind kind = strArgKind::none;
    strArgValueTy value{.i = 0};

    constexpr strArgTy() = default;
    constexpr strArgTy(int v) : kind(strArgKind::int32), value{.i = v} {}
    constexpr strArgTy(unsigned v) : kind(strArgKind::int32), value{.i = static_cast<int32_t>(v)} {}
    constexpr strArgTy(long v) : kind(strArgKind::int64), value{.i = v} {}
    constexpr strArgTy(unsigned long v) : kind(strArgKind::int64), value{.i = static_cast<int64_t>(v)} {}
    constexpr strArgTy(long long v) : kind(strArgKind::int64), value{.i = v} {}
    constexpr strArgTy(unsigned long long v) : kind(strArgKind::int64), value{.i = static_cast<int64_t>(v)} {}
    constexpr strArgTy(const char* s) : kind(strArgKind::text), value{.p = s} {}
    constexpr strArgTy(const char16_t* s) : kind(strArgKind::wtext), value{.p = s} {}
    constexpr strArgTy(const void* p) : kind(strArgKind::pointer), value{.p = p} {}
    constexpr strArgTy(std::nullptr_t) : kind(strArgKind::null), value{.p = nullptr} {}

    static constexpr strArgTy Make(strArgKind k, const void* p)
    {
        strArgTy a;
        a.kind = k;
        a.value.p = p;
        return a;
    }
    static constexpr strArgTy Count(int* n) { return Make(strArgKind::count, n); }
    static constexpr strArgTy Ref(const int32_t* v) { return Make(strArgKind::refInt32, v); }
    static constexpr strArgTy Ref(const int64_t* v) { return Make(strArgKind::refInt64, v); }
    static constexpr strArgTy Ref(const char* const* v) { return Make(strArgKind::refText, v); }
    static constexpr strArgTy Ref(const char16_t* const* v) { return Make(strArgKind::refWText, v); }
    static constexpr strArgTy RefPointer(const void* const* v) { return Make(strArgKind::refPointer, v); }
    static constexpr strArgTy Getter(strArgKind k, strGetterTy g)
    {
        strArgTy a;
        a.kind = k;
        a.value.g = g;
        return a;
    }
    static constexpr strArgTy IntGetter(strGetterTy g) { return Getter(strArgKind::getInt, g); }
    static constexpr strArgTy TextGetter(strGetterTy g) { return Getter(strArgKind::getText, g); }
    static constexpr strArgTy WTextGetter(strGetterTy g) { return Getter(strArgKind::getWText, g); }
};

struct strArgListTy {
    const strArgTy* items;
    size_t count;
};

// Where the formatter core takes its arguments from. `Fetch` yields 0, or a
// negative code (ERR_END_OF_DATA when the list has run out, ERR_FORMAT when
// the next argument is not of the wanted kind).
class strArgSourceTy {
public:
    virtual int Fetch(strArgKind want, strArgValueTy& out) = 0;

protected:
    ~strArgSourceTy() = default;
};

// Arguments from a va_list (a copy; the caller's list does not move).
class strVaArgsTy final : public strArgSourceTy {
public:
    explicit strVaArgsTy(va_list va) { va_copy(va_, va); }
    ~strVaArgsTy() { va_end(va_); }
    strVaArgsTy(const strVaArgsTy&) = delete;
    strVaArgsTy& operator=(const strVaArgsTy&) = delete;
    int Fetch(strArgKind want, strArgValueTy& out) override;

private:
    va_list va_;
};

// Arguments from an explicit list, checked item by item.
class strListArgsTy final : public strArgSourceTy {
public:
    explicit strListArgsTy(const strArgListTy& list) : items_(list.items), count_(list.count) {}
    strListArgsTy(const strArgTy* items, size_t count) : items_(items), count_(count) {}
    int Fetch(strArgKind want, strArgValueTy& out) override;

private:
    const strArgTy* items_;
    size_t count_;
    size_t next_ = 0;
};

// ---------------------------------------------------------------------------
// Text formatter.
//
// Directives: '%' [flags "+-= #0&^\"'"] [width | '*'] ['.' precision | '.*']
// [sizes "l r L I64 N F & ^ w *"] conversion ("% c C s S d i u o x X z Z b p
// P n"); 'e', 'f', 'g', 'E', 'G', 'R' stop the output with ERR_FORMAT. Each
// call saves the error state's code; when it was 0 the code afterwards is
// the formatter's result (0, ERR_NULL_POINTER, ERR_FORMAT or
// ERR_END_OF_DATA), else the saved code is put back.

constexpr size_t STR_MESSAGE_BUFFER_SIZE = 512;

// The library's message buffer, which the no-buffer forms write into and the
// message lookup fills.
char* strMessageBuffer();

// Formatter core modes.
inline constexpr unsigned STR_MODE_TEXT = 1; // a '\n' not directly after '\r' gets a '\r' in front

// Receives each output byte; returns false when the byte could not be taken
// (destination full). Later bytes are still counted but not delivered.
using strPutTy = bool (*)(void* context, char c);

// Runs a format through `put`. `args` may be null (the first argument fetch
// then yields ERR_END_OF_DATA). Returns the count of characters produced.
int strFormatCore(void* context, strPutTy put, const char* format, unsigned mode, strArgSourceTy* args);

// Format into `buffer` of `size` bytes, or into the library's message buffer
// (STR_MESSAGE_BUFFER_SIZE bytes) when `buffer` is null. Text-mode line ends.
// Output that does not fit is cut; the text is always NUL-terminated (unless
// size is 0). Returns the address of the terminating NUL (or `buffer` when
// size is 0).
char* strFormat(char* buffer, size_t size, const char* format, ...);
char* strVFormat(char* buffer, size_t size, const char* format, va_list va);
char* strFormatArgs(char* buffer, size_t size, const char* format, const strArgListTy* args);

// Number to text in a base from 2 to 36, written backwards so that it ends
// just before `end`; returns the first character (nothing is written, and
// `end` returned, for another base). The caller's buffer must hold 66 bytes
// for the 64-bit binary form.
inline constexpr unsigned NUM_NEGATIVE = 1; // the value is signed; a '-' goes in front of negatives
inline constexpr unsigned NUM_UPPER = 2; // digits above 9 as 'A'..'Z'
inline constexpr unsigned NUM_SEGMENTED = 4; // exactly 8 digits, ':', then 4 more digits in front
char* numToText32(uint32_t value, unsigned base, unsigned options, char* end);
char* numToText64(uint64_t value, unsigned base, unsigned options, char* end);

// Case mapping of the layer's code page: ASCII letters, plus high bytes
// (see the comment at the definition: the two maps are not inverses).
char chrToUpper(char c);
char chrToLower(char c);
char* strLower(char* text);

// ---------------------------------------------------------------------------
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
// lookup yield null, ERR_NO_MEMORY makes it yield `errLookupSkip`.
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

// The reporter. Returns the box answer (ERR_BOX_IGNORE, ERR_DEBUG_BREAK) when
// this report's box was answered, else the code. Inside a TRY frame a
// non-zero code unwinds to the frame instead of returning. Reports must not
// be made from inside a C library's callback (the unwind would cross it) nor
// from a destructor or noexcept function that may run inside a frame.
[[nodiscard]] int errReportEx(const errMsgSetTy* extraSet, int level, int code, uintptr_t argument,
                              const char* message, const strArgListTy* argList, const char* sourceFile, int line);
[[nodiscard]] int errReport(int code);
[[nodiscard]] int errReportArg(int code, const char* fileName);
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
extern const char errLookupSkip[]; // lookup result: go straight to the box
// Finds the text for `code` (argument kinds: ERR_MSG_FILE_ARG/ERR_MSG_DRIVE_ARG)
// and formats it into `buffer` (or the library's message buffer). Returns the
// text, null, or `errLookupSkip`; "" when nothing was found.
const char* errLookupMessage(char* buffer, size_t size, errMsgSetTy* chain, int code, unsigned argKinds,
                             uint8_t* levelOut);
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

// ---------------------------------------------------------------------------
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
// -97 is seen as exit status 159).
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

// ---------------------------------------------------------------------------
// Memory.

// Where the layer's memory comes from. Filled with the runtime heap's
// functions; tests and tools may swap entries.
struct memHooksTy {
    void* (*alloc)(size_t size);
    void* (*allocZ)(size_t count, size_t size);
    void* (*realloc)(void* block, size_t size);
    void (*free)(void* block);
    void* (*allocStr)(size_t size);
};
extern memHooksTy memHooks;

// Each reports ERR_NO_MEMORY and yields null on failure; size 0 counts as 1.
[[nodiscard]] void* memAlloc(size_t size);
[[nodiscard]] void* memAllocZ(size_t size);
[[nodiscard]] void* memRealloc(void* block, size_t size); // the old block stays valid on failure
[[nodiscard]] char* memAllocStr(size_t size);
[[nodiscard]] char* memStrDup(const char* text);
[[nodiscard]] char* strDupQuiet(const char* text); // as memStrDup, without a report
inline void memFree(void* block) { memHooks.free(block); }

// ---------------------------------------------------------------------------
// Arrays.

inline constexpr uint32_t ARR_ALLOCATED = 0x8; // the header itself came from arrCreate
inline constexpr uint32_t ARR_HAS_INIT = 0x100; // the element initialiser is set
using arrInitTy = void (*)(void* data, int oldCapacity, int growth);

struct arrTy {
    uint32_t flags;
    int cursor; // kept on the same element by arrRemove
    size_t elemSize;
    int count;
    int capacity;
    int growth;
    arrInitTy init;
    void* data;
};

// `header` null allocates one. Growth 0 grows by the current capacity (at
// least one element). Null on failure (reported).
[[nodiscard]] arrTy* arrCreate(arrTy* header, int initialCapacity, size_t elemSize, int growth);
// Called on every later growth with the new data, the old capacity and the growth.
void arrSetInit(arrTy* arr, arrInitTy init);
// Index of the new element, or a negative code (reported).
[[nodiscard]] int arrAppend(arrTy* arr, const void* element);
// The index, or ERR_BAD_INDEX (not reported) with `out` untouched.
[[nodiscard]] int arrGet(const arrTy* arr, int index, void* out);
[[nodiscard]] int arrRemove(arrTy* arr, int index);
void arrFree(arrTy* arr);

// ---------------------------------------------------------------------------
// Singly linked lists of records whose first member is `T* next`. A list is
// a head pointer; null is empty. Nodes come from memAlloc.

template <class T>
concept listNode = std::is_standard_layout_v<T> && requires(T* n) {
    { n->next } -> std::same_as<T*&>;
};

template <listNode T>
void listAppend(T** head, T* node)
{
    if (!head || !node)
        return;
    node->next = nullptr;
    while (*head)
        head = &(*head)->next;
    *head = node;
}

// 1 when the node was found and unlinked, else 0.
template <listNode T>
int listRemove(T** head, T* node)
{
    if (!head || !node)
        return 0;
    for (T** link = head; *link; link = &(*link)->next) {
        if (*link == node) {
            *link = node->next;
            node->next = nullptr;
            return 1;
        }
    }
    return 0;
}

template <listNode T>
void listFreeAll(T** head)
{
    static_assert(std::is_trivially_destructible_v<T>, "list nodes are freed without running destructors");
    if (!head)
        return;
    while (T* node = *head) {
        *head = node->next;
        memHooks.free(node);
    }
}

// ---------------------------------------------------------------------------
// Strings and paths. Destinations carry their size; output is cut to fit and
// always NUL-terminated.

// Copies `src` (null = empty); yields the address of the destination's NUL,
// or null when `dst` is null or `size` is 0.
char* strCopy(char* dst, size_t size, const char* src);
// The last character of `text` that occurs in `set`; null when none.
const char* strFindLastOf(const char* text, const char* set);
char* strFindLastOf(char* text, const char* set);
// Copies `src` and adds "/" unless the text is empty or ends in one of
// "\\/:" (all three are accepted as separators). Yields `dst`.
char* strAppendSep(char* dst, size_t size, const char* src);
// The last '.' after the first character, else the terminating NUL; null for null.
const char* pathExt(const char* text);
char* pathExt(char* text);

// ---------------------------------------------------------------------------
// Random numbers (fixed seeds: every run draws the same sequence).

int rndGet(int n); // 0..n-1; 0 for n < 1 (the generators still advance)
void rnd2Seed(uint32_t seed);
uint32_t rnd2Next();
uint32_t rnd2Get(uint32_t n); // rnd2Next() mod n; 0 for n = 0

// ---------------------------------------------------------------------------
// Millisecond timer over the platform's high-resolution counter.

void tmInit();
uint64_t tmGetMs();
void tmDone();

// ---------------------------------------------------------------------------
// Files.
//
// `fileLoad` reads a whole file into memory. `fileCreate` / `fileWrite` /
// `fileClose` build a file's content in memory and write it out at close.
// (Neither maps the file: a mapped view of a file that another process
// truncates faults on access, and a growing shared mapping faults when the
// disk fills; both must be errors, not crashes.) Every open record sits in
// one list; records still open at process exit are closed then.

inline constexpr uint32_t FILE_ALLOCATED = 0x400000; // the record came from fileLoad/fileCreate
inline constexpr uint32_t FILE_WRITING = 0x800000;   // made by fileCreate
inline constexpr size_t FILE_POS_CURRENT = SIZE_MAX; // fileWrite offset: after the previous write

struct fileTy {
    fileTy* next;        // the list of open files
    char* name;          // a copy of the file name
    uint32_t flags;
    std::FILE* handle;   // written files: the file being written; else null
    size_t length;       // data length (written files: highest end written)
    size_t position;     // end offset of the last write
    uint8_t* view;       // the content; null for an empty file that was read
    size_t mapSize;      // bytes available at `view`
    size_t growth;       // written files: least growth step in bytes
};

// Reads the whole file. `record` null allocates one (FILE_ALLOCATED).
// Failure (ERR_OPEN, ERR_NO_MEMORY) is reported with the name; null.
[[nodiscard]] fileTy* fileLoad(fileTy* record, const char* name);
// Creates or truncates the file and prepares `size` bytes of content.
// Failure (ERR_CREATE, ERR_NO_MEMORY) is reported with the name; null.
[[nodiscard]] fileTy* fileCreate(fileTy* record, const char* name, size_t size, size_t growth);
// Copies `size` bytes (null `data` only reserves the room) to `offset`
// (FILE_POS_CURRENT = the end of the previous write). 0, or a negative
// code (reported). A record not made by fileCreate takes nothing and yields 0.
[[nodiscard]] int fileWrite(fileTy* record, size_t offset, const void* data, size_t size);
// Makes `extra` more bytes of room. 0 or a negative code (reported).
[[nodiscard]] int fileGrow(fileTy* record, size_t extra);
// Closes the record (null is ignored); a written file is cut to `length`
// (0 = the record's length) and written out. Keeps the caller's last OS
// error value. 0, or ERR_WRITE (reported with the name) when the content
// could not be written.
int fileClose(fileTy* record, size_t length);

inline constexpr int32_t ERR_WRITE = -20;

// Runtime streams.
inline constexpr unsigned FILE_STD_READ = 0x1;
inline constexpr unsigned FILE_STD_WRITE = 0x2;
inline constexpr unsigned FILE_STD_BINARY = 0x4;
inline constexpr unsigned FILE_STD_APPEND = 0x8;
inline constexpr unsigned FILE_STD_UPDATE = 0x10;
inline constexpr unsigned FILE_STD_IN = 0x1000;
inline constexpr unsigned FILE_STD_OUT = 0x2000;
inline constexpr unsigned FILE_STD_ERR = 0x4000;
inline constexpr unsigned FILE_STD_DENY_SHARE = 0x10000; // accepted; Linux has no sharing modes
// The name values 1 and 2 stand for standard output and standard error.
#define FILE_STD_NAME_OUT (reinterpret_cast<const char*>(1))
#define FILE_STD_NAME_ERR (reinterpret_cast<const char*>(2))

// A standard stream or a newly opened one; null on failure (ERR_OPEN,
// reported with the name).
[[nodiscard]] std::FILE* fileStdOpen(const char* name, unsigned flags);
// 0, or ERR_IO (reported). Standard streams and null are left open.
int fileStdClose(std::FILE* stream);
// The fopen mode for the flags ("rt", "wb", "r+t", ...), in a static buffer.
const char* fileModeString(unsigned flags);

// ---------------------------------------------------------------------------
// Paths and directories. Separators are "\\", "/" and ":".

// Each output that is given (size > 0) gets its part or "": the directory
// with its last separator, the name, the extension with its dot.
void pathSplit(const char* path, char* dir, size_t dirSize, char* name, size_t nameSize, char* ext, size_t extSize);
// The text after the last separator, or the whole path.
const char* pathStripDir(const char* path);

inline constexpr uint32_t DIR_ATTR_SUBDIR = 0x10;
constexpr size_t DIR_NAME_SIZE = 260;
struct dirEntryTy {
    uint32_t attrib;   // DIR_ATTR_SUBDIR for folders
    int64_t writeTime; // seconds since 1970
    uint64_t size;
    char name[DIR_NAME_SIZE];
};
struct dirTy {
    dirEntryTy find;      // the current entry
    uint8_t firstPending; // `find` holds an entry not yet handed out by dirNext
    uint8_t valid;        // `find` holds an entry
    void* handle;         // the search; null = none
};

// Lists every entry of the folder (as "*.*" would: "." and ".." first, then
// every name, with or without a dot). The first entry is in `find` at once.
// Null when the folder cannot be listed.
[[nodiscard]] dirTy* dirOpen(const char* directory);
// 1 with the next entry in `find` (the first call hands out the one dirOpen
// found), 0 at the end.
int dirNext(dirTy* search);
void dirClose(dirTy* search);

// ---------------------------------------------------------------------------
// Packers. Packer 0 is the layer's own LZ format (flag bits in 16-bit
// little-endian words; literals, short matches of 2..5 bytes at distance
// 1..256, long matches of 3..256 bytes at distance 1..8192, the end item
// 00 F0 00); packer 1 is zlib.

// Packs `length` bytes into `destination` (room: `capacity` bytes). The
// packed length, or a negative code (reported): ERR_NO_MEMORY, ERR_OVERFLOW
// when the output does not fit (nothing is written past `capacity`).
[[nodiscard]] int64_t lzPack(const void* source, size_t length, void* destination, size_t capacity);
// Unpacks a packer-0 stream. The unpacked length, or ERR_DATA (not
// reported) when the stream is malformed, runs past `sourceLength`, would
// write past `capacity` or refers to bytes before the output's start.
[[nodiscard]] int64_t lzUnpack(const void* source, size_t sourceLength, void* destination, size_t capacity);

// zlib over whole blocks. `destinationLength` holds the room on entry and
// the bytes written on success. 0, or a negative code (reported): ERR_BUF_SHORT
// when the output ran full, ERR_DATA for bad or truncated data,
// ERR_NO_MEMORY, ERR_BAD_ARG (bad level, sizes beyond 4 GiB).
[[nodiscard]] int zCompress2(void* destination, size_t* destinationLength, const void* source, size_t sourceLength,
                             int level);
[[nodiscard]] int zCompress(void* destination, size_t* destinationLength, const void* source, size_t sourceLength);
[[nodiscard]] int zUncompress(void* destination, size_t* destinationLength, const void* source, size_t sourceLength);
// The packer-1 calls of the legacy object files.
[[nodiscard]] int rwPack(const void* source, size_t sourceLength, void* destination, size_t* destinationLength);
[[nodiscard]] int rwUnpack(const void* source, size_t sourceLength, void* destination, size_t* destinationLength);

// ---------------------------------------------------------------------------
// Configuration files: lines of "name = value", "--" comments.

constexpr size_t CFG_LINE_SIZE = 1024; // a line holds at most 1023 characters

// A variable. `value` is null until one is set; it reads as "".
struct cfgVarCTy {
    char* name;
    char* value;

    void SetInt(int number);
    const char* Text() const { return value ? value : ""; }
};

// Variables in insertion order; names compare without regard to ASCII case.
class cfgCTy {
public:
    cfgCTy() = default;
    virtual ~cfgCTy();
    cfgCTy(const cfgCTy&) = delete;
    cfgCTy& operator=(const cfgCTy&) = delete;

    cfgVarCTy* Find(const char* name) const;
    // The variable, or a new one without value at the end; null when memory
    // ran out (reported; the list stays as it was).
    cfgVarCTy* FindOrAdd(const char* name);
    // Set a variable, adding it when absent. Null when memory ran out.
    cfgVarCTy* SetStr(const char* name, const char* text);
    cfgVarCTy* SetInt(const char* name, int number);
    // Only when the variable exists.
    void UpdateInt(const char* name, int number);
    // "" / 0 when absent. The number is read as atoi reads it (leading
    // digits), clamped to the int range.
    const char* GetStr(const char* name) const;
    int GetInt(const char* name) const;

    // Reads the file's variables over the current ones. A missing file
    // changes nothing; a bad line is reported ("Empty variable name",
    // "Invalid line") and ends the load, keeping what was read before.
    void Load(const char* fileName);
    // Writes every variable as "%s = %s\n". The new text goes to a file
    // beside the old one that then replaces it (a symbolic link is followed,
    // the old file's permissions are kept), so a failed save leaves the old
    // file whole; when no file can be made beside it, the file is rewritten
    // in place. A file that cannot be opened at all is skipped silently (0);
    // a failed write is reported with the name and yields ERR_WRITE.
    int Save(const char* fileName) const;

    uint32_t Count() const { return count_; }
    cfgVarCTy* At(uint32_t index) const { return index < count_ ? vars_[index] : nullptr; }

private:
    uint32_t count_ = 0;
    cfgVarCTy** vars_ = nullptr;
};

// The file functions under cfgCTy::Load and cfgCTy::Save.
[[nodiscard]] std::FILE* cfgFileOpenRd(const char* fileName); // "rt"
[[nodiscard]] std::FILE* cfgFileOpenWr(const char* fileName); // "wt"
// Reads the next variable into the two CFG_LINE_SIZE buffers: 1, or 0 at
// the end of the file and after a reported bad line.
[[nodiscard]] int cfgFileReadVar(std::FILE* stream, char* name, char* value);
// Writes "%s = %s\n" (null reads as ""). 0, or ERR_WRITE (not reported).
[[nodiscard]] int cfgFileWriteVar(std::FILE* stream, const char* name, const char* value);
void cfgFileClose(std::FILE* stream);

// ---------------------------------------------------------------------------
// Device-independent bitmaps: one block holding the 40-byte header, the
// colour table (or three bit-field masks) and the rows. Rows are padded to
// 4 bytes; a positive height stores the rows bottom-up. Row y = 0 is the
// top of the picture either way.

inline constexpr uint32_t BMP_BI_RGB = 0;
inline constexpr uint32_t BMP_BI_BITFIELDS = 3;

// BITMAPINFOHEADER, as it is in files and in memory (little-endian host).
struct bmpInfoTy {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(bmpInfoTy) == 40, "BITMAPINFOHEADER is 40 bytes");

struct rectTy {
    int32_t x, y, w, h;
};

// The rectangle (clipped to the picture) of a BMP file as a new block
// (free with memFree). A malformed file is reported as ERR_DATA; null.
[[nodiscard]] bmpInfoTy* bmpLoad(const char* name, int x, int y, int width, int height);
// A new zeroed block. `colours` above 256 count as 0; for up to 8 bits,
// 0 colours makes a full table (2^bits entries). 16 or 32 bits with 3
// colours store the masks 5-6-5 / 8-8-8 and BI_BITFIELDS. Null on failure
// (reported: ERR_BAD_ARG, ERR_NO_MEMORY).
[[nodiscard]] bmpInfoTy* bmpInfoCreate(int width, int height, int bitCount, int colours, int withBits);
uint32_t bmpPalColors(const bmpInfoTy* info); // colour-table entries
size_t bmpPalSize(const bmpInfoTy* info);     // colour-table (or mask) bytes
uint8_t* bmpBits(bmpInfoTy* info);
const uint8_t* bmpBits(const bmpInfoTy* info);
size_t bmpStride(const bmpInfoTy* info);      // bytes per row, padded

// Copies a rectangle between pictures of the same depth, or converts
// 8->16, 8->24, 24->16 (through dibConvert). `destination` null makes a new
// block of the clipped size. Bits null means the block's own. The result
// is the destination block, or null (nothing to copy, or a failure:
// ERR_NOT_IMPL for other depth pairs, reported). For 1 and 4 bits, x
// positions are taken in whole bytes.
bmpInfoTy* dibCopy(bmpInfoTy* destination, void* destinationBits, const bmpInfoTy* source, const void* sourceBits,
                   int sx, int sy, int width, int height, int dx, int dy);
bmpInfoTy* dibConvert(bmpInfoTy* destination, void* destinationBits, int dx, int dy, int destinationBitCount,
                      const bmpInfoTy* source, const void* sourceBits, int sx, int sy, int sourceBitCount, int width,
                      int height);
// Clips a copy of (sx, sy, width, height) to (dx, dy) against both
// pictures, moving both positions alike. 1 when something is left.
int dibClip(const bmpInfoTy* destination, int* dx, int* dy, const bmpInfoTy* source, int* sx, int* sy, int* width,
            int* height);

// Row converters; strides may be negative. Masks: red, green, blue of a
// 16-bit pel. A colour table is RGBQUAD entries (blue, green, red, 0).
void dibConv8to16(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, int width, int height,
                  const uint16_t table[256]);
void dibConv8to24(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, int width, int height,
                  const uint8_t* colourTable, uint32_t colours);
void dibConv24to16(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, int width, int height,
                   const uint32_t masks[3]);
void dibPalTo16(uint16_t table[256], const uint8_t* colourTable, uint32_t colours, const uint32_t masks[3]);

// 1 and the overlap in `out` when a and b overlap; else 0. Edges that only
// touch do not overlap.
int rectIntersect(rectTy* out, const rectTy* a, const rectTy* b);
void rowCopy(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, size_t bytesPerRow, int rows);
// As rowCopy for rows that may overlap.
void rowMove(void* dst, ptrdiff_t dstStride, const void* src, ptrdiff_t srcStride, size_t bytesPerRow, int rows);

// ---------------------------------------------------------------------------
// Legacy object files: a header of six little-endian words (magic "rw2\0"
// or "rw1\0", flags, packer, a spare word, packed size, unpacked size),
// then the data, packed with packer 0 (LZ) or 1 (zlib) when flag bit 0 is
// set. Objects write u32 words, byte blocks and strings (u32 length, then
// the bytes; 0xFFFFFFFF for a null string) into a stream held in memory.

inline constexpr uint32_t RW_MAGIC2 = 0x00327772; // "rw2\0"
inline constexpr uint32_t RW_MAGIC1 = 0x00317772; // "rw1\0"
inline constexpr uint32_t RW_PACKED = 0x1;
inline constexpr uint32_t RW_ENCIPHERED = 0x2; // not supported: such a stream has no data
inline constexpr uint32_t RW_PACKER_LZ = 0;
inline constexpr uint32_t RW_PACKER_ZLIB = 1;
inline constexpr uint32_t RW_MODE_WRITE = 0;
inline constexpr uint32_t RW_MODE_READ = 1;
constexpr size_t RW_HEADER_SIZE = 24;
inline constexpr uint32_t RW_NULL_STRING = 0xFFFFFFFF;

// What rwClose leaves at a memory target: the header words, the data's
// address, then the data itself in the same block (free with memFree).
struct rwMemBlockTy {
    uint32_t magic;
    uint32_t flags;
    uint32_t packer;
    uint32_t word;
    uint32_t unpackedSize;
    uint32_t length;
    uint8_t* data;
};

struct rwCTy {
    uint32_t magic;
    uint32_t mode;         // RW_MODE_WRITE or RW_MODE_READ
    char* fileName;        // writing: where rwClose writes
    uint32_t flags;
    uint32_t packer;
    uint32_t word;         // the spare header word, carried unchanged
    size_t length;         // bytes of data (writing: the highest position written)
    size_t unpackedSize;   // reading: the header's unpacked size
    size_t capacity;       // writing: room of the data buffer
    size_t position;
    uint8_t* data;
    rwMemBlockTy** target; // writing: set by rwSetTarget, the result goes there
    int error;             // the first failure; reads past the end report once
};

// Opens and unpacks a legacy object file. Null when the file cannot be
// read or is cut short (reported). Other faults are reported and leave a
// stream without data: a wrong magic ("rwRdOpen(%s): Wrong file or obsolete
// file format.", the stream still reads), an unknown packer, data that does
// not unpack, enciphered data.
[[nodiscard]] rwCTy* rwRdOpen(const char* name);
// A stream for writing; rwClose writes it to `name` (or to the target).
[[nodiscard]] rwCTy* rwWrOpen(const char* name, uint32_t flags = RW_PACKED, uint32_t packer = RW_PACKER_ZLIB);
void rwSetTarget(rwCTy* stream, rwMemBlockTy** target);
// Finishes and frees the stream; a write stream is packed and written
// first. 0, or the code of a reported failure (the data is then written
// unpacked when packing failed, and not at all when writing failed).
int rwClose(rwCTy* stream);

void rwSeek(rwCTy* stream, size_t position);
// Writes at the position, growing the buffer; the new position.
size_t rwWrite(rwCTy* stream, const void* data, size_t size);
void rwWriteU32(rwCTy* stream, uint32_t value);
void rwWriteStr(rwCTy* stream, const char* text); // null writes RW_NULL_STRING
// Reads at the position. Past the end of the data the output is zeroed,
// ERR_END_OF_DATA is reported (once per stream) and returned.
int rwRead(rwCTy* stream, void* out, size_t size);
uint32_t rwReadU32(rwCTy* stream);
// A new NUL-terminated copy (free with memFree); null for RW_NULL_STRING
// and for a length beyond the data (reported).
[[nodiscard]] char* rwReadStr(rwCTy* stream);

// Objects kept in legacy object files.
class rwObjCTy {
public:
    virtual const char* GetClassName() const { return "rwObjCTy"; }
    virtual ~rwObjCTy() = default;
    virtual void Write(rwCTy*) {}
    virtual void Read(rwCTy*) {}
};

using rwCreatorTy = rwObjCTy* (*)();
// A later registration of a name replaces the earlier one; a null creator
// removes the name.
void rwObjRegisterClass(const char* name, rwCreatorTy creator);
// A new object of the class registered under `name` (case-sensitive), or
// null with "rwObjCreateByClassName: Unknown class name. %s" reported.
[[nodiscard]] rwObjCTy* rwObjCreateByClassName(const char* name);

// The unit's shared record: a word the font loader applies to new alpha
// images, and a buffer freed by rwFreeShared.
struct rwSharedTy {
    uint32_t word;
    void* buffer;
};
rwSharedTy* rwGetShared();
void rwFreeShared();
