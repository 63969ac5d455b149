// A request to end from outside, for the code that waits on other things
// (posix/end_signals.cpp). Private to platform/.
#pragma once

namespace platform {

// A descriptor that becomes readable each time a request arrives (a byte a
// request; drain it without blocking); -1 before catch_end_signals(true)
// first ran, or when it could not be made.
int end_request_wake_fd();

} // namespace platform
