// The frame-rate overlay and the text output onto the back surface.
#include "engine/gfx/display_internal.h"

#include "platform/clock.h"

#include <cstdarg>
#include <cstdio>

gFpsTy gFps;
uint32_t gFpsBkColor = 0;

void gDrawFps(int32_t x, int32_t y)
{
    if (gFps.counter == 0)
        gFps.last = platform::tick_ms();
    if (gFps.counter > 10) {
        const uint32_t now = platform::tick_ms();
        const uint32_t elapsed = now - gFps.last;
        gFps.last = now;
        // Over no time at all there is no rate: the old text stays.
        if (elapsed != 0) {
            const platform::display::VideoMemory vm = gDisplay ? gDisplay->video_memory()
                                                               : platform::display::VideoMemory {};
            const uint32_t rate = gFps.counter * 10000 / elapsed;
            std::snprintf(gFps.text, sizeof gFps.text, " %3u %5u.%1u  V_M = %llu", elapsed / 10, rate / 10, rate % 10,
                          static_cast<unsigned long long>(vm.total - vm.free));
        }
        gFps.counter = 0;
    }
    gTextOut(x, y, "%s", gFps.text);
    ++gFps.counter;
}

void gTextOut(int32_t x, int32_t y, const char* format, ...)
{
    char text[128];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0 || n >= int(sizeof text))
        text[0] = '\0';
    gSurfDxdCTy* back = gMode.device ? gMode.device->back : nullptr;
    if (!back)
        return;
    platform::display::Dc* dc = back->GetDC();
    if (!dc)
        return;
    dc->set_text_color(gMode.textColor);
    if (gFpsBkColor < 0xFFFFFFFFu)
        dc->set_bk_color(gFpsBkColor);
    else
        dc->set_bk_transparent(true);
    dc->text_out(x, y, text);
    back->ReleaseDC(dc);
}
