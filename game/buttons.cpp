// The on-screen buttons.
#include "game/game.h"

#include "engine/base/str.h"

#include <cstdio>

void PushButton::Load(const char* name, int32_t depth)
{
    int32_t x, y;
    GetConfigPos(&x, &y, name);
    for (int i = 0; i < 2; ++i) {
        char file[260];
        std::snprintf(file, sizeof file, "DATA/%s%d.bmp", name, i);
        // A picture that does not load is reported by the image itself;
        // the button then shows nothing.
        (void)images[i].Load(file);
    }
    sprsCTy::Add(&g_sprites, &sprite);
    sprite.SetImage(&images[0]);
    sprite.SetPos(x, y);
    sprite.SetZ(depth);
    sprite.Show();
}

void PushButton::Update()
{
    // From the front, leaving out the game's pointer and the background.
    if (g_sprites.HitTest(-91000, 100, inpMouseX(), inpMouseY(), nullptr) == &sprite) {
        sprite.SetImage(&images[inpIsKeyDown(platform::vk::lbutton) ? 1 : 0]);
        if (inpWentUp(platform::vk::lbutton)) {
            OnClick();
            GamePlaySound("DATA/click.wav");
        }
    } else {
        sprite.SetImage(&images[0]);
    }
}

void NewGameButton::OnClick() { NewRace(); }

void ExitButton::OnClick() { g_app->quit = 1; }
