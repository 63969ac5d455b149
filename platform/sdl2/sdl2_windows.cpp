#include "platform/scaling.h"
#include "platform/sdl2/sdl2_backend.h"
#include "platform/sdl2/sdl2_keymap.h"
#include "platform/sdl2/sdl2_x11.h"

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

    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!def.caption)
        flags |= SDL_WINDOW_BORDERLESS;
    if (def.full_screen)
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    if (def.topmost)
        flags |= SDL_WINDOW_ALWAYS_ON_TOP;
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
    w->placed = def.position;
    w->placing = !def.full_screen;
    return w;
}

void Sdl2Windows::destroy(Window& window)
{
    auto& w = sdl(window);
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
            return;
        case SDL_WINDOWEVENT_HIDDEN:
            w->visible = false;
            return;
        case SDL_WINDOWEVENT_EXPOSED:
            desktop.invalidate(*w, {0, 0, w->client.width, w->client.height});
            return;
        case SDL_WINDOWEVENT_MOVED:
            if (!w->full_screen)
                moved(sdl(*w), {e.window.data1, e.window.data2});
            return;
        case SDL_WINDOWEVENT_MINIMIZED:
            w->minimised = true;
            return;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
            w->minimised = false;
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

namespace {

// How long after a placement shows a move report may still be its outcome.
// Nobody drags a window this soon after it appeared.
constexpr uint64_t placing_ms = 1000;
// The largest frame border taken for one: a report further away is the
// window manager's own choice (say, keeping the window on the screen).
constexpr int largest_border = 64;

} // namespace

void Sdl2Windows::place(Sdl2Window& w, Point at)
{
    SDL_SetWindowPosition(w.sdl, at.x, at.y);
    w.placed = at;
    w.placing = true;
    w.placing_until = w.visible && !w.minimised ? SDL_GetTicks64() + placing_ms : 0;
}

Point Sdl2Windows::frame_on_screen(const Sdl2Window& w, Point at, const Rect& b)
{
    const std::vector<Rect> areas = work_areas();
    const Rect kept = keep_on_areas(frame_around(at, w.client, b), areas);
    return {kept.x + b.x, kept.y + b.y};
}

void Sdl2Windows::keep_frame_on_screen(Sdl2Window& w)
{
    // A window manager that tells its frame's size has told it by the time
    // the window shows; a client area asked for at the screen's corner
    // would otherwise leave the title bar above the screen, out of reach.
    const Rect b = borders(w);
    if (b == Rect{})
        return;
    const Point target = frame_on_screen(w, w.placed, b);
    if (target == w.placed)
        return;
    place(w, target);
    w.position = target;
    w.normal_position = target;
}

bool Sdl2Windows::framed(const Sdl2Window& w, Point asked, Point at)
{
    return window_manager_frames(w.sdl) && framed_at_asked_place(asked, at, borders(w), largest_border);
}

bool Sdl2Windows::returns(Sdl2Window& w, Point at)
{
    // A window made full screen has never had its frame kept on the
    // screen: once the manager tells the frame, the window goes where the
    // whole frame shows, as a window made windowed does.
    const Rect b = borders(w);
    if (b.x || b.y)
        w.placed = frame_on_screen(w, w.returning_asked, b);
    return at == w.placed || framed(w, w.placed, at) || at == w.returning_asked || framed(w, w.returning_asked, at);
}

void Sdl2Windows::moved(Sdl2Window& w, Point at)
{
    const uint64_t now = SDL_GetTicks64();
    if (w.leaving_full_screen) {
        // Until the manager has let the window go, it reports where it
        // passes the window on its way (its full-screen place), however
        // late it comes to it on a loaded machine: the record keeps the
        // place the window goes back to, which is also what is stored if
        // the program ends meanwhile.
        if (window_manager_holds_full_screen(w.sdl))
            return;
        w.leaving_full_screen = false;
        w.placing = false;
        w.returning_until = now + placing_ms;
        w.returning_asked = w.placed;
    }
    if (w.returning_until != 0 && now <= w.returning_until && returns(w, at)) {
        // The manager then answers in a burst of reports: its own memory
        // of the window's place, the frame put where the client area was
        // asked (it took the placement, asked with the full-screen
        // window's borders of 0, for the frame's), and more. Loaded, the
        // burst may come over several turns: while the manager's reports
        // go on, each framed one is corrected, and the stored place stays
        // the one the window goes back to.
        w.returning_until = now + placing_ms;
        if (at != w.placed) {
            // As below: SDL puts the frame around the asked place once it
            // knows the borders, and otherwise is asked that much further
            // up and left.
            const Rect b = borders(w);
            const int dx = at.x - w.placed.x, dy = at.y - w.placed.y;
            if (b.x || b.y)
                SDL_SetWindowPosition(w.sdl, w.placed.x, w.placed.y);
            else
                SDL_SetWindowPosition(w.sdl, w.placed.x - dx, w.placed.y - dy);
        }
        w.position = w.placed;
        if (!w.minimised)
            w.normal_position = w.placed;
        return;
    }
    // Any other report is a move the manager did not make for the return
    // (the player's drag, however soon it comes): the return is over, and
    // the move is kept and stored.
    w.returning_until = 0;
    if (w.placing && w.placing_until != 0) {
        // This report is the placement's outcome, or comes too late to be
        // it; either way one correction at most, and what follows is taken
        // as it is.
        w.placing = false;
        if (framed(w, w.placed, at) && now <= w.placing_until) {
            // A window manager that tells its frame's size lets SDL place
            // the frame around the asked place itself, now that the frame
            // is known; with any other the offset seen is the frame's (and
            // the right and bottom borders are taken as wide as the left),
            // and the frame is asked that much further up and left. Either
            // way the whole frame stays on the screen.
            const int dx = at.x - w.placed.x, dy = at.y - w.placed.y;
            const Rect told_borders = borders(w);
            const bool told = told_borders.x || told_borders.y;
            const Rect b = told ? told_borders : Rect{dx, dy, dx, dx};
            const Point target = frame_on_screen(w, w.placed, b);
            if (told)
                SDL_SetWindowPosition(w.sdl, target.x, target.y);
            else
                SDL_SetWindowPosition(w.sdl, target.x - dx, target.y - dy);
            // The record holds the place the window now has.
            w.placed = target;
            w.position = target;
            if (!w.minimised)
                w.normal_position = target;
            return;
        }
    }
    w.position = at;
    if (!w.minimised)
        w.normal_position = w.position;
}

void Sdl2Windows::apply_title(Window& w) { SDL_SetWindowTitle(sdl(w).sdl, w.title.c_str()); }

void Sdl2Windows::apply_client_size(Window& w)
{
    if (!w.full_screen)
        SDL_SetWindowSize(sdl(w).sdl, w.client.width, w.client.height);
    make_texture(sdl(w));
    show_frame(w, {});
}

void Sdl2Windows::apply_position(Window& w) { place(sdl(w), w.position); }

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
        // A placement made while hidden shows its outcome now.
        if (sdl(w).placing && sdl(w).placing_until == 0)
            sdl(w).placing_until = SDL_GetTicks64() + placing_ms;
        if (sdl(w).placing && !w.full_screen)
            keep_frame_on_screen(sdl(w));
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
    w.leaving_full_screen = false;
    w.returning_until = 0;
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
                SDL_SetWindowPosition(w.sdl, screen.x, screen.y);
                SDL_SetWindowSize(w.sdl, screen.w, screen.h);
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
            w.leaving_full_screen = true;
            // SDL ignores a frame or the place above others asked for a
            // full-screen window: the windowed styles the record holds
            // are asked now.
            SDL_SetWindowBordered(w.sdl, w.caption ? SDL_TRUE : SDL_FALSE);
            apply_topmost(w);
        }
        SDL_SetWindowSize(w.sdl, w.client.width, w.client.height);
        place(w, w.position);
    }
    show_frame(w, {});
}

void Sdl2Windows::apply_topmost(Window& w)
{
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

Rect Sdl2Windows::borders(const Window& w)
{
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(sdl(w).sdl, &top, &left, &bottom, &right) != 0)
        return {};
    return {left, top, right, bottom};
}

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
