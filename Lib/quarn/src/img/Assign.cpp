#include "img/Assign.h"

#include "img/AssignFamily.h"
#include "img/GenericPixels.h"

namespace quarn::g {

namespace {

using namespace assign;
using enum AssignRule;

// Every rule of the family at run time, for any pair of images.
void assign_generic(const BinaryRun& run)
{
    const PelFmt& target_format = run.target.format();
    const PelFmt& source_format = run.source.format();
    const uint32_t target_id = target_format.id();
    const uint32_t source_id = source_format.id();
    const AssignRule rule = rule_of(format_slot(run.target), format_slot(run.source));
    if (rule == indices && source_id != format_id::pal8)
        return;
    const uint8_t* entries = rule == pal ? source_format.palette()->entries_as(target_id) : nullptr;
    const size_t target_bytes = bytes_per_pixel(target_id);
    const size_t source_bytes = bytes_per_pixel(source_id);
    const bool index_source = rule == pal || rule == indices;
    const uint32_t mask = rule == pal ? 0xFFFFFFFF : rule == indices ? 0xFF : generic::key_mask(source_id);
    const bool keyed = run.source.has_color_key();
    const uint32_t key = run.source.key_pixel() & mask;
    const uint32_t x_bits = generic::layout(target_id).x_bits;

    generic::for_each_pixel_pair(run, target_bytes, source_bytes, [&](uint8_t* t, const uint8_t* s) {
        const uint32_t value = generic::load(s, index_source ? 1 : source_bytes);
        if (keyed && (value & mask) == key)
            return;
        const uint32_t old = generic::load(t, target_bytes);
        switch (rule) {
        case whole:
            generic::store(t, target_bytes, value);
            break;
        case opaque:
            generic::store(t, target_bytes, value | 0xFF000000);
            break;
        case bgr:
            generic::store(t, target_bytes, (old & 0xFF000000) | (value & 0x00FFFFFF));
            break;
        case conv:
            generic::store(t, target_bytes, (generic::convert(source_id, value, target_id) & ~x_bits) | (old & x_bits));
            break;
        case pal:
            generic::store(t, target_bytes, generic::load(entries + value * target_bytes, target_bytes));
            break;
        case indices:
            generic::store(t, 1, value);
            break;
        default:
            break;
        }
    });
}

constexpr BinaryTable table = make_binary_table<AssignFamily>("assign", &assign_generic);

} // namespace

AssignRule assign_rule(FormatSlot target, FormatSlot source)
{
    return rule_of(target, source);
}

const BinaryTable& assign_table()
{
    return table;
}

void OpAssignStd::run(FormatSlot slot)
{
    run_binary(table, *this, slot);
}

} // namespace quarn::g
