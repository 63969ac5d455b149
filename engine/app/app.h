// The application framework: the program's entry, the application object
// `gaCTy` with its start-up, main loop and shut-down, the window procedure,
// the dirty-rectangle screen update and the polled keyboard and mouse input.
//
// The framework and the game are bound at link time: the game defines the
// hook functions declared below and the framework calls them by name. The
// program's `main` is the framework's (app_main.cpp); it hands over to
// `gaStart`, which hands over to `gaMain`.
#pragma once

#include "engine/base/base.h"

#include "platform/keys.h"
#include "platform/window.h"

#include <cstdint>
#include <string>

// ---------------------------------------------------------------------------
// The game's hooks, defined by the game and called by the framework.

// Once, before the window exists (after the configuration was loaded).
void GamePreInit();
// Once, after the window, the display, the sound system and the fonts exist.
void GameInit();
// Every iteration of the main loop, whatever the window's state.
int GameFrame();
// When the window is usable: draws the frame; non-zero lets the framework
// update the screen.
int GameDraw();
// First step of the shut-down.
void GameShutdown();
// Sees every window message first; a result above 0 leaves the message to
// the default handling only.
int GameMessageHook(platform::WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
// On every activation and deactivation of the application.
void GameActivate();

// The shared empty function: called where an extension point takes its
// turn (after the defaults with the configuration, after window creation
// with the window, on a command message, at the end of the shut-down).
void EmptyHook(...);

// ---------------------------------------------------------------------------
// The application object.

// Window messages the procedure knows by number (the rest are platform::msg).
inline constexpr uint32_t GA_WM_PAINT = platform::msg::paint;
inline constexpr uint32_t GA_WM_CLOSE = platform::msg::close;
inline constexpr uint32_t GA_WM_ERASEBKGND = platform::msg::erase_background;
inline constexpr uint32_t GA_WM_ACTIVATEAPP = platform::msg::activate_app;
inline constexpr uint32_t GA_WM_SYSKEYUP = platform::msg::sys_key_up;
inline constexpr uint32_t GA_WM_COMMAND = platform::msg::command;
inline constexpr uint32_t GA_WM_MOUSEMOVE = platform::msg::mouse_move;
inline constexpr uint32_t GA_WM_MOUSELEAVE = platform::msg::mouse_leave;

// Display flags handed to the display device.
inline constexpr unsigned GA_DISPLAY_FULL_SCREEN = 1;
inline constexpr unsigned GA_DISPLAY_VID_MEM = 2;
inline constexpr unsigned GA_DISPLAY_FLIP = 4;
inline constexpr unsigned GA_DISPLAY_CLIPPER = 8;

// The window class name the single-instance check and the window use.
inline constexpr const char* GA_WND_CLASS = "GameAppWndClass";

class gaCTy {
public:
    gaCTy();
    // The orderly shut-down: game hook, window position, configuration
    // save, then every subsystem in the reverse order of its start.
    virtual ~gaCTy();
    gaCTy(const gaCTy&) = delete;
    gaCTy& operator=(const gaCTy&) = delete;

    // Sets the framework's configuration keys to their defaults, in the
    // order in which they are saved.
    virtual void SetDefaults();
    // The executable's base name (no folder, no extension) as the name.
    virtual void SetAppName();
    // Creates the display device on the window when USE_GFX is set.
    virtual void CreateGfx();
    virtual void ReleaseGfx();
    // The screen update, when the display device is ready.
    virtual void UpdateScreen();
    virtual void OnInit();
    // Changes the display mode (a bits-per-pixel of 0 keeps SCR_BPP).
    virtual void SetDisplayMode(int width, int height, int bitsPerPixel);
    // The window procedure.
    virtual intptr_t WndProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
    virtual void OnFrame();
    virtual void OnShutdown();
    virtual void OnPreInit();

    // The start-up, once.
    void Init();
    // The main loop: until the quit flag is set at the end of an iteration.
    void Run();
    // Finds the data folder from the executable's folder upwards and makes
    // the folder that holds it current. When the executable's path cannot
    // be had or is longer than the system takes, says so and leaves appName
    // empty: no settings file is named, and the start goes no further.
    void FindDataDir();
    // Registers, creates, shows, places and focuses the window, then the
    // display device. False when no window could be made (reported).
    bool CreateMainWindow();
    // Centres `window` on `reference` (null: on the work area).
    static void CenterWindow(platform::WindowHandle reference, platform::WindowHandle window);

    // One pass of the message pump, the input poll, the frame and the draw.
    void Pump();
    // Active, not minimised and in front.
    bool IsUsable() const;
    // The display flags the configuration asks for (bits 0 to 2).
    unsigned DisplayFlags() const;
    // The windowed-to-full-screen switch of Alt+Enter.
    void ToggleFullScreen();

    platform::WindowHandle window = nullptr;
    cfgCTy* cfg = nullptr;      // owned
    uint32_t quit = 0;          // the loop ends when non-zero
    uint32_t active = 0;        // the wParam of the last activation message
    const char* cmdLine = nullptr;
    uint32_t frameLimit = 0;    // milliseconds per iteration at least; 0 = none
    // The folder holding the data folder, with its separator; as long as a
    // path the system takes (PATH_MAX).
    char rootDir[4096] = {};
    // The program file's name without its extension, as long as it is:
    // "<appName>.cfg" is the configuration file, never a shortened name.
    std::string appName;
    // What the start found at the configuration file's name. The exit saves
    // only over a file read whole, or where there was none; before the
    // start has looked, nothing is saved.
    cfgLoadTy settingsRead{cfgReadTy::unopened, 0};
    // Why the start did not read it whole, worded when the read failed:
    // the text of a refusal names the file refused last, which by the exit
    // is another file's (a picture's, a sound's).
    std::string settingsReadWhy = "not read";
};

// The one application object of the run.
extern gaCTy* g_app;

// The program's entry: runs start-up, main loop and shut-down. A library
// exception that escapes, or a standard one (std::bad_alloc when memory
// runs out), is shown in the report box, and then the program
// ends without the shut-down (the configuration is not saved): only the
// game's music and the sound system are stopped, and the status is 1.
// Returns the exit status.
int gaMain(int argc, char** argv);

// The whole program, as `main` runs it: makes the process sound, refuses
// to start without a display unless QUARN_PLATFORM=headless asks for that
// (status 2), runs gaMain and releases the backend. Memory running out
// outside gaMain's catch (while the backend is made, or while its report
// box is shown) is said on stderr, "Not enough memory to run the game.",
// and so is any other standard exception; either gives status 1 instead
// of ending the process through std::terminate. The backend is started
// first, so that a start without a display is refused for that (status
// 2) whatever the limit. Under a memory limit (platform::memory_limit:
// `ulimit -v` or `ulimit -d`) smaller than a start of the chosen backend
// needs, the run ends before a window opens, with the out-of-memory box
// ("Not enough memory to run the game.") and status 1; the program's
// first code has refused limits under the headless figure already. From
// the entry on, a request to end from outside (catch_end_signals) stays a
// request up to the process's end: one that comes while the game ends
// changes nothing. Returns the exit status.
int gaStart(int argc, char** argv);

// The static window procedure: forwards to g_app->WndProc.
intptr_t gaWndProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// The framework's box handler for the base library's reports.
void gaOnReport(errStateTy* state);

// The last name of the program's path (cut at '/' alone) without its
// extension, whole.
std::string gaSplitName(const char* path);

// Where a window of `width` by `height` goes when centred on `centring`
// and kept inside `bounding` (halves rounded toward zero).
platform::Point gaCenterPos(int width, int height, const rectTy& centring, const rectTy& bounding);

// The system cursor's display counter: a non-zero `show` raises it, 0
// lowers it; the cursor shows while the count is 0 or more. The new count.
int gaShowCursor(int show);

// ---------------------------------------------------------------------------
// The screen update: a grid of dirty cells of 32 by 24 pixels over the
// display mode, merged into rectangles once per drawn frame.

inline constexpr int SCR_CELL_W = 32;
inline constexpr int SCR_CELL_H = 24;
inline constexpr uint32_t SCR_MAX_RECTS = 1000;

void scrInit();
void scrResize();
void scrFreeGrid();
void scrAddDirty(int x, int y, int width, int height);
int scrAddRect(const rectTy* rect, const rectTy* clip);
void scrBuildRects();
void scrRestore();
void scrPresent();
void scrUpdate();
// The frame-rate overlay switch (NEED_DRAW_FPS).
void scrSetOverlay(int on);
// True while the grid exists.
bool scrHasGrid();
// The rectangles the last merge made (until the next present empties them).
uint32_t scrRectCount();
const rectTy* scrRects();

// ---------------------------------------------------------------------------
// Input: polled once per frame; the previous poll's key state is kept so
// that presses and releases between two polls are plain comparisons.

class inpCTy {
public:
    void Reset();
    void Update();

    uint8_t initialised = 0;
    int32_t x = 0, y = 0;     // the cursor in the window's client coordinates
    uint8_t keys[256] = {};   // bit 7 = down
    uint8_t prevKeys[256] = {};
};

extern inpCTy g_input;

void inpPoll();
int inpIsKeyDown(int vk);
int inpWentDown(int vk);
int inpWentUp(int vk);
int32_t inpMouseX();
int32_t inpMouseY();
