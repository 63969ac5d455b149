// The text formatter and its argument lists, number text, case mapping and
// size-carrying string copies.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

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

// Strings. Destinations carry their size; output is cut to fit and
// always NUL-terminated.

// Copies `src` (null = empty); yields the address of the destination's NUL,
// or null when `dst` is null or `size` is 0.
char* strCopy(char* dst, size_t size, const char* src);
// strCopy of `src` as a report shows bytes another user may have written
// (platform::shown_text): control bytes and bytes that are no UTF-8
// written out as escapes, the text cut between letters.
char* strCopyShown(char* dst, size_t size, const char* src);
// "<before><name><after>" in `dst` of `size` bytes, as a report quotes a
// name another user may have written (a title, a setting, a folder's
// listing): shown (platform::shown_name), and shortened to its start and
// end where the whole would not fit, so that `after` ("': <reason>", whose
// the file is, the way out) stays whole. Yields `dst`.
char* strQuoteName(char* dst, size_t size, const char* before, const char* name, const char* after);
// `text` with each piece that strCopyShown writes out (a control byte, a
// byte of no UTF-8 letter, a letter that steers the display) put as `with`.
std::string strLettersOnly(const char* text, char with);
// The last character of `text` that occurs in `set`; null when none.
const char* strFindLastOf(const char* text, const char* set);
char* strFindLastOf(char* text, const char* set);
// Copies `src` and adds "/" unless the text is empty or ends in one of
// "\\/:" (all three are accepted as separators). Yields `dst`.
char* strAppendSep(char* dst, size_t size, const char* src);
// The last '.' after the first character, else the terminating NUL; null for null.
const char* pathExt(const char* text);
char* pathExt(char* text);
