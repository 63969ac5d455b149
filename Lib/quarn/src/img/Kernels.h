// The kernel templates that the dispatch tables instantiate. A kernel is one
// readable loop; what happens to each pixel is a functor (PixelOp) over the
// target's and the source's traits (FormatTraits.h), built once per run so
// that it can fetch what it needs (a palette's converted entries) before
// anything is locked.
#pragma once

#include "img/Dispatch.h"
#include "img/FormatTraits.h"
#include "img/Spans.h"

#include <cstddef>
#include <cstdint>

namespace quarn::g {

// A pixel operation may name a row span of Spans.h (a static member
// `span`, a pointer to a member of SpanSet, null for none) and the weight
// it takes (a member `k`); rows then go through the span of the set in use
// whenever it has one.
template <class Op>
constexpr Span SpanSet::* span_of()
{
    if constexpr (requires { Op::span; })
        return Op::span;
    else
        return nullptr;
}

// The 32-bit formats with 8-bit channels at the same places, whose words
// the spans read alike (Rgbx8888's top byte is not looked at where a span
// converts or mixes).
constexpr bool is_word_8888(uint32_t id)
{
    return id == format_id::rgba8888 || id == format_id::rgbx8888;
}

template <class Op>
uint32_t span_weight(const Op& op)
{
    if constexpr (requires { op.k; })
        return op.k;
    else
        return 0;
}

// Whether n1 bytes at a and n2 bytes at b share any byte.
inline bool overlapping(const uint8_t* a, size_t n1, const uint8_t* b, size_t n2)
{
    const auto x = reinterpret_cast<uintptr_t>(a);
    const auto y = reinterpret_cast<uintptr_t>(b);
    return x < y + n2 && y < x + n1;
}

// Two images: every source pixel of the rectangle, left to right and top to
// bottom, goes through PixelOp into the target pixel at the same offset;
// with Keyed, pixels equal to the source's key pixel (by the source traits'
// key bits) are skipped. A row span does a whole row at once, so it is
// used only where no pixel of the row reads what the row writes (a
// source overlapping its target sees, pixel by pixel, what was written
// before it).
template <class T, class S, template <class, class> class PixelOp, bool Keyed>
void binary_rows(const BinaryRun& run)
{
    using Op = PixelOp<T, S>;
    const Op op(run);
    const int32_t width = run.source_rect.width();
    const int32_t height = run.source_rect.height();
    Span span = nullptr;
    if constexpr (!Keyed && span_of<Op>() != nullptr)
        span = spans().*span_of<Op>();
    Image::Lock target(run.target, &run.target_rect, lock_mode::target);
    Image::Lock source(run.source, &run.source_rect, lock_mode::read);
    if (!target.pixels || !source.pixels)
        return;
    const uint32_t key = run.source.key_pixel() & S::key_mask;
    const size_t target_row_bytes = size_t(width) * T::bytes;
    const size_t source_row_bytes = size_t(width) * S::bytes;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* t = target.row(y);
        const uint8_t* s = source.row(y);
        if (span && !overlapping(t, target_row_bytes, s, source_row_bytes)) {
            span(t, s, width, span_weight(op));
            continue;
        }
        // Indexed rather than stepped pointers: the compiler vectorises this
        // form of the loop.
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* tp = t + size_t(x) * T::bytes;
            const uint8_t* sp = s + size_t(x) * S::bytes;
            if constexpr (Keyed) {
                // The key test as a mask: every pixel is worked out, and a
                // keyed one gets its old value back, so the loop holds no
                // branch.
                const uint32_t old = T::load_word(tp);
                const bool keyed_out = (S::load_word(sp) & S::key_mask) == key;
                op(tp, sp);
                T::store_word(tp, keyed_out ? old : T::load_word(tp));
            } else {
                op(tp, sp);
            }
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
