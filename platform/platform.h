// The platform layer: everything the engine needs from the operating system
// and the desktop, behind one small interface with two backends.
//
//  - sdl2:     a real desktop (window, keyboard, mouse, audio, message boxes).
//  - headless: tests, CI and any run without a display. Nothing blocks: message
//              boxes are answered by a policy and recorded, clocks can be
//              replaced by a manual clock that the test advances.
//
// Only files under platform/ include SDL or operating-system headers.
#pragma once

#include "platform/clock.h"
#include "platform/debug.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/path_resolve.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "platform/window.h"

#include <string_view>

namespace platform {

enum class BackendKind { headless, sdl2 };

// Picks the backend for the run. Without a call, the first use picks:
// headless when QUARN_PLATFORM=headless, when no display is available
// (no DISPLAY / WAYLAND_DISPLAY), or when SDL cannot start; sdl2 otherwise.
void use_backend(BackendKind kind);
BackendKind backend_kind();
std::string_view backend_name();

// Releases what the backend holds (SDL subsystems). Safe to call twice.
void shutdown();

} // namespace platform
