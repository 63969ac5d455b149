// File names written for a case-insensitive file system ("DATA\Car.IMGS")
// found on a case-sensitive one.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Resolves `path` against the file system:
//  - "\" and "/" both separate components; the result uses "/";
//  - a path that exists exactly as written (after the separator change) is
//    returned unchanged;
//  - otherwise each component that does not exist as written is matched
//    without regard to ASCII case among the names in its folder; when several
//    names match, the lexicographically first (by bytes) is taken, so the
//    choice is the same on every run;
//  - from the first component that matches nothing, the rest is kept as
//    written, so the caller's open fails with the name it asked for.
// Every opener of files in the system runs its names through this first.
std::string resolve_path(std::string_view path);

// resolve_path for the name `name` (a data name, as above) inside the
// folder `folder` ("" for the current one), which is taken as the system
// names it: "\\" is an ordinary character of a folder's name, and its case
// is not matched. The result is `folder` joined with the name found.
std::string resolve_path_in(const std::string& folder, std::string_view name);

} // namespace platform
