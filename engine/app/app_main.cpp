// The program's `main`: the framework runs it on a desktop only.
#include "engine/app/app.h"

#include "platform/process.h"

namespace {

// Before the program's static objects are built, which allocate where no
// catch can reach.
[[gnu::constructor(101)]] void check_start_memory()
{
    platform::require_start_memory("Not enough memory to run the game.");
}

} // namespace

int main(int argc, char** argv) { return gaStart(argc, argv); }
