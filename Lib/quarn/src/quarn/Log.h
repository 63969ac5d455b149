// Logging: named channels into one log file per run.
//
// A message is opened on a channel, written with stream insertion and ended
// with std::endl:
//
//     quarn::open_entry(quarn::io::log_error) << "reading failed: " << info << std::endl;
//
// The entry is empty (every insertion does nothing) when the channel's
// limits filter the message out or no stream exists. The log file is the
// executable's name without extension plus ".log", beside the executable
// (else in the temporary directory, else in "."), created empty at the
// first message of the run; "<name>.log.ini" beside it sets the limits (see
// parse_log_settings). Lines read "[channel] error: text",
// "[channel] warning: text" or "[channel] text"; continuation lines of a
// message are indented by the prefix's width.
//
// Threads: an open entry holds the log lock until its last copy goes, so
// messages never mix. Keep entries short-lived (one statement) and on one
// thread; never wait for another thread while holding one.
//
// No logging operation throws, and logging during static initialisation or
// after the log's own teardown at exit is safe (the latter does nothing).
#pragma once

#include "quarn/LogFileBuf.h"
#include "quarn/LogSettings.h"
#include "quarn/RefPtr.h"

#include <cstdint>
#include <ostream>
#include <string>

namespace quarn {

// An output text stream over a log buffer (booleans written as words).
class LogStream : public std::ostream {
public:
    explicit LogStream(std::streambuf* buffer);

    // The buffer as a log buffer, or null.
    LogFileBuf* file_buf() const;

    // Shared by all copies of one entry; the last copy's end releases the
    // log lock (and flushes a unit-buffered stream).
    class Sentry {
    public:
        explicit Sentry(LogStream& stream);
        ~Sentry();
        Sentry(const Sentry&) = delete;
        Sentry& operator=(const Sentry&) = delete;

        LogStream* stream;
        bool ok; // the stream was good when the entry opened

    private:
        bool locked_;
    };
};

// The stream of the default log file; built on first call. Null when it
// cannot be built or the log is gone.
LogStream* default_log_stream() noexcept;

class LogChannel {
public:
    using StreamGetter = LogStream* (*)();

    // A named channel. Its level comes from the mask: bit 0 error, else bit
    // 1 warning, else info. The name must outlive the channel (a literal).
    constexpr LogChannel(const char* name, unsigned level_mask, int32_t verbosity = 0,
                         StreamGetter getter = &default_log_stream) noexcept
        : name_(name), named_(true), level_(level_of(level_mask)), verbosity_(verbosity), getter_(getter)
    {
    }

    const char* name() const { return name_; }
    int level() const { return level_; }
    int32_t verbosity() const { return verbosity_; }

protected:
    // Unnamed descriptors (see LogLevelDesc): limits of "*".
    constexpr LogChannel(StreamGetter getter, LogStream* stream, unsigned level_mask) noexcept
        : name_(""), named_(false), level_(level_of(level_mask)), verbosity_(0), getter_(getter), stream_(stream)
    {
    }

private:
    static constexpr int level_of(unsigned mask) { return mask & 1 ? 0 : mask & 2 ? 1 : 2; }

    friend class LogAccess;

    const char* name_;
    bool named_;
    int level_;
    int32_t verbosity_;
    StreamGetter getter_ = nullptr;
    // Looked up at the first entry, under the log lock.
    mutable LogStream* stream_ = nullptr;
    mutable LogSettings* settings_ = nullptr;
};

// An unnamed channel: its lines read "[] error: ...", its limits are "*".
class LogLevelDesc : public LogChannel {
public:
    constexpr LogLevelDesc(StreamGetter getter, unsigned level_mask) noexcept
        : LogChannel(getter, nullptr, level_mask)
    {
    }
    constexpr LogLevelDesc(LogStream& stream, unsigned level_mask) noexcept
        : LogChannel(nullptr, &stream, level_mask)
    {
    }
};

// An opened message. Copies share it. Insertions into an empty entry do
// nothing.
class LogEntry {
public:
    LogEntry() = default;
    LogEntry(LogStream* stream, RefPtr<LogStream::Sentry> sentry) : stream_(stream), sentry_(std::move(sentry)) {}

    // True when the message is being written somewhere.
    explicit operator bool() const { return stream_ != nullptr; }
    LogStream* stream() const { return stream_; }

    template<class T>
    const LogEntry& operator<<(const T& value) const
    {
        if (stream_)
            *stream_ << value;
        return *this;
    }
    // std::endl ends the line and writes it out.
    const LogEntry& operator<<(std::ostream& (*manipulator)(std::ostream&)) const
    {
        if (stream_)
            manipulator(*stream_);
        return *this;
    }

private:
    LogStream* stream_ = nullptr;
    RefPtr<LogStream::Sentry> sentry_;
};

// Opens a message at the channel's verbosity, or at the one given.
LogEntry open_entry(const LogChannel& channel) noexcept;
LogEntry open_entry(const LogChannel& channel, int32_t verbosity) noexcept;

// Four blanks, the indentation of continuation text in exception reports.
struct Indent {};
inline constexpr Indent indent{};
std::ostream& operator<<(std::ostream& out, Indent);

// The file written by the stream the channel has cached; "" before the
// channel's first entry, without a file, or when the log is gone.
std::string log_file_name(const LogChannel& channel);
// The file written by the default log stream ("" before it is built).
std::string default_log_file_name();

// For a program whose log may be another running copy's (two starts from
// one folder write one file): from hold_log_file() on, the default log
// keeps its output in memory, and its file is neither opened nor emptied.
// release_log_file(true) writes what was kept, opening the file then;
// release_log_file(false) drops it, and the default log writes no file
// from then on (default_log_file_name() is ""). Output still kept when the
// program ends (its exit, a box's answer that ends it) is dropped: the
// file was never known to be the program's own. Both do nothing while the
// log is not held.
void hold_log_file() noexcept;
void release_log_file(bool keep) noexcept;

// The limits record of a channel name ("*" and "!" are the built-in ones);
// null when the log is gone. Changes apply to the next entry.
LogSettings* log_settings(const char* name) noexcept;

// The library's channels.
inline constinit LogLevelDesc log_error{&default_log_stream, 1};
inline constinit LogLevelDesc log_warning{&default_log_stream, 2};
inline constinit LogLevelDesc log_info{&default_log_stream, 4};
inline constinit LogChannel log_exception{"exception", 1};
inline constinit LogChannel log_assertion_error{"assertion", 1};
inline constinit LogChannel log_assertion_info{"assertion", 4};

namespace io {
inline constinit LogChannel log_info{"quarn.io", 4};
inline constinit LogChannel log_warning{"quarn.io", 2};
inline constinit LogChannel log_error{"quarn.io", 1};
} // namespace io

} // namespace quarn
