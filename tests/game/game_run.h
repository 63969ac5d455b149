// The whole game run headless in a test: the headless backend, a manual
// clock that the test advances, message boxes answered "Ignore" and logged,
// and a scratch game folder of its own under the temporary directory. The
// fixtures of the game's end-to-end tests derive from it and add only what
// their runs need.
#pragma once

#include "engine/app/app_internal.h"
#include "game/game.h"
#include "platform/platform.h"
#include "tests/game/game_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <utility>

namespace game_test {

class GameRun : public testing::Test {
protected:
    // `folder_prefix` starts the scratch folder's name; a random number
    // ends it, so that runs going on beside each other do not share one.
    explicit GameRun(std::string folder_prefix) : folder_prefix_(std::move(folder_prefix)) {}

    void SetUp() override
    {
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
        platform::set_clock_source(&clock_);
        platform::set_box_policy([](const platform::BoxRequest&) { return platform::BoxAnswer::ignore; });
        platform::clear_shown_boxes();
        gaEngine = gaEngineDefaults();
        start_dir_ = std::filesystem::current_path();
        root_ = std::filesystem::temp_directory_path() / (folder_prefix_ + std::to_string(std::random_device {}()));
        make_game_folder(root_);
    }

    // Shuts the game down if the test left it running, and puts back
    // everything SetUp changed. QUARN_KEEP_E2E keeps the folder, to look
    // at what a run wrote.
    void TearDown() override
    {
        delete g_app;
        g_app = nullptr;
        gaInstanceLock().reset();
        std::filesystem::current_path(start_dir_);
        std::error_code ec;
        if (!std::getenv("QUARN_KEEP_E2E"))
            std::filesystem::remove_all(root_, ec);
        gaExePath.clear();
        gaEngine = gaEngineDefaults();
        platform::set_box_policy(nullptr);
        platform::shutdown();
        platform::set_clock_source(nullptr);
    }

    // One turn of the main loop as the framework runs it, 16 ms long.
    void Frame()
    {
        g_app->Pump();
        if (g_app->IsUsable())
            inpPoll();
        g_app->OnFrame();
        if (g_app->IsUsable() && GameDraw() && g_app->IsUsable())
            g_app->UpdateScreen();
        clock_.advance_ms(16);
    }

    platform::ManualClock clock_;
    std::filesystem::path root_, start_dir_;

private:
    std::string folder_prefix_;
};

} // namespace game_test
