#include "platform/sdl2/sdl2_keymap.h"

#include "platform/keys.h"

#include <SDL.h>

#include <array>

namespace platform::sdl2_impl {

namespace {

constexpr std::array<uint8_t, SDL_NUM_SCANCODES> make_table()
{
    std::array<uint8_t, SDL_NUM_SCANCODES> t{};
    for (int i = 0; i < 26; ++i)
        t[SDL_SCANCODE_A + i] = uint8_t('A' + i);
    for (int i = 0; i < 9; ++i)
        t[SDL_SCANCODE_1 + i] = uint8_t('1' + i);
    t[SDL_SCANCODE_0] = '0';
    for (int i = 0; i < 12; ++i)
        t[SDL_SCANCODE_F1 + i] = uint8_t(vk::f1 + i);
    for (int i = 0; i < 12; ++i)
        t[SDL_SCANCODE_F13 + i] = uint8_t(vk::f1 + 12 + i);
    for (int i = 0; i < 9; ++i)
        t[SDL_SCANCODE_KP_1 + i] = uint8_t(vk::numpad0 + 1 + i);
    t[SDL_SCANCODE_KP_0] = vk::numpad0;

    t[SDL_SCANCODE_RETURN] = vk::return_key;
    t[SDL_SCANCODE_KP_ENTER] = vk::return_key;
    t[SDL_SCANCODE_ESCAPE] = vk::escape;
    t[SDL_SCANCODE_BACKSPACE] = vk::back;
    t[SDL_SCANCODE_TAB] = vk::tab;
    t[SDL_SCANCODE_SPACE] = vk::space;
    t[SDL_SCANCODE_MINUS] = vk::oem_minus;
    t[SDL_SCANCODE_EQUALS] = vk::oem_plus;
    t[SDL_SCANCODE_LEFTBRACKET] = vk::oem_4;
    t[SDL_SCANCODE_RIGHTBRACKET] = vk::oem_6;
    t[SDL_SCANCODE_BACKSLASH] = vk::oem_5;
    t[SDL_SCANCODE_NONUSHASH] = vk::oem_5;
    t[SDL_SCANCODE_SEMICOLON] = vk::oem_1;
    t[SDL_SCANCODE_APOSTROPHE] = vk::oem_7;
    t[SDL_SCANCODE_GRAVE] = vk::oem_3;
    t[SDL_SCANCODE_COMMA] = vk::oem_comma;
    t[SDL_SCANCODE_PERIOD] = vk::oem_period;
    t[SDL_SCANCODE_SLASH] = vk::oem_2;
    t[SDL_SCANCODE_NONUSBACKSLASH] = vk::oem_102;
    t[SDL_SCANCODE_CAPSLOCK] = vk::capital;
    t[SDL_SCANCODE_PRINTSCREEN] = vk::snapshot;
    t[SDL_SCANCODE_SCROLLLOCK] = vk::scroll;
    t[SDL_SCANCODE_PAUSE] = vk::pause;
    t[SDL_SCANCODE_INSERT] = vk::insert;
    t[SDL_SCANCODE_HOME] = vk::home;
    t[SDL_SCANCODE_PAGEUP] = vk::prior;
    t[SDL_SCANCODE_DELETE] = vk::delete_key;
    t[SDL_SCANCODE_END] = vk::end;
    t[SDL_SCANCODE_PAGEDOWN] = vk::next;
    t[SDL_SCANCODE_RIGHT] = vk::right;
    t[SDL_SCANCODE_LEFT] = vk::left;
    t[SDL_SCANCODE_DOWN] = vk::down;
    t[SDL_SCANCODE_UP] = vk::up;
    t[SDL_SCANCODE_NUMLOCKCLEAR] = vk::numlock;
    t[SDL_SCANCODE_KP_DIVIDE] = vk::divide;
    t[SDL_SCANCODE_KP_MULTIPLY] = vk::multiply;
    t[SDL_SCANCODE_KP_MINUS] = vk::subtract;
    t[SDL_SCANCODE_KP_PLUS] = vk::add;
    t[SDL_SCANCODE_KP_PERIOD] = vk::decimal;
    t[SDL_SCANCODE_APPLICATION] = vk::apps;
    t[SDL_SCANCODE_LCTRL] = vk::lcontrol;
    t[SDL_SCANCODE_RCTRL] = vk::rcontrol;
    t[SDL_SCANCODE_LSHIFT] = vk::lshift;
    t[SDL_SCANCODE_RSHIFT] = vk::rshift;
    t[SDL_SCANCODE_LALT] = vk::lmenu;
    t[SDL_SCANCODE_RALT] = vk::rmenu;
    t[SDL_SCANCODE_LGUI] = vk::lwin;
    t[SDL_SCANCODE_RGUI] = vk::rwin;
    return t;
}

constexpr auto table = make_table();

} // namespace

uint8_t key_from_scancode(int scancode)
{
    if (scancode < 0 || scancode >= SDL_NUM_SCANCODES)
        return 0;
    return table[size_t(scancode)];
}

} // namespace platform::sdl2_impl
