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

    // The backend's windows and display; once the display is gone
    // (display_is_lost), ones that ask nothing of it, so that no call made
    // on the way out (a report's box hiding the window, a frame shown)
    // waits on a connection that can no longer answer.
    WindowSystem& windows();
    DisplaySystem& display();
    virtual AudioSystem& audio() = 0;

    // Closes the sound output and destroys the windows; a backend that
    // overrides it calls this first, then releases its own resources.
    virtual void shutdown();

    Desktop& desktop() { return desktop_; }
    bool cursor_visible = true;
    int cursor_count = 0; // show_cursor()'s counter

protected:
    virtual WindowSystem& own_windows() = 0;
    virtual DisplaySystem& own_display() = 0;

private:
    Desktop desktop_;
};

Backend& current_backend();

// Records the text that backend_error_text() gives on this thread, and
// whether the size asked for was the cause.
void set_backend_error(std::string text, bool about_size = false);

// For the backends: the display is gone. From now on nothing is asked of
// it (Backend::windows() and display(), and no box is shown); then the
// program's handler (on_display_lost) runs, once.
void display_lost();
// Whether the display went away under the current backend.
bool display_is_lost();
// A backend made afterwards has a display of its own again.
void forget_lost_display();

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
