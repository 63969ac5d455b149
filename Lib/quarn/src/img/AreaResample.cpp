#include "img/AreaResample.h"

#include "img/Formats.h"

#include <array>
#include <utility>

namespace quarn::g {

namespace {

// The collector that a format uses: with or without alpha, plain or keyed.
template <class F, bool Keyed>
using CollectorFor
    = std::conditional_t<F::alpha.bits != 0, std::conditional_t<Keyed, RGBACollectorVoid<F>, RGBACollector<F>>,
        std::conditional_t<Keyed, RGBCollectorVoid<F>, RGBCollector<F>>>;

// Modes 1 to 4 as (wrap x, wrap y).
template <class F, bool Keyed> constexpr std::array<AreaRoutine, 4> routines_for_modes()
{
    using C = CollectorFor<F, Keyed>;
    return { &resample_area<F, C, false, false>, &resample_area<F, C, true, false>, &resample_area<F, C, false, true>,
        &resample_area<F, C, true, true> };
}

struct FormatRoutines {
    std::array<AreaRoutine, 4> plain;
    std::array<AreaRoutine, 4> keyed;
};

template <class F> constexpr FormatRoutines routines_for()
{
    return { routines_for_modes<F, false>(), routines_for_modes<F, true>() };
}

// Indexed by format id - 1.
constexpr std::array<FormatRoutines, 8> table { routines_for<Rgb888>(), routines_for<Rgbx8888>(),
    routines_for<Rgba8888>(), routines_for<Rgb565>(), routines_for<Rgbx5551>(), routines_for<Rgba5551>(),
    routines_for<Rgbx4444>(), routines_for<Rgba4444>() };

static_assert(Rgb888::id == 1 && Rgbx8888::id == 2 && Rgba8888::id == 3 && Rgb565::id == 4 && Rgbx5551::id == 5
    && Rgba5551::id == 6 && Rgbx4444::id == 7 && Rgba4444::id == 8);

} // namespace

AreaRoutine area_routine(uint32_t format_id, uint32_t mode, bool keyed)
{
    if (format_id < 1 || format_id > 8 || mode < 1 || mode > 4)
        return nullptr;
    const FormatRoutines& routines = table[format_id - 1];
    return (keyed ? routines.keyed : routines.plain)[mode - 1];
}

} // namespace quarn::g
