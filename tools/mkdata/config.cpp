#include "tools/mkdata/config.h"

#include "tools/mkdata/layout.h"

#include <string>

namespace mkdata {

std::string make_config()
{
    std::string cfg = "-- Quarn Race settings. The game keeps the best time and the window's\n"
                      "-- place here when it ends.\n";
    auto key = [&](const char* name, const std::string& value) { cfg += std::string(name) + " = " + value + "\n"; };
    auto num = [&](const char* name, int value) { key(name, std::to_string(value)); };
    num("SCR_LX", screen_width);
    num("SCR_LY", screen_height);
    num("SCR_BPP", 16);
    num("FULL_SCREEN", 0);
    num("ENABLE_ALT_ENTER", 1);
    num("WINDOW_STORE_POSITION", 1);
    cfg += "-- Milliseconds per frame at least (about 60 frames a second).\n";
    num("FPS_LIMIT", 16);
    num("NEED_DRAW_FPS", 0);
    key("WND_NAME", "Quarn Race");
    cfg += "-- Sound effects volume 0..100; music 1 or 0.\n";
    num("snd_volume", 80);
    num("music", 1);
    cfg += "-- Screen places of the texts (centred on x), the buttons and the\n"
           "-- picture at the end of a race.\n";
    num("time_x", time_x);
    num("time_y", texts_y);
    num("lap_x", lap_x);
    num("lap_y", texts_y);
    num("hightime_x", best_x);
    num("hightime_y", texts_y);
    num("but_new_x", new_x);
    num("but_new_y", buttons_y);
    num("but_exit_x", exit_x);
    num("but_exit_y", buttons_y);
    num("game_over_x", game_over_x);
    num("game_over_y", game_over_y);
    return cfg;
}

} // namespace mkdata
