#include "quarn/Log.h"
#include "quarn/ReportBox.h"

#include <cerrno>
#include <string>

namespace quarn {

namespace {

// A box is a report: it is logged at the error level, so that the log
// file holds what a person was shown, or would have been shown.
constinit LogChannel log_box{"box", 1};

} // namespace

platform::BoxAnswer show_logged_box(const platform::BoxRequest& request, std::string_view logged)
{
    // Reports keep the caller's errno for its own failure path; opening
    // the log file on the first entry must not change it.
    const int saved_errno = errno;
    const platform::BoxOutcome outcome = platform::show_message_box(request);
    // The engine layer's texts end their lines as a Windows box wants.
    std::string text(logged);
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    const LogEntry entry = open_entry(log_box);
    entry << "message box \"" << request.caption << "\":\n" << text << "\n";
    if (outcome.end_requested) {
        // Asked to end while the box waited (a signal, a logout): the
        // program ends as it would have without the box, saved and with
        // status 0, and not by the box's answer, which nobody chose.
        entry << "closed: the program was asked to end while the box was open, so it ends" << std::endl;
        end_on_box_answer({.status = 0});
    }
    if (outcome.shown)
        entry << "answered " << platform::answer_name(outcome.answer) << std::endl;
    else
        entry << "could not be shown (" << outcome.failure << "); answered "
              << platform::answer_name(outcome.answer) << std::endl;
    errno = saved_errno;
    return outcome.answer;
}

} // namespace quarn
