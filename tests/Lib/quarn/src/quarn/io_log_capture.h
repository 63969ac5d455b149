// LogCapture for the stream tests. A library throw logged while no capture
// is active leaves the default log stream with its bad bit set (the log
// buffer has no file then), which would silence every later capture; this
// one starts from a clear stream.
#pragma once

#include "log_capture.h"

namespace quarn_test {

struct IoLogCapture : LogCapture {
    IoLogCapture() { quarn::default_log_stream()->clear(); }
};

} // namespace quarn_test
