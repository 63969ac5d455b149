// The window and presentation contract of a backend. Private to platform/.
#pragma once

#include "platform/desktop.h"

#include <span>
#include <vector>

namespace platform {

// The platform's generic code (window.cpp) updates the Window record and
// then calls the matching hook, so a backend only mirrors the change on its
// desktop. Hooks a backend leaves out keep the record as the only truth,
// which is what the headless backend needs.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // A new record for `def` (fields filled), with the backend's window made
    // hidden; null when the desktop refuses.
    virtual std::unique_ptr<Window> create(const WindowDef& def) = 0;
    virtual void destroy(Window&) {}

    // Turns what the desktop delivered since the last call into messages.
    virtual void pump(Desktop&) {}

    virtual void apply_title(Window&) {}
    virtual void apply_client_size(Window&) {}
    virtual void apply_position(Window&) {}
    virtual void apply_visibility(Window&) {} // visible / minimised changed
    virtual void apply_caption(Window&) {}
    virtual void apply_full_screen(Window&) {}
    virtual void apply_topmost(Window&) {}
    // Asks for focus; true when the desktop grants it at once (the generic
    // code then activates the application itself).
    virtual bool apply_focus(Window&) { return true; }
    virtual void apply_cursor(bool /*visible*/) {}

    // Whether the windows are shown on a display a person sees: a desktop's
    // are; the headless backend's only when a test says so.
    virtual bool on_a_display() { return true; }

    // Shows the frame after the given rectangles of it changed.
    virtual void show_frame(Window&, std::span<const Rect>) {}

    virtual Size desktop_size() = 0;
    virtual Rect work_area() { return {0, 0, desktop_size().width, desktop_size().height}; }
    virtual std::vector<Rect> work_areas() { return {work_area()}; }
    virtual bool cursor_position(Point& out) = 0;
    // Border sizes around the client area (left, top, right, bottom).
    virtual Rect borders(const Window&) { return {}; }

    // Full screen scales the frame onto the desktop; these map between the
    // two. The defaults are for an unscaled window.
    virtual Point client_to_screen(const Window& w, Point p) { return {p.x + w.position.x, p.y + w.position.y}; }
    virtual Point screen_to_client(const Window& w, Point p) { return {p.x - w.position.x, p.y - w.position.y}; }
};

} // namespace platform
