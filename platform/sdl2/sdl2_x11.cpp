#include "platform/sdl2/sdl2_x11.h"

#include "platform/backend.h"
#include "platform/process.h"
#include "platform/sdl2/sdl2_backend.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <vector>

#include <unistd.h>

namespace platform::sdl2_impl {

namespace {

std::atomic<uint32_t> errors_seen{0};

int on_x_error(Display* display, XErrorEvent* error)
{
    // Only local look-ups here: a request made from the handler would
    // re-enter the connection it was called for.
    char text[160] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "X error (ignored): %s, request %u.%u, resource 0x%lx\n", text, unsigned(error->request_code),
                 unsigned(error->minor_code), static_cast<unsigned long>(error->resourceid));
    errors_seen.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

XIOErrorHandler io_handler_before = nullptr;

int on_x_io_error(Display* display)
{
    // The connection is gone: nothing more can be asked of the server, and
    // the X library ends the process once the handlers return. What the
    // program keeps (its settings) is written now, from what it knows.
    // The X library's own handler words its message after errno (a broken
    // pipe is a "broken" connection), which the save must not change.
    // A copy of the process that SDL forked to draw a box lost its own
    // connection: it ends as SDL ends it, without the program's exit
    // handlers, which would wait for threads it does not have. The program
    // finds its own connection gone and ends itself.
    if (in_forked_copy())
        _exit(1);
    const int error = errno;
    display_lost();
    errno = error;
    return io_handler_before ? io_handler_before(display) : 0;
}

// A window property's values of one type; empty when it is not set.
template <typename T>
std::vector<T> property(::Display* display, ::Window window, Atom name, Atom type)
{
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    std::vector<T> values;
    if (XGetWindowProperty(display, window, name, 0, 1024, False, type, &actual, &format, &count, &left, &data) ==
            Success &&
        data && actual == type && format == 32) {
        // 32-bit properties come back as longs, whatever their width.
        const auto* longs = reinterpret_cast<const unsigned long*>(data);
        for (unsigned long i = 0; i < count; ++i)
            values.push_back(T(longs[i]));
    }
    if (data)
        XFree(data);
    return values;
}

// The window manager's check window, if one runs: the root names it, and
// it is still one of the root's children (a manager that has gone leaves
// the root's property behind). Asked so that a window that is gone raises
// no error.
bool window_manager_runs(::Display* display, ::Window root, Atom check)
{
    const std::vector<::Window> named = property<::Window>(display, root, check, XA_WINDOW);
    if (named.empty())
        return false;
    ::Window root_back = 0, parent = 0;
    ::Window* children = nullptr;
    unsigned int count = 0;
    bool found = false;
    if (XQueryTree(display, root, &root_back, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i)
            found = children[i] == named.front();
    }
    if (children)
        XFree(children);
    return found;
}

// The X connection and window behind an SDL window; false when it is no
// X window (another video driver).
bool x11_of(SDL_Window* window, ::Display*& display, ::Window& x_window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    display = info.info.x11.display;
    x_window = info.info.x11.window;
    return true;
}

// Whether the atom list `list` of `window` holds `wanted`.
bool lists_atom(::Display* display, ::Window window, Atom list, Atom wanted)
{
    for (const Atom a : property<Atom>(display, window, list, XA_ATOM))
        if (a == wanted)
            return true;
    return false;
}

// The window's _NET_WM_STATE holds the full-screen state.
bool holds_full_screen(::Display* display, ::Window window)
{
    const Atom net_state = XInternAtom(display, "_NET_WM_STATE", True);
    const Atom full_screen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", True);
    return net_state != None && full_screen != None && lists_atom(display, window, net_state, full_screen);
}

} // namespace

bool window_manager_does_full_screen(SDL_Window* window)
{
    ::Display* display = nullptr;
    ::Window x_window = 0;
    if (!x11_of(window, display, x_window))
        return true;
    const ::Window root = DefaultRootWindow(display);
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    const Atom supported = XInternAtom(display, "_NET_SUPPORTED", True);
    const Atom full_screen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", True);
    return check != None && supported != None && full_screen != None && window_manager_runs(display, root, check) &&
           lists_atom(display, root, supported, full_screen);
}

bool window_manager_frames(SDL_Window* window)
{
    ::Display* display = nullptr;
    ::Window x_window = 0;
    if (!x11_of(window, display, x_window))
        return true;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    return check != None && window_manager_runs(display, DefaultRootWindow(display), check);
}

bool window_manager_holds_full_screen(SDL_Window* window)
{
    ::Display* display = nullptr;
    ::Window x_window = 0;
    return x11_of(window, display, x_window) && holds_full_screen(display, x_window);
}

void note_above_without_manager(SDL_Window* window, bool above)
{
    ::Display* display = nullptr;
    ::Window x_window = 0;
    if (!x11_of(window, display, x_window))
        return;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check != None && window_manager_runs(display, DefaultRootWindow(display), check))
        return;
    const Atom net_state = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom above_state = XInternAtom(display, "_NET_WM_STATE_ABOVE", False);
    std::vector<Atom> states = property<Atom>(display, x_window, net_state, XA_ATOM);
    std::erase(states, above_state);
    if (above)
        states.push_back(above_state);
    XChangeProperty(display, x_window, net_state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(states.data()), int(states.size()));
    XFlush(display);
}

bool window_on_screen_for_test(WindowHandle handle, WindowOnScreen& out)
{
    auto* window = static_cast<Sdl2Window*>(current_backend().desktop().find(handle));
    ::Display* display = nullptr;
    ::Window x_window = 0;
    if (!window || !x11_of(window->sdl, display, x_window))
        return false;
    const ::Window root = DefaultRootWindow(display);
    XWindowAttributes attributes{};
    ::Window child = 0;
    int x = 0, y = 0;
    if (!XGetWindowAttributes(display, x_window, &attributes) ||
        !XTranslateCoordinates(display, x_window, root, 0, 0, &x, &y, &child))
        return false;
    out.id = x_window;
    out.client = {x, y};
    out.size = {attributes.width, attributes.height};
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    const Atom wm_state = XInternAtom(display, "WM_STATE", True);
    const bool manager = out.manager = check != None && window_manager_runs(display, root, check);
    // WM_STATE's first value is the state; 1 is NormalState.
    const std::vector<long> state = wm_state == None ? std::vector<long>{}
                                                     : property<long>(display, x_window, wm_state, wm_state);
    out.managed = !manager || (!state.empty() && state.front() == NormalState);
    out.full_screen = manager && holds_full_screen(display, x_window);
    // _MOTIF_WM_HINTS: flags, functions, decorations, ...; flag 2 says the
    // decorations are given.
    const Atom motif = XInternAtom(display, "_MOTIF_WM_HINTS", True);
    const std::vector<long> hints = motif == None ? std::vector<long>{}
                                                  : property<long>(display, x_window, motif, motif);
    out.decorated = hints.size() < 3 || !(hints[0] & 2) || hints[2] != 0;
    const Atom net_state = XInternAtom(display, "_NET_WM_STATE", True);
    const Atom above = XInternAtom(display, "_NET_WM_STATE_ABOVE", True);
    out.above = net_state != None && above != None && lists_atom(display, x_window, net_state, above);
    const Atom extents = XInternAtom(display, "_NET_FRAME_EXTENTS", True);
    const std::vector<long> e = extents == None ? std::vector<long>{}
                                                : property<long>(display, x_window, extents, XA_CARDINAL);
    out.frame = e.size() == 4 ? Rect{int(e[0]), int(e[2]), int(e[1]), int(e[3])} : Rect{};
    return true;
}

bool screen_pel_for_test(int x, int y, uint32_t& rgb)
{
    ::Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
    if (image) {
        rgb = uint32_t(XGetPixel(image, 0, 0)) & 0xFFFFFFu;
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return image != nullptr;
}

void install_x_error_handler() { XSetErrorHandler(on_x_error); }

void install_x_io_error_handler()
{
    // A second start of the backend finds its own handler there; the one
    // before it stays the one passed on to.
    const XIOErrorHandler before = XSetIOErrorHandler(on_x_io_error);
    if (before != on_x_io_error)
        io_handler_before = before;
}

uint32_t x_errors_seen() { return errors_seen.load(std::memory_order_relaxed); }

bool x_request_refused_for_test()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XWindowAttributes attributes;
    // Window ids are handed out from 0x200000 up; 1 is never one.
    (void)XGetWindowAttributes(display, ::Window(1), &attributes);
    XCloseDisplay(display);
    return true;
}

} // namespace platform::sdl2_impl
