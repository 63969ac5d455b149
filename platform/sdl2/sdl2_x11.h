// What the SDL2 backend does about the X library's errors. Private to
// platform/ (and its tests); it names no X type, so it can be included
// anywhere the backend is.
#pragma once

#include "platform/window.h"

#include <cstdint>

struct SDL_Window;
struct SDL_SysWMmsg;

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

// The socket of SDL's connection to the X server, which the window is
// on; -1 when it is no X window.
int x11_connection_socket(SDL_Window* window);

// Waits for the X server's answer to a request on SDL's connection, which
// the window is on. On a connection that is gone, the X library's handler
// of a broken connection runs (the program's, then the library's, which
// ends the process).
void x11_round_trip(SDL_Window* window);

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

// What the X server and the window manager state of an X window's place.
struct PlaceFacts {
    Point client; // the client area's top-left corner on the root window
    // The frame the manager put around it (_NET_FRAME_EXTENTS: left, top,
    // right, bottom); all 0 without one.
    Rect frame;
    // Shown as a normal window: mapped and viewable, taken in by the window
    // manager (ICCCM's WM_STATE says normal) if one runs, and not held full
    // screen by it.
    bool shown = false;
    // A window manager runs; it tells its frame in its own time.
    bool manager = false;
};

// Reads the facts of the window's place on SDL's connection; false when it
// is not an X window.
bool x11_place_facts(SDL_Window* window, PlaceFacts& out);

// Asks the window manager to take every place the window asks for as its
// client area's (ICCCM's StaticGravity in WM_NORMAL_HINTS), so that a frame
// goes around the asked place instead of at it. False when it is not an X
// window.
bool x11_use_static_gravity(SDL_Window* window);

// The X window whose place the X event in `message` (SDL's window-system
// message) may have changed: its place, size, mapping, frame or states.
// 0 for any other event, and off X.
unsigned long x11_place_event_window(const SDL_SysWMmsg& message);

// The X window's id behind an SDL window; 0 off X.
unsigned long x11_window_id(SDL_Window* window);

// Asks for the window's client area at `at` on the root window. False when
// it is not an X window.
bool x11_move_client(SDL_Window* window, Point at);

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
    // The window has the keyboard's focus (the X server's input focus).
    bool focused = false;
    // The frame the window manager put around it (_NET_FRAME_EXTENTS:
    // left, top, right, bottom); all 0 without a frame or a manager.
    Rect frame;
};

// Asks the X server about the backend's window `window` on SDL's
// connection (tests). False when it is not an X window.
bool window_on_screen_for_test(WindowHandle window, WindowOnScreen& out);

// The same of any program's X window `id`, asked on a connection of its own
// to the display DISPLAY names (tests). False when it cannot be read.
bool any_window_on_screen_for_test(unsigned long id, WindowOnScreen& out);

// Asks the window manager of the display DISPLAY names to close the X
// window `id`, as a pager does (tests). False when it cannot be asked.
bool close_by_manager_for_test(unsigned long id);

// The colour (0xRRGGBB) of one pel of the screen as the X server shows it,
// on a connection of its own (tests). False when it cannot be read.
bool screen_pel_for_test(int x, int y, uint32_t& rgb);

} // namespace platform::sdl2_impl
