// The application window: creation, placement, centring, and the display
// device on it.
#include "engine/app/app_internal.h"

#include "platform/platform.h"
#include "platform/window.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

rectTy to_rect(const platform::Rect& r) { return {r.x, r.y, r.width, r.height}; }

bool key_set(const cfgCTy* cfg, const char* name) { return cfg && cfg->GetInt(name) != 0; }

// A stored place is from another run, maybe on a screen that is gone or
// smaller now: the window is moved into the work area of the screen it
// covers most (the primary one when it covers none), frame and title bar
// included, so that it can be seen and reached. The frame's size is known
// once the window is shown; the desktop layer keeps it on the screen then.
void keep_on_screen(platform::WindowHandle window)
{
    const std::vector<platform::Rect> areas = platform::work_areas();
    const platform::Point client = platform::window_position(window);
    const platform::Rect frame = platform::window_frame_rect(window);
    const platform::Rect kept = platform::keep_on_areas(frame, areas);
    if (kept == frame)
        return;
    platform::set_window_position(window, {kept.x + (client.x - frame.x), kept.y + (client.y - frame.y)});
}

} // namespace

platform::Point gaCenterPos(int width, int height, const rectTy& centring, const rectTy& bounding)
{
    int x = (centring.x + (centring.x + centring.w)) / 2 - width / 2;
    int y = (centring.y + (centring.y + centring.h)) / 2 - height / 2;
    if (x < bounding.x)
        x = bounding.x;
    else if (x + width > bounding.x + bounding.w)
        x = bounding.x + bounding.w - width;
    if (y < bounding.y)
        y = bounding.y;
    else if (y + height > bounding.y + bounding.h)
        y = bounding.y + bounding.h - height;
    return {x, y};
}

void gaCTy::CenterWindow(platform::WindowHandle reference, platform::WindowHandle window)
{
    if (!platform::is_window(window))
        return;
    // Our windows have no parent or owner: without a reference the window
    // is centred on the work area.
    if (reference && (!platform::is_window_visible(reference) || platform::is_minimised(reference)))
        reference = nullptr;
    const platform::Rect frame = platform::window_frame_rect(window);
    const rectTy bounding = to_rect(platform::work_area());
    const rectTy centring = reference ? to_rect(platform::window_frame_rect(reference)) : bounding;
    const platform::Point at = gaCenterPos(frame.width, frame.height, centring, bounding);
    // Positions are given for the outer frame; the platform places the
    // client area, which sits inside the frame by the border's offset.
    const platform::Point client = platform::window_position(window);
    platform::set_window_position(window, {at.x + (client.x - frame.x), at.y + (client.y - frame.y)});
}

bool gaCTy::CreateMainWindow()
{
    const bool fullScreen = key_set(cfg, "FULL_SCREEN");
    const bool noCaption = key_set(cfg, "WINDOW_NO_CAPTION");
    platform::WindowDef def{
        .class_name = GA_WND_CLASS,
        .title = cfg ? cfg->GetStr("WND_NAME") : "",
        .client = {cfg ? cfg->GetInt("SCR_LX") : 640, cfg ? cfg->GetInt("SCR_LY") : 480},
        .position = {0, 0},
        .caption = !(noCaption || fullScreen),
        .full_screen = false, // the display device sets the mode
        .topmost = fullScreen,
    };
    window = platform::create_window(def);
    if (!window) {
        // The size settings are named only when the size was the cause;
        // otherwise they would send the player after the wrong key.
        std::string why = platform::backend_error_text();
        if (platform::backend_error_is_size())
            why = std::to_string(def.client.width) + " x " + std::to_string(def.client.height) +
                  " (SCR_LX, SCR_LY): " + why;
        (void)dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "Can't create window\n %s", why.c_str()));
        return false;
    }
    // Placed while still hidden, so that it does not first show at 0,0 and
    // then jump.
    if (key_set(cfg, "WINDOW_STORE_POSITION")) {
        platform::set_window_position(window, {cfg->GetInt("WINDOW_X"), cfg->GetInt("WINDOW_Y")});
        keep_on_screen(window);
    } else if (!noCaption)
        CenterWindow(nullptr, window);
    platform::show_window(window, platform::ShowCommand::show);

    platform::focus_window(window);
    EmptyHook(window);
    CreateGfx();

    if (key_set(cfg, "USE_GFX") && gaEngine.gFullScreen()) {
        while (gaShowCursor(0) >= 0) {
        }
    }
    return true;
}

void gaCTy::CreateGfx()
{
    if (!key_set(cfg, "USE_GFX"))
        return;
    (void)gaEngine.gCreate(window, DisplayFlags(), cfg->GetInt("SCR_LX"), cfg->GetInt("SCR_LY"), cfg->GetInt("SCR_BPP"));
}

void gaCTy::ReleaseGfx()
{
    scrFreeGrid();
    gaEngine.fntListDone();
    if (key_set(cfg, "USE_GFX"))
        gaEngine.gRelease();
}

void gaCTy::SetDisplayMode(int width, int height, int bitsPerPixel)
{
    unsigned flags = DisplayFlags();
    if (key_set(cfg, "FULL_SCREEN_CLIPPER"))
        flags |= GA_DISPLAY_CLIPPER;
    if (bitsPerPixel == 0)
        bitsPerPixel = cfg ? cfg->GetInt("SCR_BPP") : 16;
    int w = 0, h = 0, bpp = 0;
    gaEngine.gModeSize(&w, &h, &bpp);
    if (w == width && h == height && bpp == bitsPerPixel)
        return;
    if (key_set(cfg, "USE_GFX"))
        (void)gaEngine.gSetMode(flags, width, height, bitsPerPixel);
    scrResize();
    scrRedrawAll();
    (void)gaShowCursor(0);
    if (!key_set(cfg, "WINDOW_NO_CAPTION"))
        CenterWindow(nullptr, window);
}
