// The error report box and the assertion box.
//
// report_error shows an error text in a modal box together with the last
// lines of the current log file, so that whoever reports a failure sends its
// context along. The program's entry point shows an exception that ends the
// run with report_exception.
//
// show_assertion_message is the box report_throw offers before a library
// exception is thrown, when the assertion box is switched on
// (set_assertion_box_enabled): it shows where the throw happens and lets the
// user stop the program, break into the debugger or go on.
//
// On the headless platform backend the boxes never block: they are answered
// by the box policy and recorded (platform::shown_boxes).
#pragma once

#include "quarn/Exception.h"

#include "platform/message_box.h"
#include "platform/window.h"

#include <string_view>

namespace quarn {

// Bits of report_error's `kind`: which buttons besides OK the box offers.
// Only 3 (Retry, Cancel) and 7 (Abort, Retry, Ignore) give other buttons;
// every other kind shows a plain OK box.
inline constexpr unsigned report_kind_cancel = 1;
inline constexpr unsigned report_kind_retry = 2;
inline constexpr unsigned report_kind_ignore = 4;

// report_error's answers.
inline constexpr int report_answer_ok = 0;     // OK (or any other button)
inline constexpr int report_answer_cancel = 1; // Cancel or Abort, or the box failed
inline constexpr int report_answer_retry = 2;  // Retry
inline constexpr int report_answer_ignore = 4; // Ignore

// Shows `text` (may be null), then, once the log has a file, the heading
// "Recent log entries ("<path>"):" with at most the last nine lines of that
// file, then `extra` (may be null), in a topmost error box owned by `owner`
// (may be null). Never throws: a failure is logged and answers 1.
int report_error(const char* text, const char* caption, unsigned kind, platform::WindowHandle owner,
                 const char* extra) noexcept;

// Every box of the program, the engine layer's debug box included, goes
// through here: the platform shows it (and copies it to stderr), and the
// log gets its caption, `logged` (the box's own text, without the quoted
// log lines) and the answer, with a note when it could not be shown and
// took its default answer. What the box itself throws passes through.
platform::BoxAnswer show_logged_box(const platform::BoxRequest& request, std::string_view logged);

// report_error with the exception's message, captioned with its class name
// ("class quarn::io::Failure").
int report_exception(const Exception& e, unsigned kind, platform::WindowHandle owner, const char* extra) noexcept;

// The one way a box's answer ends the program: Abort in the engine layer's
// debug box, Abort in the assertion box. The program's end hook runs first,
// so that what every other end saves (the settings, a best time) is saved
// on this one too; then the process ends, with `status` (Linux keeps its
// low 8 bits) or, with `abort_signal`, by the abort signal, which leaves a
// core dump and stops a debugger where the assertion failed. The hook runs
// once: a box its own work opens and answers Abort ends the process at
// once, with that box's status.
struct BoxEnd {
    int status = 0;
    bool abort_signal = false;
};
[[noreturn]] void end_on_box_answer(BoxEnd end) noexcept;

// What runs before a box's answer ends the program; null (the default)
// for nothing. The application installs its save once the settings are
// read, and takes it away when its own shut-down saves.
using BoxEndHook = void (*)() noexcept;
void set_box_end_hook(BoxEndHook hook) noexcept;

// The assertion box (caption "Assertion failed!", Abort/Retry/Ignore with
// Retry as default): 0 debug (Retry), 1 continue (Ignore), 2 stop (Abort, or
// the box failed). Owned by the active window's last popup. A quit request
// pending when it opens is delivered again after it closes. While a box is
// open, a further call only logs on "assertion" and answers 1, so a library
// throw inside the box's own code cannot open a second box.
int show_assertion_message(const ThrowOrigin& origin, const char* text) noexcept;

} // namespace quarn
