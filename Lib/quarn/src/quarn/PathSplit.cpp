#include "quarn/PathSplit.h"

namespace quarn::detail {

PathParts split_path(std::string_view path)
{
    PathParts parts;
    const size_t sep = path.find_last_of("\\/");
    const size_t base = sep == std::string_view::npos ? 0 : sep + 1;
    parts.dir = std::string(path.substr(0, base));
    const std::string_view last = path.substr(base);
    const size_t dot = last.rfind('.');
    if (dot == std::string_view::npos) {
        parts.name = std::string(last);
    } else {
        parts.name = std::string(last.substr(0, dot));
        parts.ext = std::string(last.substr(dot));
    }
    return parts;
}

} // namespace quarn::detail
