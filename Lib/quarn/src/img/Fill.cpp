#include "img/Fill.h"

#include "img/GenericPixels.h"
#include "img/Kernels.h"


namespace quarn::g {

namespace {

// Rows are written from a pattern of whole pixels, 48 bytes at a time: 24,
// 16 or 12 pixels of 2, 3 or 4 bytes. The copies compile to plain unaligned
// vector stores, so rows need no alignment and 3-byte pixels cost no more
// than the others.
template <class T>
struct FillRow {
    static constexpr size_t pattern_bytes = 48;
    static_assert(pattern_bytes % T::bytes == 0);

    explicit FillRow(const UnaryRun& run)
    {
        const uint32_t value = static_cast<const UOpFillStd&>(run.op).pixel;
        for (size_t i = 0; i < pattern_bytes; i += T::bytes)
            std::memcpy(pattern + i, &value, T::bytes);
    }

    void operator()(uint8_t* row, int32_t width) const
    {
        const size_t bytes = size_t(width) * T::bytes;
        size_t done = 0;
        for (; done + pattern_bytes <= bytes; done += pattern_bytes)
            std::memcpy(row + done, pattern, pattern_bytes);
        std::memcpy(row + done, pattern, bytes - done);
    }

    uint8_t pattern[pattern_bytes];
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
