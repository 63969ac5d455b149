// The start-up: reporter, defaults, data folder, configuration, single
// instance, timer, window, display, sound, fonts, screen grid, game.
#include "engine/app/app_internal.h"

#include "platform/process.h"
#include "platform/window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

std::string gaExePath;
bool gaWindowFailed = false;

std::unique_ptr<platform::InstanceLock>& gaInstanceLock()
{
    static std::unique_ptr<platform::InstanceLock> lock;
    return lock;
}

namespace {

// True when the folder holds an entry whose name begins with `prefix`: the
// data folder itself, or anything named like it, counts.
bool has_entry_with_prefix(const char* folder, const char* prefix)
{
    dirTy* search = dirOpen(*folder ? folder : ".");
    if (!search)
        return false;
    const size_t length = std::strlen(prefix);
    bool found = false;
    while (!found && dirNext(search)) {
        const char* name = search->find.name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        found = std::strncmp(name, prefix, length) == 0;
    }
    dirClose(search);
    return found;
}

// The second instance hands over to the first and ends here.
[[noreturn]] void leave_to_first_instance(const char* title)
{
    (void)platform::InstanceLock::ask_holder_to_raise(GA_WND_CLASS, title);
    std::exit(0);
}

} // namespace

void gaCTy::FindDataDir()
{
    const std::string exe = gaExePath.empty() ? platform::module_file_name() : gaExePath;
    pathSplit(exe.c_str(), rootDir, sizeof rootDir, nullptr, 0, nullptr, 0);
    SetAppName();
    const char* dataDir = cfg ? cfg->GetStr("DATA_DIR") : "DATA";
    for (;;) {
        if (has_entry_with_prefix(rootDir, dataDir)) {
            (void)platform::set_current_dir(rootDir);
            return;
        }
        // One folder up: drop the trailing separator, keep the folder part.
        char work[sizeof rootDir];
        strCopy(work, sizeof work, rootDir);
        const size_t length = std::strlen(work);
        if (length)
            work[length - 1] = '\0';
        pathSplit(work, rootDir, sizeof rootDir, nullptr, 0, nullptr, 0);
        if (!rootDir[0]) {
            (void)dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "Initialization.\n Can't find data directory!"));
            // The current folder stays where the program was started.
            return;
        }
    }
}

void gaCTy::Init()
{
    errInitFileMessages();
    errSetBoxHandler(gaOnReport);
    // Installs every draw entry and image creator before anything draws.
    gaEngine.gfxInit();
    SetDefaults();
    FindDataDir();

    char cfgName[80];
    std::snprintf(cfgName, sizeof cfgName, "%s.cfg", appName);
    if (cfg) {
        // A bad line is reported and skipped; another failure (memory)
        // unwinds to this frame, and start-up goes on with what was read.
        (void)errTry([&] { cfg->Load(cfgName); });
        gaCheckSettings(*cfg);
    }

    const char* title = cfg ? cfg->GetStr("WND_NAME") : "";
    // A lock that cannot be taken for another reason (no temporary
    // folder) does not stop the program: it only loses the check.
    if (platform::InstanceLock::acquire(GA_WND_CLASS, title, gaInstanceLock()) ==
        platform::InstanceLock::Result::other_instance)
        leave_to_first_instance(title);

    tmInit();
    gaGuardExit(this);
    OnPreInit();
    gaWindowFailed = !CreateMainWindow();
    if (gaWindowFailed) {
        // Without a window nothing can be shown and nothing can ask the
        // loop to end; the entry shuts down in order and exits non-zero.
        return;
    }

    gaEngine.sndInit(window);
    // sndInit clears the flag, so it is set after it.
    gaEngine.sndSetGlobalFocus(cfg && cfg->GetInt("SOUNDBUFFER_ENABLE_GLOBAL_FOCUS") ? 1 : 0);
    gaEngine.fntListInit();
    scrInit();
    scrSetOverlay(cfg ? cfg->GetInt("NEED_DRAW_FPS") : 0);
    frameLimit = cfg ? uint32_t(cfg->GetInt("FPS_LIMIT")) : 0;
    OnInit();
}
