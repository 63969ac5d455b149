#include "img/Assign.h"

#include "img/GenericPixels.h"
#include "img/Kernels.h"

namespace quarn::g {

namespace {

using enum AssignRule;

// The member table: rows are targets, columns sources, both in this order.
constexpr FormatSlot direct_order[8] = {
    FormatSlot::rgbx8888,
    FormatSlot::rgba8888,
    FormatSlot::rgb888,
    FormatSlot::rgb565,
    FormatSlot::rgbx5551,
    FormatSlot::rgba5551,
    FormatSlot::rgbx4444,
    FormatSlot::rgba4444,
};
constexpr AssignRule direct_rules[8][8] = {
    /* Rgbx8888 */ { whole, whole, bgr, conv, conv, conv, conv, conv },
    /* Rgba8888 */ { opaque, whole, conv, conv, conv, conv, conv, conv },
    /* Rgb888   */ { bgr, bgr, bgr, conv, conv, conv, conv, conv },
    /* Rgb565   */ { conv, conv, conv, whole, conv, conv, conv, conv },
    /* Rgbx5551 */ { conv, conv, conv, conv, whole, conv, conv, conv },
    /* Rgba5551 */ { conv, conv, conv, conv, conv, whole, conv, conv },
    /* Rgbx4444 */ { conv, conv, conv, conv, conv, conv, whole, conv },
    /* Rgba4444 */ { conv, conv, conv, conv, conv, conv, conv, whole },
};

constexpr int direct_index(FormatSlot slot)
{
    for (int i = 0; i < 8; ++i)
        if (direct_order[i] == slot)
            return i;
    return -1;
}

constexpr AssignRule rule_of(FormatSlot target, FormatSlot source)
{
    if (target == FormatSlot::none || source == FormatSlot::none)
        return nothing;
    // An index target takes only index bytes; whether the source really is
    // Pal8 is a question of its id, settled at run time.
    if (target == FormatSlot::palette || target == FormatSlot::pal8)
        return source == FormatSlot::palette || source == FormatSlot::pal8 ? indices : nothing;
    if (target == FormatSlot::raw16 || target == FormatSlot::raw32)
        return nothing;
    if (source == FormatSlot::palette)
        return pal;
    if (source == FormatSlot::pal8 || source == FormatSlot::raw16 || source == FormatSlot::raw32)
        return not_implemented;
    return direct_rules[direct_index(target)][direct_index(source)];
}

// Pixel operations, one per rule.

template <class T, class S>
struct CopyWhole {
    static_assert(T::bytes == S::bytes);
    explicit CopyWhole(const BinaryRun&) { }
    void operator()(uint8_t* t, const uint8_t* s) const { std::memcpy(t, s, T::bytes); }
};

template <class T, class S>
struct CopyOpaque {
    explicit CopyOpaque(const BinaryRun&) { }
    void operator()(uint8_t* t, const uint8_t* s) const { T::store_word(t, S::load_word(s) | 0xFF000000); }
};

template <class T, class S>
struct CopyBgr {
    explicit CopyBgr(const BinaryRun&) { }
    void operator()(uint8_t* t, const uint8_t* s) const { std::memcpy(t, s, 3); }
};

template <class T, class S>
struct ConvertPixel {
    explicit ConvertPixel(const BinaryRun&) { }
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        typename T::Pixel pixel;
        // Only a target with x bits needs its old value: the conversion
        // keeps them.
        if constexpr (T::Pixel::x_bits != 0)
            pixel = T::load(t);
        pixel = S::load(s);
        T::store(t, pixel);
    }
};

template <class T, class S>
struct PaletteLookup {
    // The entries are converted once per call, before anything is locked.
    explicit PaletteLookup(const BinaryRun& run)
        : entries(run.source.format().palette()->entries_as(T::id))
    {
    }
    void operator()(uint8_t* t, const uint8_t* s) const { std::memcpy(t, entries + size_t(*s) * T::bytes, T::bytes); }
    const uint8_t* entries;
};

struct AssignFamily {
    template <FormatSlot Target, FormatSlot Source>
    static constexpr BinaryCell cell()
    {
        constexpr AssignRule rule = rule_of(Target, Source);
        if constexpr (rule == whole)
            return kernel_cell<SlotTraits<Target>, SlotTraits<Source>, CopyWhole>();
        else if constexpr (rule == opaque)
            return kernel_cell<SlotTraits<Target>, SlotTraits<Source>, CopyOpaque>();
        else if constexpr (rule == bgr)
            return kernel_cell<SlotTraits<Target>, SlotTraits<Source>, CopyBgr>();
        else if constexpr (rule == conv)
            return kernel_cell<SlotTraits<Target>, SlotTraits<Source>, ConvertPixel>();
        else if constexpr (rule == pal)
            return kernel_cell<SlotTraits<Target>, PaletteIndexTraits, PaletteLookup>();
        else if constexpr (rule == indices)
            return kernel_cell<Pal8IndexTraits, Pal8IndexTraits, CopyWhole>();
        else if constexpr (rule == not_implemented)
            return not_implemented_cell();
        else
            return nothing_cell();
    }
};

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
