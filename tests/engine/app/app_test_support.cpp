#include "app_test_support.h"

#include <fstream>
#include <random>
#include <sstream>

TestGame testGame;

namespace {

void record(const char* name) { testGame.calls.emplace_back(name); }

gaEngineTy spy_engine()
{
    gaEngineTy e = gaEngineDefaults();
    e.gfxInit = [] { record("gfxInit"); };
    e.gCreate = [](platform::WindowHandle, unsigned flags, int, int, int) {
        record("gCreate");
        testGame.setModeFlags.push_back(flags);
        return 0;
    };
    e.gSetMode = [](unsigned flags, int, int, int) {
        testGame.setModeFlags.push_back(flags);
        return 1;
    };
    e.gRelease = [] { record("gRelease"); };
    e.gReady = [] { return 1; };
    e.gFullScreen = [] { return testGame.setModeFlags.empty() ? 0 : int(testGame.setModeFlags.back() & 1); };
    e.gFlips = [] { return testGame.flips ? 1 : 0; };
    e.gModeSize = [](int* w, int* h, int* bpp) {
        *w = testGame.modeWidth;
        *h = testGame.modeHeight;
        *bpp = 16;
    };
    e.gPresent = [] {
        ++testGame.presents;
        return 0;
    };
    e.gCopyRects = [](const rectTy* rects, uint32_t count, int, int) {
        testGame.copied.insert(testGame.copied.end(), rects, rects + count);
    };
    e.sndInit = [](platform::WindowHandle) { record("sndInit"); };
    e.sndSetGlobalFocus = [](uint32_t on) { record(on ? "sndSetGlobalFocus(1)" : "sndSetGlobalFocus(0)"); };
    e.sndDone = [] { record("sndDone"); };
    e.sndActivateApp = [](bool active) { record(active ? "sndActivateApp(1)" : "sndActivateApp(0)"); };
    e.fntListInit = [] { record("fntListInit"); };
    e.fntListDone = [] { record("fntListDone"); };
    return e;
}

} // namespace

// The game's hooks for the tests.
void GamePreInit() { record("GamePreInit"); }
void GameInit()
{
    record("GameInit");
    if (testGame.onInit)
        testGame.onInit();
}
int GameFrame()
{
    record("GameFrame");
    return testGame.onFrame ? testGame.onFrame() : 0;
}
int GameDraw()
{
    record("GameDraw");
    return 1;
}
void GameShutdown() { record("GameShutdown"); }
int GameMessageHook(platform::WindowHandle, uint32_t message, uintptr_t, intptr_t)
{
    return testGame.onMessage ? testGame.onMessage(message) : 0;
}
void GameActivate() { record("GameActivate"); }

void AppTest::SetUp()
{
    platform::shutdown();
    platform::use_backend(platform::BackendKind::headless);
    platform::set_clock_source(&clock);
    // Reports get Ignore, so a report box never ends the test program.
    platform::set_box_policy([](const platform::BoxRequest&) { return platform::BoxAnswer::ignore; });
    platform::clear_shown_boxes();
    testGame = TestGame{};
    gaEngine = spy_engine();
    g_input = inpCTy{};
    gaTracking = 0;
    gaWindowFailed = false;
    launchDir = std::filesystem::current_path();
    static int counter = 0;
    root = std::filesystem::temp_directory_path() /
           ("quarn_app_" + std::to_string(std::random_device{}()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(root / "DATA");
    std::filesystem::create_directories(root / "bin" / "x64");
    // The start runs from a folder of the test's own: a start that finds
    // no data folder keeps its settings in the current folder.
    std::filesystem::create_directories(root / "start");
    std::filesystem::current_path(root / "start");
    startDir = std::filesystem::current_path();
    // The program sits two folders below the one holding its data.
    gaExePath = (root / "bin" / "x64" / "race").string();
    gaDataSearchTop = root.string();
}

void AppTest::TearDown()
{
    if (g_app)
        Stop();
    gaInstanceLock().reset();
    std::filesystem::current_path(launchDir);
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    gaExePath.clear();
    gaDataSearchTop.clear();
    gaEngine = gaEngineDefaults();
    platform::set_box_policy(nullptr);
    platform::shutdown();
    platform::set_clock_source(nullptr);
    platform::use_backend(platform::BackendKind::headless);
}

void AppTest::WriteConfig(const std::string& text) { std::ofstream(root / "race.cfg") << text; }

std::string AppTest::ReadConfig() const
{
    std::ifstream in(root / "race.cfg");
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

gaCTy& AppTest::Start()
{
    g_app = new gaCTy;
    g_app->Init();
    return *g_app;
}

void AppTest::Stop() { delete g_app; }
