// The process-wide state of logging. Internal to the library.
//
// It is built on first use, because channels log during static
// initialisation of other files, and it is gone after its static
// destructor ran: from then on every logging operation is a no-op, because
// destructors of other statics still log at exit.
#pragma once

#include "quarn/LogSettings.h"

#include <memory>
#include <mutex>

namespace quarn {
class LogFileBuf;
class LogStream;
} // namespace quarn

namespace quarn::detail {

struct LogSystem {
    ~LogSystem();

    // Guards building the default stream, the settings and every open
    // entry (an entry holds it until its last copy goes, so that messages
    // of different threads never mix). Recursive: logging code logs.
    std::recursive_mutex mutex;
    LogSettingsTable settings;
    bool settings_read = false;
    std::unique_ptr<LogFileBuf> default_buf;
    std::unique_ptr<LogStream> default_stream;
};

// The state, built on first use; null after teardown.
LogSystem* log_system() noexcept;

// Raises the "!" counter for its lifetime, so that nothing the log system
// logs about its own file work is written. Holds the log lock.
class LogGate {
public:
    LogGate() noexcept;
    ~LogGate();
    LogGate(const LogGate&) = delete;
    LogGate& operator=(const LogGate&) = delete;

private:
    LogSystem* system_;
};

} // namespace quarn::detail
