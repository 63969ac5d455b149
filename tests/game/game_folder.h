// A scratch copy of the game's folder: the generated DATA/ and the data
// tool's race.cfg, with the program placed in bin/x64 below it, as an
// installed game is laid out. Runs write their configuration and screenshots
// there, never into the build's own data. The configuration is made afresh
// from the tool's text, never copied from the build folder, where playing
// the game saves a window position and a best time over the shipped file.
// Shared by the game's tests and its frame benchmark.
#pragma once

#include "engine/app/app_internal.h"
#include "tools/mkdata/config.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace game_test {

// Makes `root` afresh from the data in `build` and points gaExePath at the
// program's place in it.
inline void make_game_folder(const std::filesystem::path& root,
                             const std::filesystem::path& build = QUARN_GAME_BUILD_DIR)
{
    namespace fs = std::filesystem;
    fs::remove_all(root);
    fs::create_directories(root / "bin" / "x64");
    fs::copy(build / "DATA", root / "DATA", fs::copy_options::recursive);
    std::ofstream(root / "race.cfg", std::ios::binary) << mkdata::make_config();
    gaExePath = (root / "bin" / "x64" / "race").string();
}

} // namespace game_test
