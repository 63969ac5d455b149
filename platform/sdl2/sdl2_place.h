// Where the SDL2 backend's window is, and where it is stored. Private to
// platform/.
#pragma once

#include "platform/desktop.h"

#include <functional>
#include <optional>
#include <vector>

struct SDL_Window;

namespace platform::sdl2_impl {

// The one owner of a window's place. Three facts make it, all asked of the
// X server rather than guessed from the order of move reports:
// - the window asks the manager to take every place it asks for as its
//   client area's (ICCCM's StaticGravity), so a frame goes around the asked
//   place and nothing is corrected by a border afterwards;
// - the place recorded is the client area's corner on the root window,
//   read when the desktop reports a change;
// - it is recorded only while the window is shown as a normal window: what
//   the manager reports while the window is hidden, closing, minimised or
//   full screen changes nothing, so the stored place is where the player
//   last saw the window.
// A place asked for is checked once, the first time the window is seen
// shown: if the manager put it elsewhere (say, to keep its frame on the
// screen) or the frame would leave the screens' work areas, it is asked
// once more, at the asked place moved so that the whole frame shows. That
// place is a fixed point, so the window stays put start after start.
// Desktops other than X have no such facts; SDL's own answers stand in.
class WindowPlace {
public:
    // At creation, while the window is hidden.
    void start(SDL_Window* window);
    // Asks for the client area at `at`; the record holds it at once.
    void ask(Window& record, SDL_Window* window, Point at);
    // Reads where the window is and records it, when the record and the
    // desktop both say it is shown as a normal window. `areas` gives the
    // screens' work areas, asked only to check a place asked for.
    void refresh(Window& record, SDL_Window* window, const std::function<std::vector<Rect>()>& areas);
    // The frame's borders (left, top, right, bottom); all 0 without one.
    static Rect borders(SDL_Window* window);

private:
    std::optional<Point> asked_;
};

} // namespace platform::sdl2_impl
