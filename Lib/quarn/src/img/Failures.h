// Every throw site of the image library goes through these two functions, so
// that the library raises its failures one way and in one place.
#pragma once

#include <source_location>
#include <string_view>

namespace quarn::g {

// The shared "NOT IMPLEMENTED" failure of operation slots that have no work
// for a pixel format: a quarn::Exception thrown without a report, like
// every unsupported operation of the library.
[[noreturn]] void throw_not_implemented();

// A reported failure: a quarn::Exception with the text, logged with its
// origin on the "exception" channel by the library's throw protocol, then
// thrown.
[[noreturn]] void throw_failure(std::string_view text, std::source_location where = std::source_location::current());

} // namespace quarn::g
