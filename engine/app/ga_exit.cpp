// The ways out of the program other than its orderly shut-down: a library
// exception caught by the entry, and any `exit` (the X library calls it when
// the display goes away). The sound system's feeder thread, the audio
// device's thread and the music's scheduler run until they are told to stop;
// left running, they would meet the static objects they use being
// destroyed. So on those paths the game's music and the sound system are
// stopped first. Nothing is saved there: the configuration is written by
// the orderly shut-down, by the handler of a lost display before the X
// library's exit (gaSaveFromACallback), and before a box's answer ends the
// process (gaFreeLockAndSaveBeforeBoxEnd).
#include "engine/app/app_internal.h"

#include "quarn/ReportBox.h"

#include "platform/process.h"

#include <atomic>
#include <cstdlib>
#include <thread>

namespace {

// The application object whose threads may still run; null once they were
// stopped or the shut-down stopped them.
gaCTy* threadsOwner = nullptr;
std::thread::id mainThread;

void stop_threads_at_exit()
{
    // A copy of the process has none of the threads to stop.
    if (platform::in_forked_copy())
        return;
    // An `exit` from another thread (a report on the feeder's) cannot stop
    // that thread; static destruction then stays as it would have been.
    if (std::this_thread::get_id() == mainThread)
        gaStopThreads();
}

} // namespace

void gaGuardExit(gaCTy* app)
{
    // Registered once, before the first thread starts and after every
    // static object was built, so that it runs before any of them is
    // destroyed.
    static const bool registered = [] {
        mainThread = std::this_thread::get_id();
        return std::atexit(stop_threads_at_exit) == 0;
    }();
    (void)registered;
    threadsOwner = app;
}

void gaThreadsStopped(const gaCTy* app)
{
    if (threadsOwner == app)
        threadsOwner = nullptr;
}

void gaStopThreads()
{
    if (!threadsOwner || threadsOwner != g_app)
        return;
    threadsOwner = nullptr;
    // The game's hook stops its music (whose synthesiser plays through the
    // mixer) before the sound system stops.
    try {
        GameShutdown();
    } catch (...) {
        // The sound system is stopped all the same.
    }
    // Also while `exit` runs this, from a library that gave up (OpenMP,
    // the X library) with memory gone: what throws here would end the
    // process through std::terminate, and a sound system that cannot stop
    // in order stops with the process.
    try {
        gaEngine.sndDone();
    } catch (...) {
    }
}

namespace {

// Off once the shut-down saves on its own.
std::atomic<bool> boxEndSaves{false};

} // namespace

void gaHookBoxEnd(bool save)
{
    boxEndSaves = save;
    // Installed whatever `save` says: the lock's files go on every end,
    // also on one during the shut-down's own save.
    quarn::set_box_end_hook(gaFreeLockAndSaveBeforeBoxEnd);
}

void gaSaveFromACallback() noexcept
{
    if (!g_app)
        return;
    // This runs inside the reporter (a report's box ends the process) or
    // inside a library's callback (the X library's, when the display goes,
    // maybe while a report's box is up): the reporter may have its handler
    // off for the report it is making, and a failure of this save would
    // then be said nowhere. It is said here, and nothing unwinds out of
    // this function, between the report or the library and their callers'
    // frames.
    const uint8_t mode = errState.mode;
    errState.mode = ERR_MODE_NO_UNWIND;
    try {
        gaSaveSettings(*g_app);
    } catch (...) {
        // Memory gone with the save half made: the old file stays whole.
    }
    errState.mode = mode;
}

void gaFreeLockAndSaveBeforeBoxEnd() noexcept
{
    // The lock and its pipe go as on every other end, also when the box was
    // the shut-down's; only their names, as another thread may use the
    // lock until the process ends.
    if (const auto& lock = gaInstanceLock())
        lock->leave();
    if (boxEndSaves)
        gaSaveFromACallback();
}
