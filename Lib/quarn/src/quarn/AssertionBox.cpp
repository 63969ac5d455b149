#include "quarn/ReportBox.h"

#include "quarn/Log.h"

#include "platform/window.h"

#include <atomic>
#include <string>

namespace quarn {

namespace {

// -1 while no assertion box is open. Constant-initialised: library throws,
// and so this box, can happen during static initialisation.
constinit std::atomic<int32_t> nesting{-1};

// Closes one box level, also when the box code fails: a level left open
// would turn every later assertion into a "nested" one that is only logged,
// and a quit request taken out of the queue would be lost.
class BoxLevel {
public:
    BoxLevel() = default;
    BoxLevel(const BoxLevel&) = delete;
    BoxLevel& operator=(const BoxLevel&) = delete;
    ~BoxLevel()
    {
        if (quit_taken_) {
            try {
                platform::post_quit(quit_code_);
            } catch (...) {
            }
        }
        --nesting;
    }

    void take_pending_quit() { quit_taken_ = platform::take_pending_quit(quit_code_); }

private:
    bool quit_taken_ = false;
    int quit_code_ = 0;
};

std::string detail_text(const ThrowOrigin& origin)
{
    std::string detail;
    if (origin.file && *origin.file) {
        detail += "File:     ";
        detail += origin.file;
        detail += '\n';
    }
    if (origin.line != 0) {
        detail += "Line:     ";
        detail += std::to_string(origin.line);
        detail += '\n';
    }
    if (origin.function) {
        detail += "Function: ";
        detail += origin.function;
        detail += '\n';
    }
    detail += "\nPress 'Abort'  to stop program execution\n"
              "Press 'Retry'  to debug program\n"
              "Press 'Ignore' to continue program execution\n";
    return detail;
}

} // namespace

int show_assertion_message(const ThrowOrigin& origin, const char* text) noexcept
{
    if (++nesting >= 1) {
        --nesting;
        open_entry(log_assertion_error) << "Nested failed assertion: \n"
                                        << indent << origin << (text ? text : "") << std::endl;
        return 1;
    }
    try {
        BoxLevel level;
        platform::WindowHandle owner = platform::active_window();
        if (owner)
            owner = platform::last_active_popup(owner);
        // A quit request in the queue would end the box's own message loop
        // at once; it is taken out and delivered again after the box.
        level.take_pending_quit();
        const std::string detail = detail_text(origin);
        const int answer = report_error(text, "Assertion failed!",
                                        report_kind_cancel | report_kind_retry | report_kind_ignore, owner,
                                        detail.c_str());
        if (answer == report_answer_retry)
            return 0;
        if (answer == report_answer_ignore)
            return 1;
        return 2;
    } catch (...) {
        open_entry(log_assertion_error) << '\n'
                                        << indent << origin << '\n'
                                        << indent << "Unexpected exception within q::show_assertion_message()"
                                        << std::endl;
    }
    return 2;
}

} // namespace quarn
