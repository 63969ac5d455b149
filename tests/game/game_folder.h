// A scratch copy of the game's folder: the generated DATA/ and race.cfg,
// with the program placed in bin/x64 below it, as an installed game is laid
// out. Runs write their configuration and screenshots there, never into the
// build's own data. Shared by the game's tests and its frame benchmark.
#pragma once

#include "engine/app/app_internal.h"

#include <filesystem>
#include <string>

namespace game_test {

// Makes `root` afresh and points gaExePath at the program's place in it.
inline void make_game_folder(const std::filesystem::path& root)
{
    namespace fs = std::filesystem;
    const fs::path build(QUARN_GAME_BUILD_DIR);
    fs::remove_all(root);
    fs::create_directories(root / "bin" / "x64");
    fs::copy(build / "DATA", root / "DATA", fs::copy_options::recursive);
    fs::copy_file(build / "race.cfg", root / "race.cfg");
    gaExePath = (root / "bin" / "x64" / "race").string();
}

} // namespace game_test
