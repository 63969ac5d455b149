// The operation entry points of Image: the rectangle settling shared by every
// operation, and the fill and assign members that run the two operations the
// library creates itself.
#include "img/Image.h"

#include "img/Formats.h"
#include "img/ImageContext.h"
#include "img/Op.h"

#include <algorithm>
#include <memory>

namespace quarn::g {

namespace {

struct DestroyOp {
    void operator()(Op* op) const { ImageContext::destroy(op); }
};
using OpHandle = std::unique_ptr<Op, DestroyOp>;

// Rectangle arithmetic for the clipping of two-image operations, wide
// enough that no corner plus size can overflow.
struct WideRect {
    int64_t x0, y0, x1, y1;

    static WideRect of(const Rect& r) { return { r.x0, r.y0, r.x1, r.y1 }; }
    WideRect& intersect(const WideRect& o)
    {
        x0 = std::max(x0, o.x0);
        y0 = std::max(y0, o.y0);
        x1 = std::min(x1, o.x1);
        y1 = std::min(y1, o.y1);
        return *this;
    }
    bool empty() const { return x1 <= x0 || y1 <= y0; }
    Rect shifted(int64_t dx, int64_t dy) const
    {
        return { int32_t(x0 + dx), int32_t(y0 + dy), int32_t(x1 + dx), int32_t(y1 + dy) };
    }
};

} // namespace

void Image::fill(uint32_t pixel, const Rect* rect)
{
    OpHandle op(context().new_fill(pixel));
    op->target = this;
    op->rect = rect;
    apply(*op);
}

void Image::assign(int32_t x, int32_t y, const Image& source, const Rect* source_rect)
{
    OpHandle op(context().new_assign());
    Rect s;
    if (source_rect)
        s = *source_rect;
    else
        source.get_rect(s);
    // Only the corner of the target rectangle is read; its far edges could
    // not even be formed for every rectangle a caller may pass.
    const Rect t { x, y, x, y };
    apply_binary(t, source, &s, static_cast<BOp&>(*op));
}

void Image::apply(Op& op)
{
    struct RestoreRect {
        Op& op;
        const Rect* saved;
        ~RestoreRect() { op.rect = saved; }
    } restore { op, op.rect };

    Rect rect { 0, 0, width_, height_ };
    if (op.rect)
        rect.intersect(*op.rect);
    if (clip_on_)
        rect.intersect(clip_rect_);
    if (rect.empty())
        return;
    op.rect = &rect;
    FormatSlot slot = format_.palette() ? FormatSlot::palette : slot_of_format_id(format_.id());
    if (slot != FormatSlot::none)
        op.run(slot);
}

void Image::apply_binary(const Rect& target_rect, const Image& source, const Rect* source_rect, BOp& op)
{
    Rect s;
    if (source_rect)
        s = *source_rect;
    else
        source.get_rect(s);
    if (s.empty())
        return;
    // Only the corner of the target rectangle counts: the copy has the size
    // of the source rectangle. Source coordinates are target coordinates
    // plus (dx, dy).
    const int64_t dx = int64_t(s.x0) - target_rect.x0;
    const int64_t dy = int64_t(s.y0) - target_rect.y0;
    WideRect area { target_rect.x0, target_rect.y0, int64_t(target_rect.x0) + (int64_t(s.x1) - s.x0),
        int64_t(target_rect.y0) + (int64_t(s.y1) - s.y0) };
    area.intersect({ -dx, -dy, source.width() - dx, source.height() - dy });
    area.intersect({ 0, 0, width_, height_ });
    if (clip_on_)
        area.intersect(WideRect::of(clip_rect_));
    if (area.empty())
        return;
    Rect target_area = area.shifted(0, 0);
    Rect source_area = area.shifted(dx, dy);
    op.target = this;
    op.source = &source;
    op.rect = &target_area;
    op.source_rect = &source_area;
    apply(op);
    op.rect = nullptr;
    op.source_rect = nullptr;
}

} // namespace quarn::g
