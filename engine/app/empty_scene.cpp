// The game's hooks for a program without a game: the framework runs with
// an empty scene (a black window that closes on request). The game's own
// hooks replace this file.
#include "engine/app/app.h"

void GamePreInit() {}
void GameInit() {}
int GameFrame() { return 0; }
int GameDraw() { return 1; }
void GameShutdown() {}
int GameMessageHook(platform::WindowHandle, uint32_t, uintptr_t, intptr_t) { return 0; }
void GameActivate() {}
