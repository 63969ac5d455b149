// The SDL2 display: each window's primary goes to a streaming texture in
// the primary's own format and is drawn once per push; full screen shows
// it at the desktop's resolution, scaled with its aspect kept. The renderer is
// made without vsync: the program's frame limit paces it.
#include "platform/display_state.h"
#include "platform/scaling.h"
#include "platform/sdl2/sdl2_backend.h"

namespace platform::sdl2_impl {

namespace {

Sdl2Window& sdl(Window& w) { return static_cast<Sdl2Window&>(w); }

Uint32 sdl_format(PixelFormat format)
{
    switch (format) {
    case PixelFormat::rgb565:
        return SDL_PIXELFORMAT_RGB565;
    case PixelFormat::xrgb1555:
        return SDL_PIXELFORMAT_RGB555;
    case PixelFormat::rgb888:
        return SDL_PIXELFORMAT_BGR24; // bytes B, G, R in memory
    case PixelFormat::xrgb8888:
        break;
    }
    return SDL_PIXELFORMAT_RGB888; // 0x00RRGGBB words
}

bool texture_for(Sdl2Window& w, const PixelView& primary)
{
    const Size size{primary.width, primary.height};
    if (w.display_texture && w.display_format == primary.format && w.display_size == size)
        return true;
    if (w.display_texture)
        SDL_DestroyTexture(w.display_texture);
    w.display_texture = SDL_CreateTexture(w.renderer, sdl_format(primary.format), SDL_TEXTUREACCESS_STREAMING,
                                          size.width, size.height);
    if (!w.display_texture) {
        note_sdl_error("SDL_CreateTexture");
        return false;
    }
    SDL_SetTextureBlendMode(w.display_texture, SDL_BLENDMODE_NONE);
    w.display_format = primary.format;
    w.display_size = size;
    return true;
}

void draw(Sdl2Window& w)
{
    // Full screen keeps the frame's aspect on the desktop, centred with
    // bars. This is what a renderer's logical size does, laid out by hand:
    // a logical size would also rescale the mouse events, which the window
    // code already maps from the desktop to the frame itself.
    // The viewport is taken from the output anew: a renderer learns of a
    // new window size only from an event, which a desktop without a window
    // manager may never send after a switch to full screen.
    SDL_RenderSetViewport(w.renderer, nullptr);
    int out_w = 0, out_h = 0;
    SDL_GetRendererOutputSize(w.renderer, &out_w, &out_h);
    const Rect view = w.full_screen ? letterbox(w.display_size, {out_w, out_h})
                                    : Rect{0, 0, w.display_size.width, w.display_size.height};
    const SDL_Rect dest{view.x, view.y, view.width, view.height};
    SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
    SDL_RenderClear(w.renderer);
    SDL_RenderCopy(w.renderer, w.display_texture, nullptr, &dest);
}

} // namespace

PixelFormat Sdl2Display::desktop_format()
{
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0 || mode.format == SDL_PIXELFORMAT_UNKNOWN)
        return PixelFormat::xrgb8888;
    switch (SDL_BYTESPERPIXEL(mode.format)) {
    case 2:
        return SDL_BITSPERPIXEL(mode.format) == 15 ? PixelFormat::xrgb1555 : PixelFormat::rgb565;
    case 3:
        return PixelFormat::rgb888;
    default:
        return PixelFormat::xrgb8888;
    }
}

std::vector<display::Mode> Sdl2Display::modes()
{
    std::vector<display::Mode> out;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(0, i, &m) == 0)
            out.push_back({m.w, m.h, int(SDL_BITSPERPIXEL(m.format)), m.refresh_rate});
    }
    return out;
}

// A window that was resized (full screen on or off), uncovered or restored
// shows nothing of its frame until it is drawn again. The watch runs while
// the main thread pumps events; the next flush shows the primary again.
int Sdl2Display::watch(void* self, SDL_Event* event)
{
    if (event->type != SDL_WINDOWEVENT)
        return 0;
    switch (event->window.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_RESTORED:
        for (Sdl2Window* w : static_cast<Sdl2Display*>(self)->open_) {
            // A window destroyed while its display was open is skipped.
            if (current_backend().desktop().exists(w) && w->sdl && SDL_GetWindowID(w->sdl) == event->window.windowID)
                w->display_stale = true;
        }
        break;
    default:
        break;
    }
    return 0;
}

Sdl2Display::~Sdl2Display()
{
    if (!open_.empty())
        SDL_DelEventWatch(&Sdl2Display::watch, this);
}

bool Sdl2Display::open(Window& window)
{
    auto& w = sdl(window);
    if (!w.renderer)
        return false;
    if (open_.empty())
        SDL_AddEventWatch(&Sdl2Display::watch, this);
    open_.push_back(&w);
    return true;
}

void Sdl2Display::close(Window& window)
{
    auto& w = sdl(window);
    std::erase(open_, &w);
    if (open_.empty())
        SDL_DelEventWatch(&Sdl2Display::watch, this);
    if (w.display_texture)
        SDL_DestroyTexture(w.display_texture);
    w.display_texture = nullptr;
    w.display_size = {};
}

void Sdl2Display::show(Window& window, const PixelView& primary)
{
    auto& w = sdl(window);
    if (!w.renderer || !texture_for(w, primary))
        return;
    // The texture is refilled whole from memory on every push, so a
    // renderer that drops its textures (a reset device) loses nothing.
    SDL_UpdateTexture(w.display_texture, nullptr, primary.pixels, primary.pitch);
    draw(w);
    w.display_stale = false;
    SDL_RenderPresent(w.renderer);
}

bool Sdl2Display::needs_show(Window& window)
{
    auto& w = sdl(window);
    return w.display_stale && w.display_texture;
}

bool Sdl2Display::read_back(Window& window, std::vector<uint32_t>& pixels, Size& size)
{
    auto& w = sdl(window);
    if (!w.renderer || !w.display_texture)
        return false;
    // The software renderer's target is the window's own surface, which
    // still holds what was presented; other renderers' back buffers are
    // undefined after a present, so the frame is drawn again first.
    SDL_RendererInfo info{};
    if (SDL_GetRendererInfo(w.renderer, &info) != 0 || !(info.flags & SDL_RENDERER_SOFTWARE))
        draw(w);
    int width = 0, height = 0;
    if (SDL_GetRendererOutputSize(w.renderer, &width, &height) != 0 || width <= 0 || height <= 0)
        return false;
    pixels.assign(size_t(width) * size_t(height), 0);
    if (SDL_RenderReadPixels(w.renderer, nullptr, SDL_PIXELFORMAT_RGB888, pixels.data(), width * 4) != 0) {
        note_sdl_error("SDL_RenderReadPixels");
        return false;
    }
    size = {width, height};
    return true;
}

} // namespace platform::sdl2_impl
