// The window procedure and the Alt+Enter switch between a window and the
// full screen.
#include "engine/app/app_internal.h"

#include "platform/window.h"

uint8_t gaTracking = 0;

namespace {

bool key_set(const cfgCTy* cfg, const char* name) { return cfg && cfg->GetInt(name) != 0; }

void hide_cursor_fully()
{
    while (gaShowCursor(0) >= 0) {
    }
}

void show_cursor_fully()
{
    while (gaShowCursor(1) < 0) {
    }
}

// This platform has nothing to do by default for any message: there is no
// system menu to open and closing is the procedure's own business.
intptr_t default_handling() { return 0; }

} // namespace

intptr_t gaWndProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    return g_app ? g_app->WndProc(window, message, wparam, lparam) : default_handling();
}

intptr_t gaCTy::WndProc(platform::WindowHandle wnd, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    if (GameMessageHook(wnd, message, wparam, lparam) > 0)
        return default_handling();

    const bool fullScreen = gaEngine.gReady() && gaEngine.gFullScreen();
    switch (message) {
    case GA_WM_PAINT: {
        platform::Rect r;
        if (!platform::take_update_rect(wnd, r))
            break;
        if (gaEngine.gReady() && scrHasGrid()) {
            // Inclusive right and bottom edges, as the update rectangle had.
            scrAddDirty(r.x, r.y, r.width + 1, r.height + 1);
            if (IsUsable())
                scrUpdate();
        }
        break;
    }
    case GA_WM_CLOSE:
        quit = 1;
        platform::show_window(wnd, platform::ShowCommand::hide);
        platform::post_quit(0);
        return 0;
    case GA_WM_ERASEBKGND:
        return 1;
    case GA_WM_ACTIVATEAPP:
        active = uint32_t(wparam);
        if (gaEngine.sndActivateApp)
            gaEngine.sndActivateApp(wparam != 0);
        if (!wparam) {
            if (!fullScreen)
                show_cursor_fully();
            gaTracking = 0;
        } else if (scrHasGrid() && cfg) {
            scrAddDirty(0, 0, cfg->GetInt("SCR_LX"), cfg->GetInt("SCR_LY"));
        }
        GameActivate();
        break;
    case GA_WM_SYSKEYUP:
        if (wparam == platform::vk::return_key && key_set(cfg, "ENABLE_ALT_ENTER"))
            ToggleFullScreen();
        // No system key release goes on to the default handling.
        return 0;
    case GA_WM_COMMAND:
        EmptyHook(int((wparam >> 16) & 0xFFFF), int(wparam & 0xFFFF), lparam);
        break;
    case GA_WM_MOUSEMOVE:
        // The desktop reports the leaving on its own; no request is needed.
        if (!gaTracking && active) {
            if (!fullScreen)
                hide_cursor_fully();
            gaTracking = 1;
        }
        break;
    case GA_WM_MOUSELEAVE:
        if (active) {
            if (!fullScreen)
                show_cursor_fully();
            gaTracking = 0;
        }
        break;
    default:
        break;
    }
    return default_handling();
}

void gaCTy::ToggleFullScreen()
{
    if (!cfg)
        return;
    const int w = cfg->GetInt("SCR_LX"), h = cfg->GetInt("SCR_LY"), bpp = cfg->GetInt("SCR_BPP");
    const unsigned extra = (key_set(cfg, "USE_VID_MEM") ? GA_DISPLAY_VID_MEM : 0) |
                           (key_set(cfg, "NEED_FLIP") ? GA_DISPLAY_FLIP : 0);
    if (cfg->GetInt("FULL_SCREEN")) {
        // Back to the windowed styles of window creation.
        platform::set_window_caption(window, !key_set(cfg, "WINDOW_NO_CAPTION"));
        platform::set_window_topmost(window, false);
        if (key_set(cfg, "USE_GFX"))
            (void)gaEngine.gSetMode(extra, w, h, bpp);
        cfg->UpdateInt("FULL_SCREEN", 0);
        scrRedrawAll();
    } else {
        hide_cursor_fully();
        if (key_set(cfg, "USE_GFX"))
            (void)gaEngine.gSetMode(GA_DISPLAY_FULL_SCREEN | extra, w, h, bpp);
        cfg->UpdateInt("FULL_SCREEN", 1);
        scrRedrawAll();
        platform::show_window(window, platform::ShowCommand::show);
    }
}
