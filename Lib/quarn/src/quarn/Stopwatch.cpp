#include "quarn/Stopwatch.h"

#include "quarn/Clock.h"

namespace quarn {

// Tick arithmetic is modular on purpose: a stopwatch started in the future
// has a start above the clock, and its elapsed ticks wrap to what reads as a
// negative count once converted.
Stopwatch::Stopwatch(int64_t offset) : start_(get_ticks() + static_cast<uint64_t>(offset)) {}

uint64_t Stopwatch::elapsed_ticks() const { return get_ticks() - start_; }

void Stopwatch::set(uint64_t ticks)
{
    frozen_ = ticks;
    const uint64_t now = get_ticks();
    start_ = now > ticks ? now - ticks : 0;
}

void Stopwatch::pause()
{
    if (paused_)
        return;
    paused_ = true;
    frozen_ = elapsed_ticks();
}

void Stopwatch::resume()
{
    if (!paused_)
        return;
    paused_ = false;
    start_ += elapsed_ticks() - frozen_;
}

int64_t Stopwatch::elapsed_ms() const
{
    return ticks_to_ms(static_cast<int64_t>(paused_ ? frozen_ : elapsed_ticks()));
}

} // namespace quarn
