// The kernel templates that the dispatch tables instantiate. A kernel is one
// readable loop; what happens to each pixel is a functor (PixelOp) over the
// target's and the source's traits (FormatTraits.h), built once per run so
// that it can fetch what it needs (a palette's converted entries) before
// anything is locked.
#pragma once

#include "img/Dispatch.h"
#include "img/FormatTraits.h"

namespace quarn::g {

// Two images: every source pixel of the rectangle, left to right and top to
// bottom, goes through PixelOp into the target pixel at the same offset;
// with Keyed, pixels equal to the source's key pixel (by the source traits'
// key bits) are skipped.
template <class T, class S, template <class, class> class PixelOp, bool Keyed>
void binary_rows(const BinaryRun& run)
{
    const PixelOp<T, S> op(run);
    const int32_t width = run.source_rect.width();
    const int32_t height = run.source_rect.height();
    Image::Lock target(run.target, &run.target_rect, lock_mode::target);
    Image::Lock source(run.source, &run.source_rect, lock_mode::read);
    if (!target.pixels || !source.pixels)
        return;
    const uint32_t key = run.source.key_pixel() & S::key_mask;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* t = target.row(y);
        const uint8_t* s = source.row(y);
        // Indexed rather than stepped pointers: the compiler vectorises this
        // form of the loop.
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* tp = t + size_t(x) * T::bytes;
            const uint8_t* sp = s + size_t(x) * S::bytes;
            if constexpr (Keyed) {
                if ((S::load_word(sp) & S::key_mask) == key)
                    continue;
            }
            op(tp, sp);
        }
    }
}

template <class T, class S, template <class, class> class PixelOp>
constexpr BinaryCell kernel_cell()
{
    return { Action::run, &binary_rows<T, S, PixelOp, false>, &binary_rows<T, S, PixelOp, true> };
}

// One image: RowOp writes whole rows of the rectangle.
template <class T, template <class> class RowOp>
void unary_rows(const UnaryRun& run)
{
    const RowOp<T> op(run);
    const int32_t width = run.rect.width();
    const int32_t height = run.rect.height();
    Image::Lock target(run.target, &run.rect, lock_mode::target);
    if (!target.pixels)
        return;
    for (int32_t y = 0; y < height; ++y)
        op(target.row(y), width);
}

template <class T, template <class> class RowOp>
constexpr UnaryCell unary_kernel_cell()
{
    return { Action::run, &unary_rows<T, RowOp> };
}

} // namespace quarn::g
