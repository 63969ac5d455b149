// The SDL2 backend's parts, shared by its files. Private to platform/.
#pragma once

#include "platform/backend.h"
#include "platform/display_system.h"
#include "platform/sdl2/sdl2_place.h"

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

    // Where the window is, and the place stored (sdl2_place.h).
    WindowPlace place;

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
    // One of the windows made and not destroyed; null when there is none.
    SDL_Window* any_window() const { return windows_.empty() ? nullptr : windows_.front()->sdl; }
    Size desktop_size() override;
    Rect work_area() override;
    std::vector<Rect> work_areas() override;
    bool cursor_position(Point& out) override;
    Rect borders(const Window& w) override;
    Point client_to_screen(const Window& w, Point p) override;
    Point screen_to_client(const Window& w, Point p) override;

private:
    void handle(Desktop& desktop, const SDL_Event& event);
    // Records where the window is, once the desktop has changed it.
    void refresh_place(Sdl2Window& w);
    // Asks for the record's place again after SDL has resized the window.
    void keep_place_after_resize(Sdl2Window& w);
    Size window_size(const Window& w);

    std::vector<Sdl2Window*> windows_;
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
