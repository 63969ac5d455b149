// The generic side of windows: records, messages, presentation. Each call
// updates the record and has the backend mirror it.
#include "platform/backend.h"
#include "platform/display_system.h"

#include <algorithm>

namespace platform {

namespace {

struct Current {
    Backend& backend;
    Desktop& desktop;
    WindowSystem& system;
};

Current current()
{
    Backend& b = current_backend();
    return {b, b.desktop(), b.windows()};
}

// Remembers where the window sits while it is a plain window, so that the
// position stored at exit is a useful one.
void note_normal_position(Window& w)
{
    if (!w.minimised && !w.full_screen)
        w.normal_position = w.position;
}

} // namespace

bool peek_message(Message& out, WindowHandle filter)
{
    auto [backend, desktop, system] = current();
    // Taking messages marks the turn of a main-loop iteration: what the
    // displays drew since the last one is shown now, once.
    display::flush();
    system.pump(desktop);
    if (take_end_request())
        desktop.ask_to_end();
    return desktop.take(out, filter);
}

bool post_message(WindowHandle window, uint32_t id, uintptr_t wparam, intptr_t lparam)
{
    // Checked and queued under one taking of the queue's lock: a window
    // destroyed by the main thread in between would otherwise leave a
    // message for a dead handle in the queue.
    return current_backend().desktop().post_if_exists({window, id, wparam, lparam});
}

WindowHandle create_window(const WindowDef& def)
{
    auto [backend, desktop, system] = current();
    if (def.client.width <= 0 || def.client.height <= 0) {
        set_backend_error("a window cannot be " + std::to_string(def.client.width) + " x " +
                              std::to_string(def.client.height),
                          true);
        return nullptr;
    }
    auto made = system.create(def);
    if (!made)
        return nullptr;
    made->fit_frame();
    note_normal_position(*made);
    return desktop.add(std::move(made));
}

void destroy_window(WindowHandle handle)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    if (!w)
        return;
    if (desktop.focus() == w)
        desktop.activate(w, false);
    system.destroy(*w);
    desktop.remove(w);
}

void show_window(WindowHandle handle, ShowCommand command)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    if (!w)
        return;
    switch (command) {
    case ShowCommand::hide:
        w->visible = false;
        system.apply_visibility(*w);
        if (desktop.focus() == w)
            desktop.activate(w, false);
        return;
    case ShowCommand::minimise:
        w->visible = true;
        w->minimised = true;
        system.apply_visibility(*w);
        if (desktop.focus() == w)
            desktop.activate(w, false);
        return;
    case ShowCommand::show:
    case ShowCommand::show_normal:
    case ShowCommand::restore: {
        const bool was_hidden = !w->visible || w->minimised;
        w->visible = true;
        if (command != ShowCommand::show)
            w->minimised = false;
        system.apply_visibility(*w);
        if (was_hidden && !w->minimised)
            w->add_update({0, 0, w->client.width, w->client.height});
        if (!w->minimised && system.apply_focus(*w))
            desktop.activate(w, true);
        return;
    }
    }
}

void focus_window(WindowHandle handle)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    if (w && w->visible && !w->minimised && system.apply_focus(*w))
        desktop.activate(w, true);
}

void set_window_title(WindowHandle handle, std::string_view title)
{
    auto [backend, desktop, system] = current();
    if (Window* w = desktop.find(handle)) {
        w->title = title;
        system.apply_title(*w);
    }
}

std::string window_title(WindowHandle handle)
{
    Window* w = current_backend().desktop().find(handle);
    return w ? w->title : std::string();
}

void set_client_size(WindowHandle handle, Size size)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    if (!w || size.width <= 0 || size.height <= 0 || size == w->client)
        return;
    w->client = size;
    w->fit_frame();
    system.apply_client_size(*w);
    w->add_update({0, 0, size.width, size.height});
}

Size client_size(WindowHandle handle)
{
    Window* w = current_backend().desktop().find(handle);
    return w ? w->client : Size{};
}

void set_window_position(WindowHandle handle, Point position)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    if (!w)
        return;
    if (w->full_screen || w->minimised) {
        // Takes effect when the window is a plain window again.
        w->normal_position = position;
        return;
    }
    w->position = position;
    note_normal_position(*w);
    system.apply_position(*w);
}

Point window_position(WindowHandle handle)
{
    Window* w = current_backend().desktop().find(handle);
    return w ? w->position : Point{};
}

Point normal_window_position(WindowHandle handle)
{
    Window* w = current_backend().desktop().find(handle);
    return w ? w->normal_position : Point{};
}

Rect window_frame_rect(WindowHandle handle)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    if (!w)
        return {};
    if (w->full_screen) {
        const Size d = system.desktop_size();
        return {0, 0, d.width, d.height};
    }
    return frame_around(w->position, w->client, system.borders(*w));
}

void set_window_caption(WindowHandle handle, bool caption)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    if (!w || w->caption == caption)
        return;
    w->caption = caption;
    system.apply_caption(*w);
}

bool window_caption(WindowHandle handle)
{
    Window* w = current_backend().desktop().find(handle);
    return w && w->caption;
}

void set_full_screen(WindowHandle handle, bool full_screen)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    if (!w || w->full_screen == full_screen)
        return;
    note_normal_position(*w);
    w->full_screen = full_screen;
    if (full_screen)
        w->position = {0, 0};
    else
        w->position = w->normal_position;
    system.apply_full_screen(*w);
    w->add_update({0, 0, w->client.width, w->client.height});
}

bool is_full_screen(WindowHandle handle)
{
    Window* w = current_backend().desktop().find(handle);
    return w && w->full_screen;
}

bool is_window(WindowHandle handle) { return current_backend().desktop().exists(handle); }

bool is_window_visible(WindowHandle handle)
{
    Window* w = current_backend().desktop().find(handle);
    return w && w->visible;
}

bool is_minimised(WindowHandle handle)
{
    Window* w = current_backend().desktop().find(handle);
    return w && w->minimised;
}

WindowHandle foreground_window() { return current_backend().desktop().focus(); }

WindowHandle active_window() { return current_backend().desktop().focus(); }

WindowHandle last_active_popup(WindowHandle owner) { return current_backend().last_active_popup(owner); }

void hide_window(WindowHandle window) { show_window(window, ShowCommand::hide); }

Point client_to_screen(WindowHandle handle, Point client)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    return w ? system.client_to_screen(*w, client) : client;
}

Point screen_to_client(WindowHandle handle, Point screen)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    return w ? system.screen_to_client(*w, screen) : screen;
}

bool windows_on_a_display() { return current_backend().windows().on_a_display(); }

Size desktop_size() { return current_backend().windows().desktop_size(); }

Rect work_area() { return current_backend().windows().work_area(); }

std::vector<Rect> work_areas() { return current_backend().windows().work_areas(); }

void set_cursor_visible(bool visible)
{
    Backend& b = current_backend();
    b.cursor_visible = visible;
    b.windows().apply_cursor(visible);
}

bool cursor_visible() { return current_backend().cursor_visible; }

int show_cursor(bool show)
{
    Backend& b = current_backend();
    const int count = b.cursor_count + (show ? 1 : -1);
    b.cursor_count = count;
    // Only crossing zero changes what the desktop shows.
    if ((count >= 0) != b.cursor_visible)
        set_cursor_visible(count >= 0);
    return count;
}

void set_window_topmost(WindowHandle handle, bool topmost)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    if (!w || w->topmost == topmost)
        return;
    w->topmost = topmost;
    system.apply_topmost(*w);
}

bool window_topmost(WindowHandle handle)
{
    Window* w = current_backend().desktop().find(handle);
    return w && w->topmost;
}

void show_cursor_until_visible() { set_cursor_visible(true); }

void invalidate_window(WindowHandle handle, const Rect* rect)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    if (w)
        desktop.invalidate(*w, rect ? *rect : Rect{0, 0, w->client.width, w->client.height});
}

bool take_update_rect(WindowHandle handle, Rect& out)
{
    Window* w = current_backend().desktop().find(handle);
    if (!w || w->update.empty())
        return false;
    out = w->update;
    w->update = {};
    w->paint_queued = false;
    return true;
}

bool present(WindowHandle handle, const PixelView& source, const Rect& from, Point to)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    if (!w || !valid(source))
        return false;
    const Rect written = convert_pixels(source, from, w->frame(), to);
    ++w->presents;
    if (!written.empty())
        system.show_frame(*w, std::span(&written, 1));
    return true;
}

bool present_rects(WindowHandle handle, const PixelView& source, std::span<const Rect> rects)
{
    auto [backend, desktop, system] = current();
    Window* w = desktop.find(handle);
    if (!w || !valid(source))
        return false;
    std::vector<Rect> written;
    written.reserve(rects.size());
    for (const Rect& r : rects) {
        const Rect done = convert_pixels(source, r, w->frame(), {r.x, r.y});
        if (!done.empty())
            written.push_back(done);
    }
    ++w->presents;
    if (!written.empty())
        system.show_frame(*w, written);
    return true;
}

PixelView window_frame(WindowHandle handle)
{
    Window* w = current_backend().desktop().find(handle);
    if (w)
        sync_display_frame(*w);
    return w ? PixelView(w->frame()) : PixelView{};
}

bool take_pending_quit(int& exit_code)
{
    auto [backend, desktop, system] = current();
    system.pump(desktop);
    return desktop.take_quit(exit_code);
}

void post_quit(int exit_code) { current_backend().desktop().post({nullptr, msg::quit, uintptr_t(exit_code), 0}); }

KeyboardState keyboard_state() { return current_backend().desktop().poll_keys(); }

uint8_t key_state(uint8_t key) { return current_backend().desktop().keys()[key]; }

bool cursor_position(Point& out)
{
    // What has happened by now counts, whether or not its messages were
    // taken yet: the cursor is where the desktop has put it.
    auto [backend, desktop, system] = current();
    system.pump(desktop);
    return system.cursor_position(out);
}

} // namespace platform
