// Linked into every fuzz target and corpus replay: nothing is logged. A
// target meets failures on purpose, thousands a second, and each one went
// to a log beside the executable, which a fuzzing run grew without limit
// (about 500 MB in three minutes for the TGA decoder). The log's gate is
// closed before the program's static objects are built, since they may log
// too, so that no log file is ever made. No settings file can open it
// again: "<name>.log.ini" sets limits, never the gate's counter.
#include "quarn/quarn.h"

namespace {

[[gnu::constructor(101)]] void close_the_log()
{
    if (quarn::LogSettings* gate = quarn::log_settings("!"))
        gate->counter = 1;
}

} // namespace
