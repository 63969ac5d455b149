// Every throw site of the image library goes through these two functions, so
// that the library raises its failures one way and in one place.
#pragma once

#include <string_view>

namespace quarn::g {

// The shared "NOT IMPLEMENTED" failure of operation slots that have no work
// for a pixel format: a quarn::Exception thrown without a report, like
// every unsupported operation of the library.
[[noreturn]] void throw_not_implemented();

// A reported failure: a quarn::Exception with the text, logged with its
// origin on the "exception" channel by the library's throw protocol, then
// thrown. The origin defaults to the caller's place (the compiler builtins
// stand in for std::source_location, which the clang of the fuzz build
// lacks with this standard library).
[[noreturn]] void throw_failure(std::string_view text, const char* file = __builtin_FILE(), int line = __builtin_LINE(),
    const char* function = __builtin_FUNCTION());

} // namespace quarn::g
