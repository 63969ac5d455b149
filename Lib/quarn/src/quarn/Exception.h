// The library's exceptions and its throw protocol.
//
// Every error of the library is a quarn::Exception (or a subclass) with a
// fixed 2048-byte message. Library throw sites follow one protocol: build the
// exception, report it with report_throw (which logs it on the "exception"
// channel and may ask the user through the assertion box), break into an
// attached debugger when the report asks for it, then throw. One line does
// all of it:
//
//     quarn::report_and_throw({"\\Lib\\quarn\\src\\quarn\\Allocator", 25, "quarn::Allocator::allocate"},
//                             quarn::Exception("Allocator: Memory allocation failed."));
//
// Operations a class does not support call throw_exception("NOT IMPLEMENTED"),
// which throws without a report.
#pragma once

#include "quarn/ErrorInfo.h"
#include "quarn/TypeName.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <iosfwd>
#include <string>
#include <type_traits>

namespace quarn {

class Exception : public std::exception {
public:
    static constexpr size_t message_size = 2048;

    // An empty message: what() then names the exception's class.
    Exception() noexcept;
    // A null or empty text leaves the message empty; longer texts are cut to
    // 2047 characters.
    explicit Exception(const char* text) noexcept;
    explicit Exception(const ErrorInfo& info) noexcept;
    Exception(const Exception& other) noexcept;
    Exception& operator=(const Exception& other) noexcept;
    ~Exception() override = default;

    // The message; an empty one is filled on demand by fill_message, so no
    // exception ever reads as an empty text.
    const char* what() const noexcept override;

    // The class name as the library shows it ("class quarn::Exception").
    // Every subclass overrides it with its own type_name_v.
    virtual const char* type_name() const noexcept;

protected:
    // Fills an empty message; the default writes type_name().
    virtual void fill_message(char* buffer) const noexcept;

private:
    mutable char message_[message_size];
};

// A missing factory: "Factory<class name> not found" unless a message was
// given.
class FactoryExc : public Exception {
public:
    explicit FactoryExc(std::string class_name) noexcept;
    FactoryExc(std::string class_name, const char* text) noexcept;

    const std::string& class_name() const noexcept { return class_name_; }
    const char* type_name() const noexcept override;

protected:
    void fill_message(char* buffer) const noexcept override;

private:
    std::string class_name_;
};

// Where a library throw happens. Library sites pass their source path as the
// system has always reported it ("\Lib\quarn\src\quarn\Allocator"), the line
// and the qualified function name. Texts are not owned and may be null.
struct ThrowOrigin {
    const char* file = nullptr;
    int32_t line = 0;
    const char* function = nullptr;
};

// "file(line) : function : ", leaving out the parts that are missing. Shared
// by the exception log and the assertion box.
std::string origin_text(const ThrowOrigin& origin);
std::ostream& operator<<(std::ostream& out, const ThrowOrigin& origin);

// Logs a library throw on the "exception" channel (the class name, then the
// origin and the message, each on its own line indented by four blanks) and,
// when the assertion box is switched on, asks the user. True when the user
// chose to debug; "stop" ends the process (abort). Never throws.
bool report_throw(const ThrowOrigin& origin, const Exception& e) noexcept;

// The origin of the last reported throw (all null/0 before the first).
ThrowOrigin last_throw_origin() noexcept;

// The assertion box asked by report_throw: answers 0 (debug), 1 (continue)
// or 2 (stop). The box itself lives with the error report box; it installs
// itself here. The switch is off at start; nothing in the library turns it
// on. With the switch on and no prompt installed, throws continue.
using AssertionPrompt = int (*)(const ThrowOrigin& origin, const char* text);
void set_assertion_prompt(AssertionPrompt prompt) noexcept;
void set_assertion_box_enabled(bool on) noexcept;
bool assertion_box_enabled() noexcept;

// Breaks into an attached debugger; does nothing without one.
void break_into_debugger() noexcept;

// The throw protocol in one call (see the top of this file). Throws a copy
// of `e` with its static type E, so pass the exception by its own class.
template<class E>
[[noreturn]] void report_and_throw(const ThrowOrigin& origin, const E& e)
{
    static_assert(std::is_base_of_v<Exception, E>);
    if (report_throw(origin, e))
        break_into_debugger();
    throw e;
}

// Throws Exception(text) without a report: only for "NOT IMPLEMENTED".
[[noreturn]] void throw_exception(const char* text);

} // namespace quarn

QUARN_TYPE_NAME(quarn::Exception, "class quarn::Exception");
QUARN_TYPE_NAME(quarn::FactoryExc, "class quarn::FactoryExc");
