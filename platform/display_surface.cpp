// Surfaces: lock, blit with a source key, fill, flip, loss and restore,
// and the text and picture output of their device contexts.
#include "platform/backend.h"
#include "platform/display_state.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>

namespace platform::display {

namespace {

using headless::DisplayCall;

void lose(SurfaceState& s)
{
    s.lost = true;
    std::fill(s.pixels.begin(), s.pixels.end(), uint8_t(0xA5));
}

// A surface that is lost answers so until restored; otherwise an injected
// fault answers for the call.
Result check(SurfaceState& s, DisplayCall call)
{
    if (s.lost)
        return surface_lost;
    const Result injected = display_faults().take(call);
    if (injected == surface_lost)
        lose(s);
    return injected;
}

bool inside(const Rect& r, const PixelSurface& s)
{
    return r.x >= 0 && r.y >= 0 && r.width >= 0 && r.height >= 0 && r.right() <= s.width && r.bottom() <= s.height;
}

uint32_t load(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    std::memcpy(&v, p, size_t(bytes));
    return v;
}

void copy_rows(const PixelSurface& dst, Point to, const PixelSurface& src, const Rect& from)
{
    const int bpp = bytes_per_pixel(src.format);
    const size_t row_bytes = size_t(from.width) * size_t(bpp);
    for (int y = 0; y < from.height; ++y)
        std::memcpy(dst.row(to.y + y) + ptrdiff_t(to.x) * bpp, src.row(from.y + y) + ptrdiff_t(from.x) * bpp,
                    row_bytes);
}

void copy_keyed(const PixelSurface& dst, Point to, const PixelSurface& src, const Rect& from, uint32_t key)
{
    const int bpp = bytes_per_pixel(src.format);
    // The key is compared on the colour bits only: the spare bits of 15-
    // and 32-bit pixels may hold anything.
    const uint32_t mask = rgb_mask(src.format);
    key &= mask;
    for (int y = 0; y < from.height; ++y) {
        const uint8_t* s = src.row(from.y + y) + ptrdiff_t(from.x) * bpp;
        uint8_t* d = dst.row(to.y + y) + ptrdiff_t(to.x) * bpp;
        for (int x = 0; x < from.width; ++x, s += bpp, d += bpp) {
            if ((load(s, bpp) & mask) != key)
                std::memcpy(d, s, size_t(bpp));
        }
    }
}

uint32_t rgb_of_colorref(uint32_t c) { return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF); }

} // namespace

Surface::Surface(std::unique_ptr<SurfaceState> state) : s_(std::move(state)) { live_surfaces().push_back(s_.get()); }

Surface::~Surface()
{
    s_->back.reset();
    auto& list = live_surfaces();
    list.erase(std::remove(list.begin(), list.end(), s_.get()), list.end());
    DisplayState& d = *s_->display;
    d.video_used -= std::min(d.video_used, s_->video_bytes);
    if (d.primary == s_.get())
        d.primary = nullptr;
}

SurfaceDesc Surface::desc() const { return s_->desc; }

Result Surface::pixel_format(FormatInfo& out) const
{
    if (const Result injected = display_faults().take(DisplayCall::pixel_format))
        return injected;
    out = describe(s_->desc.format);
    return ok;
}

Result Surface::lock(Locked& out)
{
    if (const Result r = check(*s_, DisplayCall::lock))
        return r;
    if (s_->locked)
        return generic_failure;
    s_->locked = true;
    ++display_faults().counters.locks;
    out = {s_->pixels.data(), s_->pitch};
    return ok;
}

Result Surface::unlock()
{
    const bool was_locked = s_->locked;
    s_->locked = false;
    if (const Result r = check(*s_, DisplayCall::unlock))
        return r;
    if (!was_locked)
        return generic_failure;
    s_->touched();
    return ok;
}

Result Surface::blt(const Rect& to, Surface* source, const Rect& from, uint32_t flags)
{
    SurfaceState& src_state = source ? *source->s_ : *s_;
    if (src_state.lost)
        return surface_lost;
    if (const Result r = check(*s_, DisplayCall::blt))
        return r;
    if (src_state.desc.format != s_->desc.format)
        return invalid_params;
    if (to.width != from.width || to.height != from.height)
        return no_stretch;
    const PixelSurface src = src_state.target();
    const PixelSurface dst = s_->target();
    if (!inside(from, src))
        return invalid_rect;
    Rect target = to;
    Rect origin = from;
    if (s_->clip) {
        target = intersect(to, dst.bounds());
        origin = {from.x + target.x - to.x, from.y + target.y - to.y, target.width, target.height};
    } else if (!inside(to, dst)) {
        return invalid_rect;
    }
    auto& counters = display_faults().counters;
    ++counters.blts;
    if (target.empty())
        return ok;
    const bool keyed = (flags & blt_key_src) && src_state.has_key;
    if (&src_state == s_.get()) {
        // A copy within one surface may overlap: go through a copy of the
        // source rows.
        SurfaceState copy;
        copy.desc = src_state.desc;
        copy.pitch = src_state.pitch;
        copy.pixels = src_state.pixels;
        if (keyed)
            copy_keyed(dst, {target.x, target.y}, copy.target(), origin, src_state.key);
        else
            copy_rows(dst, {target.x, target.y}, copy.target(), origin);
    } else if (keyed) {
        copy_keyed(dst, {target.x, target.y}, src, origin, src_state.key);
    } else {
        copy_rows(dst, {target.x, target.y}, src, origin);
    }
    if (keyed)
        ++counters.keyed_blts;
    s_->touched();
    return ok;
}

Result Surface::fill(const Rect* rect, uint32_t pixel)
{
    if (const Result r = check(*s_, DisplayCall::fill))
        return r;
    const PixelSurface dst = s_->target();
    const Rect area = intersect(rect ? *rect : dst.bounds(), dst.bounds());
    ++display_faults().counters.fills;
    if (area.empty())
        return ok;
    const int bpp = bytes_per_pixel(dst.format);
    uint8_t* first = dst.row(area.y) + ptrdiff_t(area.x) * bpp;
    for (int x = 0; x < area.width; ++x)
        std::memcpy(first + ptrdiff_t(x) * bpp, &pixel, size_t(bpp));
    for (int y = 1; y < area.height; ++y)
        std::memcpy(dst.row(area.y + y) + ptrdiff_t(area.x) * bpp, first, size_t(area.width) * size_t(bpp));
    s_->touched();
    return ok;
}

Result Surface::flip()
{
    if (!s_->back)
        return unsupported;
    if (s_->back->s_->lost)
        return surface_lost;
    if (const Result r = check(*s_, DisplayCall::flip))
        return r;
    // Both buffers have one pitch and size, so the copy is one block.
    s_->pixels = s_->back->s_->pixels;
    ++display_faults().counters.flips;
    s_->touched();
    flush();
    return ok;
}

Result Surface::set_src_key(uint32_t pixel)
{
    if (const Result r = check(*s_, DisplayCall::set_key))
        return r;
    s_->has_key = true;
    s_->key = pixel;
    return ok;
}

bool Surface::has_src_key() const { return s_->has_key; }

bool Surface::is_lost() const { return s_->lost; }

Result Surface::restore()
{
    if (s_->owner)
        return implicit_surface;
    if (const Result injected = display_faults().take(DisplayCall::restore))
        return injected;
    s_->lost = false;
    if (s_->back)
        s_->back->s_->lost = false;
    s_->touched();
    return ok;
}

Surface* Surface::attached_back() { return s_->back.get(); }

Result Surface::get_dc(Dc*& out)
{
    out = nullptr;
    if (const Result r = check(*s_, DisplayCall::get_dc))
        return r;
    if (s_->dc_out)
        return generic_failure;
    s_->dc = Dc{};
    s_->dc.target_ = s_->target();
    s_->dc_out = true;
    out = &s_->dc;
    return ok;
}

Result Surface::release_dc(Dc* dc)
{
    if (dc != &s_->dc || !s_->dc_out)
        return invalid_params;
    if (const Result r = display_faults().take(DisplayCall::release_dc))
        return r;
    s_->dc_out = false;
    s_->touched();
    return ok;
}

PixelView Surface::view() const { return s_->target(); }

void Dc::text_out(int x, int y, std::string_view text)
{
    TextStyle style;
    style.color = rgb_of_colorref(text_colour_);
    if (transparent_)
        style.background.reset();
    else
        style.background = rgb_of_colorref(bk_colour_);
    draw_text(target_, {x + origin_.x, y + origin_.y}, text, style);
}

void Dc::set_dibits24(int x, int y, int width, int height, const uint8_t* bits)
{
    if (!bits || width <= 0 || height <= 0)
        return;
    const ptrdiff_t stride = (ptrdiff_t(width) * 3 + 3) / 4 * 4;
    for (int r = 0; r < height; ++r) {
        const PixelView row{bits + ptrdiff_t(height - 1 - r) * stride, int(stride), PixelFormat::rgb888, width, 1};
        convert_pixels(row, row.bounds(), target_, {x + origin_.x, y + origin_.y + r});
    }
}

} // namespace platform::display
