#include "quarn/IoLog.h"

#include "quarn/Log.h"

namespace quarn::detail {

void log_io(IoLevel level, int verbosity, std::string_view text, const ErrorInfo* cause) noexcept
{
    const LogChannel& channel = level == IoLevel::error ? io::log_error
                                : level == IoLevel::warning ? io::log_warning
                                                            : io::log_info;
    LogEntry entry = open_entry(channel, verbosity);
    if (!entry)
        return;
    entry << text;
    if (cause)
        entry << *cause;
    entry << std::endl;
}

} // namespace quarn::detail
