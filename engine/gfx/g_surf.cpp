// Display surfaces: creation, the pel format, lock and colour keys.
#include "engine/gfx/display_internal.h"

#include <cstring>

namespace dsp = platform::display;

int gReportResult(dsp::Result result)
{
    if (result == dsp::ok)
        return 0;
    dbgBreakOnRetry(errReport(gResultCode(result)));
    return gResultCode(result);
}

uint32_t gPelFmtOf(const dsp::FormatInfo& f)
{
    using namespace dsp::format_flags;
    if (f.flags & (palette_4 | palette_4_to_8 | palette_8 | palette_2))
        return pel_FMT_P8;
    if (!(f.flags & rgb))
        return 0;
    switch (f.bits) {
    case 32:
        return pel_FMT_X8R8G8B8;
    case 24:
        return pel_FMT_R8G8B8;
    case 16:
        if (f.green_mask == 0x07E0)
            return pel_FMT_R5G6B5;
        if (f.green_mask == 0x03E0)
            return pel_FMT_X1R5G5B5;
        return 0;
    default:
        return 0;
    }
}

gSurfDxdCTy::~gSurfDxdCTy() { Free(); }

void gSurfDxdCTy::ReadPelFmt()
{
    if (!surface)
        return;
    dsp::FormatInfo info;
    if (gReportResult(surface->pixel_format(info)) != 0)
        return;
    pelFmt.format = gPelFmtOf(info);
    if (keyFlag)
        keyPel = ColorToPel(keyColor);
}

void gSurfDxdCTy::Adopt(dsp::Surface* made, bool owned)
{
    surface = made;
    ownsSurface = owned ? 1 : 0;
    ReadPelFmt();
}

void gSurfDxdCTy::ReleaseSurface()
{
    Unlock();
    if (ownsSurface)
        delete surface;
    surface = nullptr;
    ownsSurface = 1;
}

int gSurfDxdCTy::CreatePrimary(int32_t w, int32_t h, int32_t backBuffers)
{
    ReleaseSurface();
    imgCTy::SetSize(w, h, nullptr);
    isPrimary = 1;
    if (!gDisplay)
        return gReportResult(dsp::unsupported);
    std::unique_ptr<dsp::Surface> made;
    // Video memory first. Its failure is reported inside an error frame,
    // which takes it without a box; the reporter may also come back (a
    // handler that does not unwind), so the fallback is decided by what
    // was made, not by how the frame ended.
    (void)errTry([&] { gReportResult(gDisplay->create_primary(backBuffers, dsp::caps::video_memory, made)); });
    int rc = 0;
    if (!made)
        rc = gReportResult(gDisplay->create_primary(backBuffers, dsp::caps::system_memory, made));
    if (!made)
        return rc ? rc : gReportResult(dsp::unsupported);
    // The display makes the primary at the client area's size.
    imgCTy::SetSize(made->desc().width, made->desc().height, nullptr);
    Adopt(made.release(), true);
    return 0;
}

int gSurfDxdCTy::CreateOffscreen(int32_t w, int32_t h, uint32_t video)
{
    ReleaseSurface();
    imgCTy::SetSize(w, h, nullptr);
    if (!gDisplay)
        return gReportResult(dsp::unsupported);
    std::unique_ptr<dsp::Surface> made;
    const int rc = gReportResult(
        gDisplay->create_offscreen(w, h, video ? dsp::caps::video_memory : dsp::caps::system_memory, made));
    if (!made)
        return rc ? rc : gReportResult(dsp::unsupported);
    Adopt(made.release(), true);
    return 0;
}

gSurfDxdCTy* gSurfDxdCTy::WrapBackBuffer(gSurfDxdCTy* primary)
{
    dsp::Surface* back = primary && primary->surface ? primary->surface->attached_back() : nullptr;
    if (!back) {
        gReportResult(dsp::unsupported);
        return nullptr;
    }
    auto* wrapper = new gSurfDxdCTy;
    wrapper->imgCTy::SetSize(primary->width, primary->height, nullptr);
    wrapper->pelFmt = primary->pelFmt;
    wrapper->surface = back;
    wrapper->ownsSurface = 0;
    return wrapper;
}

void gSurfDxdCTy::SetSize(int32_t w, int32_t h, const pelFmtCTy* format)
{
    ReleaseSurface();
    imgCTy::SetSize(w, h, nullptr);
    if (format)
        pelFmt = *format;
    if (!gDisplay) {
        gReportResult(dsp::unsupported);
        return;
    }
    std::unique_ptr<dsp::Surface> made;
    gReportResult(gDisplay->create_offscreen(w, h, dsp::caps::video_memory, made));
    if (!made) {
        gReportResult(dsp::unsupported);
        return;
    }
    Adopt(made.release(), true);
}

rectTy gSurfDxdCTy::GetRect() { return rectTy {originX, originY, width, height}; }

int32_t gSurfDxdCTy::Lock(const rectTy* rect, uint32_t mode)
{
    if (lockPtr)
        return pitch;
    if (!surface || pelSize(pelFmt.format) == 0)
        return pitch;
    dsp::Locked locked;
    if (!gRetry(this, nullptr, [&] { return surface->lock(locked); })) {
        lockPtr = nullptr;
        return pitch;
    }
    // Recorded only now: a lost surface is refilled inside the retry by
    // draws that lock and unlock this surface themselves, and a restore
    // may also bring the surface back in another pel format.
    imgCTy::Lock(rect, mode);
    const uint32_t bytes = pelSize(pelFmt.format);
    if (bytes == 0) {
        (void)surface->unlock();
        return pitch;
    }
    // Signed and pointer-sized: a rectangle above or left of the origin
    // gives a negative offset, which must not wrap.
    const ptrdiff_t offset = (ptrdiff_t {lockRect.y} - originY) * locked.pitch
        + (ptrdiff_t {lockRect.x} - originX) * ptrdiff_t(bytes);
    lockPtr = locked.bits + offset;
    pitch = static_cast<int32_t>(locked.pitch / ptrdiff_t(bytes));
    return pitch;
}

void gSurfDxdCTy::Unlock()
{
    if (!lockPtr)
        return;
    imgCTy::Unlock();
    const dsp::Result r = surface ? surface->unlock() : dsp::ok;
    if (r != dsp::surface_lost)
        gReportResult(r);
}

uint32_t gSurfDxdCTy::SetColorKeyPel(uint32_t pel)
{
    const uint32_t colour = imgCTy::SetColorKeyPel(pel);
    if (!surface)
        return colour;
    // A lost surface ends the attempt (its restore sets the key again);
    // other failures are reported and the call repeated, a bounded number
    // of times.
    bool reported = false;
    for (int attempt = 0; attempt < g_RETRY_LIMIT; ++attempt) {
        const dsp::Result r = surface->set_src_key(pel);
        if (r == dsp::ok || r == dsp::surface_lost)
            break;
        if (!reported) {
            reported = true;
            gReportResult(r);
        }
    }
    return colour;
}

uint32_t gSurfDxdCTy::SetColorKey(uint32_t colour)
{
    const uint32_t pel = imgCTy::SetColorKey(colour);
    SetColorKeyPel(pel);
    return pel;
}

imgCTy* gSurfDxdCTy::Clone()
{
    gReportResult(dsp::unsupported);
    return nullptr;
}

void gSurfDxdCTy::Free()
{
    ReleaseSurface();
    memFree(restoreFile);
    restoreFile = nullptr;
    restoreKind = g_RESTORE_NONE;
}
