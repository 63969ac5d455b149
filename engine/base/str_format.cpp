#include "engine/base/base_internal.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>

namespace {

char message_buffer[STR_MESSAGE_BUFFER_SIZE];

// Widths and precisions saturate here; output past a full destination is
// only counted, so a huge field costs no time.
constexpr int64_t field_limit = INT_MAX;

struct BufferSink {
    char* p;
    size_t room; // bytes left before the place kept for the NUL
};

// One parsed "%..." directive.
struct Directive {
    bool plus = false;
    bool minus = false;
    bool center = false;
    bool space = false;
    bool alt = false;
    bool zero = false;
    bool ref = false;
    bool getter = false;
    bool quote = false;
    bool is64 = false;
    bool wide = false;
    bool segmented = false;
    bool has_width = false;
    int64_t width = 0;
    int64_t precision = -1;
    char conv = 0;
};

// A converted text: narrow or 16-bit characters, maybe upper-cased,
// repeated, or wrapped in one blank on each side.
struct Text {
    const char* narrow = nullptr;
    const char16_t* wide = nullptr;
    size_t length = 0;
    bool upper = false;
    bool spaced = false;
    int64_t repeat = 1;

    char at(size_t i) const
    {
        char c = wide ? static_cast<char>(wide[i] & 0xFF) : narrow[i];
        return upper ? chrToUpper(c) : c;
    }
    int64_t total() const { return static_cast<int64_t>(length) * repeat + (spaced ? 2 : 0); }
};

size_t wide_length(const char16_t* s, int64_t limit)
{
    size_t n = 0;
    while ((limit < 0 || static_cast<int64_t>(n) < limit) && s[n])
        ++n;
    return n;
}

class Formatter {
public:
    // With `direct`, bytes go straight into that buffer instead of through
    // `put`: the library's own callers save a call per byte.
    Formatter(void* context, strPutTy put, BufferSink* direct, unsigned mode, strArgSourceTy* args)
        : context_(context), put_(put), direct_(direct), text_mode_((mode & STR_MODE_TEXT) != 0), args_(args)
    {
    }

    void run(const char* format);
    int64_t count() const { return count_; }
    int code() const { return code_; }

private:
    void raw(char c)
    {
        ++count_;
        last_ = c;
        if (full_)
            return;
        if (direct_) {
            if (direct_->room == 0) {
                full_ = true;
                return;
            }
            *direct_->p++ = c;
            --direct_->room;
        } else if (!put_(context_, c)) {
            full_ = true;
        }
    }
    void put(char c)
    {
        if (text_mode_ && c == '\n' && last_ != '\r')
            raw('\r');
        raw(c);
    }
    // A run of bytes; straight copies when they go to a buffer and hold no
    // line end to expand.
    void put_run(const char* s, size_t n)
    {
        if (n == 0)
            return;
        if (direct_ && !full_ && !(text_mode_ && std::memchr(s, '\n', n))) {
            const size_t fit = std::min(n, direct_->room);
            std::memcpy(direct_->p, s, fit);
            direct_->p += fit;
            direct_->room -= fit;
            full_ = fit < n;
            count_ += static_cast<int64_t>(n);
            last_ = s[n - 1];
            return;
        }
        for (size_t i = 0; i < n; ++i)
            put(s[i]);
    }
    void repeat(char c, int64_t n)
    {
        while (n > 0 && !full_) {
            put(c);
            --n;
        }
        if (n > 0) {
            count_ += (text_mode_ && c == '\n') ? 2 * n - (last_ == '\r' ? 1 : 0) : n;
            last_ = c;
        }
    }
    void emit_text(const Text& t);
    void emit(const Directive& s, std::string_view prefix, const Text& t, bool quotes = true);
    void emit_number(const Directive& s, uint64_t magnitude, unsigned base, unsigned options, std::string_view prefix);

    void set_code(int c)
    {
        if (code_ == 0)
            code_ = c;
    }
    bool fetch(strArgKind want, strArgValueTy& out);
    int64_t fetch_integer(const Directive& s);
    const void* fetch_text(const Directive& s);
    uint64_t fetch_pointer(const Directive& s);
    int64_t parse_number(const char*& p);

    // Returns false when the whole run stops.
    bool convert(Directive& s);

    void* context_;
    strPutTy put_;
    BufferSink* direct_;
    bool text_mode_;
    strArgSourceTy* args_;
    int64_t count_ = 0;
    char last_ = 0;
    bool full_ = false;
    int code_ = 0;
};

bool Formatter::fetch(strArgKind want, strArgValueTy& out)
{
    out.i = 0;
    if (!args_) {
        set_code(ERR_END_OF_DATA);
        return false;
    }
    if (int r = args_->Fetch(want, out); r != 0) {
        set_code(r);
        out.i = 0;
        return false;
    }
    return true;
}

int64_t Formatter::fetch_integer(const Directive& s)
{
    strArgValueTy v;
    if (s.getter) {
        if (!fetch(strArgKind::getInt, v))
            return 0;
        if (!v.g) {
            set_code(ERR_NULL_POINTER);
            return 0;
        }
        intptr_t r = v.g();
        return s.is64 ? static_cast<int64_t>(r) : static_cast<int32_t>(r);
    }
    if (s.ref) {
        if (!fetch(s.is64 ? strArgKind::refInt64 : strArgKind::refInt32, v))
            return 0;
        if (!v.p) {
            set_code(ERR_NULL_POINTER);
            return 0;
        }
        if (s.is64) {
            int64_t r;
            std::memcpy(&r, v.p, sizeof r);
            return r;
        }
        int32_t r;
        std::memcpy(&r, v.p, sizeof r);
        return r;
    }
    if (!fetch(s.is64 ? strArgKind::int64 : strArgKind::int32, v))
        return 0;
    return s.is64 ? v.i : static_cast<int32_t>(v.i);
}

const void* Formatter::fetch_text(const Directive& s)
{
    strArgValueTy v;
    if (s.getter) {
        if (!fetch(s.wide ? strArgKind::getWText : strArgKind::getText, v))
            return nullptr;
        if (!v.g) {
            set_code(ERR_NULL_POINTER);
            return nullptr;
        }
        return reinterpret_cast<const void*>(v.g());
    }
    if (s.ref) {
        if (!fetch(s.wide ? strArgKind::refWText : strArgKind::refText, v))
            return nullptr;
        if (!v.p) {
            set_code(ERR_NULL_POINTER);
            return nullptr;
        }
        const void* r;
        std::memcpy(&r, v.p, sizeof r);
        return r;
    }
    fetch(s.wide ? strArgKind::wtext : strArgKind::text, v);
    return v.p;
}

uint64_t Formatter::fetch_pointer(const Directive& s)
{
    strArgValueTy v;
    if (s.getter) {
        if (!fetch(strArgKind::getInt, v))
            return 0;
        if (!v.g) {
            set_code(ERR_NULL_POINTER);
            return 0;
        }
        return static_cast<uint64_t>(v.g());
    }
    if (s.ref) {
        if (!fetch(strArgKind::refPointer, v))
            return 0;
        if (!v.p) {
            set_code(ERR_NULL_POINTER);
            return 0;
        }
        const void* r;
        std::memcpy(&r, v.p, sizeof r);
        return reinterpret_cast<uintptr_t>(r);
    }
    fetch(strArgKind::pointer, v);
    return reinterpret_cast<uintptr_t>(v.p);
}

int64_t Formatter::parse_number(const char*& p)
{
    int64_t n = 0;
    while (*p >= '0' && *p <= '9') {
        n = std::min(n * 10 + (*p - '0'), field_limit);
        ++p;
    }
    return n;
}

void Formatter::emit_text(const Text& t)
{
    if (t.spaced)
        put(' ');
    if (t.repeat != 1 && t.length == 1) {
        repeat(t.at(0), t.repeat);
    } else if (t.repeat == 1 && t.narrow && !t.upper) {
        put_run(t.narrow, t.length);
    } else {
        for (int64_t r = 0; r < t.repeat; ++r) {
            if (full_) {
                // Only repeated 'c' texts get here ("<eof>", no line ends).
                count_ += (t.repeat - r) * static_cast<int64_t>(t.length);
                break;
            }
            for (size_t i = 0; i < t.length; ++i)
                put(t.at(i));
        }
    }
    if (t.spaced)
        put(' ');
}

void Formatter::emit(const Directive& s, std::string_view prefix, const Text& t, bool quotes)
{
    const bool quoted = quotes && s.quote;
    const int64_t length = static_cast<int64_t>(prefix.size()) + t.total() + (quoted ? 2 : 0);
    const int64_t pad = s.width > length ? s.width - length : 0;
    int64_t left = pad;
    int64_t right = 0;
    if (s.minus) {
        left = 0;
        right = pad;
    } else if (s.center) {
        left = pad / 2;
        right = pad - left;
    }
    if (s.zero) {
        for (char c : prefix)
            put(c);
        repeat('0', left);
    } else {
        repeat(' ', left);
        for (char c : prefix)
            put(c);
    }
    if (quoted)
        put('"');
    emit_text(t);
    if (quoted)
        put('"');
    repeat(' ', right);
}

void Formatter::emit_number(const Directive& s, uint64_t magnitude, unsigned base, unsigned options,
                            std::string_view prefix)
{
    char digits[80];
    char* end = digits + sizeof digits;
    char* begin = numToText64(magnitude, base, options, end);
    Text t;
    t.narrow = begin;
    t.length = static_cast<size_t>(end - begin);
    emit(s, prefix, t);
}

bool Formatter::convert(Directive& s)
{
    switch (s.conv) {
    case '%': {
        if (code_ == 0)
            emit(s, {}, Text{.narrow = "%", .length = 1});
        return true;
    }
    case 'c':
    case 'C': {
        const auto ch = static_cast<char>(fetch_integer(s));
        if (code_ != 0)
            return true;
        Text t;
        if (ch == 0x1A) {
            t.narrow = "<eof>";
            t.length = 5;
        } else {
            t.narrow = &ch;
            t.length = 1;
        }
        t.upper = s.conv == 'C';
        if (s.precision >= 0)
            t.repeat = s.precision;
        emit(s, {}, t);
        return true;
    }
    case 's':
    case 'S': {
        const void* text = fetch_text(s);
        const void* stop = nullptr;
        if (s.alt) {
            strArgValueTy v;
            fetch(s.wide ? strArgKind::wtext : strArgKind::text, v);
            stop = v.p;
        }
        if (code_ != 0)
            return true;
        Text t;
        t.upper = s.conv == 'S';
        const int64_t limit = (s.precision >= 0 && !s.space) ? s.precision : -1;
        if (!text) {
            t.narrow = "NULL";
            t.length = 4;
        } else {
            const size_t unit = s.wide ? sizeof(char16_t) : 1;
            size_t length;
            if (s.alt) {
                const auto b = reinterpret_cast<uintptr_t>(text);
                const auto e = reinterpret_cast<uintptr_t>(stop);
                length = e > b ? (e - b) / unit : 0;
            } else if (s.wide) {
                length = wide_length(static_cast<const char16_t*>(text), limit);
            } else {
                length = limit >= 0 ? strnlen(static_cast<const char*>(text), static_cast<size_t>(limit))
                                    : std::strlen(static_cast<const char*>(text));
            }
            if (s.wide)
                t.wide = static_cast<const char16_t*>(text);
            else
                t.narrow = static_cast<const char*>(text);
            t.length = length;
        }
        if (s.space) {
            auto blank = [&](size_t i) {
                return t.wide ? t.wide[i] <= 0x20 : static_cast<unsigned char>(t.narrow[i]) <= 0x20;
            };
            size_t first = 0;
            while (first < t.length && blank(first))
                ++first;
            size_t last = t.length;
            while (last > first && blank(last - 1))
                --last;
            if (t.wide)
                t.wide += first;
            else
                t.narrow += first;
            t.length = last - first;
            t.spaced = true;
        }
        if (s.precision >= 0 && static_cast<int64_t>(t.length) > s.precision)
            t.length = static_cast<size_t>(s.precision);
        emit(s, {}, t);
        return true;
    }
    case 'd':
    case 'i': {
        const int64_t v = fetch_integer(s);
        if (code_ != 0)
            return true;
        const bool negative = v < 0;
        const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        std::string_view sign = negative ? "-" : s.plus ? "+" : s.space ? " " : "";
        emit_number(s, magnitude, 10, 0, sign);
        return true;
    }
    case 'u':
    case 'o':
    case 'x':
    case 'X':
    case 'z':
    case 'Z':
    case 'b': {
        const int64_t v = fetch_integer(s);
        if (code_ != 0)
            return true;
        const uint64_t value = s.is64 ? static_cast<uint64_t>(v) : static_cast<uint32_t>(v);
        unsigned base = 10;
        unsigned options = 0;
        std::string_view prefix;
        switch (s.conv) {
        case 'o':
            base = 8;
            if (s.alt)
                prefix = "0";
            break;
        case 'x':
        case 'X':
            base = 16;
            if (s.conv == 'X' || s.alt)
                options |= NUM_UPPER;
            if (s.alt && value != 0)
                prefix = "0x";
            break;
        case 'z':
        case 'Z':
            base = 36;
            if (s.conv == 'Z' || s.alt)
                options |= NUM_UPPER;
            if (s.alt && value != 0)
                prefix = "0z";
            break;
        case 'b':
            base = 2;
            break;
        default:
            break;
        }
        emit_number(s, value, base, options, prefix);
        return true;
    }
    case 'p':
    case 'P': {
        const uint64_t v = fetch_pointer(s);
        if (code_ != 0)
            return true;
        // Zero-filled to the width of a pointer unless a width is given (the
        // segmented form has a fixed length of its own).
        s.zero = true;
        if (!s.has_width && s.width == 0 && !s.segmented)
            s.width = 2 * sizeof(void*);
        unsigned options = s.conv == 'P' ? NUM_UPPER : 0;
        if (s.segmented)
            options |= NUM_SEGMENTED;
        emit_number(s, v, 16, options, {});
        return true;
    }
    case 'n': {
        strArgValueTy v;
        fetch(strArgKind::count, v);
        if (code_ != 0)
            return true;
        if (!v.p) {
            set_code(ERR_NULL_POINTER);
            return true;
        }
        const int n = static_cast<int>(std::min<int64_t>(count_, INT_MAX));
        std::memcpy(const_cast<void*>(v.p), &n, sizeof n);
        return true;
    }
    case 'e':
    case 'f':
    case 'g':
    case 'E':
    case 'F':
    case 'G':
    case 'R':
        // No floating point in this layer.
        set_code(ERR_FORMAT);
        return false;
    default:
        if (code_ == 0)
            emit(s, {}, Text{}, false);
        return true;
    }
}

void Formatter::run(const char* format)
{
    if (!format) {
        set_code(ERR_NULL_POINTER);
        return;
    }
    const char* p = format;
    while (*p) {
        if (*p != '%') {
            const size_t n = std::strcspn(p, "%");
            put_run(p, n);
            p += n;
            continue;
        }
        ++p;
        Directive s;
        for (bool more = true; more;) {
            switch (*p) {
            case '+': s.plus = true; break;
            case '-': s.minus = true; break;
            case '=': s.center = true; break;
            case ' ': s.space = true; break;
            case '#': s.alt = true; break;
            case '0': s.zero = true; break;
            case '&': s.ref = true; break;
            case '^': s.getter = true; break;
            case '"':
            case '\'': s.quote = true; break;
            default: more = false; continue;
            }
            ++p;
        }
        if (*p == '*') {
            ++p;
            strArgValueTy v;
            fetch(strArgKind::int32, v);
            int64_t w = static_cast<int32_t>(v.i);
            if (w < 0) {
                s.minus = true;
                w = -w;
            }
            s.width = std::min(w, field_limit);
            s.has_width = true;
        } else if (*p >= '0' && *p <= '9') {
            s.width = parse_number(p);
            s.has_width = true;
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                ++p;
                strArgValueTy v;
                fetch(strArgKind::int32, v);
                if (static_cast<int32_t>(v.i) >= 0)
                    s.precision = static_cast<int32_t>(v.i);
            } else {
                s.precision = parse_number(p);
            }
        }
        if (s.precision > s.width)
            s.width = s.precision;
        bool conv_from_args = false;
        for (bool more = true; more && !conv_from_args;) {
            switch (*p) {
            case 'l':
            case 'r': s.is64 = false; s.segmented = true; break;
            case 'L': s.is64 = true; break;
            case 'I':
                if (p[1] == '6' && p[2] == '4') {
                    s.is64 = true;
                    p += 2;
                    break;
                }
                more = false; // a lone 'I' is the (unknown) conversion
                continue;
            case 'N':
            case 'F':
            case '&': s.ref = true; break;
            case '^': s.getter = true; break;
            case 'w': s.wide = true; break;
            case '*': {
                strArgValueTy v;
                fetch(strArgKind::int32, v);
                s.conv = static_cast<char>(v.i);
                conv_from_args = true;
                break;
            }
            default: more = false; continue;
            }
            ++p;
        }
        if (!conv_from_args) {
            if (*p == '\0') {
                set_code(ERR_FORMAT);
                return;
            }
            s.conv = *p++;
        }
        if (!convert(s))
            return;
    }
}

int run_core(void* context, strPutTy put, BufferSink* direct, const char* format, unsigned mode,
             strArgSourceTy* args)
{
    const int32_t saved = errState.code;
    errState.code = 0;
    Formatter formatter(context, put, direct, mode, args);
    formatter.run(format);
    errState.code = saved == 0 ? formatter.code() : saved;
    return static_cast<int>(std::min<int64_t>(formatter.count(), INT_MAX));
}

char* format_into(char* buffer, size_t size, const char* format, strArgSourceTy* args)
{
    if (!buffer) {
        buffer = message_buffer;
        size = sizeof message_buffer;
    }
    BufferSink sink{buffer, size ? size - 1 : 0};
    run_core(nullptr, nullptr, &sink, format, STR_MODE_TEXT, args);
    if (size == 0)
        return buffer;
    *sink.p = '\0';
    return sink.p;
}

} // namespace

char* strMessageBuffer() { return message_buffer; }

int strFormatCore(void* context, strPutTy put, const char* format, unsigned mode, strArgSourceTy* args)
{
    return run_core(context, put, nullptr, format, mode, args);
}

char* strVFormat(char* buffer, size_t size, const char* format, va_list va)
{
    strVaArgsTy args(va);
    return format_into(buffer, size, format, &args);
}

char* strFormat(char* buffer, size_t size, const char* format, ...)
{
    va_list va;
    va_start(va, format);
    char* end = strVFormat(buffer, size, format, va);
    va_end(va);
    return end;
}

char* strFormatArgs(char* buffer, size_t size, const char* format, const strArgListTy* args)
{
    if (!args)
        return format_into(buffer, size, format, nullptr);
    strListArgsTy source(*args);
    return format_into(buffer, size, format, &source);
}
