// The assign family's compile-time description: the member table as rules,
// the pixel operation of each rule, and the cells built from them. Kept in a
// header so that families which share assign's cells (draw copies every
// source without alpha exactly as assign does) build their tables from the
// very same instantiations.
#pragma once

#include "img/Assign.h"
#include "img/Kernels.h"

#include <cstring>

namespace quarn::g::assign {

using enum AssignRule;

// The member table: rows are targets, columns sources, both in this order.
inline constexpr FormatSlot direct_order[8] = {
    FormatSlot::rgbx8888,
    FormatSlot::rgba8888,
    FormatSlot::rgb888,
    FormatSlot::rgb565,
    FormatSlot::rgbx5551,
    FormatSlot::rgba5551,
    FormatSlot::rgbx4444,
    FormatSlot::rgba4444,
};
inline constexpr AssignRule direct_rules[8][8] = {
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
    static constexpr Span SpanSet::* span
        = T::id == format_id::rgbx8888 && S::id == format_id::rgb888 ? &SpanSet::copy_888_to_8888 : nullptr;
    explicit CopyBgr(const BinaryRun&) { }
    void operator()(uint8_t* t, const uint8_t* s) const { std::memcpy(t, s, 3); }
};

template <class T, class S>
struct ConvertPixel {
    static constexpr Span SpanSet::* span = T::id == format_id::rgb565 && is_word_8888(S::id)
        ? &SpanSet::convert_8888_to_565
        : S::id != format_id::rgb565 ? nullptr
        : T::id == format_id::rgbx8888 ? &SpanSet::widen_565_to_x888
        : T::id == format_id::rgba8888 ? &SpanSet::widen_565_to_8888
                                       : nullptr;
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

} // namespace quarn::g::assign
