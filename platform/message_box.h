// Modal message boxes.
#pragma once

#include "platform/window.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class BoxButtons { ok, retry_cancel, abort_retry_ignore };
enum class BoxIcon { none, error, warning, information };
enum class BoxAnswer { ok, cancel, abort, retry, ignore };

struct BoxRequest {
    std::string caption;
    std::string text;
    BoxButtons buttons = BoxButtons::ok;
    int default_button = 0; // index into the button set, 0 = first
    BoxIcon icon = BoxIcon::none;
    WindowHandle owner = nullptr;
    bool system_modal = false; // above every window, not only the owner's
    bool topmost = false;
    bool set_foreground = false;
    // The answer taken when the desktop cannot show the box; unset, the
    // default button's. A caller whose default ends the program names the
    // answer that lets it go on, since nobody chose to end it.
    std::optional<BoxAnswer> unshown_answer;
};

// What became of a box.
struct BoxOutcome {
    BoxAnswer answer = BoxAnswer::ok;
    bool shown = true;   // false: nobody saw it, and the default answered
    std::string failure; // why it could not be shown
    // A request to end from outside (a signal) is pending now that the box
    // is gone: it arrived while the box waited, which then went away, or
    // before. The program is to end as asked, not go on with the answer.
    bool end_requested = false;
};

// Shows the box and waits for the answer. Never blocks on the headless
// backend. Once the program took a request to end from outside, or its
// display went away, no box is shown (nor put to a policy): each is
// answered as one that could not be shown, and the way out goes on. The
// caption and text also go to stderr, where a box that cannot be shown
// (no desktop, no dialog helper) says so and which default answer it
// took.
BoxOutcome show_message_box(const BoxRequest& request);
// show_message_box's answer.
BoxAnswer message_box(const BoxRequest& request);

// The name of an answer as its button reads ("OK", "Abort", ...).
const char* answer_name(BoxAnswer answer);

// The answer a button set gives for its default button.
BoxAnswer default_answer(const BoxRequest& request);

// How boxes are answered. A policy set here answers every box on every
// backend, and the box is recorded instead of shown: a test that opens a
// real window sets one, so that a box decides its outcome instead of
// waiting for a person on its X server. The game never sets one. Unset,
// the SDL2 backend shows the box, and the headless backend answers by the
// QUARN_BOX_ANSWER environment variable (ok, cancel, abort, retry, ignore)
// and otherwise with the box's default button.
using BoxPolicy = std::function<BoxAnswer(const BoxRequest&)>;
void set_box_policy(BoxPolicy policy);

// A set policy's answer to the box, which is recorded; nullopt, and
// nothing recorded, when no policy is set.
std::optional<BoxAnswer> answer_by_policy(const BoxRequest& request);

// Every box the headless backend or a set policy answered, oldest first.
std::vector<BoxRequest> shown_boxes();
void clear_shown_boxes();

// Parses "ok", "cancel", "abort", "retry", "ignore"; false when unknown.
bool parse_box_answer(std::string_view word, BoxAnswer& answer);

} // namespace platform
