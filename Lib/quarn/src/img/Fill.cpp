#include "img/Fill.h"

#include "img/GenericPixels.h"
#include "img/Kernels.h"

#include <algorithm>

namespace quarn::g {

namespace {

template <class T>
struct FillRow {
    explicit FillRow(const UnaryRun& run) : value(static_cast<const UOpFillStd&>(run.op).pixel) { }

    void operator()(uint8_t* row, int32_t width) const
    {
        if constexpr (T::bytes == 4) {
            for (int32_t x = 0; x < width; ++x)
                std::memcpy(row + 4 * x, &value, 4);
        } else if constexpr (T::bytes == 3) {
            // One seed pixel, then the row so far copied onto its own end,
            // doubling each time: the bytes B, G, R repeat across the row.
            const size_t bytes = size_t(width) * 3;
            std::memcpy(row, &value, 3);
            for (size_t done = 3; done < bytes;) {
                const size_t copy = std::min(done, bytes - done);
                std::memcpy(row + done, row, copy);
                done += copy;
            }
        } else {
            // Pairs of pixels as one word; rows are only 2-byte aligned.
            const uint32_t pair = (value & 0xFFFF) | (value << 16);
            const int32_t pairs = width / 2;
            for (int32_t i = 0; i < pairs; ++i)
                std::memcpy(row + 4 * i, &pair, 4);
            if (width & 1)
                std::memcpy(row + 4 * pairs, &value, 2);
        }
    }

    uint32_t value;
};

struct FillFamily {
    template <FormatSlot Target>
    static constexpr UnaryCell cell()
    {
        if constexpr (is_direct_slot(Target))
            return unary_kernel_cell<SlotTraits<Target>, FillRow>();
        else if constexpr (Target == FormatSlot::none)
            return unary_nothing_cell();
        else
            return unary_not_implemented_cell();
    }
};

void fill_generic(const UnaryRun& run)
{
    const uint32_t value = static_cast<const UOpFillStd&>(run.op).pixel;
    const size_t bytes = bytes_per_pixel(run.target.format().id());
    Image::Lock target(run.target, &run.rect, lock_mode::target);
    if (!target.pixels)
        return;
    for (int32_t y = 0; y < run.rect.height(); ++y) {
        uint8_t* t = target.row(y);
        for (int32_t x = 0; x < run.rect.width(); ++x, t += bytes)
            generic::store(t, bytes, value);
    }
}

constexpr UnaryTable table = make_unary_table<FillFamily>("fill", &fill_generic);

} // namespace

const UnaryTable& fill_table()
{
    return table;
}

void UOpFillStd::run(FormatSlot slot)
{
    run_unary(table, *this, slot);
}

} // namespace quarn::g
