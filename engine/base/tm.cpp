// The millisecond timer over the platform's high-resolution counter.
#include "engine/base/tm.h"

#include "platform/clock.h"

#include <cstdlib>

namespace {

bool calibrated = false;
bool exit_handler_registered = false;
uint64_t ticks_per_ms = 1;

} // namespace

void tmInit()
{
    if (calibrated)
        return;
    // A counter slower than 1 kHz would give 0 ticks per millisecond and a
    // division by zero in tmGetMs; count its ticks as milliseconds instead.
    const uint64_t per_ms = platform::counter_frequency() / 1000;
    ticks_per_ms = per_ms ? per_ms : 1;
    calibrated = true;
    if (!exit_handler_registered) {
        exit_handler_registered = true;
        std::atexit(tmDone);
    }
}

uint64_t tmGetMs()
{
    if (!calibrated)
        tmInit();
    return platform::counter() / ticks_per_ms;
}

void tmDone() { calibrated = false; }
