// Controls of the headless backend, for tests and tools: the fake desktop,
// scripted input, frame dumps and captured sound. On another backend these
// do nothing and report failure.
#pragma once

#include "platform/audio.h"
#include "platform/geometry.h"
#include "platform/window.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::headless {

// True while the headless backend is the one in use.
bool active();

// The fake desktop: 1024 x 768 with all of it usable until changed.
void set_desktop(Size size, Rect work_area);
// Fault: the next `times` window creations fail, as on a desktop that
// refuses the window (0 clears the fault); `for_size` says the size asked
// for was too large for it.
void refuse_windows(int times = 1, bool for_size = false);
// Fault: the next `times` message boxes cannot be shown, as on a desktop
// without a dialog helper (0 clears the fault).
void refuse_boxes(int times = 1);

// The fake desktop is no display a person sees: a program on it has no
// window anyone could bring to the front (windows_on_a_display() is
// false). With true it counts as one, for a test that plays the person at
// the desktop; false again at the next backend.
void put_windows_on_a_display(bool on);

// Scripted input. Each event happens `at_ms` milliseconds after the script
// was fed, by the platform clock (tick_ms(), so a ManualClock drives it);
// peek_message() turns the events whose time has come into messages, in
// order. Positions are desktop coordinates; `window` null means the window
// that was created first (the application window).
enum class InputKind {
    key_down,     // key: a key code (keys.h); held keys repeat only when fed again
    key_up,
    mouse_move,   // position; entering or leaving the client area is reported too
    button_down,  // key: vk::lbutton, vk::rbutton or vk::mbutton; at the current cursor
    button_up,
    activate,     // another application handed the focus back
    deactivate,   // another application took the focus
    close,        // the user asked to close the window
    expose,       // the desktop uncovered the window: all of it needs paint
};

struct InputEvent {
    uint32_t at_ms = 0;
    InputKind kind = InputKind::key_down;
    uint8_t key = 0;
    Point position{};
    WindowHandle window = nullptr;
};

void feed_input(const std::vector<InputEvent>& script);
size_t pending_input();
void clear_input();

// Number of present calls the window has had.
uint64_t present_count(WindowHandle window);
// Writes the window's frame as a 24-bit BMP.
[[nodiscard]] bool dump_frame(WindowHandle window, const std::string& path);

// Sound: the output advances only when told. Renders `frames` frames in
// pieces of the output's buffer size (the last piece may be shorter) and
// appends them to the capture: the fill's samples while playing, silence
// while stopped or paused. Returns the frames rendered (0 when closed).
uint64_t advance_audio(uint64_t frames);
std::vector<int16_t> captured_audio();
void clear_captured_audio();
// Writes the capture as a 16-bit PCM WAV file in the format of the output
// last opened.
[[nodiscard]] bool write_captured_wav(const std::string& path);
// With false, open_audio() fails as on a machine without a sound device.
void set_audio_device_present(bool present);

// The display (display.h). Faults: the next `times` calls of a kind fail
// with `result`; an injected surface_lost also loses the surface, as a
// real loss would. Creation calls count once per surface.
enum class DisplayCall : uint8_t {
    open,         // Display::open
    create_video, // a surface in video memory
    create_system,
    lock,
    unlock,
    blt,
    fill,
    flip,
    restore,
    get_dc,
    release_dc,
    set_key,
    pixel_format,
    count,
};
void fail_display_call(DisplayCall call, uint32_t result, int times = 1);
void clear_display_faults();
// Every live surface is lost (its pixels scrambled) until restored.
void lose_display_surfaces();
// The desktop's depth (15, 16, 24 or 32; 32 at start), which windowed
// displays take.
void set_display_depth(int bits);
// The video memory budget (256 MiB at start).
void set_video_memory(uint64_t bytes);

struct DisplayCounters {
    uint64_t blts = 0;
    uint64_t keyed_blts = 0;
    uint64_t fills = 0;
    uint64_t flips = 0;
    uint64_t locks = 0;
    uint64_t shows = 0; // primaries pushed to their window
};
DisplayCounters display_counters();
void reset_display_counters();

} // namespace platform::headless
