// The contract each backend implements. Private to platform/.
#pragma once

#include "platform/platform.h"

#include <memory>

namespace platform {

// Operations a backend leaves out get the defaults below, which are what a
// process without any window would do.
class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;
    virtual BackendKind kind() const = 0;

    virtual BoxAnswer message_box(const BoxRequest& request) = 0;

    virtual WindowHandle active_window() { return nullptr; }
    virtual WindowHandle last_active_popup(WindowHandle owner) { return owner; }
    virtual void hide_window(WindowHandle) {}
    virtual void show_cursor_until_visible() {}
    virtual bool take_pending_quit(int& exit_code);
    virtual void post_quit(int exit_code);

    virtual void shutdown() {}

private:
    bool quit_pending_ = false;
    int quit_code_ = 0;
};

Backend& current_backend();

// Both return null when the backend cannot start here.
std::unique_ptr<Backend> make_headless_backend();
std::unique_ptr<Backend> make_sdl2_backend();

} // namespace platform
