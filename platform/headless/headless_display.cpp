// The headless display: a desktop of a chosen depth, a fixed mode list,
// and primaries that are "shown" by counting; the window's frame is filled
// from the primary only when someone reads it (sync_display_frame).
#include "platform/display_state.h"
#include "platform/headless/headless_backend.h"

namespace platform {

namespace headless_impl {

std::vector<display::Mode> HeadlessDisplay::modes()
{
    std::vector<display::Mode> out;
    for (const Size s : {Size{640, 480}, Size{800, 600}, Size{1024, 768}})
        for (const int bits : {16, 32})
            out.push_back({s.width, s.height, bits, 60});
    return out;
}

} // namespace headless_impl

namespace headless {

namespace {

headless_impl::HeadlessBackend* backend()
{
    return dynamic_cast<headless_impl::HeadlessBackend*>(&current_backend());
}

} // namespace

void fail_display_call(DisplayCall call, uint32_t result, int times)
{
    if (call < DisplayCall::count)
        display_faults().entries[size_t(call)] = {result, times};
}

void clear_display_faults() { display_faults().entries = {}; }

void lose_display_surfaces() { lose_all_surfaces(); }

void set_display_depth(int bits)
{
    auto* b = backend();
    if (!b)
        return;
    switch (bits) {
    case 15:
        b->display_.desktop = PixelFormat::xrgb1555;
        break;
    case 16:
        b->display_.desktop = PixelFormat::rgb565;
        break;
    case 24:
        b->display_.desktop = PixelFormat::rgb888;
        break;
    case 32:
        b->display_.desktop = PixelFormat::xrgb8888;
        break;
    default:
        break;
    }
}

void set_video_memory(uint64_t bytes)
{
    if (auto* b = backend())
        b->display_.video_total = bytes;
}

DisplayCounters display_counters() { return display_faults().counters; }

void reset_display_counters() { display_faults().counters = {}; }

} // namespace headless

} // namespace platform
