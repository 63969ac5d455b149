// Everything the game needs, made in one go: the data files in
// <folder>/DATA (with a copy of the shipped settings, DATA/shipped.cfg)
// and, when there is none yet, the configuration
// <folder>/race.cfg (one that exists holds the player's settings and is
// kept). The track is checked first; nothing is written when it fails.
// Every run gives the same bytes.
#pragma once

#include <string>

namespace mkdata {

// 0 on success; 1 after reporting each fault on stderr. Throws
// quarn::Exception when a physics stream cannot be written.
int write_game_data(const std::string& folder);

} // namespace mkdata
