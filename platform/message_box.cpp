#include "platform/backend.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform {

namespace {

std::mutex box_mutex;
BoxPolicy box_policy;
std::vector<BoxRequest> box_log;

} // namespace

bool parse_box_answer(std::string_view word, BoxAnswer& answer)
{
    static constexpr std::array<std::pair<std::string_view, BoxAnswer>, 5> words{{
        {"ok", BoxAnswer::ok},
        {"cancel", BoxAnswer::cancel},
        {"abort", BoxAnswer::abort},
        {"retry", BoxAnswer::retry},
        {"ignore", BoxAnswer::ignore},
    }};
    for (const auto& [name, value] : words) {
        if (name == word) {
            answer = value;
            return true;
        }
    }
    return false;
}

BoxAnswer default_answer(const BoxRequest& request)
{
    switch (request.buttons) {
    case BoxButtons::ok:
        return BoxAnswer::ok;
    case BoxButtons::retry_cancel:
        return request.default_button == 1 ? BoxAnswer::cancel : BoxAnswer::retry;
    case BoxButtons::abort_retry_ignore:
        if (request.default_button == 1)
            return BoxAnswer::retry;
        if (request.default_button == 2)
            return BoxAnswer::ignore;
        return BoxAnswer::abort;
    }
    return BoxAnswer::ok;
}

// A policy the program set answers every box on every backend, recorded
// and never shown; nullopt when none is set.
std::optional<BoxAnswer> answer_by_policy(const BoxRequest& request)
{
    BoxPolicy policy;
    {
        std::lock_guard lock(box_mutex);
        policy = box_policy;
        if (policy)
            box_log.push_back(request);
    }
    if (!policy)
        return std::nullopt;
    return policy(request);
}

// Records the box and picks the headless answer. Used by the headless
// backend; kept here so the policy and the record are one piece of state.
BoxAnswer answer_headless_box(const BoxRequest& request)
{
    if (const std::optional<BoxAnswer> answer = answer_by_policy(request))
        return *answer;
    {
        std::lock_guard lock(box_mutex);
        box_log.push_back(request);
    }
    BoxAnswer answer;
    if (const char* env = std::getenv("QUARN_BOX_ANSWER"); env && parse_box_answer(env, answer)) {
        // An answer the box does not offer falls back to its default.
        bool offered = false;
        switch (request.buttons) {
        case BoxButtons::ok:
            offered = answer == BoxAnswer::ok;
            break;
        case BoxButtons::retry_cancel:
            offered = answer == BoxAnswer::retry || answer == BoxAnswer::cancel;
            break;
        case BoxButtons::abort_retry_ignore:
            offered = answer == BoxAnswer::abort || answer == BoxAnswer::retry || answer == BoxAnswer::ignore;
            break;
        }
        if (offered)
            return answer;
    }
    return default_answer(request);
}

const char* answer_name(BoxAnswer answer)
{
    switch (answer) {
    case BoxAnswer::ok: return "OK";
    case BoxAnswer::cancel: return "Cancel";
    case BoxAnswer::abort: return "Abort";
    case BoxAnswer::retry: return "Retry";
    case BoxAnswer::ignore: return "Ignore";
    }
    return "?";
}

BoxOutcome show_message_box(const BoxRequest& request)
{
    // Before the box: a box may wait for a long time, or the answer may end
    // the process.
    std::fprintf(stderr, "[message box] %s\n%s\n", request.caption.c_str(), request.text.c_str());
    std::fflush(stderr);
    BoxOutcome outcome;
    // On the way out after a request to end from outside, nobody is there
    // to answer (the session ends, or a script waits for the program to
    // go), and once the display is gone there is nowhere to show it: the
    // box is said here and in the log, and answered as one that could not
    // be shown, which lets the way out go on.
    const bool lost = display_is_lost();
    if (lost || ending_on_request()) {
        outcome.shown = false;
        outcome.failure = lost ? "the display is gone" : "the program is ending as it was asked to";
        outcome.answer = request.unshown_answer.value_or(default_answer(request));
        std::fprintf(stderr, "[message box] not shown: %s; answered %s\n", outcome.failure.c_str(),
                     answer_name(outcome.answer));
        std::fflush(stderr);
        return outcome;
    }
    const std::optional<BoxAnswer> answer = current_backend().message_box(request);
    outcome.end_requested = end_request_pending();
    if (answer) {
        outcome.answer = *answer;
        return outcome;
    }
    outcome.shown = false;
    outcome.failure = backend_error_text();
    outcome.answer = request.unshown_answer.value_or(default_answer(request));
    if (outcome.end_requested) {
        std::fprintf(stderr, "[message box] closed: the program was asked to end\n");
        std::fflush(stderr);
        return outcome;
    }
    std::fprintf(stderr, "[message box] could not be shown (%s); answered %s\n", outcome.failure.c_str(),
                 answer_name(outcome.answer));
    std::fflush(stderr);
    return outcome;
}

BoxAnswer message_box(const BoxRequest& request) { return show_message_box(request).answer; }

void set_box_policy(BoxPolicy policy)
{
    std::lock_guard lock(box_mutex);
    box_policy = std::move(policy);
}

std::vector<BoxRequest> shown_boxes()
{
    std::lock_guard lock(box_mutex);
    return box_log;
}

void clear_shown_boxes()
{
    std::lock_guard lock(box_mutex);
    box_log.clear();
}

} // namespace platform
