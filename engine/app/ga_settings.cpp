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
// are typing errors. Only full screen uses the depth.
constexpr KeyRange framework_ranges[] = {
    {"WINDOW_X", {.lo = -16384, .hi = 16384, .fallback = 0}},
    {"WINDOW_Y", {.lo = -16384, .hi = 16384, .fallback = 0}},
    {"SCR_LX", {.lo = 1, .hi = 8192, .fallback = 640}},
    {"SCR_LY", {.lo = 1, .hi = 8192, .fallback = 480}},
    {"SCR_BPP", {.lo = 8, .hi = 32, .fallback = 16}},
    // 0 is no limit; a second per frame is the most that makes sense.
    {"FPS_LIMIT", {.lo = 0, .hi = 1000, .fallback = 0}},
};

bool screen_depth(int bits) { return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32; }

} // namespace

void gaCheckSettings(cfgCTy& cfg)
{
    for (const KeyRange& key : framework_ranges)
        (void)cfg.CheckInt(key.name, key.range);
    // Inside 8..32 only the display's depths are good.
    if (const int bits = cfg.GetInt("SCR_BPP"); !screen_depth(bits)) {
        (void)dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR,
                                         "Bad value of SCR_BPP: %d (allowed 8, 15, 16, 24, 32); 16 is used", bits));
        cfg.SetInt("SCR_BPP", 16);
    }
}
