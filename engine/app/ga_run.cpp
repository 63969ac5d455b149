// The main loop and the orderly shut-down.
#include "engine/app/app_internal.h"

#include "platform/clock.h"
#include "platform/data_folder.h"
#include "platform/window.h"

#include <cstdio>

bool gaCTy::IsUsable() const
{
    return active && window && !platform::is_minimised(window) && platform::foreground_window() == window;
}

void gaCTy::Pump()
{
    // A second start asked us to the front. A window nobody sees is not
    // raised, and the request is left for the asker to take back.
    if (auto& lock = gaInstanceLock();
        lock && window && platform::windows_on_a_display() && lock->raise_requested()) {
        platform::show_window(window, platform::ShowCommand::restore);
        platform::focus_window(window);
    }
    // The window as filter: thread messages (quit) stay in the queue.
    platform::Message m;
    while (window && platform::peek_message(m, window))
        (void)gaWndProc(m.window, m.id, m.wparam, m.lparam);
}

void gaCTy::Run()
{
    while (!quit) {
        // The millisecond clock is read as a wrapping 32-bit value, so the
        // difference stays right across its wrap.
        const auto t0 = uint32_t(tmGetMs());
        Pump();
        if (IsUsable())
            inpPoll();
        OnFrame();
        if (cfg && cfg->GetInt("USE_GFX") && IsUsable()) {
            if (GameDraw() && IsUsable())
                UpdateScreen();
        }
        const uint32_t elapsed = uint32_t(tmGetMs()) - t0;
        if (frameLimit && elapsed < frameLimit)
            platform::sleep_ms(frameLimit - elapsed);
    }
}

gaCTy::~gaCTy()
{
    GameShutdown();
    // Saved here: a box's end during this save ends without a second.
    gaHookBoxEnd(false);
    gaSaveSettings(*this);
    // Saved: a display lost from here on has nothing more to keep.
    platform::on_display_lost(nullptr);
    scrFreeGrid();
    gaEngine.fntListDone();
    if (cfg && cfg->GetInt("USE_GFX"))
        gaEngine.gRelease();
    gaEngine.sndDone();
    gaThreadsStopped(this);
    tmDone();
    rwFreeShared();
    if (window) {
        platform::destroy_window(window);
        window = nullptr;
    }
    // The window is gone, so a later start may take over.
    gaInstanceLock().reset();
    platform::data_folder_unbind();
    EmptyHook();
    errDone();
    delete cfg;
    cfg = nullptr;
    if (g_app == this)
        g_app = nullptr;
}
