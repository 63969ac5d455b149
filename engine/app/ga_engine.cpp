// The subsystems the framework starts and stops, as the program uses them.
#include "engine/app/app_internal.h"

#include "engine/blit/blit.h"
#include "engine/sound/sound.h"

namespace {

// FIXME: the display device and the font list are wired in here as they
// land; until then the framework runs without them.
void none() {}
int none_ready() { return 0; }
int none_create(platform::WindowHandle, unsigned, int, int, int) { return 0; }
int none_set_mode(unsigned, int, int, int) { return 0; }
void none_mode_size(int* w, int* h, int* bpp)
{
    *w = 0;
    *h = 0;
    *bpp = 0;
}
int none_present() { return 0; }
void none_fps(int, int) {}
void none_copy(const rectTy*, uint32_t, int, int) {}

} // namespace

gaEngineTy gaEngineDefaults()
{
    return {
        .gfxInit = gfxInit,
        .gCreate = none_create,
        .gSetMode = none_set_mode,
        .gRelease = none,
        .gReady = none_ready,
        .gFullScreen = none_ready,
        .gFlips = none_ready,
        .gModeSize = none_mode_size,
        .gPresent = none_present,
        .gDrawFps = none_fps,
        .gRestore = none,
        .gCopyRects = none_copy,
        .sndInit = sndInit,
        .sndSetGlobalFocus = sndSetGlobalFocus,
        .sndDone = sndDone,
        .fntListInit = none,
        .fntListDone = none,
    };
}

gaEngineTy gaEngine = gaEngineDefaults();
