// The display device: its display, mode changes, surfaces and present.
#include "engine/gfx/display_internal.h"

namespace dsp = platform::display;

dsp::Display* gDisplay = nullptr;

gDDCTy::~gDDCTy() { Release(); }

int gDDCTy::MakeDisplay()
{
    if (dd)
        return 0;
    const int rc = gReportResult(dsp::Display::open(window, dd));
    if (rc != 0 || !dd)
        return rc ? rc : gERR_UNSUPPORTED;
    modes = dd->modes();
    gDisplay = dd.get();
    return 0;
}

void gDDCTy::FreeSurfaces()
{
    clipper = false;
    // The back surface first: in a flip chain it wraps the primary's back
    // buffer, which goes with the primary.
    delete back;
    back = nullptr;
    delete primary;
    primary = nullptr;
}

void gDDCTy::Release()
{
    if (dd && (flags & g_FULL_SCREEN))
        (void)dd->restore_mode();
    FreeSurfaces();
    if (gDisplay == dd.get())
        gDisplay = nullptr;
    dd.reset();
}

int gDDCTy::MakeSurfaces(int32_t w, int32_t h)
{
    primary = new gSurfDxdCTy;
    if ((flags & g_FULL_SCREEN) && (flags & g_FLIP)) {
        if (const int rc = primary->CreatePrimary(w, h, 2))
            return rc;
        back = gSurfDxdCTy::WrapBackBuffer(primary);
        if (!back)
            return gERR_UNSUPPORTED;
    } else {
        if (const int rc = primary->CreatePrimary(w, h, 0))
            return rc;
        back = new gSurfDxdCTy;
        int rc = 0;
        if (flags & g_VIDEO_MEMORY) {
            // Inside an error frame a failure is taken without a box; the
            // system memory attempt below decides.
            (void)errTry([&] { rc = back->CreateOffscreen(w, h, 1); });
        }
        if (!back->surface)
            rc = back->CreateOffscreen(w, h, 0);
        if (rc != 0 || !back->surface)
            return rc ? rc : gERR_UNSUPPORTED;
    }
    back->Fill(0, nullptr);
    return 0;
}

int gDDCTy::SetMode(int32_t w, int32_t h, int32_t bpp, int32_t refresh, uint32_t newFlags)
{
    (void)refresh; // the platform picks the refresh rate
    if (newFlags & g_FLIP)
        newFlags |= g_FULL_SCREEN;
    if (!(newFlags & g_FULL_SCREEN))
        bpp = 0;
    if (dd && (flags & g_FULL_SCREEN) && !(newFlags & g_FULL_SCREEN))
        (void)dd->restore_mode();
    FreeSurfaces();

    flags = newFlags;
    clip = {0, 0, w, h};
    if (const int rc = MakeDisplay())
        return rc;
    if (flags & g_FULL_SCREEN) {
        if (const int rc = gReportResult(dd->set_full_screen(w, h, bpp)))
            return rc;
    } else {
        platform::set_client_size(window, {w, h});
    }
    if (const int rc = MakeSurfaces(w, h))
        return rc;
    if ((flags & g_FULL_SCREEN) && !(flags & g_CLIPPER))
        return 0;
    if (const int rc = gReportResult(dd->set_window_clip(*primary->surface, true)))
        return rc;
    clipper = true;
    return 0;
}

int gDDCTy::Present()
{
    if (!primary || !back)
        return gERR_UNSUPPORTED;
    if ((flags & g_FULL_SCREEN) && (flags & g_FLIP))
        return primary->Flip();
    // Our screen is the window's client area: the client origin is (0, 0).
    back->Draw(primary, 0, 0, nullptr);
    return 0;
}
