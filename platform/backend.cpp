#include "platform/backend.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

struct BackendEntry {
    BackendKind kind;
    const char* name;
    std::unique_ptr<Backend> (*make)();
};

// The one place that names the backends.
constexpr BackendEntry backend_table[] = {
    {BackendKind::sdl2, "sdl2", make_sdl2_backend},
    {BackendKind::headless, "headless", make_headless_backend},
};

std::mutex backend_mutex;
std::unique_ptr<Backend> active;

bool display_available()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

std::unique_ptr<Backend> make_backend(BackendKind kind)
{
    for (const auto& entry : backend_table) {
        if (entry.kind == kind) {
            if (auto backend = entry.make())
                return backend;
        }
    }
    return make_headless_backend();
}

BackendKind preferred_kind()
{
    if (const char* env = std::getenv("QUARN_PLATFORM")) {
        for (const auto& entry : backend_table) {
            if (std::strcmp(env, entry.name) == 0)
                return entry.kind;
        }
    }
    return display_available() ? BackendKind::sdl2 : BackendKind::headless;
}

} // namespace

bool Backend::take_pending_quit(int& exit_code)
{
    if (!quit_pending_)
        return false;
    quit_pending_ = false;
    exit_code = quit_code_;
    return true;
}

void Backend::post_quit(int exit_code)
{
    quit_pending_ = true;
    quit_code_ = exit_code;
}

Backend& current_backend()
{
    std::lock_guard lock(backend_mutex);
    if (!active)
        active = make_backend(preferred_kind());
    return *active;
}

void use_backend(BackendKind kind)
{
    std::lock_guard lock(backend_mutex);
    if (active && active->kind() == kind)
        return;
    if (active)
        active->shutdown();
    active = make_backend(kind);
}

BackendKind backend_kind() { return current_backend().kind(); }

std::string_view backend_name() { return current_backend().name(); }

void shutdown()
{
    std::lock_guard lock(backend_mutex);
    if (active)
        active->shutdown();
    active.reset();
}

WindowHandle active_window() { return current_backend().active_window(); }
WindowHandle last_active_popup(WindowHandle owner) { return current_backend().last_active_popup(owner); }
void hide_window(WindowHandle window) { current_backend().hide_window(window); }
void show_cursor_until_visible() { current_backend().show_cursor_until_visible(); }
bool take_pending_quit(int& exit_code) { return current_backend().take_pending_quit(exit_code); }
void post_quit(int exit_code) { current_backend().post_quit(exit_code); }

} // namespace platform
