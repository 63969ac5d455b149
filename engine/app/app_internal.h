// Private to engine/app (and its tests): the calls the framework makes into
// the display device, the sound system and the font list, gathered in one
// table so that start-up and shut-down can be watched and run without
// those subsystems.
#pragma once

#include "engine/app/app.h"

#include "platform/platform.h"
#include "platform/single_instance.h"

#include <memory>
#include <string>

struct gaEngineTy {
    // The engine's one start-up call (draw entries, image creators).
    void (*gfxInit)();
    // The display device.
    int (*gCreate)(platform::WindowHandle window, unsigned flags, int width, int height, int bitsPerPixel);
    int (*gSetMode)(unsigned flags, int width, int height, int bitsPerPixel);
    void (*gRelease)();
    int (*gReady)();      // non-zero while the device exists
    int (*gFullScreen)(); // the device's mode is full screen
    int (*gFlips)();      // the device presents by flipping
    void (*gModeSize)(int* width, int* height, int* bitsPerPixel);
    int (*gPresent)();
    void (*gDrawFps)(int x, int y);
    // Restores lost surfaces: the back surface, then the primary.
    void (*gRestore)();
    // Copies rectangles of the back surface to the window at (ox, oy) plus
    // each rectangle's position.
    void (*gCopyRects)(const rectTy* rects, uint32_t count, int ox, int oy);
    // Unlocks the back surface, then the primary (what drawing left locked).
    void (*gUnlock)();
    // Marks the whole screen dirty in the screen's sprite list, so that its
    // next draw puts every sprite on the back surface again.
    void (*sprRedrawAll)();
    // The sound system.
    void (*sndInit)(platform::WindowHandle window);
    void (*sndSetGlobalFocus)(uint32_t on);
    void (*sndDone)();
    // Tells the mixer whether the application is active: sounds without
    // global focus are muted while it is not.
    void (*sndActivateApp)(bool active);
    // The font list.
    void (*fntListInit)();
    void (*fntListDone)();
};

// Filled with the real subsystems; tests swap entries.
extern gaEngineTy gaEngine;
// The table as the program starts (to put entries back).
gaEngineTy gaEngineDefaults();

// The executable's path the data-folder search starts from; empty means
// the running executable. Tests point it into a scratch folder.
extern std::string gaExePath;
// The last folder the data-folder search looks in, named as gaExePath
// names it, without a trailing separator; empty means up to the root.
// Tests bound the search at their scratch folder, so that what the machine
// holds above it counts for nothing.
extern std::string gaDataSearchTop;
// How long a second start waits for the running copy to raise its window,
// in milliseconds: long enough for a copy that is drawing a frame, short
// enough for the player waiting at the second start. Tests set it as they
// need.
extern int gaRaiseWaitMs;

// Reports every framework key whose number the window, the display or the
// main loop cannot use (naming the key) and puts a usable one in its place.
void gaCheckSettings(cfgCTy& cfg);

// The configuration file "<appName>.cfg" over the defaults; when it gives
// no settings (missing, or not readable), the shipped ones in the data
// folder's "shipped.cfg". A file that cannot be read is reported at once,
// and the log says where the settings came from. Sets app.settingsRead.
void gaLoadSettings(gaCTy& app);
// The save at exit, with the window's place, over a file the start read
// whole or where there was none. Otherwise, and for a file its owner made
// read-only, stderr and the log say that the settings were not saved, and
// why. The orderly shut-down calls it, and so does the end that a lost
// display forces, from the X library's handler (the start-up registers
// it): it asks nothing of the display.
void gaSaveSettings(gaCTy& app);
// gaSaveSettings of the running application, from where the process is
// about to end inside a report or a library's callback: its own failure
// is reported (said, or shown where a display is left) whatever mode the
// reporter is in, and nothing is thrown out of it.
void gaSaveFromACallback() noexcept;

// What runs before a box's answer ends the process
// (quarn::end_on_box_answer: Abort in a report's box, a request to end
// while a box waits), as on every other end: the single-instance lock's
// files removed, then, while its save is on, gaSaveSettings of the running
// application. gaHookBoxEnd installs it as the box-end hook and switches
// its save: on from the start-up once the settings are read and the lock
// is decided, off from the shut-down before its own save (the lock's files
// still go).
void gaFreeLockAndSaveBeforeBoxEnd() noexcept;
void gaHookBoxEnd(bool save);

// The single-instance lock the first instance holds while it runs.
std::unique_ptr<platform::InstanceLock>& gaInstanceLock();

// The memory a start of the game needs on the backend, which the memory
// limit (platform::memory_limit) must reach: the program's first code
// asks it for the headless backend, gaStart for the chosen one. A plain
// table, so that code that runs before any static object is built can
// ask it.
size_t gaStartNeed(platform::BackendKind kind);

// After a mode change: the surfaces are new and black, so the whole screen
// is marked in the update grid and in the screen's sprite list, and the
// next frame draws and copies all of it, as after an activation.
void scrRedrawAll();

// The window-procedure's mouse tracking flag.
extern uint8_t gaTracking;

// The framework's status after start-up: false when no window could be
// made, so the program exits non-zero after its shut-down.
extern bool gaWindowFailed;

// The threads the program runs beside the main one (the sound system's
// feeder and device, the game's music) on the ways out that skip the
// shut-down. gaGuardExit, called by the start-up before any of them starts,
// has any `exit` of the main thread stop them first; gaStopThreads stops
// them now (the entry's exception path), with the game's shut-down hook
// and then the sound system; gaThreadsStopped tells that the shut-down did.
void gaGuardExit(gaCTy* app);
void gaStopThreads();
void gaThreadsStopped(const gaCTy* app);
