// Windows as the engine sees them: opaque handles.
#pragma once

namespace platform {

// An opaque window handle. Null means "no window".
using WindowHandle = void*;

// The window that has the keyboard focus in this process, or null.
WindowHandle active_window();

// The last popup that `owner` opened and that is still up, or `owner`.
WindowHandle last_active_popup(WindowHandle owner);

// Hides a window (no-op for null).
void hide_window(WindowHandle window);

// Makes sure the mouse cursor is visible (error boxes need it).
void show_cursor_until_visible();

// Quit requests. A quit that was pending while a modal box ran is taken out
// of the queue first and posted again afterwards, so it is not lost.
bool take_pending_quit(int& exit_code);
void post_quit(int exit_code);

} // namespace platform
