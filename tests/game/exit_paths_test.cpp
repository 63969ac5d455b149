// The ways the whole program ends other than by its exit button: a library
// exception out of the physics step, a data file that does not load, and
// the display going away. Each run is the program's own entry with the
// real sound system (feeder thread, mixer, MIDI scheduler), in a child
// process, since what is checked is how the process ends.
#include "game/game.h"

#include "engine/app/app_internal.h"
#include "platform/platform.h"
#include "tests/game/game_folder.h"
#include "tools/mkdata/shapes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A shape file holding one box, centred at (x, y) with the half sizes given.
void write_box_obst(const fs::path& file, float x, float y, float half)
{
    quarn::cls2::Collidable c;
    c.primitives.add_root(quarn::RefPtr<quarn::cls2::Primitive>(new quarn::cls2::PrimitiveProxy<quarn::cls2::Box>(
        quarn::cls2::Box{{x, y}, half, half}, &c, {})));
    c.mask = 0xFFFFFFFF;
    c.set_owners();
    mkdata::write_obst(file.string(), c);
}

// The program's `main` on the backend given, in the game folder: its exit
// status is the process's.
[[noreturn]] void run_program()
{
    char name[] = "race";
    char* argv[] = {name, nullptr};
    const int status = gaMain(1, argv);
    platform::shutdown();
    std::exit(status);
}

class GameExit : public testing::Test {
protected:
    void SetUp() override
    {
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
        platform::set_box_policy([](const platform::BoxRequest&) { return platform::BoxAnswer::ok; });
        gaEngine = gaEngineDefaults();
        start_dir_ = fs::current_path();
        root_ = fs::temp_directory_path() / ("quarn_game_exit_" + std::to_string(std::random_device{}()));
        game_test::make_game_folder(root_);
    }

    void TearDown() override
    {
        fs::current_path(start_dir_);
        std::error_code ec;
        fs::remove_all(root_, ec);
        gaExePath.clear();
        platform::set_box_policy(nullptr);
        platform::shutdown();
    }

    fs::path root_, start_dir_;
};

// The car's box overlaps the track's at the start pose: the first physics
// step throws while the start sound plays. The program reports it, stops
// its sound threads and ends with a failure status, writing nothing.
TEST_F(GameExit, ShapesOverlappingAtTheStartEndInOrderWithAFailureStatus)
{
    write_box_obst(root_ / "DATA" / "car.obst", 0, 0, 10);
    write_box_obst(root_ / "DATA" / "track.obst", START_X, START_Y, 40);
    std::ofstream(root_ / "race.cfg", std::ios::app) << "music = 1\nsnd_volume = 100\n";
    const std::string cfg = read_file(root_ / "race.cfg");
    EXPECT_EXIT(run_program(), testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file(root_ / "race.cfg"), cfg);
}

// A shape file that is missing or does not read ends start-up through the
// same path, with the same status.
TEST_F(GameExit, ShapeFileThatDoesNotLoadEndsWithAFailureStatus)
{
    const struct {
        const char* file;
        const char* bytes; // null: the file is missing
    } cases[] = {
        {"car.obst", nullptr},
        {"track.obst", nullptr},
        {"car.obst", "quarn::io::Stream\x01"},
        {"track.obst", "not a shape"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.bytes ? " damaged" : " missing"));
        game_test::make_game_folder(root_);
        const fs::path file = root_ / "DATA" / c.file;
        fs::remove(file);
        if (c.bytes)
            std::ofstream(file, std::ios::binary) << c.bytes;
        EXPECT_EXIT(run_program(), testing::ExitedWithCode(1), "");
    }
}

} // namespace
