// The display contract of a backend, and the display state shared by the
// generic code (display.cpp, display_surface.cpp) and the headless
// controls. Private to platform/.
//
// Surfaces are plain memory in both backends; what a backend adds is only
// how the primary reaches the window and what the desktop looks like.
#pragma once

#include "platform/desktop.h"
#include "platform/display.h"
#include "platform/headless.h"

#include <array>
#include <memory>
#include <vector>

namespace platform {

class DisplaySystem {
public:
    virtual ~DisplaySystem() = default;

    // The format of the desktop, which windowed surfaces take.
    virtual PixelFormat desktop_format() = 0;
    virtual std::vector<display::Mode> modes() = 0;
    // The video memory budget that surfaces made "in video memory" count
    // against.
    virtual uint64_t video_memory_total() { return uint64_t(256) << 20; }

    // Readies the window for showing frames; false when it cannot.
    virtual bool open(Window&) { return true; }
    virtual void close(Window&) {}
    // Shows `primary` in the window now, scaled to the desktop in full
    // screen.
    virtual void show(Window&, const PixelView& primary) = 0;
    // True when the window lost what it showed (its size changed, as on a
    // switch to full screen), so the primary must be shown again even if
    // it did not change.
    virtual bool needs_show(Window&) { return false; }
    virtual bool read_back(Window&, std::vector<uint32_t>&, Size&) { return false; }
};

// Faults a test arranges through the headless controls: the next `times`
// calls of a kind fail with `result`.
struct DisplayFaults {
    struct Entry {
        uint32_t result = 0;
        int times = 0;
    };
    std::array<Entry, size_t(headless::DisplayCall::count)> entries{};
    headless::DisplayCounters counters;

    // The injected result for this call, or 0; counts one use.
    uint32_t take(headless::DisplayCall call)
    {
        Entry& e = entries[size_t(call)];
        if (e.times <= 0)
            return 0;
        --e.times;
        return e.result;
    }
};
DisplayFaults& display_faults();

// Marks every live surface lost, as a mode switch by another program does.
void lose_all_surfaces();

// Copies the display's primary into the window's frame when it changed
// since the last copy (window_frame() calls it, so reading the frame back
// costs nothing per presented frame).
void sync_display_frame(Window& window);

} // namespace platform
