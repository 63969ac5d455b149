// The program's `main`: the framework runs it on a desktop only.
#include "engine/app/app.h"

#include "platform/process.h"

namespace {

void trim_memory(int, char**, char**) { platform::trim_process_memory(); }

// Before any library's own start-up, which may start a thread.
[[gnu::used, gnu::section(".preinit_array")]] void (*const trim_memory_first)(int, char**, char**) = trim_memory;

// Before the program's static objects are built, which allocate where no
// catch can reach.
[[gnu::constructor(101)]] void check_start_memory()
{
    platform::require_start_memory("Not enough memory to run the game.");
}

} // namespace

int main(int argc, char** argv) { return gaStart(argc, argv); }
