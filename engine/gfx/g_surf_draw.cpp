// Display surfaces: fills, blits between surfaces with the software draw
// as fallback, flips and device contexts.
#include "engine/gfx/display_internal.h"

namespace dsp = platform::display;

namespace {

gSurfDxdCTy* as_surface(imgCTy* image)
{
    return image && image->kind == img_KIND_SURFACE ? static_cast<gSurfDxdCTy*>(image) : nullptr;
}

platform::Rect to_rect(const rectTy& r) { return {r.x, r.y, r.w, r.h}; }

} // namespace

void gSurfDxdCTy::Fill(uint32_t pel, const rectTy* rect)
{
    Unlock();
    if (!surface)
        return;
    const platform::Rect area = rect ? to_rect(*rect) : platform::Rect {0, 0, width, height};
    (void)gRetry(this, nullptr, [&] { return surface->fill(&area, pel); });
}

void gSurfDxdCTy::Draw(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect)
{
    gSurfDxdCTy* dst = as_surface(destination);
    if (!dst) {
        imgCTy::Draw(destination, x, y, rect);
        return;
    }
    const rectTy r = rect ? *rect : GetRect();
    Unlock();
    dst->Unlock();
    if (!surface || !dst->surface)
        return;
    const platform::Rect to {x + r.x, y + r.y, r.w, r.h};
    const platform::Rect from {r.x - originX, r.y - originY, r.w, r.h};
    const uint32_t flags = keyFlag ? dsp::blt_key_src : 0;
    (void)gRetry(dst, this, [&] { return dst->surface->blt(to, surface, from, flags); });
}

void gSurfDxdCTy::DrawEx(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm)
{
    gSurfDxdCTy* dst = as_surface(destination);
    const bool scaled = prm.op == img_OP_SCALED || prm.scaled != 0;
    rectTy whole = GetRect();
    if (scaled) {
        whole = {static_cast<int32_t>(float(whole.x) * prm.scaleX), static_cast<int32_t>(float(whole.y) * prm.scaleY),
                 static_cast<int32_t>(float(whole.w) * prm.scaleX), static_cast<int32_t>(float(whole.h) * prm.scaleY)};
    }
    const bool copy_op = prm.op == img_OP_COPY || prm.op == img_OP_BLEND;
    const bool by_display = dst && surface && dst->surface
        && ((copy_op && !scaled)
            || ((copy_op || prm.op == img_OP_SCALED) && scaled && !keyFlag && rect && rect->x == whole.x
                && rect->y == whole.y && rect->w == whole.w && rect->h == whole.h));
    if (by_display) {
        const rectTy r = rect ? *rect : GetRect();
        Unlock();
        dst->Unlock();
        const platform::Rect to {x + r.x, y + r.y, r.w, r.h};
        const platform::Rect from = scaled ? platform::Rect {0, 0, width - originX, height - originY}
                                           : platform::Rect {r.x - originX, r.y - originY, r.w, r.h};
        const uint32_t flags = keyFlag ? dsp::blt_key_src : 0;
        bool software = false;
        (void)gRetry(dst, this, [&] {
            const dsp::Result res = dst->surface->blt(to, surface, from, flags);
            // A display that cannot stretch leaves the draw to the software.
            if (res == dsp::no_stretch || res == dsp::not_implemented) {
                software = true;
                return dsp::ok;
            }
            return res;
        });
        if (!software)
            return;
    }
    imgCTy::DrawEx(destination, x, y, rect, prm);
}

int gSurfDxdCTy::Flip()
{
    if (!surface)
        return gERR_UNSUPPORTED;
    dsp::Result last = dsp::ok;
    const bool done = gRetry(this, nullptr, [&] { return last = surface->flip(); });
    return done ? 0 : (last ? gResultCode(last) : gERR_UNSUPPORTED);
}

dsp::Dc* gSurfDxdCTy::GetDC()
{
    Unlock();
    if (!surface)
        return nullptr;
    for (int attempt = 0; attempt < g_RETRY_LIMIT; ++attempt) {
        dsp::Dc* dc = nullptr;
        const dsp::Result r = surface->get_dc(dc);
        if (r == dsp::ok) {
            dc->set_viewport_origin({0, 0});
            return dc;
        }
        if (r != dsp::surface_lost && r != dsp::cant_create_dc)
            gReportResult(r);
        if (!Restore())
            return nullptr;
    }
    return nullptr;
}

void gSurfDxdCTy::ReleaseDC(dsp::Dc* dc)
{
    Unlock();
    if (dc && surface)
        (void)gRetry(this, nullptr, [&] { return surface->release_dc(dc); });
}
