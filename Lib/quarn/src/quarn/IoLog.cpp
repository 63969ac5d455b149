#include "quarn/IoLog.h"

namespace quarn::detail {

// FIXME: write to the "quarn.io" channels once logging exists.
void log_io(IoLevel, int, std::string_view, const ErrorInfo*) noexcept {}

} // namespace quarn::detail
