#include "platform/scaling.h"
#include "platform/sdl2/sdl2_backend.h"
#include "platform/sdl2/sdl2_keymap.h"
#include "platform/sdl2/sdl2_x11.h"

#include <SDL_syswm.h>

#include <algorithm>
#include <cstring>

namespace platform::sdl2_impl {

namespace {

constexpr const char* record_key = "quarn.window";

Sdl2Window& sdl(Window& w) { return static_cast<Sdl2Window&>(w); }
const Sdl2Window& sdl(const Window& w) { return static_cast<const Sdl2Window&>(w); }

Window* record_of(Uint32 window_id)
{
    SDL_Window* window = SDL_GetWindowFromID(window_id);
    return window ? static_cast<Window*>(SDL_GetWindowData(window, record_key)) : nullptr;
}

// Drivers without a real desktop never send focus events; there the
// program's own request is the only focus there is.
bool focus_is_ours_to_give()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0);
}

bool make_texture(Sdl2Window& w)
{
    if (w.texture && w.texture_size == w.client)
        return true;
    if (w.texture)
        SDL_DestroyTexture(w.texture);
    // RGB888 is SDL's name for 32-bit 0x00RRGGBB, the frame's own layout.
    w.texture = SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, w.client.width,
                                  w.client.height);
    if (!w.texture) {
        // A renderer draws textures up to a size of its own; a frame larger
        // than that fails for its size alone.
        SDL_RendererInfo info{};
        const bool too_large = SDL_GetRendererInfo(w.renderer, &info) == 0 &&
                               ((info.max_texture_width > 0 && w.client.width > info.max_texture_width) ||
                                (info.max_texture_height > 0 && w.client.height > info.max_texture_height));
        set_backend_error(std::string("SDL_CreateTexture: ") + SDL_GetError(), too_large);
        w.texture_size = {};
        return false;
    }
    w.texture_size = w.client;
    SDL_SetTextureBlendMode(w.texture, SDL_BLENDMODE_NONE);
    return true;
}

uint8_t button_key(Uint8 button)
{
    switch (button) {
    case SDL_BUTTON_LEFT:
        return vk::lbutton;
    case SDL_BUTTON_RIGHT:
        return vk::rbutton;
    case SDL_BUTTON_MIDDLE:
        return vk::mbutton;
    default:
        return 0;
    }
}

} // namespace

std::unique_ptr<Window> Sdl2Windows::create(const WindowDef& def)
{
    auto w = std::make_unique<Sdl2Window>();
    w->take_definition(def);

    // Kept above others only once shown (apply_visibility): a manager
    // that finds the wish on a window it maps may never let it go (IceWM
    // does so), while one asked of a shown window is taken back on request.
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!def.caption)
        flags |= SDL_WINDOW_BORDERLESS;
    if (def.full_screen)
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    w->sdl = SDL_CreateWindow(def.title.c_str(), def.position.x, def.position.y, def.client.width, def.client.height, flags);
    if (!w->sdl) {
        note_sdl_error("SDL_CreateWindow");
        return nullptr;
    }
    // Frames arrive as they are drawn; waiting for the display's refresh is
    // the engine's frame limit's business, not the presenter's.
    w->renderer = SDL_CreateRenderer(w->sdl, -1, 0);
    if (!w->renderer)
        w->renderer = SDL_CreateRenderer(w->sdl, -1, SDL_RENDERER_SOFTWARE);
    if (!w->renderer || !make_texture(*w)) {
        if (!w->renderer)
            note_sdl_error("SDL_CreateRenderer");
        destroy(*w);
        return nullptr;
    }
    SDL_SetWindowData(w->sdl, record_key, w.get());
    w->place.start(w->sdl);
    if (!def.full_screen)
        w->place.ask(*w, w->sdl, def.position);
    windows_.push_back(w.get());
    return w;
}

void Sdl2Windows::destroy(Window& window)
{
    auto& w = sdl(window);
    std::erase(windows_, &w);
    if (w.texture)
        SDL_DestroyTexture(w.texture);
    if (w.renderer)
        SDL_DestroyRenderer(w.renderer);
    if (w.sdl)
        SDL_DestroyWindow(w.sdl);
    w.texture = nullptr;
    w.renderer = nullptr;
    w.sdl = nullptr;
}

void Sdl2Windows::pump(Desktop& desktop)
{
    SDL_Event event;
    while (SDL_PollEvent(&event))
        handle(desktop, event);
}

void Sdl2Windows::handle(Desktop& desktop, const SDL_Event& e)
{
    switch (e.type) {
    case SDL_SYSWMEVENT:
        // The X events SDL does not pass on: the manager telling its frame,
        // or letting the window out of full screen, is one of these alone.
        if (const unsigned long id = x11_place_event_window(*e.syswm.msg))
            for (Sdl2Window* w : windows_)
                if (x11_window_id(w->sdl) == id)
                    refresh_place(*w);
        return;
    case SDL_QUIT:
        // SDL's own handlers for SIGINT and SIGTERM.
        desktop.ask_to_end();
        return;
    case SDL_WINDOWEVENT: {
        Window* w = record_of(e.window.windowID);
        if (!w)
            return;
        switch (e.window.event) {
        case SDL_WINDOWEVENT_SHOWN:
            w->visible = true;
            refresh_place(sdl(*w));
            return;
        case SDL_WINDOWEVENT_HIDDEN:
            w->visible = false;
            return;
        case SDL_WINDOWEVENT_EXPOSED:
            desktop.invalidate(*w, {0, 0, w->client.width, w->client.height});
            return;
        case SDL_WINDOWEVENT_MOVED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            // An X window's place was read already, on the X event that
            // SDL made this one of.
            if (!x11_window_id(sdl(*w).sdl))
                refresh_place(sdl(*w));
            return;
        case SDL_WINDOWEVENT_MINIMIZED:
            w->minimised = true;
            return;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
            w->minimised = false;
            // On X the state change itself is a property's, read as it
            // came; the record only now says the window is no longer
            // minimised, so its place is read again here.
            refresh_place(sdl(*w));
            return;
        case SDL_WINDOWEVENT_LEAVE:
            desktop.mouse_leave(w);
            return;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            desktop.activate(w, true);
            return;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            desktop.activate(w, false);
            return;
        case SDL_WINDOWEVENT_CLOSE:
            desktop.post({w, msg::close, 0, 0});
            return;
        default:
            return;
        }
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        Window* w = record_of(e.key.windowID);
        if (!w)
            w = desktop.focus();
        if (const uint8_t key = key_from_scancode(e.key.keysym.scancode))
            desktop.key(w, key, e.type == SDL_KEYDOWN);
        return;
    }
    case SDL_MOUSEMOTION:
        if (Window* w = record_of(e.motion.windowID)) {
            const Point client = w->full_screen ? area_to_frame(w->client, window_size(*w), {e.motion.x, e.motion.y})
                                                : Point{e.motion.x, e.motion.y};
            desktop.mouse_move(w, client);
        }
        return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (Window* w = record_of(e.button.windowID)) {
            const Point client = w->full_screen ? area_to_frame(w->client, window_size(*w), {e.button.x, e.button.y})
                                                : Point{e.button.x, e.button.y};
            if (const uint8_t key = button_key(e.button.button))
                desktop.mouse_button(w, key, e.type == SDL_MOUSEBUTTONDOWN, client);
        }
        return;
    default:
        return;
    }
}

void Sdl2Windows::keep_place_after_resize(Sdl2Window& w)
{
    // SDL follows a resize of a window of fixed size with a move of its
    // own, to where it last saw the window less the frame's border: under
    // the gravity the window asks for, that is the border off its place.
    // The place asked now is the one that counts, as requests are taken in
    // order.
    w.place.ask(w, w.sdl, w.position);
}

void Sdl2Windows::refresh_place(Sdl2Window& w)
{
    w.place.refresh(w, w.sdl, [this] { return work_areas(); });
}

void Sdl2Windows::apply_title(Window& w) { SDL_SetWindowTitle(sdl(w).sdl, w.title.c_str()); }

void Sdl2Windows::apply_client_size(Window& w)
{
    if (!w.full_screen) {
        SDL_SetWindowSize(sdl(w).sdl, w.client.width, w.client.height);
        keep_place_after_resize(sdl(w));
    }
    make_texture(sdl(w));
    show_frame(w, {});
}

void Sdl2Windows::apply_position(Window& w) { sdl(w).place.ask(w, sdl(w).sdl, w.position); }

void Sdl2Windows::apply_visibility(Window& w)
{
    SDL_Window* window = sdl(w).sdl;
    if (!w.visible) {
        SDL_HideWindow(window);
    } else if (w.minimised) {
        SDL_ShowWindow(window);
        SDL_MinimizeWindow(window);
    } else {
        SDL_ShowWindow(window);
        if (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED)
            SDL_RestoreWindow(window);
        apply_topmost(w);
    }
}

void Sdl2Windows::apply_caption(Window& w)
{
    // A window covering the screen stays bare; leaving full screen puts
    // the caption asked for meanwhile back. (SDL itself ignores the request
    // while the window is full screen; leaving asks again.)
    if (!sdl(w).covering)
        SDL_SetWindowBordered(sdl(w).sdl, w.caption ? SDL_TRUE : SDL_FALSE);
}

void Sdl2Windows::apply_full_screen(Window& window)
{
    auto& w = sdl(window);
    if (w.full_screen) {
        if (window_manager_does_full_screen(w.sdl)) {
            if (SDL_SetWindowFullscreen(w.sdl, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
                note_sdl_error("SDL_SetWindowFullscreen");
        } else {
            // Nobody would make the window full screen (SDL would draw for
            // the screen's size into the unchanged window, showing a cut,
            // enlarged part of the frame): the window covers the screen
            // itself, and frames are scaled to the size it has.
            SDL_Rect screen{};
            if (SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(w.sdl), 0), &screen) != 0) {
                note_sdl_error("SDL_GetDisplayBounds");
            } else {
                w.covering = true;
                SDL_SetWindowBordered(w.sdl, SDL_FALSE);
                SDL_SetWindowSize(w.sdl, screen.w, screen.h);
                if (!x11_move_client(w.sdl, {screen.x, screen.y}))
                    SDL_SetWindowPosition(w.sdl, screen.x, screen.y);
                SDL_RaiseWindow(w.sdl);
            }
        }
    } else {
        if (w.covering) {
            w.covering = false;
            SDL_SetWindowBordered(w.sdl, w.caption ? SDL_TRUE : SDL_FALSE);
        } else if (SDL_SetWindowFullscreen(w.sdl, 0) != 0) {
            note_sdl_error("SDL_SetWindowFullscreen");
        } else {
            // SDL ignores a frame or the place above others asked for a
            // full-screen window: the windowed styles the record holds
            // are asked now.
            SDL_SetWindowBordered(w.sdl, w.caption ? SDL_TRUE : SDL_FALSE);
            apply_topmost(w);
        }
        // Asked while the manager may still hold the window full screen, and
        // looked for once it has let it go.
        SDL_SetWindowSize(w.sdl, w.client.width, w.client.height);
        keep_place_after_resize(w);
    }
    show_frame(w, {});
}

void Sdl2Windows::apply_topmost(Window& w)
{
    // A hidden window is asked when it shows (see create()).
    if (!w.visible)
        return;
    SDL_SetWindowAlwaysOnTop(sdl(w).sdl, w.topmost ? SDL_TRUE : SDL_FALSE);
    note_above_without_manager(sdl(w).sdl, w.topmost);
}

bool Sdl2Windows::apply_focus(Window& w)
{
    SDL_RaiseWindow(sdl(w).sdl);
    SDL_SetWindowInputFocus(sdl(w).sdl);
    // A real desktop answers with a focus event, which activates the
    // application when it arrives.
    return focus_is_ours_to_give();
}

void Sdl2Windows::apply_cursor(bool visible) { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

void Sdl2Windows::show_frame(Window& window, std::span<const Rect> rects)
{
    auto& w = sdl(window);
    if (!w.renderer || !make_texture(w))
        return;
    const int pitch = w.frame_size.width * 4;
    if (rects.empty()) {
        SDL_UpdateTexture(w.texture, nullptr, w.pixels.data(), pitch);
    } else {
        for (const Rect& r : rects) {
            const SDL_Rect area{r.x, r.y, r.width, r.height};
            SDL_UpdateTexture(w.texture, &area, w.pixels.data() + size_t(r.y) * size_t(w.frame_size.width) + size_t(r.x), pitch);
        }
    }
    int out_w = 0, out_h = 0;
    SDL_GetRendererOutputSize(w.renderer, &out_w, &out_h);
    const Rect view = w.full_screen ? letterbox(w.client, {out_w, out_h}) : Rect{0, 0, w.client.width, w.client.height};
    const SDL_Rect dest{view.x, view.y, view.width, view.height};
    SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
    SDL_RenderClear(w.renderer);
    SDL_RenderCopy(w.renderer, w.texture, nullptr, &dest);
    SDL_RenderPresent(w.renderer);
}

Size Sdl2Windows::desktop_size()
{
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0)
        return {};
    return {mode.w, mode.h};
}

Rect Sdl2Windows::work_area()
{
    SDL_Rect r{};
    if (SDL_GetDisplayUsableBounds(0, &r) != 0) {
        const Size d = desktop_size();
        return {0, 0, d.width, d.height};
    }
    return {r.x, r.y, r.w, r.h};
}

std::vector<Rect> Sdl2Windows::work_areas()
{
    std::vector<Rect> areas;
    const int count = SDL_GetNumVideoDisplays();
    for (int i = 0; i < count; ++i) {
        SDL_Rect r{};
        if (SDL_GetDisplayUsableBounds(i, &r) == 0 && r.w > 0 && r.h > 0)
            areas.push_back({r.x, r.y, r.w, r.h});
    }
    if (areas.empty())
        areas.push_back(work_area());
    return areas;
}

bool Sdl2Windows::cursor_position(Point& out)
{
    int x = 0, y = 0;
    // Over one of our windows the pointer is where its motion events put
    // it. SDL's global query answers from a cache that only some input
    // refreshes (on X, a button held does, plain motion may not), so it
    // can stand still while the pointer moves, which a full-screen window
    // shows at once.
    if (SDL_Window* over = SDL_GetMouseFocus()) {
        SDL_GetMouseState(&x, &y);
        // In a window the record's place is the one screen_to_client()
        // takes off again.
        const Window* w = record_of(SDL_GetWindowID(over));
        int wx = 0, wy = 0;
        if (w && !w->full_screen) {
            wx = w->position.x;
            wy = w->position.y;
        } else {
            SDL_GetWindowPosition(over, &wx, &wy);
        }
        out = {wx + x, wy + y};
        return true;
    }
    SDL_GetGlobalMouseState(&x, &y);
    out = {x, y};
    return true;
}

Rect Sdl2Windows::borders(const Window& w) { return WindowPlace::borders(sdl(w).sdl); }

Size Sdl2Windows::window_size(const Window& w)
{
    int width = 0, height = 0;
    SDL_GetWindowSize(sdl(w).sdl, &width, &height);
    return {width, height};
}

Point Sdl2Windows::client_to_screen(const Window& w, Point p)
{
    if (!w.full_screen)
        return {p.x + w.position.x, p.y + w.position.y};
    int x = 0, y = 0;
    SDL_GetWindowPosition(sdl(w).sdl, &x, &y);
    const Point in = frame_to_area(w.client, const_cast<Sdl2Windows*>(this)->window_size(w), p);
    return {in.x + x, in.y + y};
}

Point Sdl2Windows::screen_to_client(const Window& w, Point p)
{
    if (!w.full_screen)
        return {p.x - w.position.x, p.y - w.position.y};
    int x = 0, y = 0;
    SDL_GetWindowPosition(sdl(w).sdl, &x, &y);
    return area_to_frame(w.client, window_size(w), {p.x - x, p.y - y});
}

} // namespace platform::sdl2_impl
