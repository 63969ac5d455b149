// What the program's `main` runs: the process made sound, the backend
// chosen, the entry and the backend's release, with the last stop for
// anything thrown outside the entry's own catch.
#include "engine/app/app.h"

#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

namespace {

int run(int argc, char** argv)
{
    // The headless backend serves tests; a person starting the game with
    // no desktop gets told so instead of a program that shows nothing.
    const char* forced = std::getenv("QUARN_PLATFORM");
    const bool headless_asked = forced && std::strcmp(forced, "headless") == 0;
    if (platform::backend_kind() == platform::BackendKind::headless && !headless_asked) {
        const std::string why = platform::backend_error_text();
        std::fprintf(stderr, "%s: no display is available, so the game cannot open its window%s%s\n", argv[0],
                     why.empty() ? "" : ": ", why.c_str());
        return 2;
    }
    const int status = gaMain(argc, argv);
    platform::shutdown();
    return status;
}

} // namespace

int gaStart(int argc, char** argv)
{
    // Before anything opens a file or writes a message: a reader of the
    // output that went away, closed standard streams or a file size limit
    // must not end the game unsaved or send its messages into its files.
    platform::make_process_sound();
    const char* program = argc > 0 && argv[0] ? argv[0] : "race";
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        // Memory ran out where the entry's box cannot be had: while the
        // backend that shows boxes was made, or while the entry's own box
        // was. So the words go to stderr alone; stderr is unbuffered and
        // the text is fixed, so writing it needs no memory.
        std::fprintf(stderr, "%s: Not enough memory to run the game.\n", program);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
    }
    return 1;
}
