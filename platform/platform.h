// The platform layer: everything the engine needs from the operating system
// and the desktop, behind one small interface with two backends.
//
//  - sdl2:     a real desktop (window, keyboard, mouse, audio, message boxes).
//  - headless: tests, CI and any run without a display. Nothing blocks: message
//              boxes are answered by a policy and recorded, clocks can be
//              replaced by a manual clock that the test advances, windows
//              are in-memory frames, input comes from a script and sound is
//              rendered into a buffer when the test advances it
//              (platform/headless.h).
//
// Only files under platform/ include SDL or operating-system headers.
#pragma once

#include "platform/audio.h"
#include "platform/bmp_writer.h"
#include "platform/clock.h"
#include "platform/debug.h"
#include "platform/data_folder.h"
#include "platform/display.h"
#include "platform/file.h"
#include "platform/geometry.h"
#include "platform/input.h"
#include "platform/keys.h"
#include "platform/message_box.h"
#include "platform/midi.h"
#include "platform/path_resolve.h"
#include "platform/pixels.h"
#include "platform/process.h"
#include "platform/single_instance.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/trust.h"
#include "platform/window.h"

#include <string>
#include <string_view>

namespace platform {

enum class BackendKind { headless, sdl2 };

// Picks the backend for the run. Without a call, the first use picks:
// headless when QUARN_PLATFORM=headless, when no display is available
// (no DISPLAY / WAYLAND_DISPLAY), or when SDL cannot start; sdl2 otherwise.
void use_backend(BackendKind kind);
BackendKind backend_kind();
std::string_view backend_name();

// For tests: the next `count` backends made throw std::bad_alloc, as when
// memory runs out while the backend is made. 0 clears it.
void fail_backend_creation(int count = 1);

// Releases what the backend holds (sound output, windows, SDL subsystems).
// Safe to call twice.
void shutdown();

// Why the last failing window or sound call of this thread failed, in the
// desktop's own words ("" when it gave none).
std::string backend_error_text();
// True when that failure was about the size asked for (a window larger
// than the desktop can draw, or an empty one): only then do the size
// settings have anything to do with it.
bool backend_error_is_size();

} // namespace platform
