// Every throw site of the image library goes through these two functions, so
// that the library raises its failures one way and in one place.
#pragma once

#include <source_location>
#include <stdexcept>
#include <string_view>

namespace quarn::g {

// Stand-in for the library's exception until the quarn core's exception
// family is available to this target; callers must not rely on the type.
class ImageFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The shared "NOT IMPLEMENTED" failure of operation slots that have no work
// for a pixel format. It is thrown without a report, like every unsupported
// operation of the library.
[[noreturn]] void throw_not_implemented();

// A reported failure: logged with its origin, then thrown.
[[noreturn]] void throw_failure(std::string_view text, std::source_location where = std::source_location::current());

} // namespace quarn::g
