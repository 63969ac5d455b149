// The whole game, headless, on the data the build generated: the real
// framework start-up and shut-down, the real hooks, a manual clock with
// fixed 16 ms frames, scripted input, and the data tool's autopilot at the
// wheel.
#include "game/game.h"

#include "engine/app/app_internal.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "tests/game/game_folder.h"
#include "tests/game/game_run.h"
#include "tools/mkdata/autopilot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using platform::headless::InputEvent;
using platform::headless::InputKind;

std::vector<std::string> g_sounds;

class GameEndToEnd : public game_test::GameRun {
protected:
    GameEndToEnd() : GameRun("quarn_game_e2e_") {}

    void SetUp() override
    {
        GameRun::SetUp();
        g_sounds.clear();
        g_soundListener = [](const char* path) { g_sounds.emplace_back(path); };
    }

    void TearDown() override
    {
        GameRun::TearDown();
        g_soundListener = nullptr;
    }

    void Feed(std::vector<InputEvent> events) { platform::headless::feed_input(events); }

    // Holds exactly the arrow keys asked for.
    void Steer(const mkdata::Keys& k)
    {
        const std::pair<uint8_t, bool> want[] = { { platform::vk::up, k.up }, { platform::vk::down, k.down },
            { platform::vk::left, k.left }, { platform::vk::right, k.right } };
        std::vector<InputEvent> events;
        for (auto [key, down] : want)
            if (down != held_[key]) {
                events.push_back({ .kind = down ? InputKind::key_down : InputKind::key_up, .key = key });
                held_[key] = down;
            }
        Feed(events);
    }

    // Moves the mouse to the middle of a button and clicks it.
    void Click(const PushButton& button)
    {
        const rectTy r = const_cast<sprImgCTy&>(button.sprite).GetRect();
        const platform::Point at = platform::client_to_screen(g_app->window, { r.x + r.w / 2, r.y + r.h / 2 });
        Feed({ { .kind = InputKind::mouse_move, .position = at },
            { .at_ms = 16, .kind = InputKind::button_down, .key = platform::vk::lbutton },
            { .at_ms = 32, .kind = InputKind::button_up, .key = platform::vk::lbutton } });
    }

    size_t Count(const char* sound) const { return size_t(std::count(g_sounds.begin(), g_sounds.end(), sound)); }

    bool held_[256] = {};
};

// The frame's pels averaged over 8 x 8 blocks, so that small differences
// of JPEG decoders do not count.
std::vector<uint8_t> blocks_of_bmp(const std::string& file, int& width, int& height)
{
    std::ifstream in(file, std::ios::binary);
    const std::string bmp((std::istreambuf_iterator<char>(in)), {});
    if (bmp.size() < 54)
        return {};
    std::memcpy(&width, bmp.data() + 18, 4);
    std::memcpy(&height, bmp.data() + 22, 4);
    uint16_t bits;
    std::memcpy(&bits, bmp.data() + 28, 2);
    if (bits != 24 || width % 8 || height % 8 || bmp.size() < 54 + size_t(width) * height * 3)
        return {};
    std::vector<uint8_t> out;
    for (int by = 0; by < height / 8; ++by)
        for (int bx = 0; bx < width / 8; ++bx)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x) {
                        const int row = height - 1 - (by * 8 + y); // bottom-up
                        sum += uint8_t(bmp[54 + (size_t(row) * width + bx * 8 + x) * 3 + c]);
                    }
                out.push_back(uint8_t(sum / 64));
            }
    return out;
}

TEST_F(GameEndToEnd, ThreeLapsNewGameCrashScreenshotAndExit)
{
    g_app = new gaCTy;
    g_app->Init();
    ASSERT_NE(g_app->window, nullptr);
    ASSERT_TRUE(g_car);
    EXPECT_EQ(g_sounds, std::vector<std::string> { "DATA/start.wav" });

    // Three laps by autopilot.
    mkdata::Autopilot pilot(mkdata::Autopilot::load("DATA/track.path"));
    int frames = 0;
    while (!g_race.IsFinished() && frames < 5000) {
        Steer(pilot.drive(g_car->position(), g_car->angle(), g_car->velocity, g_car->angular_velocity));
        Frame();
        ++frames;
    }
    Steer({});
    Frame();
    ASSERT_TRUE(g_race.IsFinished()) << "after " << frames << " frames, " << g_race.lapsDone << " laps";
    std::vector<std::string> expected { "DATA/start.wav" };
    for (int lap = 0; lap < 3; ++lap) {
        expected.insert(expected.end(), 5, "DATA/checkpoint.wav");
        expected.push_back("DATA/lap.wav");
    }
    expected.push_back("DATA/gameover.wav");
    EXPECT_EQ(g_sounds, expected);
    const int32_t race_ms = int32_t(g_race.raceClock.elapsed_ms());
    // The race clock ran from the start sound to the last gate, on the
    // frames' 16 ms.
    EXPECT_NEAR(race_ms, frames * 16, 48);
    EXPECT_EQ(g_app->cfg->GetInt("best_result"), race_ms);
    EXPECT_EQ(g_lapText.text, "3:3");
    char time_text[16];
    FormatRaceTime(time_text, sizeof time_text, race_ms);
    EXPECT_EQ(g_timeText.text, time_text);
    EXPECT_EQ(g_bestText.text, time_text);
    EXPECT_TRUE(g_gameOverSprite.visible);

    // F5: a screenshot named after the window, matching the golden frame.
    Feed({ { .kind = InputKind::key_down, .key = platform::vk::f5 },
        { .at_ms = 16, .kind = InputKind::key_up, .key = platform::vk::f5 } });
    Frame();
    Frame();
    const std::string shot = "Quarn Race_0.bmp";
    ASSERT_TRUE(fs::exists(shot));
    EXPECT_FALSE(fs::exists("Quarn Race_1.bmp"));
    int w = 0, h = 0;
    const std::vector<uint8_t> blocks = blocks_of_bmp(shot, w, h);
    ASSERT_EQ(w, 800);
    ASSERT_EQ(h, 600);
    const std::string golden = std::string(QUARN_GAME_GOLDEN_DIR) + "/finish_100x75.rgb";
    if (std::getenv("QUARN_UPDATE_GOLDEN")) {
        std::ofstream(golden, std::ios::binary).write(reinterpret_cast<const char*>(blocks.data()), std::streamsize(blocks.size()));
    }
    std::ifstream golden_in(golden, std::ios::binary);
    const std::vector<uint8_t> expected_blocks((std::istreambuf_iterator<char>(golden_in)), {});
    ASSERT_EQ(expected_blocks.size(), blocks.size());
    int worst = 0;
    for (size_t i = 0; i < blocks.size(); ++i)
        worst = std::max(worst, std::abs(int(blocks[i]) - int(expected_blocks[i])));
    EXPECT_LE(worst, 6);

    // "New": the start sound, then the click; racing again.
    g_sounds.clear();
    Click(g_newButton);
    for (int i = 0; i < 4; ++i)
        Frame();
    EXPECT_EQ(g_sounds, (std::vector<std::string> { "DATA/start.wav", "DATA/click.wav" }));
    EXPECT_FALSE(g_race.IsFinished());
    EXPECT_FALSE(g_gameOverSprite.visible);
    EXPECT_EQ(g_race.lapsDone, 0);

    // Full throttle straight ahead runs into the outer wall of the first
    // bend: the crash sound, and the car back at the start gate's middle
    // with its heading.
    g_sounds.clear();
    Steer({ .up = true });
    for (int i = 0; i < 300 && !Count("DATA/hit.wav"); ++i)
        Frame();
    // Every sub-step touching the wall makes a crash contact, each with
    // its sound.
    ASSERT_GE(Count("DATA/hit.wav"), 1u);
    EXPECT_EQ(g_car->position(), (quarn::math::Point2f { 95, -135 }));
    // The heading the contact left is kept; the contact turns it a little.
    EXPECT_NEAR(g_car->angle(), START_ANGLE, 0.15);
    Steer({});

    // "Exit" ends the main loop; the shut-down saves the best time and the
    // window's place.
    Click(g_exitButton);
    g_app->Run();
    EXPECT_EQ(g_app->quit, 1u);
    EXPECT_EQ(g_sounds.back(), "DATA/click.wav");
    delete g_app;
    g_app = nullptr;
    cfgCTy saved;
    ASSERT_EQ(saved.Load((root_ / "race.cfg").string().c_str()).read, cfgReadTy::whole);
    EXPECT_EQ(saved.GetInt("best_result"), race_ms);
    EXPECT_NE(std::string(saved.GetStr("WINDOW_X")), "");
    EXPECT_NE(std::string(saved.GetStr("WINDOW_Y")), "");
}

} // namespace

namespace {

// The real program's parts on the SDL2 backend, in a window: run only on
// request, under a display (Xvfb) with SDL's dummy audio:
//   QUARN_GAME_SMOKE=1 SDL_AUDIODRIVER=dummy xvfb-run -a
//     build/release/tests/game/test_game_e2e --gtest_filter='GameSmoke.*'
TEST(GameSmoke, RealWindowRunsThreeHundredFramesOfAutopilot)
{
    if (!std::getenv("QUARN_GAME_SMOKE"))
        GTEST_SKIP() << "set QUARN_GAME_SMOKE=1 and run under a display";
    platform::shutdown();
    platform::use_backend(platform::BackendKind::sdl2);
    ASSERT_EQ(platform::backend_kind(), platform::BackendKind::sdl2) << platform::backend_error_text();
    // A box would open on the display and wait for a person there: the
    // policy answers it instead (Ignore, so that a report lets the run go
    // on), and the run fails naming it.
    platform::clear_shown_boxes();
    platform::set_box_policy([](const platform::BoxRequest&) { return platform::BoxAnswer::ignore; });
    gaEngine = gaEngineDefaults();
    const fs::path start = fs::current_path();
    // A copy of the data, so that the run's saved configuration stays there.
    const fs::path root = fs::temp_directory_path() / "quarn_game_smoke";
    game_test::make_game_folder(root);

    g_app = new gaCTy;
    g_app->Init();
    ASSERT_NE(g_app->window, nullptr);
    mkdata::Autopilot pilot(mkdata::Autopilot::load("DATA/track.path"));
    const quarn::math::Point2f start_pos = g_car->position();
    for (int frame = 0; frame < 300; ++frame) {
        g_app->Pump();
        inpPoll();
        // The keys go straight into the input state: a window system's
        // keyboard cannot be scripted here.
        const mkdata::Keys k = pilot.drive(g_car->position(), g_car->angle(), g_car->velocity, g_car->angular_velocity);
        g_input.keys[platform::vk::up] = k.up ? 0x80 : 0;
        g_input.keys[platform::vk::down] = k.down ? 0x80 : 0;
        g_input.keys[platform::vk::left] = k.left ? 0x80 : 0;
        g_input.keys[platform::vk::right] = k.right ? 0x80 : 0;
        g_app->OnFrame();
        if (GameDraw())
            g_app->UpdateScreen();
        platform::sleep_ms(16);
    }
    EXPECT_GT(quarn::math::distance(g_car->position(), start_pos), 100.0f) << "the car moved";
    EXPECT_GE(g_race.nextGate, 1) << "and passed the first gate";
    delete g_app;
    g_app = nullptr;
    gaEngine = gaEngineDefaults();
    gaExePath.clear();
    fs::current_path(start);
    fs::remove_all(root);
    platform::set_box_policy(nullptr);
    platform::shutdown();
    std::string boxes;
    for (const platform::BoxRequest& box : platform::shown_boxes())
        boxes += box.caption + ": " + box.text + "\n";
    EXPECT_EQ(boxes, "") << "boxes during the run";
}

} // namespace
