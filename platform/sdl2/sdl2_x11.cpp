#include "platform/sdl2/sdl2_x11.h"

#include <X11/Xlib.h>

#include <atomic>
#include <cstdio>

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

} // namespace

void install_x_error_handler() { XSetErrorHandler(on_x_error); }

uint32_t x_errors_seen() { return errors_seen.load(std::memory_order_relaxed); }

bool x_request_refused_for_test()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XWindowAttributes attributes;
    // Window ids are handed out from 0x200000 up; 1 is never one.
    (void)XGetWindowAttributes(display, Window(1), &attributes);
    XCloseDisplay(display);
    return true;
}

} // namespace platform::sdl2_impl
