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

namespace {

// The window's _NET_FRAME_EXTENTS as left, top, right, bottom; all 0 when
// it has none.
Rect frame_extents(::Display* display, ::Window window)
{
    const Atom extents = XInternAtom(display, "_NET_FRAME_EXTENTS", True);
    const std::vector<long> e = extents == None ? std::vector<long>{}
                                                : property<long>(display, window, extents, XA_CARDINAL);
    return e.size() == 4 ? Rect{int(e[0]), int(e[2]), int(e[1]), int(e[3])} : Rect{};
}

// Taken in by the window manager as a normal window: ICCCM's WM_STATE,
// whose first value is the state, says NormalState (not iconic, not
// withdrawn). Without a manager, nobody sets it and the window is its own.
bool managed_as_normal(::Display* display, ::Window window, bool manager)
{
    if (!manager)
        return true;
    const Atom wm_state = XInternAtom(display, "WM_STATE", True);
    const std::vector<long> state = wm_state == None ? std::vector<long>{}
                                                     : property<long>(display, window, wm_state, wm_state);
    return !state.empty() && state.front() == NormalState;
}

bool manager_runs(::Display* display)
{
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    return check != None && window_manager_runs(display, DefaultRootWindow(display), check);
}

// The window's attributes and its client area's corner on the root; false
// when it cannot be read (a window that is gone).
bool read_place(::Display* display, ::Window window, XWindowAttributes& attributes, Point& client)
{
    ::Window child = 0;
    return XGetWindowAttributes(display, window, &attributes) &&
           XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &client.x, &client.y, &child);
}

} // namespace

bool x11_place_facts(SDL_Window* window, PlaceFacts& out)
{
    ::Display* display = nullptr;
    ::Window x_window = 0;
    if (!x11_of(window, display, x_window))
        return false;
    out = {};
    XWindowAttributes attributes{};
    if (!read_place(display, x_window, attributes, out.client))
        return true;
    out.frame = frame_extents(display, x_window);
    const bool manager = out.manager = manager_runs(display);
    out.shown = attributes.map_state == IsViewable && managed_as_normal(display, x_window, manager) &&
                !(manager && holds_full_screen(display, x_window));
    return true;
}

bool x11_use_static_gravity(SDL_Window* window)
{
    ::Display* display = nullptr;
    ::Window x_window = 0;
    if (!x11_of(window, display, x_window))
        return false;
    // SDL keeps the hints it finds when it changes the size ones, so the
    // gravity stays.
    XSizeHints* hints = XAllocSizeHints();
    if (!hints)
        return true;
    long supplied = 0;
    if (!XGetWMNormalHints(display, x_window, hints, &supplied))
        hints->flags = 0;
    hints->flags |= PWinGravity;
    hints->win_gravity = StaticGravity;
    XSetWMNormalHints(display, x_window, hints);
    XFree(hints);
    XFlush(display);
    return true;
}

unsigned long x11_place_event_window(const SDL_SysWMmsg& message)
{
    if (message.subsystem != SDL_SYSWM_X11)
        return 0;
    const XEvent& e = message.msg.x11.event;
    switch (e.type) {
    case ConfigureNotify:
        return e.xconfigure.window;
    case MapNotify:
        return e.xmap.window;
    case UnmapNotify:
        return e.xunmap.window;
    case ReparentNotify:
        return e.xreparent.window;
    case PropertyNotify: {
        // Looked up without making them: a name nobody made names no
        // property that changed.
        for (const char* name : {"_NET_FRAME_EXTENTS", "_NET_WM_STATE", "WM_STATE"})
            if (e.xproperty.atom == XInternAtom(e.xproperty.display, name, True))
                return e.xproperty.window;
        return 0;
    }
    default:
        return 0;
    }
}

unsigned long x11_window_id(SDL_Window* window)
{
    ::Display* display = nullptr;
    ::Window x_window = 0;
    return x11_of(window, display, x_window) ? x_window : 0;
}

bool x11_move_client(SDL_Window* window, Point at)
{
    ::Display* display = nullptr;
    ::Window x_window = 0;
    if (!x11_of(window, display, x_window))
        return false;
    // Under StaticGravity a manager takes the request's place for the
    // client area's; without a manager the window is the root's child and
    // goes there itself.
    XMoveWindow(display, x_window, at.x, at.y);
    XFlush(display);
    return true;
}

void note_above_without_manager(SDL_Window* window, bool above)
{
    ::Display* display = nullptr;
    ::Window x_window = 0;
    if (!x11_of(window, display, x_window))
        return;
    if (manager_runs(display))
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

namespace {

bool read_window_on_screen(::Display* display, ::Window x_window, WindowOnScreen& out)
{
    XWindowAttributes attributes{};
    if (!read_place(display, x_window, attributes, out.client))
        return false;
    out.id = x_window;
    out.size = {attributes.width, attributes.height};
    const bool manager = out.manager = manager_runs(display);
    out.managed = managed_as_normal(display, x_window, manager);
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
    out.frame = frame_extents(display, x_window);
    ::Window focus = None;
    int revert_to = 0;
    XGetInputFocus(display, &focus, &revert_to);
    out.focused = focus == x_window;
    return true;
}

} // namespace

bool window_on_screen_for_test(WindowHandle handle, WindowOnScreen& out)
{
    auto* window = static_cast<Sdl2Window*>(current_backend().desktop().find(handle));
    ::Display* display = nullptr;
    ::Window x_window = 0;
    return window && x11_of(window->sdl, display, x_window) && read_window_on_screen(display, x_window, out);
}

bool any_window_on_screen_for_test(unsigned long id, WindowOnScreen& out)
{
    ::Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    // The window may be gone (its program ended): the error for it is the
    // answer, where the X library's own handler would end the process.
    const XErrorHandler before = XSetErrorHandler([](::Display*, XErrorEvent*) { return 0; });
    const bool read = read_window_on_screen(display, ::Window(id), out);
    XSync(display, False);
    XSetErrorHandler(before);
    XCloseDisplay(display);
    return read;
}

bool close_by_manager_for_test(unsigned long id)
{
    ::Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    // As a pager asks (EWMH _NET_CLOSE_WINDOW: time, source 2, a pager);
    // the manager then asks the program to close the window, as its close
    // button does.
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = ::Window(id);
    e.xclient.message_type = XInternAtom(display, "_NET_CLOSE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = CurrentTime;
    e.xclient.data.l[1] = 2;
    const Status sent = XSendEvent(display, DefaultRootWindow(display), False,
                                   SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XSync(display, False);
    XCloseDisplay(display);
    return sent != 0;
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

int x11_connection_socket(SDL_Window* window)
{
    ::Display* display = nullptr;
    ::Window x_window = 0;
    return x11_of(window, display, x_window) ? ConnectionNumber(display) : -1;
}

void x11_round_trip(SDL_Window* window)
{
    ::Display* display = nullptr;
    ::Window x_window = 0;
    if (x11_of(window, display, x_window))
        XSync(display, False);
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
