// The device's free functions: create, mode set, release, present, and the
// screen pixel format taken from the primary.
#include "engine/gfx/display_internal.h"

namespace dsp = platform::display;

gModeTy gMode;

namespace {

void* box_owner() { return gMode.device ? gMode.device->window : nullptr; }
void no_hook() {}
void no_title_hook(const char*) {}
void no_button_hook(int) {}

const dbgHooksTy box_hooks {box_owner, no_hook, no_hook, no_title_hook, no_button_hook};

} // namespace

int gCreate(platform::WindowHandle window, uint32_t flags, int32_t w, int32_t h, int32_t bpp)
{
    if (!gMode.device)
        gMode.device = new gDDCTy;
    errAddMessages(&gDDMessages);
    dbgSetHooks(&box_hooks);
    gMode.device->SetWnd(window);
    const int rc = gSetMode(flags, w, h, bpp);
    gMode.lastResult = rc;
    gMode.flags = flags;
    if (rc < 0) {
        // A device without surfaces is no device: say so instead of
        // pretending it is ready.
        gMode.device->Release();
        delete gMode.device;
        gMode.device = nullptr;
        return rc;
    }
    gMode.ready = 1;
    return 0;
}

int gSetMode(uint32_t flags, int32_t w, int32_t h, int32_t bpp)
{
    gDDCTy* device = gMode.device;
    if (!device)
        return gERR_UNSUPPORTED;
    const int rc = device->SetMode(w, h, bpp, 0, flags);
    gMode.lastResult = rc;
    if (rc != 0)
        return rc;
    gInitPelFmt((device->flags & g_FULL_SCREEN) ? bpp : 0);
    gMode.textColor = 0xFFFFFF;
    gMode.screen = {0, 0, w, h};
    gMode.clip = device->clip;
    gMode.width = w;
    gMode.height = h;
    gMode.bpp = static_cast<int32_t>(gScrFmt.bits);
    return 1;
}

void gRelease()
{
    if (!gMode.ready)
        return;
    if (gMode.device) {
        gMode.device->Release();
        delete gMode.device;
        gMode.device = nullptr;
    }
    gMode.ready = 0;
}

int gPresent() { return gMode.device ? gMode.device->Present() : gERR_UNSUPPORTED; }

void gInitPelFmt(int32_t bpp)
{
    gScrFmtSet(16, 0xF800, 0x07E0, 0x001F);
    uint32_t bits = static_cast<uint32_t>(bpp);
    // The primary says what the screen is. Whatever depth was asked for, a
    // 16-bit primary's masks are taken: a 15-bit full-screen mode has 5:5:5
    // pels, and packing for 5:6:5 there would give wrong colours.
    gSurfDxdCTy* primary = gMode.device ? gMode.device->primary : nullptr;
    dsp::FormatInfo info;
    if (primary && primary->surface && gReportResult(primary->surface->pixel_format(info)) == 0) {
        bits = info.bits;
        // Every 16-bit RGB screen has three masks; one without them keeps
        // the 5:6:5 layout.
        if (bits == 16 && info.red_mask && info.green_mask && info.blue_mask) {
            gScrFmtSet(16, info.red_mask, info.green_mask, info.blue_mask);
            return;
        }
    }
    gScrFmt.bits = bits;
    gScrFmt.bytes = (bits + 7) / 8;
}
