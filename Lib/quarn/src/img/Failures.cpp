#include "img/Failures.h"

#include <string>

namespace quarn::g {

void throw_not_implemented()
{
    throw ImageFailure("NOT IMPLEMENTED");
}

void throw_failure(std::string_view text, std::source_location where)
{
    // FIXME: report through the quarn core's throw protocol (log on the
    // "exception" channel with the origin) once it is linked in.
    (void)where;
    throw ImageFailure(std::string(text));
}

} // namespace quarn::g
