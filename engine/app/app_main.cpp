// The program's `main`: the framework runs it on a desktop only.
#include "engine/app/app.h"

#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    // Before anything opens a file or writes a message: a reader of the
    // output that went away, closed standard streams or a file size limit
    // must not end the game unsaved or send its messages into its files.
    platform::make_process_sound();
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
