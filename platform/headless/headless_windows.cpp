#include "platform/clock.h"
#include "platform/headless/headless_backend.h"
#include "platform/scaling.h"

namespace platform::headless_impl {

namespace {

// A made-up title bar and border, so that outer and client rectangles
// differ as they do on a real desktop.
constexpr Rect caption_borders{2, 22, 2, 2};

int refused_windows = 0;
bool refused_for_size = false;

} // namespace

void refuse_windows(int times, bool for_size)
{
    refused_windows = times;
    refused_for_size = for_size;
}

std::unique_ptr<Window> HeadlessWindows::create(const WindowDef& def)
{
    if (refused_windows > 0) {
        --refused_windows;
        set_backend_error(refused_for_size ? "headless: the window is too large" : "headless: the window was refused",
                          refused_for_size);
        return nullptr;
    }
    auto w = std::make_unique<Window>();
    w->take_definition(def);
    return w;
}

Rect HeadlessWindows::borders(const Window& w) { return w.caption ? caption_borders : Rect{}; }

Point HeadlessWindows::client_to_screen(const Window& w, Point p)
{
    if (w.full_screen)
        return frame_to_area(w.client, desktop_, p);
    return {p.x + w.position.x, p.y + w.position.y};
}

Point HeadlessWindows::screen_to_client(const Window& w, Point p)
{
    if (w.full_screen)
        return area_to_frame(w.client, desktop_, p);
    return {p.x - w.position.x, p.y - w.position.y};
}

void HeadlessWindows::feed(const std::vector<headless::InputEvent>& script)
{
    const uint32_t now = tick_ms();
    for (const auto& e : script)
        script_.push_back({now + e.at_ms, e});
}

void HeadlessWindows::pump(Desktop& desktop)
{
    const uint32_t now = tick_ms();
    // Events keep their order: one that is not due yet holds back those
    // after it, as a real queue would.
    while (!script_.empty() && int32_t(now - script_.front().at) >= 0) {
        const auto event = script_.front().event;
        script_.pop_front();
        play(desktop, event);
    }
}

void HeadlessWindows::play(Desktop& desktop, const headless::InputEvent& e)
{
    using headless::InputKind;
    Window* w = e.window ? desktop.find(e.window) : desktop.first();
    if (!w)
        return;
    const bool shown = w->visible && !w->minimised;
    const Point client = screen_to_client(*w, cursor_);
    const bool over = shown && Rect{0, 0, w->client.width, w->client.height}.contains(client);
    switch (e.kind) {
    case InputKind::key_down:
    case InputKind::key_up:
        // Keys go to the window with the focus; without it they belong to
        // some other program.
        if (desktop.focus() == w)
            desktop.key(w, e.key, e.kind == InputKind::key_down);
        return;
    case InputKind::mouse_move: {
        cursor_ = e.position;
        const Point at = screen_to_client(*w, cursor_);
        if (shown && Rect{0, 0, w->client.width, w->client.height}.contains(at))
            desktop.mouse_move(w, at);
        else
            desktop.mouse_leave(w);
        return;
    }
    case InputKind::button_down:
        if (!over)
            return;
        // A click on a window in the background brings it forward first.
        if (desktop.focus() != w)
            desktop.activate(w, true);
        desktop.mouse_button(w, e.key, true, client);
        return;
    case InputKind::button_up:
        desktop.mouse_button(w, e.key, false, client);
        return;
    case InputKind::activate:
        if (shown)
            desktop.activate(w, true);
        return;
    case InputKind::deactivate:
        desktop.activate(nullptr, false);
        return;
    case InputKind::close:
        desktop.post({w, msg::close, 0, 0});
        return;
    case InputKind::expose:
        if (shown)
            desktop.invalidate(*w, {0, 0, w->client.width, w->client.height});
        return;
    }
}

} // namespace platform::headless_impl
