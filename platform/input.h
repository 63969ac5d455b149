// Keyboard and mouse, polled.
#pragma once

#include "platform/geometry.h"
#include "platform/keys.h"

#include <array>
#include <cstdint>

namespace platform {

using KeyboardState = std::array<uint8_t, 256>;

// The state of every key code (keys.h): bit 7 set while the key is down,
// bit 0 flipped at each press. Mouse buttons count as keys (vk::lbutton...).
// Like the desktop the engine was written for, it reflects the key and
// button messages that peek_message() has taken so far, not the keyboard
// at this instant. Shift, Ctrl and Alt have their generic entries (vk::shift,
// vk::control, vk::menu) set while either side is down.
KeyboardState keyboard_state();

// One entry of the above.
uint8_t key_state(uint8_t key);

// The cursor's position on the desktop. False when it cannot be read; `out`
// is then left as it was.
[[nodiscard]] bool cursor_position(Point& out);

} // namespace platform
