#include "quarn/ReportBox.h"

#include "quarn/FileBuf.h"
#include "quarn/Log.h"
#include "quarn/LogSystem.h"
#include "quarn/RecentLogLines.h"

#include "platform/message_box.h"
#include "platform/window.h"

#include <istream>
#include <mutex>
#include <string>

namespace quarn {

namespace {

// The log file the box quotes, "" when there is none yet. The unnamed info
// descriptor caches its stream only once something is logged on it, which
// hardly ever happens, so the box looks at the stream behind it, the
// default log, itself. Until its first output the buffer holds the bare
// name it was given, not a place on disk, so a name without a directory is
// not quoted (it would be looked up in the current directory).
std::string quoted_log_file()
{
    std::string name = default_log_file_name();
    if (name.find('/') == std::string::npos)
        return {};
    // Text of a message that has not ended its line yet belongs in the
    // quote too. The lock keeps another thread's message out meanwhile.
    if (detail::LogSystem* sys = detail::log_system()) {
        std::lock_guard lock(sys->mutex);
        if (LogStream* stream = default_log_stream())
            stream->flush();
    }
    return default_log_file_name();
}

platform::BoxRequest box_for(unsigned kind)
{
    platform::BoxRequest request;
    if (kind == (report_kind_cancel | report_kind_retry)) {
        request.buttons = platform::BoxButtons::retry_cancel;
    } else if (kind == (report_kind_cancel | report_kind_retry | report_kind_ignore)) {
        request.buttons = platform::BoxButtons::abort_retry_ignore;
        request.default_button = 1; // Retry
    }
    request.icon = platform::BoxIcon::error;
    request.topmost = true;
    request.set_foreground = true;
    return request;
}

int answer_of(platform::BoxAnswer answer)
{
    switch (answer) {
    case platform::BoxAnswer::cancel:
    case platform::BoxAnswer::abort:
        return report_answer_cancel;
    case platform::BoxAnswer::retry:
        return report_answer_retry;
    case platform::BoxAnswer::ignore:
        return report_answer_ignore;
    case platform::BoxAnswer::ok:
        break;
    }
    return report_answer_ok;
}

} // namespace

int report_error(const char* text, const char* caption, unsigned kind, platform::WindowHandle owner,
                 const char* extra) noexcept
{
    // A lone Cancel button makes no sense: that is a plain OK box.
    if (!(kind & (report_kind_retry | report_kind_ignore)))
        kind &= ~report_kind_cancel;
    try {
        std::string message;
        if (text) {
            message += text;
            message += "\n\n";
        }
        if (std::string log = quoted_log_file(); !log.empty()) {
            message += "Recent log entries (\"";
            message += log;
            message += "\"):\n";
            // Read by name again, through the file layer: a FIFO put there
            // meanwhile is refused, not waited on. The gate keeps that
            // open's own log lines out of the log being quoted.
            detail::LogGate gate;
            io::FileBuf file(log.c_str(), open_mode::in | open_mode::binary);
            std::istream in(&file);
            if (file.owned_file().is_open()) {
                for (const std::string& line : detail::recent_log_lines(in)) {
                    message += line;
                    message += '\n';
                }
                message += '\n';
            }
        }
        if (extra)
            message += extra;

        platform::BoxRequest request = box_for(kind);
        request.caption = caption ? caption : "";
        request.text = std::move(message);
        request.owner = owner;
        std::string logged = text ? text : "";
        if (extra)
            logged += std::string(logged.empty() ? "" : "\n") + extra;
        return answer_of(show_logged_box(request, logged));
    } catch (const std::exception& e) {
        open_entry(log_error) << "q::report_error() failed with std::exception: " << e.what() << std::endl;
    } catch (...) {
        open_entry(log_error) << "q::report_error() failed" << std::endl;
    }
    return report_answer_cancel;
}

int report_exception(const Exception& e, unsigned kind, platform::WindowHandle owner, const char* extra) noexcept
{
    return report_error(e.what(), e.type_name(), kind, owner, extra);
}

} // namespace quarn
