#include "img/Draw.h"

#include "img/Assign.h"
#include "img/AssignFamily.h"
#include "img/Blend.h"
#include "img/GenericPixels.h"
#include "img/ImageContext.h"
#include "img/Kernels.h"

namespace quarn::g {

namespace {

// One source pixel with alpha over one target pixel: alpha 0 leaves the
// target, full alpha stores the source as the assign family would (a word
// or three bytes where the layouts agree), anything between mixes the
// colour channels and keeps the target's alpha or x bits.
template <class T, class S>
struct DrawByAlpha {
    using TP = typename T::Pixel;
    using SP = typename S::Pixel;
    // An Rgba8888 source has the byte layout of every 8-bit target.
    static constexpr bool byte_copy = std::same_as<SP, Rgba8888> && TP::red.bits == 8;

    static constexpr Span SpanSet::* span = !std::same_as<SP, Rgba8888> ? nullptr
        : TP::id == format_id::rgb565                                  ? &SpanSet::draw_8888_onto_565
        : is_word_8888(TP::id)                                         ? &SpanSet::draw_8888_onto_8888
                                                                       : nullptr;

    explicit DrawByAlpha(const BinaryRun&) { }

    // No branch: at alpha 0 the mix gives the target back exactly (the
    // target keeps all of itself at weight 0), and full alpha is selected
    // rather than jumped to, so the loop has no per-pixel branch.
    void operator()(uint8_t* t, const uint8_t* s) const
    {
        const uint32_t value = S::load_word(s);
        const uint32_t a = alpha_255<SP>(value);
        const uint32_t old = T::load_word(t);
        if constexpr (byte_copy) {
            const uint32_t mixed = mix_colour<TP>(old, value, a);
            T::store_word(t, a == 255 ? value : mixed);
        } else {
            // Only the colour channels of the converted value are read.
            const uint32_t mixed = mix_colour<TP>(old, assign_word<TP, SP>(0, value), a);
            T::store_word(t, a == 255 ? assign_word<TP, SP>(old, value) : mixed);
        }
    }
};

// Sources without alpha run assign's very cells.
struct DrawFamily {
    template <FormatSlot Target, FormatSlot Source>
    static constexpr BinaryCell cell()
    {
        if constexpr (is_direct_slot(Target) && draws_by_alpha(Source))
            return kernel_cell<SlotTraits<Target>, SlotTraits<Source>, DrawByAlpha>();
        else
            return assign::AssignFamily::cell<Target, Source>();
    }
};

void draw_generic(const BinaryRun& run)
{
    const FormatSlot target_slot = format_slot(run.target);
    const FormatSlot source_slot = format_slot(run.source);
    if (!is_direct_slot(target_slot) || !draws_by_alpha(source_slot)) {
        assign_table().generic(run);
        return;
    }
    const uint32_t target_id = run.target.format().id();
    const uint32_t source_id = run.source.format().id();
    const generic::Layout& target_layout = generic::layout(target_id);
    const generic::Layout& source_layout = generic::layout(source_id);
    const size_t target_bytes = target_layout.bytes;
    const size_t source_bytes = source_layout.bytes;
    const bool keyed = run.source.has_color_key();
    const uint32_t key_mask = generic::key_mask(source_id);
    const uint32_t key = run.source.key_pixel() & key_mask;
    const bool byte_copy = source_id == format_id::rgba8888 && target_layout.red.bits == 8;

    generic::for_each_pixel_pair(run, target_bytes, source_bytes, [&](uint8_t* t, const uint8_t* s) {
        const uint32_t value = generic::load(s, source_bytes);
        if (keyed && (value & key_mask) == key)
            return;
        const uint32_t a = generic::alpha_255(source_layout, value);
        if (a == 0)
            return;
        const uint32_t old = generic::load(t, target_bytes);
        if (a == 255) {
            const uint32_t opaque = byte_copy ? value : generic::assign_value(target_id, old, source_id, value);
            generic::store(t, target_bytes, opaque);
            return;
        }
        const uint32_t colour = byte_copy ? value : generic::convert(source_id, value, target_id);
        generic::store(t, target_bytes, generic::mix_colour(target_layout, old, colour, a));
    });
}

constexpr BinaryTable table = make_binary_table<DrawFamily>("draw", &draw_generic);

} // namespace

const BinaryTable& draw_table()
{
    return table;
}

void OpDrawStd::run(FormatSlot slot)
{
    run_binary(table, *this, slot);
}

Op* ImageContext::new_draw()
{
    return new OpDrawStd();
}

} // namespace quarn::g
