// The subsystems the framework starts and stops, as the program uses them.
#include "engine/app/app_internal.h"

#include "engine/blit/blit.h"
#include "engine/gfx/gfx.h"
#include "engine/sound/sound.h"

namespace {

int device_create(platform::WindowHandle window, unsigned flags, int width, int height, int bpp)
{
    return gCreate(window, flags, width, height, bpp);
}
int device_set_mode(unsigned flags, int width, int height, int bpp) { return gSetMode(flags, width, height, bpp); }
int device_ready() { return gMode.ready ? 1 : 0; }
int device_full_screen() { return gMode.device && (gMode.device->flags & g_FULL_SCREEN) ? 1 : 0; }
int device_flips() { return gMode.device && (gMode.device->flags & g_FLIP) ? 1 : 0; }

void device_mode_size(int* width, int* height, int* bpp)
{
    *width = gMode.ready ? gMode.width : 0;
    *height = gMode.ready ? gMode.height : 0;
    *bpp = gMode.ready ? gMode.bpp : 0;
}

void device_fps(int x, int y) { gDrawFps(x, y); }

void device_restore()
{
    // Restore answers at once for a surface that was not lost.
    gDDCTy* device = gMode.device;
    if (!device)
        return;
    if (device->back)
        (void)device->back->Restore();
    if (device->primary)
        (void)device->primary->Restore();
}

void device_copy(const rectTy* rects, uint32_t count, int ox, int oy)
{
    gDDCTy* device = gMode.device;
    if (!device || !device->back || !device->primary)
        return;
    for (uint32_t i = 0; i < count; ++i)
        device->back->Draw(device->primary, ox, oy, &rects[i]);
}

void device_unlock()
{
    gDDCTy* device = gMode.device;
    if (!device)
        return;
    if (device->back)
        device->back->Unlock();
    if (device->primary)
        device->primary->Unlock();
}

void sprites_redraw_all() { g_sprites.AddDirty(g_sprites.scr, g_sprites.scr, spr_DIRTY_FRAMES); }

} // namespace

gaEngineTy gaEngineDefaults()
{
    return {
        .gfxInit = gfxInit,
        .gCreate = device_create,
        .gSetMode = device_set_mode,
        .gRelease = gRelease,
        .gReady = device_ready,
        .gFullScreen = device_full_screen,
        .gFlips = device_flips,
        .gModeSize = device_mode_size,
        .gPresent = gPresent,
        .gDrawFps = device_fps,
        .gRestore = device_restore,
        .gCopyRects = device_copy,
        .gUnlock = device_unlock,
        .sprRedrawAll = sprites_redraw_all,
        .sndInit = sndInit,
        .sndSetGlobalFocus = sndSetGlobalFocus,
        .sndDone = sndDone,
        .sndActivateApp = sndActivateApp,
        .fntListInit = fntListInit,
        .fntListDone = fntListDone,
    };
}

gaEngineTy gaEngine = gaEngineDefaults();
