// Shared by the display units of engine/gfx; no other folder includes it.
#pragma once

#include "engine/gfx/gfx_internal.h"

// Runs a surface call under the retry rule: a busy surface is asked again
// at once; a lost one is restored (for a blit the source first, then this
// surface) and asked again; any other failure is reported, once per call,
// and then handled like a loss. True when the call succeeded; false when a
// restore failed or g_RETRY_LIMIT tries were used up.
template <class Call>
[[nodiscard]] bool gRetry(gSurfDxdCTy* self, gSurfDxdCTy* source, Call&& call)
{
    bool reported = false;
    for (int attempt = 0; attempt < g_RETRY_LIMIT; ++attempt) {
        const platform::display::Result r = call();
        if (r == platform::display::ok)
            return true;
        if (r == platform::display::still_drawing)
            continue;
        if (r != platform::display::surface_lost && !reported) {
            reported = true;
            dbgBreakOnRetry(errReport(gResultCode(r)));
        }
        if (source && !source->Restore())
            return false;
        if (!self->Restore())
            return false;
    }
    return false;
}

// Reports a display result (nothing for success); yields its code.
int gReportResult(platform::display::Result result);
