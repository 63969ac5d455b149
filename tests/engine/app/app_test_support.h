// A headless run of the framework: a scratch folder holding the program and
// its data folder, a manual clock, recorded hook and subsystem calls, and
// game hooks whose behaviour each test scripts.
#pragma once

#include "engine/app/app_internal.h"

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// What the test hooks do; reset before each test.
struct TestGame {
    std::vector<std::string> calls; // hooks and subsystem calls, in order
    std::function<void()> onInit;
    std::function<int()> onFrame;
    std::function<int(uint32_t message)> onMessage;
    std::vector<unsigned> setModeFlags;
    std::vector<rectTy> copied; // every rectangle copied to the window
    int presents = 0;
    bool flips = false;
    int modeWidth = 640, modeHeight = 480;
};
extern TestGame testGame;

class AppTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes "race.cfg" beside the data folder.
    void WriteConfig(const std::string& text);
    std::string ReadConfig() const;
    // Runs the start-up of a new application object held in g_app.
    gaCTy& Start();
    // Deletes g_app: the shut-down.
    void Stop();

    platform::ManualClock clock;
    std::filesystem::path root; // holds DATA and race.cfg
    std::filesystem::path startDir;  // the current folder at the start, in `root`
    std::filesystem::path launchDir; // the test program's, given back at the end
};
