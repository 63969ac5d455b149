// The application window, its messages and the presentation of frames.
//
// One process drives its windows from one thread (the main thread): every
// function here is for that thread, except post_message() and post_quit(),
// which any thread may call. Messages come out of peek_message() in the
// order they arose; their numbers and parameters follow the desktop the
// engine was written for, so that its window procedure reads them as it
// always did.
#pragma once

#include "platform/geometry.h"
#include "platform/pixels.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// An opaque window handle. Null means "no window".
using WindowHandle = void*;

// Message numbers.
namespace msg {
inline constexpr uint32_t paint = 0x000F;        // see take_update_rect()
inline constexpr uint32_t close = 0x0010;        // the user asks to close; nothing is closed yet
inline constexpr uint32_t quit = 0x0012;         // thread message; wparam = exit code
inline constexpr uint32_t activate_app = 0x001C; // wparam 1: the application became active, 0: inactive
inline constexpr uint32_t key_down = 0x0100;     // wparam = key code (keys.h); lparam below
inline constexpr uint32_t key_up = 0x0101;
inline constexpr uint32_t sys_key_down = 0x0104; // a key while Alt is held (without Ctrl), Alt itself, F10
inline constexpr uint32_t sys_key_up = 0x0105;
inline constexpr uint32_t mouse_move = 0x0200;   // lparam = client x | y << 16; wparam = mk_ flags
inline constexpr uint32_t lbutton_down = 0x0201;
inline constexpr uint32_t lbutton_up = 0x0202;
inline constexpr uint32_t rbutton_down = 0x0204;
inline constexpr uint32_t rbutton_up = 0x0205;
inline constexpr uint32_t mbutton_down = 0x0207;
inline constexpr uint32_t mbutton_up = 0x0208;
inline constexpr uint32_t mouse_leave = 0x02A3;  // the cursor left the client area
inline constexpr uint32_t mouse_enter = 0x02A4;  // the cursor entered the client area (our own)
inline constexpr uint32_t user = 0x0400;         // first number for the program's own messages
// Numbers the engine's window procedure handles but this platform never
// sends: there is no background to erase and no menu to command. Kept so
// that a program that posts them to itself has one name for them.
inline constexpr uint32_t erase_background = 0x0014;
inline constexpr uint32_t command = 0x0111;
} // namespace msg

// wparam flags of mouse messages: the buttons and modifiers held.
inline constexpr uintptr_t mk_lbutton = 0x01;
inline constexpr uintptr_t mk_rbutton = 0x02;
inline constexpr uintptr_t mk_shift = 0x04;
inline constexpr uintptr_t mk_control = 0x08;
inline constexpr uintptr_t mk_mbutton = 0x10;

// lparam of key messages: repeat count 1 in bits 0-15; the side-specific key
// code (lshift, rmenu, ...) in bits 16-23 where it differs from wparam, else
// 0; bit 29 set while Alt is down; bit 30 set when the key was already down
// (auto-repeat); bit 31 set for a release.
inline constexpr intptr_t key_alt_bit = intptr_t(1) << 29;
inline constexpr intptr_t key_was_down_bit = intptr_t(1) << 30;
inline constexpr intptr_t key_release_bit = intptr_t(1) << 31;

struct Message {
    WindowHandle window = nullptr; // null for thread messages (quit)
    uint32_t id = 0;
    uintptr_t wparam = 0;
    intptr_t lparam = 0;
};

// The signed client coordinates of a mouse message.
inline int message_x(const Message& m) { return int16_t(uint16_t(m.lparam)); }
inline int message_y(const Message& m) { return int16_t(uint16_t(m.lparam >> 16)); }

// Takes the oldest waiting message, after collecting what the desktop has
// delivered. With a window as filter only that window's messages are taken,
// so thread messages (quit) stay queued. A paint message comes only when no
// other message of its window waits. Taking a key or mouse-button message
// updates the key state that keyboard_state() reads.
[[nodiscard]] bool peek_message(Message& out, WindowHandle filter = nullptr);

// Queues a message for a window (null: a thread message). Any thread may
// call it while the backend lives (until platform::shutdown()). False when
// the window is not an existing window of this process.
bool post_message(WindowHandle window, uint32_t id, uintptr_t wparam = 0, intptr_t lparam = 0);

// Creating and placing the window. Positions are those of the client area's
// top-left corner on the desktop; sizes are client sizes.
struct WindowDef {
    std::string class_name = "GameAppWndClass";
    std::string title;
    Size client{640, 480};
    Point position{0, 0};
    bool caption = true;      // false: a bare popup without title bar or border
    bool full_screen = false; // covers the desktop, the frame scaled to fit
    bool topmost = false;
};

// Creates a hidden window; show it with show_window(). Null on failure.
[[nodiscard]] WindowHandle create_window(const WindowDef& def);
void destroy_window(WindowHandle window);

enum class ShowCommand {
    hide,
    show,        // make visible and activate
    show_normal, // restore from minimised, make visible and activate
    minimise,    // the application loses activation
    restore,     // same as show_normal
};
void show_window(WindowHandle window, ShowCommand command);

// Sets the keyboard focus and brings the window to the front; the
// application becomes active.
void focus_window(WindowHandle window);

void set_window_title(WindowHandle window, std::string_view title);
std::string window_title(WindowHandle window);
void set_client_size(WindowHandle window, Size size);
Size client_size(WindowHandle window);
void set_window_position(WindowHandle window, Point position);
Point window_position(WindowHandle window);
// The position of the window as it is when neither minimised nor full
// screen: what a program stores to reopen its window at the same place.
Point normal_window_position(WindowHandle window);
// What the program does when its display goes away under it (the X server
// ends): `handler` runs once, on the thread whose call found the display
// gone, just before the window system ends the process with status 1. It
// must not call the window system or the display; what the platform
// already knows of the windows (normal_window_position()) it may read.
// Null takes the handler away.
void on_display_lost(void (*handler)());

// The window's outer rectangle on the desktop (title bar and border
// included where the desktop tells their size).
Rect window_frame_rect(WindowHandle window);

// Title bar and border on (true) or off; applies to the windowed mode.
void set_window_caption(WindowHandle window, bool caption);
bool window_caption(WindowHandle window);

// Full screen at the desktop's resolution: the client size stays what it
// was and frames are scaled to the desktop, keeping their aspect.
void set_full_screen(WindowHandle window, bool full_screen);
bool is_full_screen(WindowHandle window);

bool is_window(WindowHandle window);
bool is_window_visible(WindowHandle window);
bool is_minimised(WindowHandle window);
// The window in front that takes the keyboard, or null when it is not ours.
WindowHandle foreground_window();

// Client coordinates to desktop coordinates and back. In full screen the
// scaling to the desktop is undone, so client coordinates stay those of the
// frame.
Point client_to_screen(WindowHandle window, Point client);
Point screen_to_client(WindowHandle window, Point screen);

// Whether this process's windows are shown on a display a person sees:
// true on a desktop, false on the headless backend (unless a test said
// otherwise), where nobody could see a window brought to the front.
bool windows_on_a_display();

// The desktop's size and the part that windows may use.
Size desktop_size();
Rect work_area();
// The part windows may use of each screen, the primary screen's first.
std::vector<Rect> work_areas();

// The system cursor over our windows: hidden or shown.
void set_cursor_visible(bool visible);
bool cursor_visible();

// The cursor's display counter: show_cursor(true) raises it, false lowers
// it, and the cursor is shown while the count is 0 or more. Returns the new
// count. Code that hides the cursor for its own reasons and code that shows
// it for a box can so nest without undoing each other. The count starts at
// 0; set_cursor_visible() leaves it alone.
int show_cursor(bool show);

// Keeps the window above every window that is not topmost (on) or lets
// other windows cover it again (off).
void set_window_topmost(WindowHandle window, bool topmost);
bool window_topmost(WindowHandle window);

// Marks part of the client area (all of it without a rectangle) as needing
// paint; a paint message follows once no other message waits.
void invalidate_window(WindowHandle window, const Rect* rect = nullptr);
// The part of the client area that needs paint, as one bounding rectangle;
// taking it marks the window painted. False when nothing needs paint.
bool take_update_rect(WindowHandle window, Rect& out);

// Presents a rectangle of a pixel buffer in the client area at `to`: it is
// converted into the window's frame, clipped to the client area, and shown.
// False when the window or the view is invalid.
bool present(WindowHandle window, const PixelView& source, const Rect& from, Point to);
// Presents several rectangles of one buffer, each at the same position in
// the client area, and shows them at once.
bool present_rects(WindowHandle window, const PixelView& source, std::span<const Rect> rects);
// The window's frame as last presented: client size, xrgb8888. Valid until
// the next call that changes the window. Empty for an invalid window.
PixelView window_frame(WindowHandle window);

// The window that has the keyboard focus in this process, or null.
WindowHandle active_window();

// The last popup that `owner` opened and that is still up, or `owner`.
WindowHandle last_active_popup(WindowHandle owner);

// Hides a window (no-op for null).
void hide_window(WindowHandle window);

// Makes sure the mouse cursor is visible (error boxes need it).
void show_cursor_until_visible();

// Quit requests: a quit message in the queue. take_pending_quit() takes the
// first one out (a modal box does so, and posts it again afterwards, so it
// is not lost).
bool take_pending_quit(int& exit_code);
void post_quit(int exit_code);

} // namespace platform
