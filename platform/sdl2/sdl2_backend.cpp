// The SDL2 backend: the real desktop.
#include "platform/sdl2/sdl2_backend.h"
#include "platform/posix/box_copy_watch.h"
#include "platform/sdl2/sdl2_x11.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace platform {

namespace sdl2_impl {

void note_sdl_error(const char* what) { set_backend_error(std::string(what) + ": " + SDL_GetError()); }

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

const char* named_env(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// The video drivers SDL may try. Left alone, SDL goes on from a display
// that cannot be opened to drivers that show nothing on the desktop
// (KMSDRM, offscreen), and the game would run unseen and never end. So only
// the desktop's own drivers are tried, each where its display is named,
// unless a driver was asked for by name (SDL_VIDEODRIVER; tests ask for
// "dummy").
struct DesktopDrivers {
    std::string asked;   // SDL_VIDEODRIVER, when set
    std::string list;    // for SDL_HINT_VIDEODRIVER, in SDL's own order
    std::string failure; // what it means when none of them starts
};

DesktopDrivers desktop_drivers()
{
    DesktopDrivers out;
    if (const char* asked = named_env("SDL_VIDEODRIVER")) {
        out.asked = asked;
        return out;
    }
    if (const char* x11 = named_env("DISPLAY")) {
        out.list = "x11";
        out.failure = std::string("cannot open display ") + x11;
    }
    if (const char* wayland = named_env("WAYLAND_DISPLAY")) {
        out.list += out.list.empty() ? "wayland" : ",wayland";
        out.failure += out.failure.empty() ? "cannot open" : " nor";
        out.failure += std::string(" Wayland display ") + wayland;
    }
    return out;
}

// True when `driver` is one of the comma-separated names of `list`, in
// any case, as SDL compares them.
bool names_driver(const std::string& list, const std::string& driver)
{
    size_t from = 0;
    for (;;) {
        const size_t comma = list.find(',', from);
        const std::string name = list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        if (!driver.empty() && SDL_strcasecmp(name.c_str(), driver.c_str()) == 0)
            return true;
        if (comma == std::string::npos)
            return false;
        from = comma + 1;
    }
}

class Sdl2Backend final : public Backend {
public:
    const char* name() const override { return "sdl2"; }
    BackendKind kind() const override { return BackendKind::sdl2; }

    std::optional<BoxAnswer> message_box(const BoxRequest& request) override
    {
        if (const std::optional<BoxAnswer> answer = answer_by_policy(request))
            return answer;
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
        auto* owner = dynamic_cast<Sdl2Window*>(desktop().find(request.owner));
        data.window = owner ? owner->sdl : nullptr;
        data.title = request.caption.c_str();
        data.message = request.text.c_str();
        data.numbuttons = static_cast<int>(buttons.size());
        data.buttons = buttons.data();
        int pressed = -1;
        int shown = -1;
        bool ended = false, display_gone = false;
        // Any of the program's windows: they share one connection.
        SDL_Window* on_display = owner ? owner->sdl : windows_.any_window();
        {
            // SDL draws an X11 box in a copy of the process and waits for
            // it: the watch ends that copy when the program is asked to end,
            // or when its own connection to the display is gone (killed
            // alone, as xkill does, the copy's box would stay up, of a
            // program with no window left).
            BoxCopyWatch watch(x11_connection_socket(on_display));
            shown = SDL_ShowMessageBox(&data, &pressed);
            ended = watch.ended_copy();
            display_gone = watch.display_gone();
        }
        if (display_gone) {
            // The program ends as on any lost display, through the X
            // library's handler, which the first request on the connection
            // meets; asked here, on the thread that runs the connection,
            // so that nothing else runs first. A box of another thread
            // leaves that to the main thread's next request.
            if (std::this_thread::get_id() == main_thread_)
                x11_round_trip(on_display);
            set_backend_error("the display is gone");
            return std::nullopt;
        }
        if (ended) {
            set_backend_error("the program was asked to end while the box waited");
            return std::nullopt;
        }
        if (shown != 0) {
            note_sdl_error("SDL_ShowMessageBox");
            return std::nullopt;
        }
        // Closed without a button (Escape, the window's close box).
        if (pressed < 0 || pressed >= static_cast<int>(specs.size()))
            return default_answer(request);
        return specs[static_cast<size_t>(pressed)].answer;
    }

    AudioSystem& audio() override { return audio_; }

    void shutdown() override
    {
        Backend::shutdown();
        // A connection that broke is left as it is: closing it would
        // wait on it.
        if (started_ && !display_is_lost()) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            started_ = false;
        }
        // Last, so that a device still closing did so beside the rest.
        audio_.finish_close();
    }

    bool start()
    {
        main_thread_ = std::this_thread::get_id();
        // Closing the window is the program's decision (a close message),
        // not SDL's.
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        // A request to end from outside (SIGINT, SIGTERM) is the program's
        // to take (catch_end_signals), also while a box waits, which SDL's
        // quit event would not end.
        SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
        const DesktopDrivers desktop = desktop_drivers();
        // The list an earlier start in this process set would otherwise
        // win over a driver asked for by name now.
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        if (desktop.asked.empty()) {
            if (desktop.list.empty()) {
                set_backend_error("no display is named (DISPLAY and WAYLAND_DISPLAY are not set)");
                return false;
            }
            // Over the environment: SDL reads an empty SDL_VIDEODRIVER
            // ahead of a hint of normal priority, and then tries every
            // driver it has.
            SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, desktop.list.c_str(), SDL_HINT_OVERRIDE);
        }
        // Before the video starts: SDL keeps the handler it finds and
        // passes errors on to it.
        install_x_error_handler();
        started_ = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        if (!started_) {
            // SDL's own text for a failed driver is of no use here: it
            // names neither the driver nor the display.
            set_backend_error(desktop.asked.empty() ? desktop.failure
                                                    : "the video driver " + desktop.asked + " cannot start");
            return false;
        }
        // A driver asked for by name is the one that runs or none is: a
        // hint left over from an earlier start would otherwise put the run
        // on another driver without a word (a test that names the dummy
        // driver would open real windows, or run on nothing).
        const char* running = SDL_GetCurrentVideoDriver();
        if (!desktop.asked.empty() && !names_driver(desktop.asked, running ? running : "")) {
            set_backend_error("the video driver " + desktop.asked + " was asked for and SDL started " +
                              (running ? running : "none"));
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            started_ = false;
        }
        if (started_) {
            install_x_io_error_handler();
            // The window's place follows the X server's own events (see
            // Sdl2Windows::handle).
            SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
        }
        return started_;
    }

protected:
    WindowSystem& own_windows() override { return windows_; }
    DisplaySystem& own_display() override { return display_; }

private:
    bool started_ = false;
    std::thread::id main_thread_; // the one that started the video
    Sdl2Windows windows_;
    Sdl2Audio audio_;
    Sdl2Display display_;
};

} // namespace

} // namespace sdl2_impl

std::unique_ptr<Backend> make_sdl2_backend()
{
    auto backend = std::make_unique<sdl2_impl::Sdl2Backend>();
    if (!backend->start())
        return nullptr;
    return backend;
}

} // namespace platform
