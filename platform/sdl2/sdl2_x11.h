// What the SDL2 backend does about the X library's errors. Private to
// platform/ (and its tests); it names no X type, so it can be included
// anywhere the backend is.
#pragma once

#include "platform/window.h"

#include <cstdint>

struct SDL_Window;

namespace platform::sdl2_impl {

// Installs the process's X error handler; called before SDL's video
// starts, so that SDL's own handler, which it installs then, passes the
// errors on to it. An error that the server returns for one request (a
// window that the window manager destroyed before the request arrived) is
// written to standard error and the program goes on; the X library's
// default would end the process.
void install_x_error_handler();

// Installs the process's handler for a connection to the X server that
// breaks (the server ends): the program's display-lost handler runs, then
// the handler that was there before, whose message and end (status 1)
// stay. Called once SDL's video has started, so that a handler SDL
// installs then is the one passed on to.
void install_x_io_error_handler();

// How many such errors the handler has seen.
uint32_t x_errors_seen();

// Asks the server, on a connection of its own, about a window that does
// not exist and waits for the answer, so that the error goes through the
// handler (tests). False when no display could be opened.
bool x_request_refused_for_test();

// True when the window's desktop takes windows to full screen itself: a
// window manager that says it supports the full-screen state, or a desktop
// other than X. Without one (a bare X server, or a manager of the older
// kind) a request for full screen changes nothing on the screen while SDL
// takes the window for screen-sized.
bool window_manager_does_full_screen(SDL_Window* window);

// False where the window is an X window and no window manager runs: only
// a manager puts a frame around a window, so nothing moves it by a frame's
// border. True on other desktops.
bool window_manager_frames(SDL_Window* window);

// True while the window manager holds the window full screen (its
// _NET_WM_STATE says so). A manager answers a request to leave full screen
// in its own time; until then it may still move the window on its way.
bool window_manager_holds_full_screen(SDL_Window* window);

// Where no window manager runs, writes the window's wish to be kept above
// others into its _NET_WM_STATE itself: the request SDL sends for a shown
// window goes to a manager, and none would keep the property. A manager
// that starts later reads it from there.
void note_above_without_manager(SDL_Window* window, bool above);

// What the X server and the window manager show of a window now (tests,
// which wait for a state rather than for a time).
struct WindowOnScreen {
    unsigned long id = 0; // the X window's id
    Point client; // the client area's top-left corner on the screen
    Size size;    // the client area's size
    bool manager = false; // a window manager runs
    // The window manager has taken the window in (ICCCM's WM_STATE says
    // normal), or none runs.
    bool managed = false;
    // The window manager holds the window full screen (its _NET_WM_STATE).
    bool full_screen = false;
    // The window asks for a title bar and border: its _MOTIF_WM_HINTS do
    // not take the decorations away. (SDL sets them only where a manager
    // made their name known.)
    bool decorated = false;
    // The window asks to be kept above others (_NET_WM_STATE_ABOVE).
    bool above = false;
    // The frame the window manager put around it (_NET_FRAME_EXTENTS:
    // left, top, right, bottom); all 0 without a frame or a manager.
    Rect frame;
};

// Asks the X server about the backend's window `window` on SDL's
// connection (tests). False when it is not an X window.
bool window_on_screen_for_test(WindowHandle window, WindowOnScreen& out);

// The colour (0xRRGGBB) of one pel of the screen as the X server shows it,
// on a connection of its own (tests). False when it cannot be read.
bool screen_pel_for_test(int x, int y, uint32_t& rgb);

} // namespace platform::sdl2_impl
