#include "quarn/ReportBox.h"

#include "platform/process.h"

#include <atomic>
#include <cstdlib>

namespace quarn {

namespace {

// Constant-initialised: a box may end the program during static
// initialisation, or after other statics are gone.
constinit std::atomic<BoxEndHook> end_hook{nullptr};
constinit std::atomic<bool> ending{false};

} // namespace

void set_box_end_hook(BoxEndHook hook) noexcept { end_hook = hook; }

void end_on_box_answer(BoxEnd end) noexcept
{
    // The first end runs the hook. A second one (a box that the hook's save
    // opened, or another thread's box) does not wait for it: its answer
    // ends the program now, and what the save had not finished writing is
    // a temporary file beside the settings, which stay whole.
    // A copy of the process (SDL's box) saves nothing: the program does.
    if (!platform::in_forked_copy() && !ending.exchange(true)) {
        if (const BoxEndHook hook = end_hook.load())
            hook();
    }
    // A log still held in memory (a start that has not learned whether
    // another copy runs) is left unwritten: its file may be that copy's,
    // which opening it would empty. The box's text is on stderr.
    if (end.abort_signal)
        std::abort();
    platform::exit_now(end.status);
}

} // namespace quarn
