// The display: modes, surface creation, the video memory budget, and the
// push of each primary to its window once per main-loop iteration.
#include "platform/backend.h"
#include "platform/display_state.h"

#include <algorithm>

namespace platform {

DisplayFaults& display_faults()
{
    static DisplayFaults faults;
    return faults;
}

namespace display {

DisplaySystem& system() { return current_backend().display(); }

std::vector<SurfaceState*>& live_surfaces()
{
    static std::vector<SurfaceState*> list;
    return list;
}

std::vector<DisplayState*>& live_displays()
{
    static std::vector<DisplayState*> list;
    return list;
}

ptrdiff_t row_pitch(PixelFormat format, int width)
{
    const ptrdiff_t bytes = ptrdiff_t(width) * bytes_per_pixel(format);
    const ptrdiff_t align = format == PixelFormat::rgb888 ? 12 : 4;
    return (bytes + align - 1) / align * align;
}

uint32_t rgb_mask(PixelFormat format)
{
    switch (format) {
    case PixelFormat::rgb565:
        return 0xFFFF;
    case PixelFormat::xrgb1555:
        return 0x7FFF;
    case PixelFormat::rgb888:
    case PixelFormat::xrgb8888:
        return 0xFFFFFF;
    }
    return 0;
}

FormatInfo describe(PixelFormat format)
{
    switch (format) {
    case PixelFormat::rgb565:
        return {format_flags::rgb, 16, 0xF800, 0x07E0, 0x001F};
    case PixelFormat::xrgb1555:
        return {format_flags::rgb, 16, 0x7C00, 0x03E0, 0x001F};
    case PixelFormat::rgb888:
        return {format_flags::rgb, 24, 0xFF0000, 0x00FF00, 0x0000FF};
    case PixelFormat::xrgb8888:
        return {format_flags::rgb, 32, 0xFF0000, 0x00FF00, 0x0000FF};
    }
    return {};
}

namespace {

bool format_of_bits(int bits, PixelFormat& out)
{
    switch (bits) {
    case 15:
        out = PixelFormat::xrgb1555;
        return true;
    case 16:
        out = PixelFormat::rgb565;
        return true;
    case 24:
        out = PixelFormat::rgb888;
        return true;
    case 32:
        out = PixelFormat::xrgb8888;
        return true;
    default:
        return false;
    }
}

// A surface record with its pixels; the budget is charged by the caller.
std::unique_ptr<SurfaceState> make_state(const std::shared_ptr<DisplayState>& d, const SurfaceDesc& desc)
{
    auto s = std::make_unique<SurfaceState>();
    s->display = d;
    s->desc = desc;
    s->pitch = row_pitch(desc.format, desc.width);
    s->pixels.assign(size_t(s->pitch) * size_t(desc.height), 0);
    return s;
}

} // namespace

Display::Display(std::shared_ptr<DisplayState> state) : d_(std::move(state)) { live_displays().push_back(d_.get()); }

Display::~Display()
{
    if (d_->full_screen)
        (void)restore_mode();
    if (Window* w = current_backend().desktop().find(d_->window))
        system().close(*w);
    auto& list = live_displays();
    list.erase(std::remove(list.begin(), list.end(), d_.get()), list.end());
    d_->open = false;
    d_->primary = nullptr;
}

Result Display::open(WindowHandle window, std::unique_ptr<Display>& out)
{
    out.reset();
    if (const Result injected = display_faults().take(headless::DisplayCall::open))
        return injected;
    Window* w = current_backend().desktop().find(window);
    if (!w)
        return invalid_params;
    if (!system().open(*w))
        return generic_failure;
    auto state = std::make_shared<DisplayState>();
    state->window = window;
    state->format = system().desktop_format();
    state->full_screen = false;
    state->video_total = system().video_memory_total();
    out.reset(new Display(std::move(state)));
    return ok;
}

WindowHandle Display::window() const { return d_->window; }

std::vector<Mode> Display::modes() const { return system().modes(); }

Result Display::set_full_screen(int width, int height, int bits)
{
    PixelFormat format{};
    if (width <= 0 || height <= 0 || !format_of_bits(bits, format))
        return invalid_params;
    if (!is_window(d_->window))
        return invalid_params;
    set_client_size(d_->window, {width, height});
    platform::set_full_screen(d_->window, true);
    d_->format = format;
    d_->full_screen = true;
    return ok;
}

Result Display::restore_mode()
{
    if (d_->full_screen && is_window(d_->window))
        platform::set_full_screen(d_->window, false);
    d_->full_screen = false;
    d_->format = system().desktop_format();
    return ok;
}

bool Display::full_screen() const { return d_->full_screen; }

PixelFormat Display::format() const { return d_->format; }

Result Display::create_primary(int back_buffers, uint32_t memory, std::unique_ptr<Surface>& out)
{
    const Size client = client_size(d_->window);
    SurfaceDesc desc{caps::primary | memory, client.width, client.height, std::max(back_buffers, 0), d_->format};
    if (back_buffers > 0)
        desc.caps |= caps::flip | caps::complex;
    return create_surface(desc, out);
}

Result Display::create_offscreen(int width, int height, uint32_t memory, std::unique_ptr<Surface>& out)
{
    return create_surface({caps::offscreen | memory, width, height, 0, d_->format}, out);
}

Result Display::create_surface(const SurfaceDesc& asked, std::unique_ptr<Surface>& out)
{
    out.reset();
    SurfaceDesc desc = asked;
    desc.format = d_->format;
    if (desc.width <= 0 || desc.height <= 0 || desc.width > 16384 || desc.height > 16384)
        return invalid_params;
    const bool video = desc.caps & caps::video_memory;
    if (video == bool(desc.caps & caps::system_memory))
        return invalid_params;
    const auto call = video ? headless::DisplayCall::create_video : headless::DisplayCall::create_system;
    if (const Result injected = display_faults().take(call))
        return injected;

    const bool chain = (desc.caps & caps::primary) && desc.back_buffers > 0;
    const uint64_t bytes = uint64_t(row_pitch(desc.format, desc.width)) * uint64_t(desc.height) * (chain ? 2 : 1);
    if (video && d_->video_used + bytes > d_->video_total)
        return out_of_video_memory;

    auto state = make_state(d_, desc);
    if (chain) {
        SurfaceDesc back_desc = desc;
        back_desc.caps = (desc.caps & ~caps::primary) | caps::back_buffer;
        back_desc.back_buffers = 0;
        auto back = make_state(d_, back_desc);
        back->owner = state.get();
        state->back.reset(new Surface(std::move(back)));
    }
    if (video) {
        state->video_bytes = bytes;
        d_->video_used += bytes;
    }
    // The newest primary is the one the window shows.
    if (desc.caps & caps::primary) {
        d_->primary = state.get();
        state->touched();
    }
    out.reset(new Surface(std::move(state)));
    return ok;
}

Result Display::set_window_clip(Surface& primary, bool on)
{
    if (!(primary.s_->desc.caps & caps::primary))
        return invalid_params;
    primary.s_->clip = on;
    return ok;
}

VideoMemory Display::video_memory() const
{
    return {d_->video_total, d_->video_total - std::min(d_->video_used, d_->video_total)};
}

void flush()
{
    for (DisplayState* d : live_displays()) {
        if (!d->primary)
            continue;
        Window* w = current_backend().desktop().find(d->window);
        if (!w || (!d->dirty && !system().needs_show(*w)))
            continue;
        d->dirty = false;
        system().show(*w, d->primary->target());
        ++display_faults().counters.shows;
    }
}

bool read_back(WindowHandle window, std::vector<uint32_t>& pixels, Size& size)
{
    flush();
    Window* w = current_backend().desktop().find(window);
    return w && system().read_back(*w, pixels, size);
}

} // namespace display

void sync_display_frame(Window& window)
{
    for (display::DisplayState* d : display::live_displays()) {
        if (d->window != static_cast<WindowHandle>(&window))
            continue;
        if (d->primary && d->frame_stale) {
            const PixelView view = d->primary->target();
            convert_pixels(view, view.bounds(), window.frame(), {0, 0});
            d->frame_stale = false;
        }
    }
}

void lose_all_surfaces()
{
    for (display::SurfaceState* s : display::live_surfaces()) {
        s->lost = true;
        // Whatever was there is gone; a stripe pattern makes a missed
        // restore visible.
        std::fill(s->pixels.begin(), s->pixels.end(), uint8_t(0xA5));
    }
}

} // namespace platform
