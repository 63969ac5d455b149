// The game's configuration file as the tool ships it.
#pragma once

#include <string>

namespace mkdata {

// "name = value" lines with "--" comments: the screen mode, the frame
// limit, sound and music, and where the texts, buttons and the game-over
// picture sit.
std::string make_config();

} // namespace mkdata
