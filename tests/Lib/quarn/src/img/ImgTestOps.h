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

} // namespace img_test
