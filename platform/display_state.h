// The records behind Display and Surface. Private to platform/.
#pragma once

#include "platform/display_system.h"

#include <memory>
#include <vector>

namespace platform::display {

struct DisplayState {
    WindowHandle window = nullptr;
    PixelFormat format = PixelFormat::xrgb8888;
    bool full_screen = false;
    bool open = true;       // false once the Display is gone; surfaces may outlive it
    uint64_t video_total = 0;
    uint64_t video_used = 0;
    SurfaceState* primary = nullptr; // the surface shown in the window
    bool dirty = false;              // the primary changed since the last show
    bool frame_stale = false;        // ... since the last copy into the window frame
};

struct SurfaceState {
    std::shared_ptr<DisplayState> display;
    SurfaceDesc desc;
    std::vector<uint8_t> pixels;
    ptrdiff_t pitch = 0;
    uint64_t video_bytes = 0; // counted against the budget while alive
    bool lost = false;
    bool locked = false;
    bool clip = false;
    bool has_key = false;
    uint32_t key = 0;
    bool dc_out = false;
    Dc dc;
    std::unique_ptr<Surface> back; // a flip chain's back buffer
    SurfaceState* owner = nullptr; // for that back buffer: its primary

    PixelSurface target() { return {pixels.data(), int(pitch), desc.format, desc.width, desc.height}; }
    // A write to the primary is shown at the next flush.
    void touched()
    {
        if (display && display->primary == this) {
            display->dirty = true;
            display->frame_stale = true;
        }
    }
};

DisplaySystem& system();
// Live surfaces and displays, for losing surfaces and for flushing.
std::vector<SurfaceState*>& live_surfaces();
std::vector<DisplayState*>& live_displays();
// Bytes of a row: whole pixels, padded to 4 bytes (to 12 for 24-bit
// pixels, so that a pitch is a whole number of pixels as well).
ptrdiff_t row_pitch(PixelFormat format, int width);
uint32_t rgb_mask(PixelFormat format);

} // namespace platform::display
