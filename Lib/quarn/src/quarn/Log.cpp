#include "quarn/Log.h"

#include "quarn/LogSystem.h"

#include "platform/process.h"
#include "platform/shown_text.h"
#include "platform/trust.h"

#include <atomic>
#include <cstdio>
#include <string_view>

namespace quarn {

using detail::log_system;
using detail::LogSystem;

// Reaches the channels' lookup caches.
class LogAccess {
public:
    static LogSettings& settings(LogSystem& sys, const LogChannel& channel)
    {
        if (!channel.settings_)
            channel.settings_ = channel.named_ ? &sys.settings.find(channel.name_) : &sys.settings.defaults();
        return *channel.settings_;
    }
    static LogStream* stream(const LogChannel& channel)
    {
        if (!channel.stream_ && channel.getter_)
            channel.stream_ = channel.getter_();
        return channel.stream_;
    }
    static LogStream* cached_stream(const LogChannel& channel) { return channel.stream_; }
    static const char* name(const LogChannel& channel) { return channel.name_; }
};

namespace {

constexpr size_t settings_size_limit = 1 << 20;

// Why the settings file cannot be taken, or "" when it can: the settings
// can silence the log, so only the player's or root's are obeyed. In a
// folder every user may write to, the open itself refuses another user's
// file or link (and any name on the way the rule refuses); elsewhere the
// open succeeds and the owner is judged here. Either refusal is named.
std::string settings_refused(const File& file, bool opened, const std::string& path)
{
    int refused = 0;
    if (opened && !platform::file_trusted(file.handle(), path)) {
        refused = platform::error_untrusted_owner;
    } else if (const auto* error = dynamic_cast<const SystemErrorInfo*>(file.last_error());
               !opened && error &&
               (error->code() == platform::error_untrusted_link || error->code() == platform::error_untrusted_owner)) {
        refused = error->code();
    }
    return refused != 0 ? platform::system_error_text(refused) : "";
}

// Once per run, at the first entry: the limits from "<name>.log.ini".
void read_settings(LogSystem& sys)
{
    sys.settings_read = true;
    std::vector<std::string> problems;
    {
        detail::LogGate gate;
        File file;
        const std::string name = log_base_name() + ".log.ini";
        std::string path = name;
        const bool opened = open_log_file(file, name, open_mode::in, &path);
        if (const std::string why = settings_refused(file, opened, path); !why.empty()) {
            problems.push_back("can't read the log settings \"" + platform::shown_text(path) + "\": " + why +
                               "; they are ignored");
            // Said where the player looks too: the settings meant to change
            // what the log shows.
            std::fprintf(stderr, "%s\n", problems.back().c_str());
        } else if (opened) {
            std::string text;
            char chunk[4096];
            while (text.size() < settings_size_limit) {
                uint32_t n = file.read(chunk, sizeof chunk);
                if (n == 0)
                    break;
                text.append(chunk, n);
            }
            parse_log_settings(text, sys.settings, &problems);
        }
    }
    for (const std::string& problem : problems)
        open_entry(log_warning) << problem << std::endl;
}

} // namespace

LogStream::LogStream(std::streambuf* buffer) : std::ostream(buffer) { setf(std::ios::boolalpha); }

LogFileBuf* LogStream::file_buf() const { return dynamic_cast<LogFileBuf*>(rdbuf()); }

LogStream::Sentry::Sentry(LogStream& stream) : stream(&stream), ok(stream.good()), locked_(false)
{
    if (LogSystem* sys = log_system()) {
        sys->mutex.lock();
        locked_ = true;
    }
}

LogStream::Sentry::~Sentry()
{
    if (stream->flags() & std::ios::unitbuf)
        stream->flush();
    if (locked_)
        if (LogSystem* sys = log_system())
            sys->mutex.unlock();
}

LogStream* default_log_stream() noexcept
{
    LogSystem* sys = log_system();
    if (!sys)
        return nullptr;
    try {
        std::lock_guard lock(sys->mutex);
        if (!sys->default_stream) {
            auto buf = std::make_unique<LogFileBuf>();
            buf->set_file((log_base_name() + ".log").c_str(), open_mode::out | open_mode::trunc);
            sys->default_stream = std::make_unique<LogStream>(buf.get());
            sys->default_buf = std::move(buf);
        }
        return sys->default_stream.get();
    } catch (...) {
        return nullptr;
    }
}

LogEntry open_entry(const LogChannel& channel) noexcept { return open_entry(channel, channel.verbosity()); }

LogEntry open_entry(const LogChannel& channel, int32_t verbosity) noexcept
{
    LogSystem* sys = log_system();
    if (!sys)
        return {};
    try {
        std::lock_guard lock(sys->mutex);
        if (!sys->settings_read)
            read_settings(*sys);
        const int level = channel.level();
        if (!sys->settings.gate().passes(level, verbosity))
            return {};
        if (!LogAccess::settings(*sys, channel).passes(level, verbosity))
            return {};
        LogStream* stream = LogAccess::stream(channel);
        if (!stream)
            return {};
        RefPtr<LogStream::Sentry> sentry(new LogStream::Sentry(*stream));
        if (LogFileBuf* buf = stream->file_buf())
            buf->begin_message(LogAccess::name(channel), level, verbosity);
        return LogEntry(stream, std::move(sentry));
    } catch (...) {
        return {};
    }
}

std::ostream& operator<<(std::ostream& out, Indent) { return out << "    "; }

std::string log_file_name(const LogChannel& channel)
{
    LogSystem* sys = log_system();
    if (!sys)
        return {};
    std::lock_guard lock(sys->mutex);
    LogStream* stream = LogAccess::cached_stream(channel);
    LogFileBuf* buf = stream ? stream->file_buf() : nullptr;
    return buf ? buf->file_name() : std::string();
}

std::string default_log_file_name()
{
    LogSystem* sys = log_system();
    if (!sys)
        return {};
    std::lock_guard lock(sys->mutex);
    return sys->default_buf ? sys->default_buf->file_name() : std::string();
}

namespace {

// Whether hold_log_file() holds the default log: a release that has
// nothing to do (every box's end asks) never waits for the log's lock.
constinit std::atomic<bool> log_file_held{false};

} // namespace

void hold_log_file() noexcept
{
    LogStream* stream = default_log_stream();
    LogSystem* sys = log_system();
    if (!stream || !sys)
        return;
    std::lock_guard lock(sys->mutex);
    if (LogFileBuf* buf = stream->file_buf()) {
        buf->hold();
        log_file_held = true;
    }
}

void release_log_file(bool keep) noexcept
{
    if (!log_file_held.exchange(false))
        return;
    LogSystem* sys = log_system();
    if (!sys)
        return;
    try {
        std::lock_guard lock(sys->mutex);
        if (sys->default_buf)
            sys->default_buf->release(keep);
    } catch (...) {
    }
}

LogSettings* log_settings(const char* name) noexcept
{
    LogSystem* sys = log_system();
    if (!sys || !name)
        return nullptr;
    try {
        std::lock_guard lock(sys->mutex);
        return &sys->settings.find(name);
    } catch (...) {
        return nullptr;
    }
}

} // namespace quarn
