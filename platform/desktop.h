// What both backends share about windows: the window records, the message
// queue and the key state. Private to platform/.
#pragma once

#include "platform/input.h"
#include "platform/window.h"

#include <array>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

// A window as the platform keeps it. Backends derive from it to add their
// own handles; the fields here are the truth that queries answer from, and
// the backends keep them in step with what the desktop reports.
class Window {
public:
    virtual ~Window() = default;

    std::string class_name;
    std::string title;
    Size client;
    Point position;        // client area's top-left on the desktop
    Point normal_position; // the same, the last time the window was neither minimised nor full screen
    bool caption = true;
    bool topmost = false;
    bool visible = false;
    bool minimised = false;
    bool full_screen = false;
    bool mouse_inside = false;

    std::vector<uint32_t> pixels; // the frame, xrgb8888
    Size frame_size;              // the frame's size; fit_frame() makes it the client size
    Rect update;                  // needs paint; empty when painted
    bool paint_queued = false;    // a paint message is owed
    uint64_t presents = 0;

    // Takes the title, sizes, place and style a window is created with; a
    // full-screen window starts at the desktop's origin.
    void take_definition(const WindowDef& def);

    PixelSurface frame() { return {pixels.data(), frame_size.width * 4, PixelFormat::xrgb8888, frame_size.width, frame_size.height}; }
    // Makes the frame fit the client size, keeping what fits, black elsewhere.
    void fit_frame();
    void add_update(const Rect& r);
};

class Desktop {
public:
    // Window records. find() answers null for anything that is not a live
    // window, so stale handles are harmless.
    Window* add(std::unique_ptr<Window> window);
    std::unique_ptr<Window> remove(WindowHandle handle);
    Window* find(WindowHandle handle);
    Window* first();
    bool exists(WindowHandle handle);

    // The queue. Any thread may post.
    void post(const Message& message);
    // Queues a window's message only while the window exists (thread
    // messages always), checking and queueing under one lock. Destroying
    // a window drops its queued messages, so none outlives its window.
    bool post_if_exists(const Message& message);
    bool take(Message& out, WindowHandle filter);
    bool take_quit(int& exit_code);
    // A request to end from outside (a signal): the first window is asked
    // to close, so that the program ends the way it always does; without a
    // window, a quit.
    void ask_to_end();

    // Events as the backends see them; each becomes messages.
    void key(Window* window, uint8_t key, bool down);
    void mouse_move(Window* window, Point client);
    void mouse_leave(Window* window);
    void mouse_button(Window* window, uint8_t button, bool down, Point client);
    // The application gains or loses activation with `window` in front.
    // Losing it releases every held key and button first.
    void activate(Window* window, bool active);
    void invalidate(Window& window, const Rect& rect);

    Window* focus() { return app_active_ ? focus_ : nullptr; }
    bool app_active() const { return app_active_; }

    // The key state as the taken messages say (key_state()).
    KeyboardState keys() const { return keys_; }
    // The key state for a poll (keyboard_state()). It follows keys(), but
    // a key changes at most once between two pumps, so that a press
    // released in the same pump reads down until the next pump and up
    // after it: a poll once a frame sees every tap and click.
    KeyboardState poll_keys();

private:
    void apply_to_keys(const Message& message);
    uintptr_t mouse_flags() const;

    mutable std::mutex mutex_; // the queue and the window list
    std::deque<Message> queue_;
    std::vector<std::unique_ptr<Window>> windows_;

    // Main thread only.
    KeyboardState keys_{};          // as the taken messages say
    std::array<bool, 256> held_{};  // as the events say, ahead of the queue
    // The polls' side: whether each key reads down, the changes of keys_
    // that the polls have yet to show, and the keys that changed for the
    // polls since the last pump.
    std::array<bool, 256> polled_down_{};
    std::array<uint8_t, 256> unpolled_{};
    std::array<bool, 256> polled_change_{};
    bool polled_since_take_ = false;
    Window* focus_ = nullptr;
    bool app_active_ = false;
};

// Side-specific keys fold into their generic code (lshift -> shift).
uint8_t generic_key(uint8_t key);

} // namespace platform
