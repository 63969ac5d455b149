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
//
// It is meant for a poll once a frame: between two pumps (the turns of
// peek_message() that take what waits) a key changes at most once for it.
// A key pressed and released within one pump reads down until the next
// pump and up after it, as if held for a frame, so a tap or a click that
// came and went between two polls is still seen; quick taps in a row take
// two pumps each. Held keys read as the messages say.
KeyboardState keyboard_state();

// One key as the messages taken so far say, whether or not a poll has
// seen it yet.
uint8_t key_state(uint8_t key);

// The cursor's position on the desktop. False when it cannot be read; `out`
// is then left as it was.
[[nodiscard]] bool cursor_position(Point& out);

} // namespace platform
