// TRY frames. A report made inside a frame unwinds to it as a C++
// exception, so every destructor between the report and the frame runs.
#include "engine/base/base_internal.h"

int errCatch(errStateTy* state, errFrameTy* frame)
{
    if (!state)
        state = &errState;
    if (frame)
        state->frames = frame->previous;
    state->argument = 0;
    state->code = 0;
    state->drive = 0xFF;
    return 0;
}

namespace {

// Restores the chain head when the frame is left, whichever way.
class FrameGuard {
public:
    explicit FrameGuard(errFrameTy& frame) : frame_(frame)
    {
        frame_.previous = errState.frames;
        errState.frames = &frame_;
    }
    ~FrameGuard() { errState.frames = frame_.previous; }
    FrameGuard(const FrameGuard&) = delete;
    FrameGuard& operator=(const FrameGuard&) = delete;

private:
    errFrameTy& frame_;
};

} // namespace

int errTryCall(errTryBodyTy body, void* context)
{
    errFrameTy frame;
    FrameGuard guard(frame);
    try {
        body(context);
        return 0;
    } catch (const errUnwindTy& unwind) {
        // The reporter always aims at the innermost frame, which is this one
        // unless frames were left unbalanced; then the outer one takes it.
        if (unwind.frame != &frame)
            throw;
        const int code = unwind.code;
        errCatch(&errState, &frame);
        return code;
    }
}
