// The application object: construction, configuration defaults, the
// forwarding operations and the small helpers around them.
#include "engine/app/app_internal.h"

#include "platform/folder.h"
#include "platform/process.h"
#include "platform/window.h"

#include <new>
#include <string>

gaCTy* g_app = nullptr;

void EmptyHook(...) {}

gaCTy::gaCTy()
{
    // A failed allocation leaves the configuration null; every reader
    // below copes with that.
    cfg = new (std::nothrow) cfgCTy;
}

void gaCTy::SetDefaults()
{
    if (!cfg)
        return;
    // The order is the order of the saved file: these keys come first.
    cfg->SetInt("USE_GFX", 1);
    cfg->SetInt("FULL_SCREEN", 0);
    cfg->SetInt("FULL_SCREEN_CLIPPER", 10);
    cfg->SetInt("WINDOW_NO_CAPTION", 0);
    cfg->SetInt("WINDOW_STORE_POSITION", 0);
    cfg->SetInt("WINDOW_X", 0);
    cfg->SetInt("WINDOW_Y", 0);
    cfg->SetInt("ENABLE_ALT_ENTER", 0);
    cfg->SetInt("USE_VID_MEM", 1);
    cfg->SetInt("NEED_FLIP", 0);
    cfg->SetInt("SCR_LX", 640);
    cfg->SetInt("SCR_LY", 480);
    cfg->SetInt("SCR_BPP", 16);
    cfg->SetInt("NEED_GFX", 10);
    cfg->SetInt("NEED_DRAW_FPS", 1);
    cfg->SetInt("FPS_LIMIT", 0);
    cfg->SetStr("WND_NAME", "Tiny Lovely Game");
    cfg->SetStr("DATA_DIR", "DATA");
    cfg->SetInt("DBG_CRT_BLK_N", -1);
    cfg->SetInt("SOUNDBUFFER_ENABLE_GLOBAL_FOCUS", 10);
    EmptyHook(cfg);
}

void gaCTy::SetAppName()
{
    const std::string exe = gaExePath.empty() ? platform::module_file_name() : gaExePath;
    appName = gaSplitName(exe.c_str());
}

// The program's own path is cut at '/' alone: "\\" and ':' are ordinary
// characters of a name on this system. Its last name loses its extension.
std::string gaSplitName(const char* path)
{
    const std::string last = platform::split_folder_path(path ? path : "").second;
    return last.substr(0, last.rfind('.'));
}

unsigned gaCTy::DisplayFlags() const
{
    if (!cfg)
        return 0;
    unsigned flags = 0;
    if (cfg->GetInt("FULL_SCREEN"))
        flags |= GA_DISPLAY_FULL_SCREEN;
    if (cfg->GetInt("USE_VID_MEM"))
        flags |= GA_DISPLAY_VID_MEM;
    if (cfg->GetInt("NEED_FLIP"))
        flags |= GA_DISPLAY_FLIP;
    return flags;
}

void gaCTy::OnInit() { GameInit(); }
void gaCTy::OnFrame() { (void)GameFrame(); }
void gaCTy::OnShutdown() { GameShutdown(); }
void gaCTy::OnPreInit() { GamePreInit(); }

void gaCTy::UpdateScreen()
{
    if (gaEngine.gReady())
        scrUpdate();
}

int gaShowCursor(int show) { return platform::show_cursor(show != 0); }

void gaOnReport(errStateTy* state)
{
    if (!state)
        return;
    // The message is finished text that may hold bytes from a file: shown,
    // never used as a format.
    dbgMessageF(state->sourceFile, state->line, state->code, "%s", state->message ? state->message : "");
}
