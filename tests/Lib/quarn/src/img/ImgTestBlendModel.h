// The blend rules of the draw and constant-alpha families, written plainly
// from their rule tables on top of the test's format model.
#pragma once

#include "ImgTestModel.h"

#include <cmath>
#include <cstdint>

namespace img_test {

inline uint32_t colour_mask(uint32_t id)
{
    const Layout& l = layout(id);
    auto mask = [](Field f) { return ((1u << f.bits) - 1) << f.shift; };
    return mask(l.red) | mask(l.green) | mask(l.blue);
}

// Each colour channel: floor(c * w / 256) + floor(t * (256 - w) / 256);
// everything else of t stays.
inline uint32_t model_mix(uint32_t id, uint32_t t, uint32_t c, uint32_t w)
{
    const Layout& l = layout(id);
    uint32_t out = t & ~colour_mask(id);
    for (Field f : { l.red, l.green, l.blue })
        out |= (read_field(c, f) * w / 256 + read_field(t, f) * (256 - w) / 256) << f.shift;
    return out;
}

// The pixel-structure assignment: converted fields, the target's x bits kept.
inline uint32_t model_structure_assign(uint32_t target_id, uint32_t old, uint32_t source_id, uint32_t value)
{
    if (target_id == source_id)
        return value;
    return model_fields(source_id, value, target_id) | (old & layout(target_id).x_bits);
}

// A source pixel with alpha drawn over a target pixel.
inline uint32_t model_draw(uint32_t target_id, uint32_t old, uint32_t source_id, uint32_t value)
{
    const Layout& s = layout(source_id);
    const uint32_t a = model_width(read_field(value, s.alpha), s.alpha.bits, 8);
    if (a == 0)
        return old;
    // An Rgba8888 source is copied byte for byte into 8-bit targets.
    const bool bytes = source_id == 3u && layout(target_id).red.bits == 8;
    if (a == 255) {
        if (bytes)
            return layout(target_id).bytes == 3 ? value & 0x00FFFFFF : value;
        return model_structure_assign(target_id, old, source_id, value);
    }
    return model_mix(target_id, old, bytes ? value : model_fields(source_id, value, target_id), a);
}

// The constant-alpha rules: G converts, W reads straight and copies at
// K = 255, A is W storing full alpha at K = 255, N mixes for every K, D is
// the difference form.
enum class KRule { G, W, A, N, D };

// Source 0 stands for a palette source.
inline KRule model_k_rule(uint32_t target_id, uint32_t source_id)
{
    // Columns: palette, Rgbx4444, Rgba4444, Rgbx5551, Rgba5551, Rgb565,
    // Rgb888, Rgba8888, Rgbx8888.
    static const uint32_t column_ids[9] = { 0, 7, 8, 5, 6, 4, 1, 3, 2 };
    struct Row {
        uint32_t target;
        const char* rules;
    };
    static const Row rows[8] = {
        { 2, "NGGGGGGWN" },
        { 3, "WGGGGGGWA" },
        { 1, "WGGGGGWWW" },
        { 4, "DGGGGDGGG" },
        { 6, "WGGGWGGGG" },
        { 5, "WGGWGGGGG" },
        { 8, "WGWGGGGGG" },
        { 7, "WWGGGGGGG" },
    };
    for (const Row& row : rows) {
        if (row.target != target_id)
            continue;
        for (int c = 0; c < 9; ++c)
            if (column_ids[c] == source_id) {
                switch (row.rules[c]) {
                case 'G':
                    return KRule::G;
                case 'W':
                    return KRule::W;
                case 'A':
                    return KRule::A;
                case 'N':
                    return KRule::N;
                default:
                    return KRule::D;
                }
            }
    }
    ADD_FAILURE() << "no rule for " << target_id << " from " << source_id;
    return KRule::N;
}

// Each colour channel: t + floor((s - t) * k / 256).
inline uint32_t model_approach(uint32_t id, uint32_t t, uint32_t s, uint32_t k)
{
    const Layout& l = layout(id);
    uint32_t out = t & ~colour_mask(id);
    for (Field f : { l.red, l.green, l.blue }) {
        const double tv = read_field(t, f), sv = read_field(s, f);
        out |= uint32_t(tv + std::floor((sv - tv) * k / 256.0)) << f.shift;
    }
    return out;
}

// A source pixel blended at weight k over a target pixel. For a palette
// source (source_id 0) value is the entry already in the target's format.
inline uint32_t model_alpha_k(uint32_t target_id, uint32_t old, uint32_t source_id, uint32_t value, uint32_t k)
{
    const KRule rule = model_k_rule(target_id, source_id);
    const uint32_t straight = value & pixel_mask(target_id);
    switch (rule) {
    case KRule::G:
        if (k == 0)
            return old;
        if (k == 255)
            return model_structure_assign(target_id, old, source_id, value);
        return model_mix(target_id, old, model_fields(source_id, value, target_id), k);
    case KRule::W:
        return k == 255 ? straight : model_mix(target_id, old, straight, k);
    case KRule::A:
        return k == 255 ? straight | 0xFF000000 : model_mix(target_id, old, straight, k);
    case KRule::N:
        return model_mix(target_id, old, straight, k);
    case KRule::D:
        return model_approach(target_id, old, straight, k);
    }
    return old;
}

} // namespace img_test
