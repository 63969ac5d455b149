#include "platform/geometry.h"

#include <cstdint>

namespace platform {

namespace {

// In 64 bits: a place stored by another run may lie far out.
int64_t overlap(const Rect& a, const Rect& b)
{
    const int64_t w = std::min(int64_t(a.x) + a.width, int64_t(b.x) + b.width) - std::max<int64_t>(a.x, b.x);
    const int64_t h = std::min(int64_t(a.y) + a.height, int64_t(b.y) + b.height) - std::max<int64_t>(a.y, b.y);
    return w > 0 && h > 0 ? w * h : 0;
}

} // namespace

Rect keep_on_areas(const Rect& frame, std::span<const Rect> areas)
{
    if (areas.empty())
        return frame;
    const int64_t whole = int64_t(frame.width) * frame.height;
    for (const Rect& a : areas)
        if (overlap(frame, a) == whole)
            return frame;
    Rect area = areas.front();
    int64_t best = 0;
    for (const Rect& a : areas) {
        if (const int64_t o = overlap(frame, a); o > best) {
            best = o;
            area = a;
        }
    }
    // Right and bottom first, so that the left and top edges win.
    const auto x = int(std::max<int64_t>(std::min<int64_t>(frame.x, int64_t(area.x) + area.width - frame.width), area.x));
    const auto y = int(std::max<int64_t>(std::min<int64_t>(frame.y, int64_t(area.y) + area.height - frame.height), area.y));
    return {x, y, frame.width, frame.height};
}

} // namespace platform
