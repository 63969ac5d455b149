// Layer III dequantisation (ISO/IEC 11172-3 2.4.3.4.7) and the reordering
// of short blocks into frequency order (2.4.3.4.8).
#include "engine/sound/mpeg/mpa_l3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Signed 4/3 power times the band's factor: a table for the common small
// magnitudes, the power function above.
inline float dequant(const mpaL3& s, int32_t v, float f)
{
    if (v > -32 && v < 32) return s.pow43_table[v + 32] * f;
    const double a = std::fabs(static_cast<double>(v));
    return static_cast<float>(f * v * std::pow(a, 0.3333333432674408));
}

}  // namespace

void mpaL3Dequant(mpaDec* dec, const int32_t* q, float* out, int32_t* live, const mpaL3Sf* sf,
                  const mpaL3Side* side, mpaL3Bands* bands, int32_t mixed_long_bands)
{
    mpaL3& s = dec->l3;
    std::memset(out, 0, 576 * sizeof(float));
    const float g = s.gain_table[std::clamp(side->global_gain + 6, 0, 261)];
    const int32_t n = std::clamp(*live, 0, 576);
    const int32_t sfs = side->scalefac_scale & 1;
    const int32_t* pre = mpa_l3_pretab[side->preflag & 1];
    const bool short_part = side->block_type == 2;
    const bool mixed = short_part && side->mixed_block_flag;
    bands->long_bands = !short_part ? 22 : mixed ? mixed_long_bands : 0;
    bands->first_short = !short_part ? 12 : mixed ? 3 : 0;
    bands->max_band = 0;
    bands->has_short = 0;
    for (int32_t& m : bands->max_short_band) m = bands->first_short;

    int32_t pos = 0;
    for (int32_t b = 0; b < bands->long_bands && pos < n; ++b) {
        const float f = g * s.scale_table[sfs][pre[b]][sf->long_sf[b] & 31];
        const int32_t end = std::min(pos + s.band_widths[0][b], 576);
        bool nonzero = false;
        for (int32_t i = pos; i < end; ++i) {
            if (q[i] == 0) continue;
            out[i] = dequant(s, q[i], f);
            nonzero = true;
        }
        if (nonzero) bands->max_band = b;
        pos = end;
    }
    if (!short_part) return;

    pos = bands->first_short ? s.band_ends[1][bands->first_short - 1] : 0;
    for (int32_t b = bands->first_short; b < 13 && pos < n; ++b) {
        const int32_t width = s.band_widths[1][b];
        if (pos + 3 * width > 576) break;
        for (int32_t w = 0; w < 3; ++w) {
            const float fw = g * s.subblock_table[side->subblock_gain[w] & 7] * s.scale_table[sfs][0][sf->short_sf[w][b] & 31];
            const int32_t* qw = q + pos + w * width;
            bool nonzero = false;
            for (int32_t j = 0; j < width; ++j) {
                float v = 0.0f;
                if (qw[j] != 0) {
                    v = dequant(s, qw[j], fw);
                    nonzero = true;
                }
                s.reorder_buf[3 * j + w] = v;
            }
            if (nonzero) bands->max_short_band[w] = b;
        }
        std::memcpy(out + pos, s.reorder_buf, 3 * width * sizeof(float));
        pos += 3 * width;
    }
    *live = pos;
    bands->has_short = 1;
    bands->max_band = std::max({bands->max_short_band[0], bands->max_short_band[1], bands->max_short_band[2]});
}
