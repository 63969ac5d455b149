// Splits a path into drive, directory, file name and extension, as names
// written for Windows are split. Internal to the library.
#pragma once

#include <string>
#include <string_view>

namespace quarn::detail {

struct PathParts {
    std::string drive; // always empty: no drive letters here
    std::string dir;   // up to and including the last "\" or "/"
    std::string name;  // the last component without its extension
    std::string ext;   // from the last "." of the last component, dot included
};

PathParts split_path(std::string_view path);

} // namespace quarn::detail
