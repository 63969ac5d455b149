#include "img/Lines.h"

#include "img/ClipSegment.h"
#include "img/GenericPixels.h"
#include "img/ImageContext.h"
#include "img/Kernels.h"

#include <bit>
#include <cmath>

namespace quarn::g {

namespace {

// Writes the operation's pixel value: the kernels with the size of their
// format, the generic path with the size of the image's id.
template <class T>
struct FormatWriter {
    static constexpr size_t bytes = T::bytes;
    uint32_t value;
    void operator()(uint8_t* at) const { T::store_word(at, value); }
};

struct SizeWriter {
    size_t bytes;
    uint32_t value;
    void operator()(uint8_t* at) const { generic::store(at, bytes, value); }
};

// The bit of a dash pattern for a pixel `offset` pixels from the start
// point, either way: offsets are taken modulo 32 into 0..31.
int pattern_bit(int64_t offset)
{
    return int(((offset % 32) + 32) % 32);
}

template <class N>
ClipBox<N> box_of(const Rect& r)
{
    return { N(r.x0), N(r.y0), N(r.x1), N(r.y1) };
}

// Every point of a clipped integer segment lies in the rectangle, so its
// coordinates fit in 32 bits.
template <class Writer>
void dashed_line(const UnaryRun& run, Writer write, bool vertical)
{
    const auto& op = static_cast<const UOpDashedLine&>(run.op);
    const Point2<int64_t> start { op.x, op.y };
    const Point2<int64_t> end { vertical ? start.x : start.x + op.length, vertical ? start.y + op.length : start.y };
    const ClippedSegment<int64_t> clipped = clip_segment(start, end, box_of<int64_t>(run.rect));
    if (!clipped.visible)
        return;
    // A vertical segment keeps the order it was given in.
    const int64_t from = vertical ? std::min(clipped.a.y, clipped.b.y) : clipped.a.x;
    const int64_t to = vertical ? std::max(clipped.a.y, clipped.b.y) : clipped.b.x;
    const int32_t x = int32_t(clipped.a.x), y = int32_t(clipped.a.y);
    const Rect lock_rect = vertical ? Rect { x, int32_t(from), x + 1, int32_t(to) + 1 }
                                    : Rect { int32_t(from), y, int32_t(to) + 1, y + 1 };
    Image::Lock lock(run.target, &lock_rect, lock_mode::target);
    if (!lock.pixels)
        return;
    // Rotated once so that bit 0 belongs to the first pixel written.
    uint32_t pattern = std::rotr(op.pattern, pattern_bit(from - (vertical ? start.y : start.x)));
    const ptrdiff_t step = vertical ? ptrdiff_t(lock.pitch) : ptrdiff_t(write.bytes);
    uint8_t* at = lock.pixels;
    for (int64_t i = from; i <= to; ++i, at += step) {
        if (pattern & 1)
            write(at);
        pattern = std::rotr(pattern, 1);
    }
}

// A float as an integer within [lo, hi]; NaN gives lo. Clipped coordinates
// are inside the rectangle already, so this only keeps the conversion
// defined at the rounding margins.
int64_t to_integer(float v, int64_t lo, int64_t hi)
{
    const double d = v;
    if (!(d >= double(lo)))
        return lo;
    if (d > double(hi))
        return hi;
    return int64_t(d);
}

template <class Writer>
void solid_line(const UnaryRun& run, Writer write)
{
    const auto& op = static_cast<const UOpLineStd&>(run.op);
    const Rect& clip = run.rect;
    const ClippedSegment<float> clipped
        = clip_segment(Point2<float> { op.x0, op.y0 }, Point2<float> { op.x1, op.y1 }, box_of<float>(clip));
    if (!clipped.visible)
        return;
    const Point2<float> a = clipped.a, b = clipped.b;
    const float min_x = std::min(a.x, b.x), min_y = std::min(a.y, b.y);
    const float span_x = std::fabs(a.x - b.x), span_y = std::fabs(a.y - b.y);
    const int64_t lx = to_integer(min_x, clip.x0, clip.x1);
    const int64_t ly = to_integer(min_y, clip.y0, clip.y1);
    const int64_t lx1 = to_integer(min_x + span_x + 1.0f, clip.x0, clip.x1);
    const int64_t ly1 = to_integer(min_y + span_y + 1.0f, clip.y0, clip.y1);
    // The steps reach up to one row or column past the clipped ends, so the
    // lock takes one pixel more on every side, within the clip rectangle.
    // Pixels outside it are not written: they lie off the line (a steep
    // step of a segment shorter than a pixel, which has no usable slope).
    const Rect lock_rect { int32_t(std::max<int64_t>(lx - 1, clip.x0)), int32_t(std::max<int64_t>(ly - 1, clip.y0)),
        int32_t(std::min<int64_t>(lx1 + 1, clip.x1)), int32_t(std::min<int64_t>(ly1 + 1, clip.y1)) };
    Image::Lock lock(run.target, &lock_rect, lock_mode::target);
    if (!lock.pixels)
        return;
    const auto plot = [&](int64_t x, int64_t y) {
        if (x < lock_rect.x0 || x >= lock_rect.x1 || y < lock_rect.y0 || y >= lock_rect.y1)
            return;
        const ptrdiff_t column = ptrdiff_t(x - lock_rect.x0) * ptrdiff_t(write.bytes);
        write(lock.pixels + ptrdiff_t(y - lock_rect.y0) * lock.pitch + column);
    };
    // floor(v) as an offset, or nothing when v is no number or far away.
    const auto offset = [](float v, int64_t& out) {
        const float f = std::floor(v);
        if (!(f >= -2147483648.0f && f <= 2147483648.0f))
            return false;
        out = int64_t(f);
        return true;
    };
    const int64_t bound = int64_t(1) << 32;
    const int64_t dx = to_integer(span_x, 0, bound);
    const int64_t dy = to_integer(span_y, 0, bound);
    if (dx >= dy) {
        // a has the smaller x already. Ends with the same x closer than a
        // pixel apart have no slope to step by: they draw flat.
        const float m = b.x == a.x ? 0.0f : (b.y - a.y) / (b.x - a.x);
        plot(to_integer(a.x, -bound, bound), to_integer(a.y, -bound, bound));
        float v = a.y + (std::ceil(a.x) - a.x) * m - float(ly);
        const int64_t last = to_integer(std::ceil(b.x), -bound, bound);
        for (int64_t x = to_integer(std::ceil(a.x), -bound, bound); x <= last; ++x, v += m) {
            int64_t row;
            if (offset(v, row))
                plot(x, ly + row);
        }
    } else {
        const Point2<float> top = a.y <= b.y ? a : b;
        const Point2<float> low = a.y <= b.y ? b : a;
        const float m = (low.x - top.x) / (low.y - top.y);
        plot(to_integer(top.x, -bound, bound), to_integer(top.y, -bound, bound));
        float v = top.x + (std::ceil(top.y) - top.y) * m - float(lx);
        const int64_t last = to_integer(std::ceil(low.y), -bound, bound);
        for (int64_t y = to_integer(std::ceil(top.y), -bound, bound); y <= last; ++y, v += m) {
            int64_t column;
            if (offset(v, column))
                plot(lx + column, y);
        }
    }
}

const UOpDashedLine& dashed(const UnaryRun& run)
{
    return static_cast<const UOpDashedLine&>(run.op);
}

const UOpLineStd& solid(const UnaryRun& run)
{
    return static_cast<const UOpLineStd&>(run.op);
}

SizeWriter size_writer(const UnaryRun& run, uint32_t pixel)
{
    return { bytes_per_pixel(run.target.format().id()), pixel };
}

void hline_generic(const UnaryRun& run)
{
    dashed_line(run, size_writer(run, dashed(run).pixel), false);
}

void vline_generic(const UnaryRun& run)
{
    dashed_line(run, size_writer(run, dashed(run).pixel), true);
}

void line_generic(const UnaryRun& run)
{
    solid_line(run, size_writer(run, solid(run).pixel));
}

template <class T>
struct HLineKernel {
    static void run(const UnaryRun& r) { dashed_line(r, FormatWriter<T> { dashed(r).pixel }, false); }
};
template <class T>
struct VLineKernel {
    static void run(const UnaryRun& r) { dashed_line(r, FormatWriter<T> { dashed(r).pixel }, true); }
};
template <class T>
struct LineKernel {
    static void run(const UnaryRun& r) { solid_line(r, FormatWriter<T> { solid(r).pixel }); }
};

// The three families differ only in their loop.
template <template <class> class Kernel>
struct LineFamily {
    template <FormatSlot Target>
    static constexpr UnaryCell cell()
    {
        if constexpr (is_direct_slot(Target))
            return { Action::run, &Kernel<SlotTraits<Target>>::run };
        else if constexpr (Target == FormatSlot::none)
            return unary_nothing_cell();
        else
            return unary_not_implemented_cell();
    }
};

constexpr UnaryTable hline = make_unary_table<LineFamily<HLineKernel>>("hline", &hline_generic);
constexpr UnaryTable vline = make_unary_table<LineFamily<VLineKernel>>("vline", &vline_generic);
constexpr UnaryTable line = make_unary_table<LineFamily<LineKernel>>("line", &line_generic);

} // namespace

const UnaryTable& hline_table()
{
    return hline;
}

const UnaryTable& vline_table()
{
    return vline;
}

const UnaryTable& line_table()
{
    return line;
}

void UOpHLineStd::run(FormatSlot slot)
{
    run_unary(hline, *this, slot);
}

void UOpVLineStd::run(FormatSlot slot)
{
    run_unary(vline, *this, slot);
}

void UOpLineStd::run(FormatSlot slot)
{
    run_unary(line, *this, slot);
}

Op* ImageContext::new_hline(uint32_t pixel, const int32_t point[2], int32_t length, uint32_t pattern)
{
    return new UOpHLineStd(pixel, point, length, pattern);
}

Op* ImageContext::new_vline(uint32_t pixel, const int32_t point[2], int32_t length, uint32_t pattern)
{
    return new UOpVLineStd(pixel, point, length, pattern);
}

Op* ImageContext::new_line(uint32_t pixel, const float ends[4], uint32_t word)
{
    return new UOpLineStd(pixel, ends, word);
}

} // namespace quarn::g
