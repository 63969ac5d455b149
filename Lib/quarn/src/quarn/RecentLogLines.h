// The tail of a log file as the error report box quotes it. Internal to the
// library (tests use it directly).
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace quarn::detail {

// The lines are read into a ring of ten slots, so only the last ones
// survive; the read that meets the end of the input empties one slot, so at
// most nine lines come back.
inline constexpr size_t recent_line_slots = 10;
// Characters kept of one line; the rest of a longer line is dropped.
inline constexpr size_t recent_line_limit = 258;

// The non-empty lines among the last lines of `in`, oldest first, without
// their line ends.
std::vector<std::string> recent_log_lines(std::istream& in);

} // namespace quarn::detail
