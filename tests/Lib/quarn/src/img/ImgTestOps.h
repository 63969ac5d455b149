// Applying the operations that Image has no member for (draw, constant-alpha
// blend, lines) the way a caller of the library does: take the operation
// from the image's context, apply it, destroy it.
#pragma once

#include "img/img.h"

#include <cstdint>
#include <memory>

namespace img_test {

struct DestroyOp {
    void operator()(quarn::g::Op* op) const { quarn::g::ImageContext::destroy(op); }
};
using OpHandle = std::unique_ptr<quarn::g::Op, DestroyOp>;

// A two-image operation: the source rectangle (null: the whole source)
// lands with its top-left at (x, y).
inline void apply_at(OpHandle op, quarn::g::Image& target, int32_t x, int32_t y, const quarn::g::Image& source,
    const quarn::g::Rect* source_rect = nullptr)
{
    const quarn::g::Rect s = source_rect ? *source_rect : quarn::g::Rect { 0, 0, source.width(), source.height() };
    const quarn::g::Rect t { x, y, x + s.width(), y + s.height() };
    target.apply_binary(t, source, &s, static_cast<quarn::g::BOp&>(*op));
}

inline void draw(quarn::g::Image& target, int32_t x, int32_t y, const quarn::g::Image& source,
    const quarn::g::Rect* source_rect = nullptr)
{
    apply_at(OpHandle(target.context().new_draw()), target, x, y, source, source_rect);
}

inline void blend(uint32_t k, quarn::g::Image& target, int32_t x, int32_t y, const quarn::g::Image& source,
    const quarn::g::Rect* source_rect = nullptr)
{
    apply_at(OpHandle(target.context().new_alpha_k(k)), target, x, y, source, source_rect);
}

// A one-image operation on the rectangle (null: the whole image).
inline void apply_to(OpHandle op, quarn::g::Image& target, const quarn::g::Rect* rect)
{
    op->target = &target;
    op->rect = rect;
    target.apply(*op);
}

inline void hline(quarn::g::Image& target, uint32_t pixel, int32_t x, int32_t y, int32_t length, uint32_t pattern,
    const quarn::g::Rect* clip = nullptr)
{
    const int32_t point[2] = { x, y };
    apply_to(OpHandle(target.context().new_hline(pixel, point, length, pattern)), target, clip);
}

inline void vline(quarn::g::Image& target, uint32_t pixel, int32_t x, int32_t y, int32_t length, uint32_t pattern,
    const quarn::g::Rect* clip = nullptr)
{
    const int32_t point[2] = { x, y };
    apply_to(OpHandle(target.context().new_vline(pixel, point, length, pattern)), target, clip);
}

inline void line(quarn::g::Image& target, uint32_t pixel, float x0, float y0, float x1, float y1,
    const quarn::g::Rect* clip = nullptr)
{
    const float ends[4] = { x0, y0, x1, y1 };
    apply_to(OpHandle(target.context().new_line(pixel, ends, 0)), target, clip);
}

} // namespace img_test
