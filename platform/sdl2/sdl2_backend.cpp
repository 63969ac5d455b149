// The SDL2 backend: the real desktop.
#include "platform/backend.h"

#include <SDL.h>

#include <vector>

namespace platform {

namespace {

struct ButtonSpec {
    BoxAnswer answer;
    const char* label;
};

std::vector<ButtonSpec> buttons_of(BoxButtons set)
{
    switch (set) {
    case BoxButtons::ok:
        return {{BoxAnswer::ok, "OK"}};
    case BoxButtons::retry_cancel:
        return {{BoxAnswer::retry, "Retry"}, {BoxAnswer::cancel, "Cancel"}};
    case BoxButtons::abort_retry_ignore:
        return {{BoxAnswer::abort, "Abort"}, {BoxAnswer::retry, "Retry"}, {BoxAnswer::ignore, "Ignore"}};
    }
    return {{BoxAnswer::ok, "OK"}};
}

Uint32 flags_of(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::error:
        return SDL_MESSAGEBOX_ERROR;
    case BoxIcon::warning:
        return SDL_MESSAGEBOX_WARNING;
    case BoxIcon::information:
    case BoxIcon::none:
        break;
    }
    return SDL_MESSAGEBOX_INFORMATION;
}

class Sdl2Backend final : public Backend {
public:
    const char* name() const override { return "sdl2"; }
    BackendKind kind() const override { return BackendKind::sdl2; }

    BoxAnswer message_box(const BoxRequest& request) override
    {
        const auto specs = buttons_of(request.buttons);
        std::vector<SDL_MessageBoxButtonData> buttons;
        for (size_t i = 0; i < specs.size(); ++i) {
            Uint32 flags = 0;
            if (static_cast<int>(i) == request.default_button)
                flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
            buttons.push_back({flags, static_cast<int>(i), specs[i].label});
        }
        SDL_MessageBoxData data{};
        data.flags = flags_of(request.icon);
        data.window = static_cast<SDL_Window*>(request.owner);
        data.title = request.caption.c_str();
        data.message = request.text.c_str();
        data.numbuttons = static_cast<int>(buttons.size());
        data.buttons = buttons.data();
        int pressed = -1;
        if (SDL_ShowMessageBox(&data, &pressed) != 0 || pressed < 0 || pressed >= static_cast<int>(specs.size()))
            return default_answer(request);
        return specs[static_cast<size_t>(pressed)].answer;
    }

    WindowHandle active_window() override { return SDL_GetKeyboardFocus(); }

    void hide_window(WindowHandle window) override
    {
        if (window)
            SDL_HideWindow(static_cast<SDL_Window*>(window));
    }

    void show_cursor_until_visible() override { SDL_ShowCursor(SDL_ENABLE); }

    bool take_pending_quit(int& exit_code) override
    {
        SDL_PumpEvents();
        SDL_Event event;
        if (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_QUIT, SDL_QUIT) == 1) {
            exit_code = quit_code_;
            return true;
        }
        return Backend::take_pending_quit(exit_code);
    }

    void post_quit(int exit_code) override
    {
        SDL_Event event{};
        event.type = SDL_QUIT;
        // SDL's quit event carries no code; the code is kept beside it.
        if (SDL_PushEvent(&event) != 1)
            Backend::post_quit(exit_code);
        quit_code_ = exit_code;
    }

    void shutdown() override
    {
        if (started_) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            started_ = false;
        }
    }

    bool start()
    {
        started_ = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        return started_;
    }

private:
    bool started_ = false;
    int quit_code_ = 0;
};

} // namespace

std::unique_ptr<Backend> make_sdl2_backend()
{
    auto backend = std::make_unique<Sdl2Backend>();
    if (!backend->start())
        return nullptr;
    return backend;
}

} // namespace platform
