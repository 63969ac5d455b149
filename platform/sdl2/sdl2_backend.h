// The SDL2 backend's parts, shared by its files. Private to platform/.
#pragma once

#include "platform/backend.h"
#include "platform/display_system.h"

#include <SDL.h>

#include <thread>

namespace platform::sdl2_impl {

// Takes SDL's message for the failure of the call just made.
void note_sdl_error(const char* what);

class Sdl2Window final : public Window {
public:
    SDL_Window* sdl = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    Size texture_size;
    // The display's primary, in its own format (sdl2_display.cpp); freed
    // with the renderer.
    SDL_Texture* display_texture = nullptr;
    PixelFormat display_format = PixelFormat::xrgb8888;
    Size display_size;
    bool display_stale = false; // the window lost what it showed

    // Placement. A window manager that frames the window puts the frame
    // where the client area was asked to go, which moves the client area
    // by the frame's border. The first move report after a placement
    // tells that offset, and the window is asked once more, so that the
    // client area lands where it was asked to (see Sdl2Windows::moved).
    Point placed;            // the client position last asked for
    bool placing = false;    // a placement whose outcome is not seen yet
    uint64_t placing_until = 0; // SDL ticks; 0 while the window is hidden
    // Asked to leave full screen of a window manager that has not yet let
    // it go: what it reports meanwhile is not the placement's outcome.
    bool leaving_full_screen = false;
    // Once it has: SDL ticks until which its reports at the asked place,
    // or framed around it, are taken as its answer to the return to the
    // normal place; each such report extends it, any other report ends
    // it. 0 when not returning.
    uint64_t returning_until = 0;
    // The place asked on leaving full screen; `placed` is then moved, as
    // at creation, where the whole frame is on the screen once the
    // manager tells the frame, and reports around either place are its.
    Point returning_asked;

    // Full screen made by covering the screen with the window, where no
    // window manager does it (see Sdl2Windows::apply_full_screen).
    bool covering = false;
};

class Sdl2Windows final : public WindowSystem {
public:
    std::unique_ptr<Window> create(const WindowDef& def) override;
    void destroy(Window& w) override;
    void pump(Desktop& desktop) override;
    void apply_title(Window& w) override;
    void apply_client_size(Window& w) override;
    void apply_position(Window& w) override;
    void apply_visibility(Window& w) override;
    void apply_caption(Window& w) override;
    void apply_full_screen(Window& w) override;
    void apply_topmost(Window& w) override;
    bool apply_focus(Window& w) override;
    void apply_cursor(bool visible) override;
    void show_frame(Window& w, std::span<const Rect> rects) override;
    Size desktop_size() override;
    Rect work_area() override;
    std::vector<Rect> work_areas() override;
    bool cursor_position(Point& out) override;
    Rect borders(const Window& w) override;
    Point client_to_screen(const Window& w, Point p) override;
    Point screen_to_client(const Window& w, Point p) override;

private:
    void handle(Desktop& desktop, const SDL_Event& event);
    // A move report of a plain window.
    void moved(Sdl2Window& w, Point at);
    // The report `at` is the window's frame put where its client area was
    // asked to go.
    bool framed(const Sdl2Window& w, Point asked, Point at);
    bool returns(Sdl2Window& w, Point at);
    // Asks SDL to put the client area at `at`, and watches the outcome.
    void place(Sdl2Window& w, Point at);
    // The client place near `at` whose frame, of the borders given (left,
    // top, right, bottom), lies wholly on the screens' work areas.
    Point frame_on_screen(const Sdl2Window& w, Point at, const Rect& borders);
    // Once the window is shown and its frame is known, moves it so that
    // the frame is on the screen.
    void keep_frame_on_screen(Sdl2Window& w);
    Size window_size(const Window& w);
};

class Sdl2Display final : public DisplaySystem {
public:
    ~Sdl2Display() override;
    PixelFormat desktop_format() override;
    std::vector<display::Mode> modes() override;
    bool open(Window& w) override;
    void close(Window& w) override;
    void show(Window& w, const PixelView& primary) override;
    bool needs_show(Window& w) override;
    bool read_back(Window& w, std::vector<uint32_t>& pixels, Size& size) override;

private:
    static int watch(void* self, SDL_Event* event);
    std::vector<Sdl2Window*> open_;
};

class Sdl2Audio final : public AudioSystem {
public:
    ~Sdl2Audio() override;
    // Waits for a device that is still closing and lets the audio
    // subsystem go.
    void finish_close();

protected:
    bool open_device(const AudioOutputDef& def, uint32_t& latency_frames) override;
    void close_device() override;
    void run_device(bool running) override;

private:
    static void callback(void* self, Uint8* stream, int len);
    SDL_AudioDeviceID device_ = 0;
    uint16_t channels_ = 2;
    std::thread closer_; // closes a silenced device beside the caller's work
};

} // namespace platform::sdl2_impl
