// mkdata <folder>: writes the game's data into <folder>/DATA and its
// configuration into <folder>/race.cfg when that file does not exist.
#include "tools/mkdata/data.h"

#include "quarn/quarn.h"

#include "platform/process.h"

#include <cstdio>

int main(int argc, char** argv)
{
    platform::make_process_sound();
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkdata <folder>\n");
        return 2;
    }
    try {
        return mkdata::write_game_data(argv[1]);
    } catch (const quarn::Exception& e) {
        std::fprintf(stderr, "mkdata: %s\n", e.what());
        return 1;
    }
}
