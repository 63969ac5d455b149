// The contract each backend implements. Private to platform/.
#pragma once

#include "platform/audio_system.h"
#include "platform/desktop.h"
#include "platform/platform.h"
#include "platform/window_system.h"

#include <memory>
#include <optional>

namespace platform {

class DisplaySystem;

// A backend is one implementation of each concern (window system, sound
// output) plus message boxes. Operations a backend leaves out get the
// defaults below, which are what a process without any window would do.
class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;
    virtual BackendKind kind() const = 0;

    // The answer, or nothing when the box could not be shown (the reason
    // then in backend_error_text()).
    virtual std::optional<BoxAnswer> message_box(const BoxRequest& request) = 0;
    virtual WindowHandle last_active_popup(WindowHandle owner) { return owner; }

    virtual WindowSystem& windows() = 0;
    virtual AudioSystem& audio() = 0;
    virtual DisplaySystem& display() = 0;

    // Closes the sound output and destroys the windows; a backend that
    // overrides it calls this first, then releases its own resources.
    virtual void shutdown();

    Desktop& desktop() { return desktop_; }
    bool cursor_visible = true;
    int cursor_count = 0; // show_cursor()'s counter

private:
    Desktop desktop_;
};

Backend& current_backend();

// Records the text that backend_error_text() gives on this thread, and
// whether the size asked for was the cause.
void set_backend_error(std::string text, bool about_size = false);

// For the backends: the display is gone. Runs the program's handler
// (on_display_lost) once.
void display_lost();

// True once for each request to end from outside that arrived while
// catch_end_signals() had the signals (posix/end_signals.cpp).
bool take_end_request();
// Whether such a request waits to be taken (take_end_request leaves it).
bool end_request_pending();
// Whether a request was taken: the program is on its way out, and no box
// waits for an answer any more.
bool ending_on_request();

// Both return null when the backend cannot start here.
std::unique_ptr<Backend> make_headless_backend();
std::unique_ptr<Backend> make_sdl2_backend();

} // namespace platform
