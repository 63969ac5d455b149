#include "img/GenericPixels.h"

#include "img/Formats.h"

namespace quarn::g::generic {

const Layout& layout(uint32_t id)
{
    // The format table, written out once more as data.
    static const Layout layouts[format_id::count] = {
        { 4, {}, {}, {}, {}, 0, false },
        { 3, { 16, 8 }, { 8, 8 }, { 0, 8 }, {}, 0, true },
        { 4, { 16, 8 }, { 8, 8 }, { 0, 8 }, {}, 0xFF000000, true },
        { 4, { 16, 8 }, { 8, 8 }, { 0, 8 }, { 24, 8 }, 0, true },
        { 2, { 11, 5 }, { 5, 6 }, { 0, 5 }, {}, 0, true },
        { 2, { 10, 5 }, { 5, 5 }, { 0, 5 }, {}, 0x8000, true },
        { 2, { 10, 5 }, { 5, 5 }, { 0, 5 }, { 15, 1 }, 0, true },
        { 2, { 8, 4 }, { 4, 4 }, { 0, 4 }, {}, 0xF000, true },
        { 2, { 8, 4 }, { 4, 4 }, { 0, 4 }, { 12, 4 }, 0, true },
        { 1, {}, {}, {}, {}, 0, false },
        { 2, {}, {}, {}, {}, 0, false },
        { 4, {}, {}, {}, {}, 0, false },
    };
    static const Layout unknown {};
    return id < format_id::count ? layouts[id] : unknown;
}

uint32_t key_mask(uint32_t id)
{
    const Layout& l = layout(id);
    const uint32_t all = l.bytes >= 4 ? 0xFFFFFFFF : (1u << (8 * l.bytes)) - 1;
    return all & ~l.x_bits;
}

namespace {

uint32_t change(uint32_t v, unsigned from_bits, unsigned to_bits)
{
    if (from_bits == to_bits)
        return v;
    const uint32_t from_max = (1u << from_bits) - 1;
    const uint32_t to_max = (1u << to_bits) - 1;
    return (2 * v * to_max + from_max) / (2 * from_max);
}

uint32_t move(uint32_t value, Channel from, Channel to)
{
    return to.place(change(from.read(value), from.bits, to.bits));
}

} // namespace

uint32_t convert(uint32_t source_id, uint32_t value, uint32_t target_id)
{
    const Layout& s = layout(source_id);
    const Layout& t = layout(target_id);
    uint32_t out = move(value, s.red, t.red) | move(value, s.green, t.green) | move(value, s.blue, t.blue);
    if (t.alpha.bits)
        out |= s.alpha.bits ? move(value, s.alpha, t.alpha) : t.alpha.field_mask();
    return out;
}

} // namespace quarn::g::generic
