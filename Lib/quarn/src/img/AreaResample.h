// Area-average resampling: each target pixel covers a rectangle of the
// source, its footprint, in 16.16 fixed point; a lattice of samples over the
// footprint goes into a colour collector (Collectors.h) whose mean becomes
// the target pixel.
//
// The lattice is the footprint's left edge x0 and every whole column
// strictly after it and before its right edge, times the same in y. Only the
// samples on the footprint's top row and left column fall between pixels
// and are blended from their neighbours; every sample weighs the same in the
// mean. At the picture's edges a neighbour is either held inside the
// picture or wraps around to the opposite edge, per axis.
//
// When both size ratios are whole numbers (reductions by an integer factor,
// or the same size), the footprints are plain blocks of pixels and are
// averaged without blending.
//
// One template serves every format, collector and edge mode; the 64
// instantiations that resizing uses are reached through area_routine.
#pragma once

#include "img/Collectors.h"
#include "img/FormatTraits.h"
#include "img/ResizeMode.h"

#include <cstddef>
#include <cstdint>

namespace quarn::g {

// Target first pixel, target pitch, target width and height, source first
// pixel, source pitch, source width and height, key pixel (read only by the
// colour-keyed routines).
using AreaRoutine = void (*)(uint8_t*, int32_t, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, uint32_t);

// The routine for a direct-colour format id (1 to 8), an area mode (1 held,
// 2 wrapping x, 3 wrapping y, 4 wrapping both) and the kind of collector;
// null for anything else.
[[nodiscard]] AreaRoutine area_routine(uint32_t format_id, uint32_t mode, bool keyed);

namespace area {

// Footprint edges of consecutive target pixels: edge k is
// floor(k * extent * 65536 / count), stepped exactly by quotient and
// remainder so that no division is needed per pixel and no error builds up.
class Edges {
public:
    Edges(int32_t extent, int32_t count)
        : step_((int64_t(extent) << 16) / count)
        , rest_((int64_t(extent) << 16) % count)
        , count_(count)
    {
    }
    int32_t value() const { return int32_t(value_); }
    void advance()
    {
        value_ += step_;
        remainder_ += rest_;
        if (remainder_ >= count_) {
            ++value_;
            remainder_ -= count_;
        }
    }

private:
    int64_t step_, rest_, count_;
    int64_t value_ = 0, remainder_ = 0;
};

// An index on an axis. A wrapping axis brings an index at or beyond the
// size back once; the neighbour after the last index is the first. A held
// axis has no neighbour after its last index: the index itself stands in
// (it only happens on an axis of one pixel, where its weight is 0).
template <bool Wrap> struct Axis {
    static int32_t index(int32_t i, int32_t size)
    {
        if constexpr (Wrap)
            return i >= size ? i - size : i;
        else
            return i;
    }
    static int32_t next(int32_t i, int32_t size)
    {
        if constexpr (Wrap)
            return i + 1 >= size ? 0 : i + 1;
        else
            return i + 1 < size ? i + 1 : i;
    }
};

} // namespace area

// Sizes outside 1 to 32767 write nothing (Image::resize refuses them
// before it gets here).
template <class F, class Collector, bool WrapX, bool WrapY>
void resample_area(uint8_t* target, int32_t target_pitch, int32_t width, int32_t height, const uint8_t* source,
    int32_t source_pitch, int32_t source_width, int32_t source_height, uint32_t key)
{
    using T = DirectTraits<F>;
    using X = area::Axis<WrapX>;
    using Y = area::Axis<WrapY>;
    if (width < 1 || height < 1 || source_width < 1 || source_height < 1 || source_width > resize_max_size
        || source_height > resize_max_size)
        return;

    Collector collector = [&] {
        if constexpr (Collector::keyed)
            return Collector(F(key));
        else
            return Collector();
    }();
    const int32_t step_x = (source_width << 16) / width;
    const int32_t step_y = (source_height << 16) / height;
    auto row_at = [&](int32_t r) { return source + ptrdiff_t(r) * source_pitch; };
    auto pixel = [](const uint8_t* row, int32_t c) { return T::load(row + ptrdiff_t(c) * ptrdiff_t(T::bytes)); };
    F out;

    if ((step_x & 0xFFFF) == 0 && source_width >= 2 && (step_y & 0xFFFF) == 0 && source_height >= 2) {
        area::Edges ys(source_height, height);
        for (int32_t j = 0; j < height; ++j, target += target_pitch) {
            const int32_t r0 = ys.value() >> 16;
            ys.advance();
            const int32_t r1 = ys.value() >> 16;
            area::Edges xs(source_width, width);
            uint8_t* t = target;
            for (int32_t i = 0; i < width; ++i, t += T::bytes) {
                const int32_t c0 = xs.value() >> 16;
                xs.advance();
                const int32_t c1 = xs.value() >> 16;
                for (int32_t r = r0; r < r1; ++r) {
                    const uint8_t* row = row_at(Y::index(r, source_height));
                    for (int32_t c = c0; c < c1; ++c)
                        collector.add(pixel(row, X::index(c, source_width)));
                }
                T::store(t, collector.get(out));
            }
        }
        return;
    }

    // On a held axis an enlarged picture samples up to its last pixel, not
    // beyond: the footprints span one pixel less.
    const int32_t extent_x = !WrapX && step_x <= 65536 ? source_width - 1 : source_width;
    const int32_t extent_y = !WrapY && step_y <= 65536 ? source_height - 1 : source_height;
    area::Edges ys(extent_y, height);
    for (int32_t j = 0; j < height; ++j, target += target_pitch) {
        const int32_t y0 = ys.value();
        ys.advance();
        const int32_t y1 = ys.value();
        const int32_t cy = y0 >> 16;
        const uint32_t fy = uint32_t(y0 & 0xFFFF);
        const int32_t first_r = cy + 1;
        const int32_t last_r = (y1 - 1) >> 16;
        const uint8_t* top = row_at(Y::index(cy, source_height));
        const uint8_t* below = row_at(Y::next(Y::index(cy, source_height), source_height));

        area::Edges xs(extent_x, width);
        uint8_t* t = target;
        for (int32_t i = 0; i < width; ++i, t += T::bytes) {
            const int32_t x0 = xs.value();
            xs.advance();
            const int32_t x1 = xs.value();
            const int32_t cx = X::index(x0 >> 16, source_width);
            const uint32_t fx = uint32_t(x0 & 0xFFFF);
            const int32_t nx = X::next(cx, source_width);
            const int32_t first_c = (x0 >> 16) + 1;
            const int32_t last_c = (x1 - 1) >> 16;

            collector.add_bilinear(pixel(top, cx), pixel(top, nx), pixel(below, cx), pixel(below, nx), fx, fy);
            for (int32_t c = first_c; c <= last_c; ++c) {
                const int32_t sc = X::index(c, source_width);
                collector.add_linear(pixel(top, sc), pixel(below, sc), fy);
            }
            for (int32_t r = first_r; r <= last_r; ++r) {
                const uint8_t* row = row_at(Y::index(r, source_height));
                collector.add_linear(pixel(row, cx), pixel(row, nx), fx);
                for (int32_t c = first_c; c <= last_c; ++c)
                    collector.add(pixel(row, X::index(c, source_width)));
            }
            T::store(t, collector.get(out));
        }
    }
}

} // namespace quarn::g
