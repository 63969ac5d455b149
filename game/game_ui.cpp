// The frame's user interface: buttons, screenshots, the texts' formats and
// the placing of sprites from the configuration.
#include "game/game.h"

#include "engine/gfx/display.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>

void GetConfigPos(int32_t* x, int32_t* y, const char* key)
{
    // Far off the screen is a typing error; it is reported and pulled in,
    // which also keeps the sprites' edge arithmetic far from overflow.
    constexpr cfgIntRangeTy on_screen{.lo = -4096, .hi = 4096, .clamp = true};
    char name[1024];
    std::snprintf(name, sizeof name, "%s_x", key);
    *x = g_app->cfg->CheckInt(name, on_screen);
    std::snprintf(name, sizeof name, "%s_y", key);
    *y = g_app->cfg->CheckInt(name, on_screen);
}

void AddSprite(sprCTy* sprite, int32_t depth, int32_t x, int32_t y)
{
    sprsCTy::Add(&g_sprites, sprite);
    sprite->SetPos(x, y);
    sprite->SetZ(depth);
    sprite->Show();
}

void AddImageSprite(sprImgCTy* sprite, imgCTy* image, int32_t depth, int32_t x, int32_t y)
{
    AddSprite(sprite, depth, x, y);
    sprite->SetImage(image);
}

void AddImageSpriteAt(sprImgCTy* sprite, imgCTy* image, int32_t depth, const char* key)
{
    int32_t x, y;
    GetConfigPos(&x, &y, key);
    AddImageSprite(sprite, image, depth, x, y);
}

void AddTextSprite(sprDfStrCTy* sprite, const char* font, int32_t depth, int32_t x, int32_t y)
{
    AddSprite(sprite, depth, x, y);
    sprite->AddFont(font);
    sprite->SetAlign(1);
}

void AddTextSpriteAt(sprDfStrCTy* sprite, const char* font, int32_t depth, const char* key)
{
    int32_t x, y;
    GetConfigPos(&x, &y, key);
    AddTextSprite(sprite, font, depth, x, y);
}

void FormatRaceTime(char* out, size_t size, int32_t ms)
{
    if (ms >= 1)
        std::snprintf(out, size, "%d:%02d", ms / 60000, (ms / 1000) % 60);
    else
        std::snprintf(out, size, "--:--");
}

namespace {

// The window's title as the start of a file name of at most `room` bytes.
// The title is a caption, which another user's settings file in a group's
// folder may give, and the name it makes is never resolved as a path: no
// '/' of it leads the picture out of the game's folder, no leading '.'
// hides it, and a long title is cut at a letter's boundary. What a report
// writes out (control characters, C1 and direction controls, bytes of no
// UTF-8 letter) would steer or garble a listing: each becomes one '_', as
// a file manager shows none of them as a letter. A '\' is a letter like
// any other.
std::string CaptionAsFileName(const char* caption, size_t room)
{
    std::string name = strLettersOnly(caption && *caption ? caption : "screenshot", '_');
    for (char& c : name)
        if (c == '/')
            c = '_';
    if (name[0] == '.')
        name[0] = '_';
    if (name.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return name;
}

// Screenshots go to the game's folder, the current one.
constexpr const char* kShotFolder = "";

} // namespace

bool ScreenshotName(char* out, size_t size, const char* name)
{
    // Room for the save's temporary names too, which are longer.
    const size_t most = size == 0 ? 0 : std::min(size - 1, imgSaveNameMost);
    for (int n = 0;; ++n) {
        char number[16];
        const size_t suffix = static_cast<size_t>(std::snprintf(number, sizeof number, "_%d.bmp", n));
        if (suffix >= most)
            return false;
        std::snprintf(out, size, "%s%s", CaptionAsFileName(name, most - suffix).c_str(), number);
        // A link that leads nowhere holds its number too: a picture saved
        // at it would replace the link.
        if (!quarn::name_taken_in(kShotFolder, out))
            return true;
    }
}

int SaveScreenshot(imgCTy* screen, const char* title)
{
    char name[imgSaveNameMost + 1];
    if (!ScreenshotName(name, sizeof name, title))
        return ERR_CREATE;
    // A failure of this act is reported in a box whose Return goes on.
    const errOptionalAct optional;
    // The picture of the screen, at the screen's size. One there is no
    // memory for fails alone, said once, and the race and the save at its
    // end go on.
    try {
        imgRowCTy shot;
        const pelFmtCTy format(pel_FMT_R8G8B8);
        // Quietly: the one report below names the file and the way out.
        if (errTry([&] { shot.SetSize(screen->width, screen->height, &format); }) == 0) {
            screen->Draw(&shot, 0, 0, nullptr);
            // Never over a name that appeared since it was picked; the
            // save reports its own failures.
            return shot.SaveBmpNewIn(kShotFolder, name);
        }
    } catch (const std::bad_alloc&) {
    }
    char text[512], shown[260];
    std::snprintf(text, sizeof text,
                  "Can't save the screenshot '%s': not enough memory for a picture of %d x %d pels. The race goes "
                  "on; close other programs, or choose a smaller screen (SCR_LX, SCR_LY).",
                  strCopyShown(shown, sizeof shown, name) ? shown : "", screen->width, screen->height);
    (void)dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "%s", text));
    return ERR_NO_MEMORY;
}

int32_t BestResult(int32_t best, int32_t raceMs) { return best <= 0 || raceMs < best ? raceMs : best; }

namespace {

// F5 or F9 went down since the last drawn frame.
bool screenshotAsked = false;

void TakeScreenshot()
{
    if (gMode.device && gMode.device->back)
        (void)SaveScreenshot(gMode.device->back, g_app->cfg->GetStr("WND_NAME"));
}

} // namespace

void GameUi()
{
    g_exitButton.Update();
    g_newButton.Update();
    // Taken once the frame is drawn: before the first frame the back
    // surface is still black, and later it would lag a frame behind.
    if (inpWentDown(platform::vk::f9) || inpWentDown(platform::vk::f5))
        screenshotAsked = true;
    inpPoll();
}

void GameScreenshotAsked()
{
    if (!screenshotAsked)
        return;
    screenshotAsked = false;
    TakeScreenshot();
}
