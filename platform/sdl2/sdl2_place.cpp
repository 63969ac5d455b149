#include "platform/sdl2/sdl2_place.h"

#include "platform/geometry.h"
#include "platform/sdl2/sdl2_x11.h"

#include <SDL.h>

namespace platform::sdl2_impl {

namespace {

// The facts on any desktop: the X server's, else SDL's.
PlaceFacts facts_of(SDL_Window* window)
{
    PlaceFacts f;
    if (x11_place_facts(window, f))
        return f;
    SDL_GetWindowPosition(window, &f.client.x, &f.client.y);
    f.frame = WindowPlace::borders(window);
    const Uint32 flags = SDL_GetWindowFlags(window);
    f.shown = (flags & SDL_WINDOW_SHOWN) && !(flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_FULLSCREEN));
    return f;
}

void record_at(Window& record, Point at)
{
    record.position = at;
    record.normal_position = at;
}

} // namespace

void WindowPlace::start(SDL_Window* window) { (void)x11_use_static_gravity(window); }

void WindowPlace::ask(Window& record, SDL_Window* window, Point at)
{
    if (!x11_move_client(window, at))
        SDL_SetWindowPosition(window, at.x, at.y);
    record.position = at;
    if (!record.minimised && !record.full_screen)
        record.normal_position = at;
    asked_ = at;
}

void WindowPlace::refresh(Window& record, SDL_Window* window, const std::function<std::vector<Rect>()>& areas)
{
    if (!record.visible || record.minimised || record.full_screen)
        return;
    const PlaceFacts f = facts_of(window);
    if (!f.shown)
        return;
    // A manager that frames the window tells its frame in its own time,
    // after it has shown the window at times: the asked place is checked
    // once the frame is known.
    const bool frame_known = !f.manager || f.frame != Rect{} || !record.caption;
    if (asked_ && frame_known) {
        const Rect b = f.frame;
        const Rect kept = keep_on_areas(frame_around(*asked_, record.client, b), areas());
        const Point wanted{kept.x + b.x, kept.y + b.y};
        asked_.reset();
        if (f.client != wanted) {
            // Asked once more; what the manager does with it is taken as
            // it comes, so a manager with rules of its own is never fought.
            ask(record, window, wanted);
            asked_.reset();
            return;
        }
    }
    record_at(record, f.client);
}

Rect WindowPlace::borders(SDL_Window* window)
{
    PlaceFacts f;
    if (x11_place_facts(window, f))
        return f.frame;
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) != 0)
        return {};
    return {left, top, right, bottom};
}

} // namespace platform::sdl2_impl
