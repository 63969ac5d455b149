// Where things sit on the 800 x 600 screen: the configuration the tool
// writes and the background it paints agree through these numbers.
#pragma once

namespace mkdata {

inline constexpr int screen_width = 800;
inline constexpr int screen_height = 600;

// The band along the bottom that holds the texts and the buttons, clear of
// the track (which keeps above y = 490).
inline constexpr int band_top = 500;

// Text sprites are centred on their x; y is their top.
inline constexpr int time_x = 110, lap_x = 250, best_x = 390, texts_y = 538;
inline constexpr int label_y = 514;

inline constexpr int button_width = 108, button_height = 46;
inline constexpr int new_x = 548, exit_x = 672, buttons_y = 527;

inline constexpr int game_over_width = 340, game_over_height = 120;
inline constexpr int game_over_x = (screen_width - game_over_width) / 2, game_over_y = 300;

} // namespace mkdata
