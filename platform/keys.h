// Key codes as the engine's 256-entry key state indexes them: the virtual-key
// numbering of the desktop the engine was written for. Letters and digits
// are their upper-case ASCII codes ('A'..'Z', '0'..'9').
#pragma once

#include <cstdint>

namespace platform::vk {

inline constexpr uint8_t lbutton = 0x01;
inline constexpr uint8_t rbutton = 0x02;
inline constexpr uint8_t mbutton = 0x04;
inline constexpr uint8_t xbutton1 = 0x05;
inline constexpr uint8_t xbutton2 = 0x06;
inline constexpr uint8_t back = 0x08;
inline constexpr uint8_t tab = 0x09;
inline constexpr uint8_t clear = 0x0C;
inline constexpr uint8_t return_key = 0x0D;
inline constexpr uint8_t shift = 0x10;   // either Shift key
inline constexpr uint8_t control = 0x11; // either Ctrl key
inline constexpr uint8_t menu = 0x12;    // either Alt key
inline constexpr uint8_t pause = 0x13;
inline constexpr uint8_t capital = 0x14; // Caps Lock
inline constexpr uint8_t escape = 0x1B;
inline constexpr uint8_t space = 0x20;
inline constexpr uint8_t prior = 0x21; // Page Up
inline constexpr uint8_t next = 0x22;  // Page Down
inline constexpr uint8_t end = 0x23;
inline constexpr uint8_t home = 0x24;
inline constexpr uint8_t left = 0x25;
inline constexpr uint8_t up = 0x26;
inline constexpr uint8_t right = 0x27;
inline constexpr uint8_t down = 0x28;
inline constexpr uint8_t snapshot = 0x2C; // Print Screen
inline constexpr uint8_t insert = 0x2D;
inline constexpr uint8_t delete_key = 0x2E;
inline constexpr uint8_t lwin = 0x5B;
inline constexpr uint8_t rwin = 0x5C;
inline constexpr uint8_t apps = 0x5D;
inline constexpr uint8_t numpad0 = 0x60; // numpad1..numpad9 follow
inline constexpr uint8_t multiply = 0x6A;
inline constexpr uint8_t add = 0x6B;
inline constexpr uint8_t subtract = 0x6D;
inline constexpr uint8_t decimal = 0x6E;
inline constexpr uint8_t divide = 0x6F;
inline constexpr uint8_t f1 = 0x70; // f2..f24 follow
inline constexpr uint8_t f5 = 0x74;
inline constexpr uint8_t f9 = 0x78;
inline constexpr uint8_t f10 = 0x79;
inline constexpr uint8_t f12 = 0x7B;
inline constexpr uint8_t numlock = 0x90;
inline constexpr uint8_t scroll = 0x91;
inline constexpr uint8_t lshift = 0xA0;
inline constexpr uint8_t rshift = 0xA1;
inline constexpr uint8_t lcontrol = 0xA2;
inline constexpr uint8_t rcontrol = 0xA3;
inline constexpr uint8_t lmenu = 0xA4;
inline constexpr uint8_t rmenu = 0xA5;
inline constexpr uint8_t oem_1 = 0xBA;      // ;:
inline constexpr uint8_t oem_plus = 0xBB;   // =+
inline constexpr uint8_t oem_comma = 0xBC;  // ,<
inline constexpr uint8_t oem_minus = 0xBD;  // -_
inline constexpr uint8_t oem_period = 0xBE; // .>
inline constexpr uint8_t oem_2 = 0xBF;      // /?
inline constexpr uint8_t oem_3 = 0xC0;      // `~
inline constexpr uint8_t oem_4 = 0xDB;      // [{
inline constexpr uint8_t oem_5 = 0xDC;      // backslash |
inline constexpr uint8_t oem_6 = 0xDD;      // ]}
inline constexpr uint8_t oem_7 = 0xDE;      // '"
inline constexpr uint8_t oem_102 = 0xE2;    // the extra key of ISO keyboards

} // namespace platform::vk
