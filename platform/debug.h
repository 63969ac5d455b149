// Debugger interaction.
#pragma once

#include <string_view>

namespace platform {

// True when a debugger (ptrace tracer) is attached to this process.
bool debugger_present();

// Sends text to the attached debugger's output; without a debugger, to
// stderr when QUARN_DEBUG_OUTPUT is set, else nowhere.
void debug_output(std::string_view text);

// Stops in the debugger. Without a debugger attached this does nothing, so a
// "Retry" answer in a headless run never kills the process.
void debug_break();

} // namespace platform
