#include "img/AlphaK.h"

#include "img/Blend.h"
#include "img/GenericPixels.h"
#include "img/ImageContext.h"
#include "img/Kernels.h"

#include <type_traits>

namespace quarn::g {

namespace {

using enum AlphaKRule;

// The member table: rows are targets, columns the palette and then the
// direct-colour sources in slot order (Rgbx4444 ... Rgbx8888).
constexpr FormatSlot target_order[8] = {
    FormatSlot::rgbx8888,
    FormatSlot::rgba8888,
    FormatSlot::rgb888,
    FormatSlot::rgb565,
    FormatSlot::rgba5551,
    FormatSlot::rgbx5551,
    FormatSlot::rgba4444,
    FormatSlot::rgbx4444,
};
constexpr AlphaKRule direct_rules[8][9] = {
    /* Rgbx8888 */ { always, convert, convert, convert, convert, convert, convert, same, always },
    /* Rgba8888 */ { same, convert, convert, convert, convert, convert, convert, same, opaque },
    /* Rgb888   */ { same, convert, convert, convert, convert, convert, same, same, same },
    /* Rgb565   */ { difference, convert, convert, convert, convert, difference, convert, convert, convert },
    /* Rgba5551 */ { same, convert, convert, convert, same, convert, convert, convert, convert },
    /* Rgbx5551 */ { same, convert, convert, same, convert, convert, convert, convert, convert },
    /* Rgba4444 */ { same, convert, same, convert, convert, convert, convert, convert, convert },
    /* Rgbx4444 */ { same, same, convert, convert, convert, convert, convert, convert, convert },
};

constexpr AlphaKRule rule_of(FormatSlot target, FormatSlot source)
{
    if (target == FormatSlot::none || source == FormatSlot::none)
        return nothing;
    if (!is_direct_slot(target))
        return not_implemented;
    if (source != FormatSlot::palette && !is_direct_slot(source))
        return not_implemented;
    int row = 0;
    while (target_order[row] != target)
        ++row;
    const int column = source == FormatSlot::palette ? 0 : int(source) - int(FormatSlot::rgbx4444) + 1;
    return direct_rules[row][column];
}

uint32_t weight_of(const BinaryRun& run)
{
    return clamp_weight(static_cast<const BOpAlphaK&>(run.op).k);
}

// What every pixel operation of the family starts from: the weight, and
// where a source pixel's value lies. A palette source's pixel is its entry,
// converted once per run into the target's format, so it is read with the
// target's traits; so is a direct source whose layout the target shares.
template <class T, class S>
struct AlphaKPixel {
    static constexpr bool palette = std::is_same_v<S, PaletteIndexTraits>;

    explicit AlphaKPixel(const BinaryRun& run) : k(weight_of(run))
    {
        if constexpr (palette)
            entries = run.source.format().palette()->entries_as(T::id);
    }
    const uint8_t* at(const uint8_t* s) const
    {
        if constexpr (palette)
            return entries + size_t(*s) * T::bytes;
        else
            return s;
    }
    // The source's value in the target's layout, for the rules that read
    // the source straight (the target is never wider than the source).
    uint32_t straight(const uint8_t* s) const { return T::load_word(at(s)); }

    uint32_t k;
    const uint8_t* entries = nullptr;
};

// The spans of the pairs that have them: 32-bit sources converted into
// Rgb565 and Rgb565 into 32-bit targets, 32-bit sources mixed straight into
// 32-bit targets, and Rgb565 onto Rgb565 by difference.
template <class T, class S>
constexpr bool word_8888_into_565 = T::id == format_id::rgb565 && is_word_8888(S::id);

template <class T, class S>
struct MixConverted : AlphaKPixel<T, S> {
    static constexpr Span SpanSet::* span = word_8888_into_565<T, S> ? &SpanSet::mix_8888_onto_565
        : is_word_8888(T::id) && S::id == format_id::rgb565      ? &SpanSet::mix_565_onto_8888
                                                                 : nullptr;
    using AlphaKPixel<T, S>::AlphaKPixel;
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        const uint32_t colour = assign_word<typename T::Pixel, typename S::Pixel>(0, S::load_word(s));
        T::store_word(t, mix_colour<typename T::Pixel>(T::load_word(t), colour, this->k));
    }
};

template <class T, class S>
struct AssignConverted : AlphaKPixel<T, S> {
    static constexpr Span SpanSet::* span = word_8888_into_565<T, S> ? &SpanSet::convert_8888_to_565
        : S::id != format_id::rgb565                                     ? nullptr
        : T::id == format_id::rgbx8888                                   ? &SpanSet::widen_565_to_x888
        : T::id == format_id::rgba8888                                   ? &SpanSet::widen_565_to_8888
                                                                         : nullptr;
    using AlphaKPixel<T, S>::AlphaKPixel;
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        T::store_word(t, assign_word<typename T::Pixel, typename S::Pixel>(T::load_word(t), S::load_word(s)));
    }
};

template <class T, class S>
struct MixStraight : AlphaKPixel<T, S> {
    static constexpr Span SpanSet::* span
        = is_word_8888(T::id) && is_word_8888(S::id) ? &SpanSet::mix_8888_onto_8888 : nullptr;
    using AlphaKPixel<T, S>::AlphaKPixel;
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        T::store_word(t, mix_colour<typename T::Pixel>(T::load_word(t), this->straight(s), this->k));
    }
};

// The source's word as it is; into Rgb888 its first three bytes.
template <class T, class S>
struct CopyStraight : AlphaKPixel<T, S> {
    using AlphaKPixel<T, S>::AlphaKPixel;
    void operator()(uint8_t* t, const uint8_t* s) const { std::memcpy(t, this->at(s), T::bytes); }
};

template <class T, class S>
struct CopyWithFullAlpha : AlphaKPixel<T, S> {
    using AlphaKPixel<T, S>::AlphaKPixel;
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        T::store_word(t, this->straight(s) | T::Pixel::alpha.field_mask());
    }
};

template <class T, class S>
struct Approach : AlphaKPixel<T, S> {
    static constexpr Span SpanSet::* span
        = T::id == format_id::rgb565 && S::id == format_id::rgb565 ? &SpanSet::approach_565 : nullptr;
    using AlphaKPixel<T, S>::AlphaKPixel;
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        T::store_word(t, approach_colour<typename T::Pixel>(T::load_word(t), this->straight(s), this->k));
    }
};

// A row loop of a pair: the weight picks the loop once per run, so the
// pixel loops hold no test but the key's. Every rule gives the target back
// at K = 0, so nothing is locked then.
template <class T, class S, AlphaKRule Rule, bool Keyed>
void alpha_k_rows(const BinaryRun& run)
{
    const uint32_t k = weight_of(run);
    if (k == 0)
        return;
    if constexpr (Rule == convert) {
        if (k == 255)
            return binary_rows<T, S, AssignConverted, Keyed>(run);
        return binary_rows<T, S, MixConverted, Keyed>(run);
    } else if constexpr (Rule == same || Rule == opaque) {
        if (k == 255) {
            if constexpr (Rule == same)
                return binary_rows<T, S, CopyStraight, Keyed>(run);
            else
                return binary_rows<T, S, CopyWithFullAlpha, Keyed>(run);
        }
        return binary_rows<T, S, MixStraight, Keyed>(run);
    } else if constexpr (Rule == always) {
        return binary_rows<T, S, MixStraight, Keyed>(run);
    } else {
        static_assert(Rule == difference);
        return binary_rows<T, S, Approach, Keyed>(run);
    }
}

template <class T, class S, AlphaKRule Rule>
constexpr BinaryCell alpha_k_cell()
{
    return { Action::run, &alpha_k_rows<T, S, Rule, false>, &alpha_k_rows<T, S, Rule, true> };
}

template <FormatSlot Source>
struct SourceTraitsOf {
    using type = SlotTraits<Source>;
};
template <>
struct SourceTraitsOf<FormatSlot::palette> {
    using type = PaletteIndexTraits;
};

struct AlphaKFamily {
    template <FormatSlot Target, FormatSlot Source>
    static constexpr BinaryCell cell()
    {
        constexpr AlphaKRule rule = rule_of(Target, Source);
        if constexpr (rule == nothing)
            return nothing_cell();
        else if constexpr (rule == not_implemented)
            return not_implemented_cell();
        else
            return alpha_k_cell<SlotTraits<Target>, typename SourceTraitsOf<Source>::type, rule>();
    }
};

// Every rule at run time, for any pair of images.
void alpha_k_generic(const BinaryRun& run)
{
    const uint32_t k = weight_of(run);
    if (k == 0)
        return;
    const uint32_t target_id = run.target.format().id();
    const uint32_t source_id = run.source.format().id();
    const Palette* palette = run.source.format().palette();
    const AlphaKRule rule = rule_of(format_slot(run.target), format_slot(run.source));
    const generic::Layout& target_layout = generic::layout(target_id);
    const size_t target_bytes = target_layout.bytes;
    const size_t source_bytes = bytes_per_pixel(source_id);
    const uint8_t* entries = palette ? palette->entries_as(target_id) : nullptr;
    const uint32_t key_mask = palette ? 0xFFFFFFFF : generic::key_mask(source_id);
    const bool keyed = run.source.has_color_key();
    const uint32_t key = run.source.key_pixel() & key_mask;

    generic::for_each_pixel_pair(run, target_bytes, source_bytes, [&](uint8_t* t, const uint8_t* s) {
        const uint32_t stored = generic::load(s, palette ? 1 : source_bytes);
        if (keyed && (stored & key_mask) == key)
            return;
        // A palette entry, like a source of the target's layout, is read
        // with the target's size.
        const uint32_t value = palette ? generic::load(entries + stored * target_bytes, target_bytes) : stored;
        const uint32_t straight = value & (target_bytes == 4 ? 0xFFFFFFFF : (1u << (8 * target_bytes)) - 1);
        const uint32_t old = generic::load(t, target_bytes);
        uint32_t out = old;
        switch (rule) {
        case convert:
            out = k == 255 ? generic::assign_value(target_id, old, source_id, value)
                           : generic::mix_colour(target_layout, old, generic::convert(source_id, value, target_id), k);
            break;
        case same:
            out = k == 255 ? straight : generic::mix_colour(target_layout, old, straight, k);
            break;
        case opaque:
            out = k == 255 ? straight | target_layout.alpha.field_mask()
                           : generic::mix_colour(target_layout, old, straight, k);
            break;
        case always:
            out = generic::mix_colour(target_layout, old, straight, k);
            break;
        case difference:
            out = generic::approach_colour(target_layout, old, straight, k);
            break;
        default:
            return;
        }
        generic::store(t, target_bytes, out);
    });
}

constexpr BinaryTable table = make_binary_table<AlphaKFamily>("alpha_k", &alpha_k_generic);

} // namespace

AlphaKRule alpha_k_rule(FormatSlot target, FormatSlot source)
{
    return rule_of(target, source);
}

const BinaryTable& alpha_k_table()
{
    return table;
}

void BOpAlphaK::run(FormatSlot slot)
{
    run_binary(table, *this, slot);
}

Op* ImageContext::new_alpha_k(uint32_t k)
{
    return new BOpAlphaK(k);
}

} // namespace quarn::g
