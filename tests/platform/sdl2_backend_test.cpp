// The SDL2 backend on SDL's dummy video and audio drivers: no window opens
// and no sound plays, but every call goes through SDL; a run where that
// driver does not start fails.
//
// The last test opens a real window; it runs only when QUARN_SDL_SMOKE=1 is
// set and a display is available (for example under xvfb-run).
#include "platform/platform.h"
#include "platform/sdl2/sdl2_x11.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <sys/wait.h>

namespace {

#if defined(__SANITIZE_ADDRESS__)
// With a display, SDL opens the desktop's message bus, whose library keeps
// a block from its set-up for good: without a session bus, LeakSanitizer
// reported it at the end of every test program that started SDL's video.
// Such a block goes unreported; a block of the program's own does not.
TEST(LeakReport, OnlyTheMessageBusLibrarysOwnBlocksAreLetGo)
{
    void* library = ::dlopen("libdbus-1.so.3", RTLD_NOW);
    if (!library)
        GTEST_SKIP() << "libdbus-1.so.3 cannot be loaded: " << ::dlerror();
    // A new message's blocks are allocated inside the library.
    static const auto new_message = reinterpret_cast<void* (*)(int)>(::dlsym(library, "dbus_message_new"));
    ASSERT_NE(new_message, nullptr);
    // The pointer is dropped in a call of its own, so that no copy of it
    // is left where the leak check looks.
    static void* volatile held [[maybe_unused]];
    for (const bool ours : {false, true}) {
        EXPECT_EXIT(
            {
                [=] { held = ours ? std::malloc(64) : new_message(1); }();
                [] { held = nullptr; }();
                std::exit(0);
            },
            [=](int status) { return WIFEXITED(status) && (WEXITSTATUS(status) != 0) == ours; },
            ours ? "LeakSanitizer" : "");
    }
}
#endif

// True when an X server may answer on display `n`, as far as can be seen
// by reading: its socket or its lock in /tmp; a socket of that name in the
// abstract namespace, which X servers listen on too, where the client
// library looks first, and which a /tmp of the test's own does not hide;
// or a listener on the display's TCP port, the client's last resort.
bool display_taken(int n)
{
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
    std::error_code error;
    if (std::filesystem::exists(socket, error) || error ||
        std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock", error) || error)
        return true;
    // The last field of a line is the socket's path, "@" before an
    // abstract name.
    std::ifstream unix_sockets("/proc/net/unix");
    for (std::string line; std::getline(unix_sockets, line);)
        if (line.ends_with(" " + socket) || line.ends_with(" @" + socket))
            return true;
    // "slot local remote state ...": the local port in hex after ':', and
    // state 0A a listener.
    char port[16];
    std::snprintf(port, sizeof port, ":%04X", 6000 + n);
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream sockets(table);
        for (std::string line; std::getline(sockets, line);) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            if (fields >> slot >> local >> remote >> state && local.ends_with(port) && state == "0A")
                return true;
        }
    }
    return false;
}

class Sdl2Backend : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("QUARN_SDL_SMOKE")) {
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
        }
        platform::shutdown();
        platform::use_backend(platform::BackendKind::sdl2);
        if (platform::backend_kind() != platform::BackendKind::sdl2) {
            // SDL's dummy driver needs nothing from the machine: when the
            // driver named does not start, the backend is at fault.
            if (!std::getenv("QUARN_SDL_SMOKE"))
                FAIL() << platform::backend_error_text();
            GTEST_SKIP() << "SDL cannot start here: " << platform::backend_error_text();
        }
    }
    void TearDown() override
    {
        platform::shutdown();
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("SDL_AUDIODRIVER");
        platform::use_backend(platform::BackendKind::headless);
    }

    std::vector<platform::Message> drain(platform::WindowHandle w)
    {
        std::vector<platform::Message> out;
        platform::Message m;
        while (platform::peek_message(m, w))
            out.push_back(m);
        return out;
    }
};

TEST_F(Sdl2Backend, WindowLivesThroughShowPresentFullScreenAndDestroy)
{
    if (std::getenv("QUARN_SDL_SMOKE"))
        GTEST_SKIP() << "the dummy driver's test";
    auto window = platform::create_window({.title = "Tiny", .client = {320, 240}, .position = {10, 20}});
    ASSERT_NE(window, nullptr) << platform::backend_error_text();
    platform::show_window(window, platform::ShowCommand::show_normal);
    platform::focus_window(window);
    EXPECT_TRUE(platform::is_window_visible(window));
    // The dummy desktop has no focus of its own: asking for it gets it.
    EXPECT_EQ(platform::foreground_window(), window);
    bool activated = false;
    for (const auto& m : drain(window))
        activated |= m.id == platform::msg::activate_app && m.wparam == 1;
    EXPECT_TRUE(activated);

    std::vector<uint16_t> back(320 * 240, 0xF800);
    const platform::PixelView view{back.data(), 640, platform::PixelFormat::rgb565, 320, 240};
    ASSERT_TRUE(platform::present(window, view, {0, 0, 320, 240}, {0, 0}));
    EXPECT_EQ(platform::read_pixel(platform::window_frame(window), 319, 239) & 0xFFFFFF, 0xFF0000u);

    // A window of another video driver is no X window: nothing asks an X
    // server about it, full screen included.
    platform::sdl2_impl::WindowOnScreen x;
    EXPECT_FALSE(platform::sdl2_impl::window_on_screen_for_test(window, x));
    platform::set_full_screen(window, true);
    EXPECT_TRUE(platform::is_full_screen(window));
    ASSERT_TRUE(platform::present(window, view, {0, 0, 10, 10}, {0, 0}));
    platform::set_full_screen(window, false);
    EXPECT_FALSE(platform::is_full_screen(window));
    platform::set_window_title(window, "Other");
    EXPECT_EQ(platform::window_title(window), "Other");
    platform::set_client_size(window, {200, 100});
    EXPECT_EQ(platform::window_frame(window).width, 200);
    EXPECT_TRUE(platform::post_message(window, 953));
    bool got = false;
    for (const auto& m : drain(window))
        got |= m.id == 953;
    EXPECT_TRUE(got);
    platform::destroy_window(window);
    EXPECT_FALSE(platform::is_window(window));
}

TEST_F(Sdl2Backend, AudioOpensStartsStopsAndCloses)
{
    std::atomic<uint64_t> frames{0};
    const bool opened = platform::open_audio(
        {.format = {22050, 2}, .buffer_frames = 1000, .fill = [&](int16_t* s, uint32_t n) {
             for (uint32_t i = 0; i < 2 * n; ++i)
                 s[i] = 0;
             frames += n;
         }});
    if (!opened)
        GTEST_SKIP() << "no SDL audio here: " << platform::backend_error_text();
    // SDL wants powers of two; the output rounds up.
    EXPECT_EQ(platform::audio_latency_frames(), 1024u);
    platform::start_audio();
    EXPECT_EQ(platform::audio_state(), platform::AudioState::playing);
    platform::pause_audio();
    const uint64_t after_pause = frames.load();
    EXPECT_EQ(platform::audio_frames_played(), after_pause);
    platform::stop_audio();
    platform::close_audio();
    EXPECT_EQ(platform::audio_state(), platform::AudioState::closed);
    // Once closed, the fill is never called again.
    EXPECT_EQ(frames.load(), after_pause);
}

// A display named but not there once let SDL fall back to a driver that
// shows nothing (offscreen): the game ran unseen until killed. Now the
// backend does not start and says which display it could not open, so the
// program tells the person and ends.
TEST_F(Sdl2Backend, ADisplayThatCannotBeOpenedIsNoDisplay)
{
    int n = 87;
    while (display_taken(n))
        ++n;
    const std::string dead = std::to_string(n).insert(0, 1, ':');
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const std::string wayland_was = wayland ? wayland : "";
    // An empty SDL_VIDEODRIVER (as "$X" gives when X is unset) asks for
    // no driver: SDL once read it ahead of the list of desktop drivers and
    // tried all of its own.
    for (const char* driver : {static_cast<const char*>(nullptr), ""}) {
        SCOPED_TRACE(driver ? "SDL_VIDEODRIVER empty" : "SDL_VIDEODRIVER unset");
        platform::shutdown();
        setenv("DISPLAY", dead.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        // Set again, if at all, by the next SetUp.
        driver ? setenv("SDL_VIDEODRIVER", driver, 1) : unsetenv("SDL_VIDEODRIVER");
        platform::use_backend(platform::BackendKind::sdl2);
        const platform::BackendKind kind = platform::backend_kind();
        const std::string why = platform::backend_error_text();
        display.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", display.c_str(), 1);
        if (wayland)
            setenv("WAYLAND_DISPLAY", wayland_was.c_str(), 1);
        EXPECT_EQ(kind, platform::BackendKind::headless);
        EXPECT_EQ(why, "cannot open display " + dead);
    }
}

TEST_F(Sdl2Backend, SmokeRealWindowShowsText)
{
    if (!std::getenv("QUARN_SDL_SMOKE"))
        GTEST_SKIP() << "set QUARN_SDL_SMOKE=1 with a display to open a real window";
    auto window = platform::create_window({.title = "platform smoke", .client = {400, 100}, .position = {50, 50}});
    ASSERT_NE(window, nullptr) << platform::backend_error_text();
    platform::show_window(window, platform::ShowCommand::show_normal);
    platform::focus_window(window);
    std::vector<uint16_t> back(400 * 100, 0x001F);
    platform::PixelSurface surface{back.data(), 800, platform::PixelFormat::rgb565, 400, 100};
    platform::draw_text(surface, {10, 10}, "  12   59.5  V_M = 0", {.scale = 2});
    for (int i = 0; i < 30; ++i) {
        drain(window);
        ASSERT_TRUE(platform::present(window, surface, {0, 0, 400, 100}, {0, 0}));
        platform::sleep_ms(16);
    }
    if (const char* dump = std::getenv("QUARN_SDL_SMOKE_BMP")) {
        EXPECT_TRUE(platform::write_bmp(dump, platform::window_frame(window)));
    }
    platform::destroy_window(window);
}

// A key tapped and a button clicked with no hold reach the program as a
// press and a release in one pump. Polled once a frame, each reads down
// once and up once.
TEST_F(Sdl2Backend, SmokeAQuickTapAndClickAreEachSeenOnce)
{
    if (!std::getenv("QUARN_SDL_SMOKE"))
        GTEST_SKIP() << "set QUARN_SDL_SMOKE=1 with a display to open a real window";
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool taps the keys for this test; it is not installed";
    auto window = platform::create_window({.title = "taps", .client = {320, 240}, .position = {40, 30}});
    ASSERT_NE(window, nullptr) << platform::backend_error_text();
    platform::show_window(window, platform::ShowCommand::show_normal);
    platform::focus_window(window);
    // The keys go to the window with the focus, which the desktop gives in
    // its own time (late on a loaded machine).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (platform::foreground_window() != window && std::chrono::steady_clock::now() < deadline) {
        drain(window);
        platform::sleep_ms(10);
    }
    ASSERT_EQ(platform::foreground_window(), window) << "the window never took the focus";
    const std::pair<const char*, uint8_t> taps[] = {{"xdotool key F5", platform::vk::f5},
                                                    {"xdotool mousemove 100 100 click 1", platform::vk::lbutton}};
    for (const auto& [command, key] : taps) {
        bool was_down = platform::keyboard_state()[key] & 0x80;
        ASSERT_EQ(std::system(command), 0) << command;
        platform::sleep_ms(200); // the press and the release have both arrived
        int downs = 0, ups = 0;
        for (int frame = 0; frame < 3; ++frame) {
            drain(window);
            const bool down = platform::keyboard_state()[key] & 0x80;
            downs += down && !was_down;
            ups += !down && was_down;
            was_down = down;
        }
        EXPECT_EQ(downs, 1) << command;
        EXPECT_EQ(ups, 1) << command;
    }
    platform::destroy_window(window);
}

} // namespace

namespace {

// A desktop that cannot show a box (SDL finds no way to draw one, as
// without a display or dialog helper) once lost the box's text and the
// answer taken: the program could end with nothing said anywhere. Now
// stderr holds both. On the dummy driver with no display to fall back on,
// SDL has no message box at all.
TEST_F(Sdl2Backend, BoxThatCannotBeShownTakesItsDefaultAndSaysSo)
{
    if (std::getenv("QUARN_SDL_SMOKE"))
        GTEST_SKIP() << "the dummy driver's test";
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    const std::string wayland = std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    testing::internal::CaptureStderr();
    const platform::BoxOutcome outcome = platform::show_message_box({.caption = "Error Message",
                                                                     .text = "Bad value of FPS_LIMIT",
                                                                     .buttons = platform::BoxButtons::abort_retry_ignore,
                                                                     .default_button = 2});
    const std::string said = testing::internal::GetCapturedStderr();
    if (!display.empty())
        setenv("DISPLAY", display.c_str(), 1);
    if (!wayland.empty())
        setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
    EXPECT_NE(said.find("[message box] Error Message\nBad value of FPS_LIMIT\n"), std::string::npos) << said;
    ASSERT_FALSE(outcome.shown) << "SDL showed a box without a display";
    EXPECT_EQ(outcome.answer, platform::BoxAnswer::ignore);
    EXPECT_NE(said.find("[message box] could not be shown (SDL_ShowMessageBox: "), std::string::npos) << said;
    EXPECT_NE(said.find("); answered Ignore\n"), std::string::npos) << said;
}

} // namespace

namespace {

// A policy the program sets answers every box on the SDL2 backend too,
// recorded and not shown: a test in a real window sets one, so that a
// box never waits there for a person. Without a display no box could be
// shown at all, so only the policy can have answered.
TEST_F(Sdl2Backend, ASetPolicyAnswersTheBoxInsteadOfShowingIt)
{
    if (std::getenv("QUARN_SDL_SMOKE"))
        GTEST_SKIP() << "the dummy driver's test";
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    platform::clear_shown_boxes();
    platform::set_box_policy([](const platform::BoxRequest&) { return platform::BoxAnswer::retry; });
    testing::internal::CaptureStderr();
    const platform::BoxOutcome outcome = platform::show_message_box(
        {.caption = "Error Message", .text = "Bad value of FPS_LIMIT", .buttons = platform::BoxButtons::abort_retry_ignore});
    const std::string said = testing::internal::GetCapturedStderr();
    platform::set_box_policy(nullptr);
    const std::vector<platform::BoxRequest> boxes = platform::shown_boxes();
    platform::clear_shown_boxes();
    if (!display.empty())
        setenv("DISPLAY", display.c_str(), 1);
    EXPECT_TRUE(outcome.shown) << said;
    EXPECT_EQ(outcome.answer, platform::BoxAnswer::retry);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Bad value of FPS_LIMIT");
    EXPECT_NE(said.find("[message box] Error Message\nBad value of FPS_LIMIT\n"), std::string::npos) << said;
}

} // namespace
