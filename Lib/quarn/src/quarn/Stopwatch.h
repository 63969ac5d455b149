// A stopwatch on the library's ticks (see Clock.h).
#pragma once

#include <cstdint>

namespace quarn {

class Stopwatch {
public:
    // Running from now; a negative offset (in ticks) starts it as if it had
    // been running that long already, a positive one starts it that far in
    // the future (elapsed times are negative until then).
    explicit Stopwatch(int64_t offset = 0);

    // Ticks since the start, counting any paused time.
    uint64_t elapsed_ticks() const;

    // Makes the elapsed time `ticks` from now on. When the clock has not yet
    // reached `ticks`, the start becomes tick 0 instead. Pausing is not
    // changed: a paused stopwatch shows `ticks` and goes on from there.
    void set(uint64_t ticks);

    // Freezes the elapsed time. Pausing a paused stopwatch changes nothing.
    void pause();

    // Lets the elapsed time go on from where it was frozen; the paused
    // interval is not counted. Resuming a running stopwatch changes nothing.
    void resume();

    bool paused() const { return paused_; }

    // The frozen time while paused, else the elapsed time, in milliseconds.
    int64_t elapsed_ms() const;

private:
    uint64_t start_;
    uint64_t frozen_ = 0;
    bool paused_ = false;
};

} // namespace quarn
