#include "platform/desktop.h"

#include <algorithm>

namespace platform {

namespace {

bool is_key_message(uint32_t id)
{
    return id == msg::key_down || id == msg::key_up || id == msg::sys_key_down || id == msg::sys_key_up;
}

intptr_t pack_point(Point p) { return intptr_t(uint16_t(int16_t(p.x))) | intptr_t(uint16_t(int16_t(p.y))) << 16; }

} // namespace

uint8_t generic_key(uint8_t key)
{
    switch (key) {
    case vk::lshift:
    case vk::rshift:
        return vk::shift;
    case vk::lcontrol:
    case vk::rcontrol:
        return vk::control;
    case vk::lmenu:
    case vk::rmenu:
        return vk::menu;
    default:
        return key;
    }
}

void Window::take_definition(const WindowDef& def)
{
    class_name = def.class_name;
    title = def.title;
    client = def.client;
    position = def.full_screen ? Point{0, 0} : def.position;
    normal_position = def.position;
    caption = def.caption;
    topmost = def.topmost;
    full_screen = def.full_screen;
}

void Window::fit_frame()
{
    const Size fresh_size{std::max(client.width, 0), std::max(client.height, 0)};
    if (fresh_size == frame_size)
        return;
    std::vector<uint32_t> fresh(size_t(fresh_size.width) * size_t(fresh_size.height), 0);
    const int w = std::min(fresh_size.width, frame_size.width);
    const int h = std::min(fresh_size.height, frame_size.height);
    for (int y = 0; y < h; ++y) {
        const auto* src = pixels.data() + size_t(y) * size_t(frame_size.width);
        std::copy(src, src + w, fresh.data() + size_t(y) * size_t(fresh_size.width));
    }
    pixels = std::move(fresh);
    frame_size = fresh_size;
}

void Window::add_update(const Rect& r)
{
    const Rect clipped = intersect(r, {0, 0, client.width, client.height});
    if (clipped.empty())
        return;
    if (update.empty()) {
        update = clipped;
    } else {
        const int left = std::min(update.x, clipped.x);
        const int top = std::min(update.y, clipped.y);
        const int right = std::max(update.right(), clipped.right());
        const int bottom = std::max(update.bottom(), clipped.bottom());
        update = {left, top, right - left, bottom - top};
    }
    paint_queued = true;
}

Window* Desktop::add(std::unique_ptr<Window> window)
{
    std::lock_guard lock(mutex_);
    windows_.push_back(std::move(window));
    return windows_.back().get();
}

std::unique_ptr<Window> Desktop::remove(WindowHandle handle)
{
    std::unique_ptr<Window> gone;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(windows_.begin(), windows_.end(), [&](const auto& w) { return w.get() == handle; });
        if (it == windows_.end())
            return nullptr;
        gone = std::move(*it);
        windows_.erase(it);
        // Messages for a destroyed window have nowhere to go.
        std::erase_if(queue_, [&](const Message& m) { return m.window == handle; });
    }
    if (focus_ == gone.get()) {
        focus_ = nullptr;
        app_active_ = false;
    }
    return gone;
}

Window* Desktop::find(WindowHandle handle)
{
    if (!handle)
        return nullptr;
    std::lock_guard lock(mutex_);
    for (const auto& w : windows_) {
        if (w.get() == handle)
            return w.get();
    }
    return nullptr;
}

Window* Desktop::first()
{
    std::lock_guard lock(mutex_);
    return windows_.empty() ? nullptr : windows_.front().get();
}

void Desktop::ask_to_end()
{
    if (Window* w = first())
        post({w, msg::close, 0, 0});
    else
        post({nullptr, msg::quit, 0, 0});
}

bool Desktop::exists(WindowHandle handle) { return find(handle) != nullptr; }

void Desktop::post(const Message& message)
{
    std::lock_guard lock(mutex_);
    queue_.push_back(message);
}

bool Desktop::post_if_exists(const Message& message)
{
    std::lock_guard lock(mutex_);
    if (message.window &&
        std::none_of(windows_.begin(), windows_.end(), [&](const auto& w) { return w.get() == message.window; }))
        return false;
    queue_.push_back(message);
    return true;
}

bool Desktop::take(Message& out, WindowHandle filter)
{
    // A new pump: each key may show the polls its next change.
    if (polled_since_take_) {
        polled_change_.fill(false);
        polled_since_take_ = false;
    }
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(queue_.begin(), queue_.end(), [&](const Message& m) { return !filter || m.window == filter; });
        if (it != queue_.end()) {
            out = *it;
            queue_.erase(it);
        } else {
            // Paint comes last, once nothing else waits, so that several
            // invalidations cost one paint.
            Window* painted = nullptr;
            for (const auto& w : windows_) {
                if (w->paint_queued && !w->update.empty() && (!filter || w.get() == filter)) {
                    painted = w.get();
                    break;
                }
            }
            if (!painted)
                return false;
            painted->paint_queued = false;
            out = {painted, msg::paint, 0, 0};
            return true;
        }
    }
    apply_to_keys(out);
    return true;
}

bool Desktop::take_quit(int& exit_code)
{
    std::lock_guard lock(mutex_);
    auto it = std::find_if(queue_.begin(), queue_.end(), [](const Message& m) { return !m.window && m.id == msg::quit; });
    if (it == queue_.end())
        return false;
    exit_code = int(it->wparam);
    queue_.erase(it);
    return true;
}

KeyboardState Desktop::poll_keys()
{
    polled_since_take_ = true;
    KeyboardState out = keys_;
    for (size_t k = 0; k < out.size(); ++k) {
        if (unpolled_[k] && !polled_change_[k]) {
            polled_down_[k] = !polled_down_[k];
            --unpolled_[k];
            polled_change_[k] = true;
        }
        out[k] = uint8_t((out[k] & 0x7F) | (polled_down_[k] ? 0x80 : 0));
    }
    return out;
}

void Desktop::apply_to_keys(const Message& m)
{
    auto set = [&](uint8_t key, bool down, bool toggle) {
        const bool was_down = keys_[key] & 0x80;
        if (down) {
            if (toggle)
                keys_[key] ^= 1;
            keys_[key] |= 0x80;
        } else {
            keys_[key] &= uint8_t(~0x80);
        }
        if (was_down != down) {
            // Taps come a frame apart for the polls; a key tapped faster
            // than that for long drops its oldest taps (a press and its
            // release) rather than lagging ever further behind.
            constexpr uint8_t most_unpolled = 8;
            if (++unpolled_[key] > most_unpolled)
                unpolled_[key] -= 2;
        }
    };
    switch (m.id) {
    case msg::lbutton_down:
    case msg::lbutton_up:
        set(vk::lbutton, m.id == msg::lbutton_down, true);
        return;
    case msg::rbutton_down:
    case msg::rbutton_up:
        set(vk::rbutton, m.id == msg::rbutton_down, true);
        return;
    case msg::mbutton_down:
    case msg::mbutton_up:
        set(vk::mbutton, m.id == msg::mbutton_down, true);
        return;
    default:
        break;
    }
    if (!is_key_message(m.id) || m.wparam > 255)
        return;
    const bool down = m.id == msg::key_down || m.id == msg::sys_key_down;
    const bool toggle = !(m.lparam & key_was_down_bit);
    const auto generic = uint8_t(m.wparam);
    const auto side = uint8_t((m.lparam >> 16) & 0xFF);
    if (!side || generic_key(side) != generic) {
        set(generic, down, toggle);
        return;
    }
    set(side, down, toggle);
    uint8_t left = vk::lshift, right = vk::rshift;
    if (generic == vk::control) {
        left = vk::lcontrol;
        right = vk::rcontrol;
    } else if (generic == vk::menu) {
        left = vk::lmenu;
        right = vk::rmenu;
    }
    const bool either = (keys_[left] | keys_[right]) & 0x80;
    set(generic, either, toggle && down);
}

uintptr_t Desktop::mouse_flags() const
{
    uintptr_t flags = 0;
    if (held_[vk::lbutton])
        flags |= mk_lbutton;
    if (held_[vk::rbutton])
        flags |= mk_rbutton;
    if (held_[vk::mbutton])
        flags |= mk_mbutton;
    if (held_[vk::lshift] || held_[vk::rshift] || held_[vk::shift])
        flags |= mk_shift;
    if (held_[vk::lcontrol] || held_[vk::rcontrol] || held_[vk::control])
        flags |= mk_control;
    return flags;
}

void Desktop::key(Window* window, uint8_t key, bool down)
{
    if (!window || key == 0)
        return;
    const bool was_down = held_[key];
    // A release of a key that is not down has nothing to report (focus loss
    // released it already).
    if (!down && !was_down)
        return;
    held_[key] = down;
    const uint8_t generic = generic_key(key);
    const bool alt = held_[vk::lmenu] || held_[vk::rmenu] || held_[vk::menu];
    const bool ctrl = held_[vk::lcontrol] || held_[vk::rcontrol] || held_[vk::control];
    // Alt with a key makes the "system" variants, except with Ctrl too
    // (AltGr arrives as Ctrl+Alt); F10 is a system key on its own.
    const bool sys = !ctrl && (alt || generic == vk::menu || generic == vk::f10);
    intptr_t lparam = 1;
    if (key != generic)
        lparam |= intptr_t(key) << 16;
    if (alt || (generic == vk::menu && down))
        lparam |= key_alt_bit;
    if (down && was_down)
        lparam |= key_was_down_bit;
    if (!down)
        lparam |= key_release_bit | key_was_down_bit;
    const uint32_t id = down ? (sys ? msg::sys_key_down : msg::key_down) : (sys ? msg::sys_key_up : msg::key_up);
    post({window, id, generic, lparam});
}

void Desktop::mouse_move(Window* window, Point client)
{
    if (!window)
        return;
    if (!window->mouse_inside) {
        window->mouse_inside = true;
        post({window, msg::mouse_enter, mouse_flags(), pack_point(client)});
    }
    post({window, msg::mouse_move, mouse_flags(), pack_point(client)});
}

void Desktop::mouse_leave(Window* window)
{
    if (!window || !window->mouse_inside)
        return;
    window->mouse_inside = false;
    post({window, msg::mouse_leave, 0, 0});
}

void Desktop::mouse_button(Window* window, uint8_t button, bool down, Point client)
{
    if (!window)
        return;
    if (button != vk::lbutton && button != vk::rbutton && button != vk::mbutton)
        return;
    if (!down && !held_[button])
        return;
    held_[button] = down;
    uint32_t id;
    switch (button) {
    case vk::lbutton:
        id = down ? msg::lbutton_down : msg::lbutton_up;
        break;
    case vk::rbutton:
        id = down ? msg::rbutton_down : msg::rbutton_up;
        break;
    case vk::mbutton:
        id = down ? msg::mbutton_down : msg::mbutton_up;
        break;
    default:
        return;
    }
    post({window, id, mouse_flags(), pack_point(client)});
}

void Desktop::activate(Window* window, bool active)
{
    if (active) {
        if (!window)
            return;
        focus_ = window;
        if (app_active_)
            return;
        app_active_ = true;
        post({window, msg::activate_app, 1, 0});
        return;
    }
    if (!app_active_)
        return;
    Window* losing = window ? window : focus_;
    // Keys held while the focus goes elsewhere would never see their release.
    for (int k = 1; k < 256; ++k) {
        if (!held_[size_t(k)])
            continue;
        if (k == vk::lbutton || k == vk::rbutton || k == vk::mbutton)
            mouse_button(losing, uint8_t(k), false, {});
        else
            key(losing, uint8_t(k), false);
    }
    app_active_ = false;
    if (losing)
        post({losing, msg::activate_app, 0, 0});
}

void Desktop::invalidate(Window& window, const Rect& rect) { window.add_update(rect); }

} // namespace platform
