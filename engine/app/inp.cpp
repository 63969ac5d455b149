// The polled keyboard and mouse state.
#include "engine/app/app_internal.h"

#include "platform/input.h"

#include <cstring>

inpCTy g_input;

void inpCTy::Reset()
{
    x = y = 0;
    std::memset(keys, 0, sizeof keys);
    std::memset(prevKeys, 0, sizeof prevKeys);
    initialised = 1;
}

void inpCTy::Update()
{
    if (!initialised)
        Reset();
    platform::Point at;
    if (platform::cursor_position(at)) {
        const platform::Point client = platform::screen_to_client(g_app ? g_app->window : nullptr, at);
        x = client.x;
        y = client.y;
    }
    std::memcpy(prevKeys, keys, sizeof keys);
    const platform::KeyboardState state = platform::keyboard_state();
    std::memcpy(keys, state.data(), sizeof keys);
}

void inpPoll() { g_input.Update(); }

// Codes are taken modulo 256, so a wider code reads a real entry instead
// of memory past the table.
int inpIsKeyDown(int vk) { return (g_input.keys[vk & 0xFF] & 0x80) ? 1 : 0; }
int inpWentDown(int vk) { return ((g_input.keys[vk & 0xFF] & ~g_input.prevKeys[vk & 0xFF]) & 0x80) ? 1 : 0; }
int inpWentUp(int vk) { return ((~g_input.keys[vk & 0xFF] & g_input.prevKeys[vk & 0xFF]) & 0x80) ? 1 : 0; }
int32_t inpMouseX() { return g_input.x; }
int32_t inpMouseY() { return g_input.y; }
