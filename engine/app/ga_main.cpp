// The program's entry: start-up, main loop and shut-down, and the last
// stop for a library exception.
#include "engine/app/app_internal.h"

#include "quarn/quarn.h"

#include "platform/process.h"
#include "platform/window.h"

#include <cstdio>
#include <exception>
#include <new>

namespace {

// Shows what ended the run (report_exception's box for a library
// exception, or `text` under `caption`) with the window out of the way.
void report_and_leave(const quarn::Exception* e, const char* text, const char* caption)
{
    (void)gaShowCursor(1);
    platform::WindowHandle owner = g_app ? g_app->window : nullptr;
    if (owner) {
        // Out of the way of the box, which has no window under it then.
        platform::show_window(owner, platform::ShowCommand::minimise);
        platform::set_window_topmost(owner, false);
        platform::show_window(owner, platform::ShowCommand::hide);
    }
    const int answer = e ? quarn::report_exception(*e, 0, owner, nullptr)
                         : quarn::report_error(text, caption, 0, owner, nullptr);
    // A plain OK box answers Cancel only when it could not be made (memory
    // that ran out while its text was put together); the words then go to
    // stderr, so that the run does not end without a word.
    if (answer == quarn::report_answer_cancel)
        std::fprintf(stderr, "%s\n", e ? e->what() : text);
}

} // namespace

int gaMain(int argc, char** argv)
{
    int status = 0;
    // While the program runs, a request to end from outside (a terminal
    // that closes, SIGTERM, Ctrl+C) ends it as its close box does, with
    // the settings saved and the lock removed; on every backend, the
    // headless one too. Only here, for the program's run: a test program
    // that takes no messages would never see the request.
    platform::own_process(true);
    platform::catch_end_signals(true);
    try {
        quarn::io::ZipFormat zip;
        g_app = new gaCTy;
        g_app->cmdLine = argc > 1 ? argv[1] : "";
        g_app->Init();
        // No window, or no path of its own (so no data and no settings).
        if (gaWindowFailed || g_app->appName.empty())
            status = 1;
        else
            g_app->Run();
        delete g_app; // the shut-down
        g_app = nullptr;
    } catch (const quarn::Exception& e) {
        // The application object is left as it is and the configuration is
        // not saved; only the threads beside this one are stopped (the
        // sound, which would otherwise go on under the report), so that the
        // process can end in order. The run failed, and says so.
        gaStopThreads();
        report_and_leave(&e, nullptr, nullptr);
        status = 1;
    } catch (const std::exception& e) {
        // Too little memory (std::bad_alloc, as under `ulimit -v`) or a
        // thread the system would not start ends the run the same way,
        // instead of through std::terminate with status 134.
        gaStopThreads();
        const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
        report_and_leave(nullptr, memory ? "Not enough memory to run the game." : e.what(),
                         memory ? "Out of memory" : "Error");
        status = 1;
    }
    platform::catch_end_signals(false);
    platform::own_process(false);
    return status;
}
