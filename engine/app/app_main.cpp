// The program's `main`: the framework runs it on a desktop only.
#include "engine/app/app.h"
#include "engine/app/app_internal.h"

#include "platform/process.h"

namespace {

// The process's first code, before any library's own start-up (which may
// start a thread) and before any static object of the program or its
// libraries is built (they allocate where no catch can reach). The backend
// is not chosen yet, so the memory limit is held to the smaller figure,
// the headless start's; `main` holds a window's start to its own.
void start_first(int argc, char** argv, char**)
{
    platform::require_start_memory("Not enough memory to run the game.", gaStartNeed(platform::BackendKind::headless),
                                   argc > 0 && argv[0] ? argv[0] : "race");
    platform::trim_process_memory();
}

[[gnu::used, gnu::section(".preinit_array")]] void (*const start_first_entry)(int, char**, char**) = start_first;

} // namespace

int main(int argc, char** argv) { return gaStart(argc, argv); }
