// The physical-key table of the SDL2 backend. SDL's scancodes are the USB
// HID keyboard usages, which is what the numbers below are.
#include "platform/sdl2/sdl2_keymap.h"

#include "platform/keys.h"

#include <gtest/gtest.h>

namespace {

using platform::sdl2_impl::key_from_scancode;
namespace vk = platform::vk;

TEST(Sdl2Keymap, LettersDigitsAndFunctionKeys)
{
    EXPECT_EQ(key_from_scancode(4), 'A');
    EXPECT_EQ(key_from_scancode(29), 'Z');
    EXPECT_EQ(key_from_scancode(30), '1');
    EXPECT_EQ(key_from_scancode(38), '9');
    EXPECT_EQ(key_from_scancode(39), '0');
    EXPECT_EQ(key_from_scancode(58), vk::f1);
    EXPECT_EQ(key_from_scancode(62), vk::f5);
    EXPECT_EQ(key_from_scancode(66), vk::f9);
    EXPECT_EQ(key_from_scancode(69), vk::f12);
}

TEST(Sdl2Keymap, KeysTheGameAndTheFrameworkUse)
{
    EXPECT_EQ(key_from_scancode(40), vk::return_key);
    EXPECT_EQ(key_from_scancode(88), vk::return_key); // keypad Enter
    EXPECT_EQ(key_from_scancode(41), vk::escape);
    EXPECT_EQ(key_from_scancode(44), vk::space);
    EXPECT_EQ(key_from_scancode(79), vk::right);
    EXPECT_EQ(key_from_scancode(80), vk::left);
    EXPECT_EQ(key_from_scancode(81), vk::down);
    EXPECT_EQ(key_from_scancode(82), vk::up);
    EXPECT_EQ(key_from_scancode(224), vk::lcontrol);
    EXPECT_EQ(key_from_scancode(225), vk::lshift);
    EXPECT_EQ(key_from_scancode(226), vk::lmenu);
    EXPECT_EQ(key_from_scancode(228), vk::rcontrol);
    EXPECT_EQ(key_from_scancode(229), vk::rshift);
    EXPECT_EQ(key_from_scancode(230), vk::rmenu);
    EXPECT_EQ(key_from_scancode(98), vk::numpad0);
    EXPECT_EQ(key_from_scancode(89), vk::numpad0 + 1);
}

TEST(Sdl2Keymap, UnknownAndOutOfRangeCodesGiveNoKey)
{
    EXPECT_EQ(key_from_scancode(0), 0);
    EXPECT_EQ(key_from_scancode(-1), 0);
    EXPECT_EQ(key_from_scancode(100000), 0);
}

} // namespace
