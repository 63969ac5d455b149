// How the file layer reports its failures on the "quarn.io" channels.
// Internal to the library.
#pragma once

#include "quarn/ErrorInfo.h"

#include <string_view>

namespace quarn::detail {

enum class IoLevel { error, warning, info };

// Writes `text`, then the description of `cause` when given, as one line.
void log_io(IoLevel level, int verbosity, std::string_view text, const ErrorInfo* cause = nullptr) noexcept;

} // namespace quarn::detail
