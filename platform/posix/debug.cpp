#include "platform/debug.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

bool debugger_present()
{
    // Linux names the tracer of a process in /proc/self/status.
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return false;
    char line[256];
    bool traced = false;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "TracerPid:", 10) == 0) {
            traced = std::atoi(line + 10) != 0;
            break;
        }
    }
    std::fclose(f);
    return traced;
}

void debug_output(std::string_view text)
{
    // A debugger on Linux reads the process's stderr; there is no separate
    // debug channel to write to.
    static const bool forced = std::getenv("QUARN_DEBUG_OUTPUT") != nullptr;
    if (forced || debugger_present())
        std::fwrite(text.data(), 1, text.size(), stderr);
}

void debug_break()
{
    if (debugger_present())
        std::raise(SIGTRAP);
}

} // namespace platform
