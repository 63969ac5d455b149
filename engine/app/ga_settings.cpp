// The framework's numeric keys kept inside what the window, the display and
// the main loop can use, so that a typing error in the configuration file
// is reported by its key instead of showing as a failed window or a hang.
#include "engine/app/app_internal.h"

namespace {

struct KeyRange {
    const char* name;
    cfgIntRangeTy range;
};

// Sizes beyond any screen, and positions far beyond the largest desktop,
// are typing errors. The depth (only full screen uses it) is checked
// against the display's depths below.
constexpr KeyRange framework_ranges[] = {
    {"WINDOW_X", {.lo = -16384, .hi = 16384, .fallback = 0}},
    {"WINDOW_Y", {.lo = -16384, .hi = 16384, .fallback = 0}},
    {"SCR_LX", {.lo = 1, .hi = 8192, .fallback = 640}},
    {"SCR_LY", {.lo = 1, .hi = 8192, .fallback = 480}},
    // 0 is no limit; a second per frame is the most that makes sense.
    {"FPS_LIMIT", {.lo = 0, .hi = 1000, .fallback = 0}},
};

bool screen_depth(int bits) { return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32; }

} // namespace

void gaCheckSettings(cfgCTy& cfg)
{
    for (const KeyRange& key : framework_ranges)
        (void)cfg.CheckInt(key.name, key.range);
    // The depth as written: "99999999999" reads as INT_MAX.
    int depth = 0;
    if (!cfgWholeNumber(cfg.GetStr("SCR_BPP"), &depth) || !screen_depth(depth)) {
        char shown[41];
        strCopy(shown, sizeof shown, cfg.GetStr("SCR_BPP"));
        (void)dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR,
                                         "Bad value of SCR_BPP: %s (allowed 8, 15, 16, 24, 32); 16 is used", shown));
        cfg.SetInt("SCR_BPP", 16);
    }
}
