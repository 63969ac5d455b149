// What the program's `main` runs: the process made sound, the backend
// chosen, the entry and the backend's release, with the last stop for
// anything thrown outside the entry's own catch.
#include "engine/app/app.h"
#include "engine/app/app_internal.h"

#include "platform/platform.h"
#include "platform/shown_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

namespace {

// The memory a start of the game needs on each backend, held against the
// smaller of the address-space and data limits (platform::memory_limit),
// after the process has trimmed what it maps unused
// (platform::trim_process_memory). Measured with the default soundfont, the
// limit raised in steps until every start ran clean: headless, from 62 MB
// of address space (`ulimit -v`) and 27 MB of data (`ulimit -d`); in a
// window on a desktop without a graphics card, from 330 MB (a play peaked
// at 366 MB) and 80 MB, where the GL driver (Mesa's llvmpipe, with LLVM) is
// most of the address space. The address space is the larger need on both
// backends, since the data limit counts only the private part of what is
// mapped, so one figure serves both limits; it leaves room for a longer
// play and other versions of the libraries. Under a smaller limit the
// libraries fail in ways no catch reaches: GLib aborts when malloc fails,
// the soundfont's load or the GL driver crashes, OpenMP calls exit(1), the
// sound system shows boxes and plays on without its feeder thread.
struct StartNeed {
    platform::BackendKind kind;
    size_t bytes;
};
constexpr StartNeed start_needs[] = {
    {platform::BackendKind::headless, size_t{96} << 20},
    {platform::BackendKind::sdl2, size_t{448} << 20},
};

// Whether the memory limit leaves a start on the backend the room it
// needs. When it does not, the run ends here, before a window opens and
// the synthesiser starts, with the box that memory running out later
// shows.
bool room_to_start(platform::BackendKind kind)
{
    if (platform::memory_limit() >= gaStartNeed(kind))
        return true;
    platform::BoxRequest box;
    box.caption = "Out of memory";
    box.text = "Not enough memory to run the game.";
    box.icon = platform::BoxIcon::error;
    (void)platform::message_box(box);
    return false;
}

// `program` starts a line on stderr: the program's name as shown, and
// ": " (empty when no memory was left to show it).
int run(int argc, char** argv, const std::string& program)
{
    // The headless backend serves tests; a person starting the game with
    // no desktop gets told so instead of a program that shows nothing.
    const char* forced = std::getenv("QUARN_PLATFORM");
    const bool headless_asked = forced && std::strcmp(forced, "headless") == 0;
    // Whether there is a display is found out first, by starting the
    // backend (a connection to the display, no window yet): a start
    // without one is refused for that, whatever the limit.
    const platform::BackendKind kind = platform::backend_kind();
    if (kind == platform::BackendKind::headless && !headless_asked) {
        const std::string why = platform::backend_error_text();
        std::fprintf(stderr, "%sno display is available, so the game cannot open its window%s%s\n",
                     program.c_str(), why.empty() ? "" : ": ", why.c_str());
        return 2;
    }
    if (!room_to_start(kind)) {
        platform::shutdown();
        return 1;
    }
    // Caught from the entry to the process's end, beyond the entry's own
    // span: a request that comes while the game ends (Ctrl+C twice, a
    // logout's SIGHUP then SIGTERM) finds it ending already, where the
    // default action would kill it with status 143 during the backend's
    // release or the exit.
    platform::catch_end_signals(true);
    const int status = gaMain(argc, argv);
    platform::shutdown();
    return status;
}

} // namespace

size_t gaStartNeed(platform::BackendKind kind)
{
    for (const StartNeed& need : start_needs) {
        if (need.kind == kind)
            return need.bytes;
    }
    return 0;
}

int gaStart(int argc, char** argv)
{
    // Before anything opens a file or writes a message: a reader of the
    // output that went away, closed standard streams or a file size limit
    // must not end the game unsaved or send its messages into its files.
    platform::make_process_sound();
    // The name the program was started by is any bytes the shell was given
    // (a terminal's escapes among them): shown as the box shows it, and
    // made now, while the program's first code has made sure of the
    // memory, so that the words below need none.
    std::string program;
    try {
        program = platform::shown_text(argc > 0 && argv[0] ? argv[0] : "race") + ": ";
    } catch (const std::bad_alloc&) {
        // The words alone, without the name.
    }
    try {
        return run(argc, argv, program);
    } catch (const std::bad_alloc&) {
        // Memory ran out where the entry's box cannot be had: while the
        // backend that shows boxes was made, or while the entry's own box
        // was. So the words go to stderr alone; stderr is unbuffered and
        // the text is made already, so writing it needs no memory.
        std::fprintf(stderr, "%sNot enough memory to run the game.\n", program.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s%s\n", program.c_str(), e.what());
    }
    return 1;
}
