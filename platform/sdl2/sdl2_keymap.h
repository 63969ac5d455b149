// Physical keys to key codes. Private to platform/. Takes SDL's scancode as
// a plain number (SDL's scancodes are the USB HID keyboard usages), so that
// the table can be tested without SDL's headers.
#pragma once

#include <cstdint>

namespace platform::sdl2_impl {

// The key code (keys.h) of a physical key, by its position on a US layout;
// 0 for keys the engine has no code for.
uint8_t key_from_scancode(int scancode);

} // namespace platform::sdl2_impl
