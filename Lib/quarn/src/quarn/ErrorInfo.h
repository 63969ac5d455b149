// Error descriptions: chains of records that together read as one line,
// low-level cause first. A record describes itself into a caller's buffer as
// its own text, then its inner record's description, then " ('detail')".
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>

namespace quarn {

class ErrorInfo {
public:
    ErrorInfo() = default;
    ErrorInfo(const char* detail, const ErrorInfo* inner) : detail(detail), inner(inner) {}
    virtual ~ErrorInfo() = default;

    // Writes the description into `buffer` (always NUL-terminated when size
    // is not 0) and returns the number of characters stored, never more than
    // size - 1: a caller may write the next part at buffer + result. A null
    // buffer or a size of 0 writes nothing and returns 0.
    virtual size_t describe(char* buffer, size_t size) const;

    // Not owned; either may be null.
    const char* detail = nullptr;
    const ErrorInfo* inner = nullptr;
};

// A fixed text in front of the chain.
class TextualErrorInfo : public ErrorInfo {
public:
    explicit TextualErrorInfo(const char* text, const char* detail = nullptr, const ErrorInfo* inner = nullptr)
        : ErrorInfo(detail, inner), text(text)
    {
    }

    size_t describe(char* buffer, size_t size) const override;

    const char* text = nullptr; // not owned; may be null
};

// An operating-system error number (errno) and its system text.
class SystemErrorInfo : public ErrorInfo {
public:
    // A code of 0 records the calling thread's last error now, so the record
    // keeps the cause even when later calls change the thread's error.
    explicit SystemErrorInfo(int32_t code = 0);
    void set_code(int32_t code = 0);
    int32_t code() const { return code_; }

    size_t describe(char* buffer, size_t size) const override;

private:
    int32_t code_ = 0;
};

// Writes the description (cut at 4095 characters).
std::ostream& operator<<(std::ostream& out, const ErrorInfo& info);

// Appends printf-style text at buffer + used, within size; returns the
// number of characters stored (never more than fit). Shared by the records'
// describe operations.
size_t append_format(char* buffer, size_t size, size_t used, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

} // namespace quarn
