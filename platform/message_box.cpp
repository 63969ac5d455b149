#include "platform/backend.h"

#include <array>
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

// Records the box and picks the headless answer. Used by the headless
// backend; kept here so the policy and the record are one piece of state.
BoxAnswer answer_headless_box(const BoxRequest& request)
{
    BoxPolicy policy;
    {
        std::lock_guard lock(box_mutex);
        box_log.push_back(request);
        policy = box_policy;
    }
    if (policy)
        return policy(request);
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

BoxAnswer message_box(const BoxRequest& request) { return current_backend().message_box(request); }

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
