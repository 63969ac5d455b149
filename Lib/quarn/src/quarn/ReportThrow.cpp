#include "quarn/Exception.h"

#include "quarn/Log.h"
#include "quarn/ReportBox.h"

#include "platform/debug.h"

#include <atomic>
#include <ostream>

namespace quarn {

namespace {

// Plain, constant-initialised state: report_throw may run during static
// initialisation and after other statics are gone.
constinit ThrowOrigin last_origin{};
constinit std::atomic<bool> box_enabled{false};
// The assertion box by default; naming it here also links it into every
// program that throws.
constinit std::atomic<AssertionPrompt> prompt{&show_assertion_message};

} // namespace

std::string origin_text(const ThrowOrigin& origin)
{
    std::string text;
    if (origin.file && *origin.file) {
        text += origin.file;
        text += '(';
        text += std::to_string(origin.line);
        text += ") : ";
    }
    if (origin.function && *origin.function) {
        text += origin.function;
        text += " : ";
    }
    return text;
}

std::ostream& operator<<(std::ostream& out, const ThrowOrigin& origin) { return out << origin_text(origin); }

ThrowOrigin last_throw_origin() noexcept { return last_origin; }

void set_assertion_prompt(AssertionPrompt p) noexcept { prompt = p; }
void set_assertion_box_enabled(bool on) noexcept { box_enabled = on; }
bool assertion_box_enabled() noexcept { return box_enabled; }

void break_into_debugger() noexcept { platform::debug_break(); }

bool report_throw(const ThrowOrigin& origin, const Exception& e) noexcept
{
    last_origin = origin;
    int answer = 1;
    if (box_enabled) {
        if (AssertionPrompt ask = prompt.load()) {
            try {
                answer = ask(origin, e.what());
            } catch (...) {
                answer = 2;
            }
        }
    }
    const char* message = e.what();
    const char* type = e.type_name();
    if (LogEntry entry = open_entry(log_exception))
        entry << type << '\n' << indent << origin << '\n' << indent << message << std::endl;
    if (answer == 0)
        return true;
    if (answer == 1)
        return false;
    end_on_box_answer({.abort_signal = true});
}

} // namespace quarn
