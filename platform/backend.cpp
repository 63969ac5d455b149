#include "platform/backend.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

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
thread_local std::string backend_error;
thread_local bool backend_error_size = false;
std::unique_ptr<Backend> active;
int creations_to_fail = 0; // under backend_mutex

bool display_available()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

std::unique_ptr<Backend> make_backend(BackendKind kind)
{
    if (creations_to_fail > 0) {
        --creations_to_fail;
        throw std::bad_alloc();
    }
    forget_lost_display();
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

void Backend::shutdown()
{
    audio().close();
    while (Window* w = desktop_.first()) {
        windows().destroy(*w);
        desktop_.remove(w);
    }
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

void set_backend_error(std::string text, bool about_size)
{
    backend_error = std::move(text);
    backend_error_size = about_size;
}

std::string backend_error_text() { return backend_error; }

bool backend_error_is_size() { return backend_error_size; }

void fail_backend_creation(int count)
{
    std::lock_guard lock(backend_mutex);
    creations_to_fail = count > 0 ? count : 0;
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

} // namespace platform
