// The whole game, headless, around its window: switching to full screen and
// back, and a report box answered while the game runs.
#include "game/game.h"

#include "engine/app/app_internal.h"
#include "platform/headless.h"
#include "platform/message_box.h"
#include "platform/platform.h"
#include "tests/Lib/quarn/src/quarn/log_capture.h"
#include "tests/game/game_run.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/refused_new.h"
#include "tools/mkdata/config.h"
#include "tools/mkdata/pictures.h"
#include "tools/mkdata/writers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>


namespace {

namespace fs = std::filesystem;
using platform::headless::InputEvent;
using platform::headless::InputKind;

// The game window's pels as 0xRRGGBB, rows top first.
std::vector<uint32_t> shown()
{
    const platform::PixelView frame = platform::window_frame(g_app->window);
    std::vector<uint32_t> out;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            out.push_back(platform::read_pixel(frame, x, y) & 0xFFFFFF);
    return out;
}

class GameWindow : public game_test::GameRun {
protected:
    GameWindow() : GameRun("quarn_game_window_") {}

    void SetUp() override
    {
        GameRun::SetUp();
        g_app = new gaCTy;
        g_app->Init();
    }

    void Frames(int n)
    {
        for (int i = 0; i < n; ++i)
            Frame();
    }

    // Presses and releases a key (with Alt held around it when asked).
    void Press(uint8_t key, bool alt = false)
    {
        std::vector<InputEvent> events;
        if (alt)
            events.push_back({ .kind = InputKind::key_down, .key = platform::vk::lmenu });
        events.push_back({ .kind = InputKind::key_down, .key = key });
        events.push_back({ .at_ms = 16, .kind = InputKind::key_up, .key = key });
        if (alt)
            events.push_back({ .at_ms = 16, .kind = InputKind::key_up, .key = platform::vk::lmenu });
        platform::headless::feed_input(events);
        Frames(4);
    }
};

// The share of pels two frames of one size hold alike: no channel differs
// by more than a 16-bit screen's step, as full screen runs at 16 bits and
// a window at the desktop's 32.
double alike(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    size_t same = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        bool close = true;
        for (int shift = 0; shift < 24; shift += 8)
            close = close && std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF)) <= 8;
        same += close;
    }
    return double(same) / double(a.size());
}

TEST_F(GameWindow, AltEnterToFullScreenAndBackShowsTheWholePicture)
{
    ASSERT_NE(g_app->window, nullptr);
    Frames(10);
    const std::vector<uint32_t> before = shown();
    ASSERT_EQ(before.size(), 800u * 600u);

    // Only the clock's digits change from frame to frame; all the rest of
    // the picture (track, texts, buttons, car) must come back.
    Press(platform::vk::return_key, true);
    ASSERT_TRUE(platform::is_full_screen(g_app->window));
    EXPECT_EQ(g_app->cfg->GetInt("FULL_SCREEN"), 1);
    EXPECT_GT(alike(shown(), before), 0.97) << "in full screen";

    Press(platform::vk::return_key, true);
    ASSERT_FALSE(platform::is_full_screen(g_app->window));
    EXPECT_EQ(g_app->cfg->GetInt("FULL_SCREEN"), 0);
    EXPECT_GT(alike(shown(), before), 0.97) << "back in a window";
}

TEST_F(GameWindow, AFailedScreenshotsReportLeavesTheWindowShownAndPlaying)
{
    ASSERT_NE(g_app->window, nullptr);
    Frames(4);
    {
        // Far below the picture's size: the write fails as on a full disk.
        const test_support::FileSizeLimit full(4096);
        ASSERT_TRUE(full.set());
        Press(platform::vk::f5);
    }
    EXPECT_FALSE(fs::exists("Quarn Race_0.bmp"));
    EXPECT_FALSE(fs::exists("Quarn Race_0.bmp.tmp~"));
    ASSERT_FALSE(platform::shown_boxes().empty()) << "the failed write is reported";
    // With its reason: the player can make room.
    EXPECT_NE(platform::shown_boxes().back().text.find("Can't write to file 'Quarn Race_0.bmp': File too large"),
              std::string::npos)
        << platform::shown_boxes().back().text;
    Frames(4);
    EXPECT_TRUE(platform::is_window_visible(g_app->window));
    EXPECT_FALSE(platform::is_minimised(g_app->window));
    EXPECT_TRUE(g_app->IsUsable()) << "the window is active again";
    platform::headless::reset_display_counters();
    Frames(4);
    EXPECT_GE(platform::headless::display_counters().shows, 4u) << "and the game goes on drawing";
}

// A link at the temporary name had the picture written where it led, and
// a link leading nowhere at a picture's name was taken for a free number
// and replaced. Both are left as they are, and the picture goes elsewhere.
TEST_F(GameWindow, ScreenshotsWriteThroughNoLinkAndReplaceNone)
{
    std::ofstream("mine.txt") << "keep";
    fs::create_symlink("mine.txt", "Quarn Race_0.bmp.tmp~");
    Press(platform::vk::f5);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status("Quarn Race_0.bmp")));
    EXPECT_EQ(fs::file_size("mine.txt"), 4u);
    fs::create_symlink("gone.bmp", "Quarn Race_1.bmp");
    Press(platform::vk::f5);
    EXPECT_TRUE(fs::is_symlink("Quarn Race_1.bmp"));
    EXPECT_FALSE(fs::exists("gone.bmp"));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status("Quarn Race_2.bmp")));
    EXPECT_TRUE(platform::shown_boxes().empty());
}

// The game on a screen of another size or depth, or on a background picture
// of another size: it starts, draws, and F5 saves the picture of the screen
// at the screen's size. The background is the picture at the top left,
// cut where the screen ends, black where the picture ends.
class GameScreen : public game_test::GameRun {
protected:
    GameScreen() : GameRun("quarn_game_screen_") {}

    void TearDown() override
    {
        GameRun::TearDown();
        platform::headless::set_display_depth(32);
    }

    void Start(int width = 800, int height = 600, int frames = 4)
    {
        std::string text = mkdata::make_config();
        text.replace(text.find("SCR_LX = 800\n"), 13, "SCR_LX = " + std::to_string(width) + "\n");
        text.replace(text.find("SCR_LY = 600\n"), 13, "SCR_LY = " + std::to_string(height) + "\n");
        std::ofstream(root_ / "race.cfg", std::ios::binary) << text;
        g_app = new gaCTy;
        g_app->Init();
        for (int i = 0; i < frames; ++i)
            Frame();
    }

    void Feed(std::vector<InputEvent> events) { platform::headless::feed_input(events); }
};

// The pels of a 24-bit BMP as 0xRRGGBB, rows top first; empty when the
// file is not one of width x height.
std::vector<uint32_t> bmp_pels(const std::string& file, int width, int height)
{
    std::ifstream in(file, std::ios::binary);
    const std::string bmp((std::istreambuf_iterator<char>(in)), {});
    const size_t row = (size_t(width) * 3 + 3) & ~size_t { 3 };
    int32_t size[2] = {};
    if (bmp.size() != 54 + row * size_t(height))
        return {};
    std::memcpy(size, bmp.data() + 18, sizeof size);
    if (size[0] != width || size[1] != height || bmp[28] != 24)
        return {};
    std::vector<uint32_t> out;
    for (int y = 0; y < height; ++y) {
        const auto* p = reinterpret_cast<const uint8_t*>(bmp.data()) + 54 + size_t(height - 1 - y) * row;
        for (int x = 0; x < width; ++x, p += 3)
            out.push_back(uint32_t { p[2] } << 16 | uint32_t { p[1] } << 8 | p[0]);
    }
    return out;
}

bool near(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 8)
            return false;
    return true;
}

TEST_F(GameScreen, AnyScreenSizeAndDepthDrawsAndItsScreenshotHasTheScreensSize)
{
    platform::headless::set_desktop({ 4096, 4096 }, { 0, 0, 4096, 4096 });
    for (auto [width, height, depth] : { std::tuple { 1024, 768, 32 }, std::tuple { 1280, 960, 16 },
             std::tuple { 640, 480, 16 }, std::tuple { 799, 601, 24 }, std::tuple { 1, 1, 15 } }) {
        SCOPED_TRACE(testing::Message() << width << "x" << height << "x" << depth);
        fs::remove("Quarn Race_0.bmp");
        platform::headless::set_display_depth(depth);
        Start(width, height);
        const platform::PixelView frame = platform::window_frame(g_app->window);
        EXPECT_EQ(frame.width, width);
        EXPECT_EQ(frame.height, height);
        platform::headless::feed_input({ { .kind = InputKind::key_down, .key = platform::vk::f5 },
            { .at_ms = 16, .kind = InputKind::key_up, .key = platform::vk::f5 } });
        Frame();
        Frame();
        std::ifstream in("Quarn Race_0.bmp", std::ios::binary);
        int32_t size[2] = {};
        in.seekg(18);
        in.read(reinterpret_cast<char*>(size), sizeof size);
        EXPECT_EQ(size[0], width);
        EXPECT_EQ(size[1], height);
        delete g_app;
        g_app = nullptr;
    }
}

// The window's title names the screenshots, and a group member's own
// race.cfg, read in the group's folder, may give it: "/home/<player>/pwn"
// or "../x" had F5 write pictures out of the game's folder. Whatever
// the title, the picture is made beside the game, in the player's own
// folder and in one shared with a group.
TEST_F(GameScreen, AScreenshotIsMadeBesideTheGameWhateverTheTitle)
{
    const struct {
        const char* title;
        const char* file;
        fs::perms folder;
        bool members = false; // race.cfg is a group member's
    } rows[] = {
        {"Quarn Race", "Quarn Race_0.bmp", fs::perms(0755)},
        {"Quarn Race", "Quarn Race_0.bmp", fs::perms(02775)},
        {"../x", "_._x_0.bmp", fs::perms(02775), true},
        {"@/pwn", nullptr, fs::perms(02775), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.title << (row.members ? ", a member's race.cfg" : ""));
        if (row.members && ::geteuid() != 0) {
            std::printf("the row '%s' is skipped: only root can give a file away\n", row.title);
            continue;
        }
        game_test::make_game_folder(root_);
        // "@" stands for a folder beside the game's, where nothing may go.
        const fs::path beside = root_.string() + "_beside";
        fs::create_directories(beside);
        std::string title = row.title;
        if (title[0] == '@')
            title.replace(0, 1, beside.string());
        std::string text = mkdata::make_config();
        text.replace(text.find("WND_NAME = "), text.find('\n', text.find("WND_NAME = ")) - text.find("WND_NAME = "),
                     "WND_NAME = " + title);
        std::ofstream(root_ / "race.cfg", std::ios::binary) << text;
        fs::permissions(root_, row.folder);
        if (row.members) {
            ASSERT_EQ(::chown((root_ / "race.cfg").c_str(), 65534, ::getegid()), 0);
        }
        g_app = new gaCTy;
        g_app->Init();
        ASSERT_STREQ(g_app->cfg->GetStr("WND_NAME"), title.c_str());
        Frame();
        platform::headless::feed_input({ { .kind = InputKind::key_down, .key = platform::vk::f5 },
            { .at_ms = 16, .kind = InputKind::key_up, .key = platform::vk::f5 } });
        Frame();
        Frame();
        delete g_app;
        g_app = nullptr;
        fs::current_path(start_dir_);
        std::string file = row.file ? row.file : "";
        if (!row.file)
            for (char c : title + "_0.bmp")
                file += c == '/' ? '_' : c;
        EXPECT_TRUE(fs::is_regular_file(root_ / file)) << file;
        EXPECT_TRUE(fs::is_empty(beside));
        EXPECT_FALSE(fs::exists(root_.parent_path() / "x_0.bmp"));
        fs::remove_all(beside);
        fs::permissions(root_, fs::perms(0755));
    }
}

TEST_F(GameScreen, ABackgroundPictureOfAnotherSizeIsDrawnAtTheTopLeft)
{
    for (auto [w, h] :
        { std::pair { 801, 600 }, std::pair { 800, 601 }, std::pair { 2000, 50 }, std::pair { 300, 700 } }) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        // A smooth picture whose every row and column differs from the others.
        mkdata::Canvas picture(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                picture.at(x, y) = { float(x) / float(w), float(y) / float(h), 0.5f };
        const std::vector<uint8_t> jpeg = mkdata::jpeg_bytes(picture, 95);
        std::ofstream(root_ / "DATA" / "bkg.jpg", std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
        Start();
        imgRowCTy loaded;
        ASSERT_EQ(loaded.LoadJpg("DATA/bkg.jpg"), 0);
        ASSERT_EQ(g_bkgImage.width, 800);
        ASSERT_EQ(g_bkgImage.height, 600);
        for (int y = 0; y < 600; y += 7)
            for (int x = 0; x < 800; x += 7) {
                const uint32_t want = x < w && y < h ? loaded.ColorAtXY(x, y) : 0;
                ASSERT_TRUE(near(g_bkgImage.ColorAtXY(x, y), want)) << x << "," << y;
            }
        delete g_app;
        g_app = nullptr;
    }
}

size_t differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    if (a.size() != b.size())
        return std::max(a.size(), b.size());
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

// What is drawn on screens smaller and larger than the 800 x 600 the game
// was made for: a screenshot taken before the first frame holds the frame
// the player sees; the cursor shows wherever it is, the strips beyond
// 800 x 600 included; and after the window is left, the display loses its
// surfaces and the window is taken up again, every pel is drawn anew. The
// cursor is compared with the data tool's own drawing of it.
TEST_F(GameScreen, EveryPartOfTheScreenIsDrawnAndDrawnAgain)
{
    platform::headless::set_desktop({ 4096, 4096 }, { 0, 0, 4096, 4096 });
    const mkdata::Canvas cursor = mkdata::draw_cursor();
    const std::vector<uint8_t> cursor_bgr = cursor.bgr();
    const struct {
        int width, height;
        std::vector<platform::Point> mouse; // cursor places, client coordinates
    } cases[] = {
        { 640, 480, { { 620, 450 }, { 0, 0 } } },
        { 800, 600, { { 780, 570 } } },
        { 1024, 768, { { 900, 100 }, { 100, 700 }, { 1000, 740 } } }, // right, bottom and the corner
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        fs::remove(root_ / "Quarn Race_0.bmp");
        Start(c.width, c.height, 0);
        Feed({ { .kind = InputKind::key_down, .key = platform::vk::f5 },
            { .at_ms = 16, .kind = InputKind::key_up, .key = platform::vk::f5 } });
        Frame();
        const std::vector<uint32_t> shot = bmp_pels("Quarn Race_0.bmp", c.width, c.height);
        ASSERT_EQ(shot.size(), size_t(c.width) * size_t(c.height));
        EXPECT_EQ(differing(shot, shown()), 0u) << "pels of the first frame's screenshot not as shown";

        for (const platform::Point at : c.mouse) {
            Feed({ { .kind = InputKind::mouse_move, .position = platform::client_to_screen(g_app->window, at) } });
            Frame();
            Frame();
            const std::vector<uint32_t> frame = shown();
            int wrong = 0;
            for (int y = 0; y < cursor.height(); ++y)
                for (int x = 0; x < cursor.width(); ++x) {
                    const uint8_t* p = &cursor_bgr[(size_t(y) * cursor.width() + x) * 3];
                    const uint32_t want = uint32_t { p[2] } << 16 | uint32_t { p[1] } << 8 | p[0];
                    if (want != 0x00FF00 && frame[size_t(at.y + y) * c.width + at.x + x] != want)
                        ++wrong;
                }
            EXPECT_EQ(wrong, 0) << "cursor pels missing at " << at.x << "," << at.y;
        }

        const std::vector<uint32_t> before = shown();
        Feed({ { .kind = InputKind::deactivate } });
        Frame();
        platform::headless::lose_display_surfaces();
        Feed({ { .kind = InputKind::activate } });
        for (int i = 0; i < 4; ++i)
            Frame();
        EXPECT_EQ(differing(shown(), before), 0u) << "pels not drawn again, of " << before.size();
        delete g_app;
        g_app = nullptr;
    }
}

// A screenshot there is no memory for once ended the game with "Not enough
// memory to run the game", and the best time of the run was lost. It fails
// alone now, said once on stderr, in a box and in the log, with the file
// and the way out; the race goes on and its end saves the settings. Each
// row runs in a child of its own, with allocations of the picture's size
// refused: those of the engine's images (memAlloc), those of `new` (which
// throws std::bad_alloc, as under an address-space limit), or both. An
// address-space limit cannot stand for these in a test program: its
// allocator serves a block of that size from arena space it reserved
// before the limit was set.
class GameScreenMemory : public GameScreen {
protected:
    struct Case {
        const char* name;
        bool image_refused, new_refused;
        bool made;
    };

    static constexpr const char* said = "Can't save the screenshot 'Quarn Race_0.bmp': not enough memory for a picture";

    // The child's run: its status says what went wrong (0: nothing).
    [[noreturn]] void Run(const Case& c)
    {
        quarn_test::LogCapture log;
        Start(1024, 768, 2);
        const size_t picture = size_t(1024) * 768 * 3;
        if (c.image_refused) {
            image_refused_from = picture;
            memHooks.alloc = [](size_t size) { return size >= image_refused_from ? nullptr : std::malloc(size); };
        }
        if (c.new_refused)
            test_support::refuse_new_from(picture);
        Feed({ { .kind = InputKind::key_down, .key = platform::vk::f5 },
            { .at_ms = 16, .kind = InputKind::key_up, .key = platform::vk::f5 } });
        platform::headless::reset_display_counters();
        for (int i = 0; i < 4; ++i)
            Frame();
        const std::vector<platform::BoxRequest> boxes = platform::shown_boxes();
        const std::string logged = log.text();
        const bool told = boxes.size() == 1 && boxes[0].text.find(said) != std::string::npos
            && logged.find(said) != std::string::npos && logged.find(said) == logged.rfind(said);
        const bool file = fs::exists("Quarn Race_0.bmp");
        if (c.made ? !boxes.empty() || !file : !told || file)
            std::_Exit(11);
        if (!g_app->IsUsable() || platform::headless::display_counters().shows < 4)
            std::_Exit(12);
        g_app->cfg->SetInt("best_result", 61234); // a race won after the screenshot
        delete g_app;
        g_app = nullptr;
        cfgCTy saved;
        const bool kept = saved.Load((root_ / "race.cfg").string().c_str()).read == cfgReadTy::whole
            && saved.GetInt("best_result") == 61234;
        std::_Exit(kept ? 0 : 13);
    }

    static inline size_t image_refused_from = 0;
};

TEST_F(GameScreenMemory, AScreenshotWithoutMemoryFailsAloneAndTheSettingsAreSaved)
{
    const Case cases[] = {
        { "the image's allocation refused", true, false, false },
        // Room for the picture, but not for a second copy of it.
        { "new of the picture's size refused", false, true, true },
        { "both refused", true, true, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(root_ / "Quarn Race_0.bmp");
        EXPECT_EXIT(Run(c), testing::ExitedWithCode(0), c.made ? "" : said);
    }
}

} // namespace
