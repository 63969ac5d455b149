// Layer III dequantisation (ISO/IEC 11172-3 2.4.3.4.7) and the reordering
// of short blocks into frequency order (2.4.3.4.8).
#include "engine/sound/mpeg/mpa_l3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// |v|^(4/3) for every magnitude the Huffman decoding can give (15 plus 13
// escape bits), built once for the process and read-only afterwards.
constexpr int32_t pow_count = 15 + 8191 + 1;

struct PowTable {
    float v[pow_count];
};

PowTable make_pow()
{
    PowTable t{};
    for (int32_t i = 0; i < pow_count; ++i) {
        const double x = i;
        t.v[i] = static_cast<float>(x * std::cbrt(x));
    }
    return t;
}

const float* pow43()
{
    static const PowTable t = make_pow();
    return t.v;
}

// Signed 4/3 power times the band's factor; the power function serves
// values beyond the table, which no stream can hold.
inline float dequant(const float* table, int32_t v, float f)
{
    const uint32_t a = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    float m;
    if (a < static_cast<uint32_t>(pow_count)) {
        m = table[a] * f;
    } else {
        m = static_cast<float>(f * std::pow(static_cast<double>(a), 4.0 / 3.0));
    }
    // The sign goes in as a bit: signs are random, a branch on them would
    // mispredict half the time.
    uint32_t bits;
    std::memcpy(&bits, &m, sizeof bits);
    bits ^= static_cast<uint32_t>(v) & 0x80000000u;
    std::memcpy(&m, &bits, sizeof m);
    return m;
}

// Dequantises count values of q into out, Stride floats apart; returns
// them ORed together (not 0 when any is). Runs within -1..1 (the count1
// region and most high bands) need no table, as their 4/3 power is
// themselves: those take a plain conversion that the compiler vectorises.
template <int Stride>
inline int32_t dequant_run(const float* table, const int32_t* q, int32_t count, float f, float* out)
{
    int32_t any = 0;
    uint32_t big = 0;
    for (int32_t i = 0; i < count; ++i) {
        any |= q[i];
        big |= static_cast<uint32_t>(static_cast<uint32_t>(q[i]) + 1u > 2u);
    }
    if (big == 0) {
        for (int32_t i = 0; i < count; ++i) out[Stride * i] = static_cast<float>(q[i]) * f;
    } else {
        for (int32_t i = 0; i < count; ++i) out[Stride * i] = dequant(table, q[i], f);
    }
    return any;
}

}  // namespace

void mpaL3Dequant(mpaDec* dec, const int32_t* q, float* out, int32_t* live, const mpaL3Sf* sf,
                  const mpaL3Side* side, mpaL3Bands* bands, int32_t mixed_long_bands)
{
    mpaL3& s = dec->l3;
    const float* table = pow43();
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
        if (dequant_run<1>(table, q + pos, end - pos, f, out + pos) != 0) bands->max_band = b;
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
            if (dequant_run<3>(table, qw, width, fw, s.reorder_buf + w) != 0) bands->max_short_band[w] = b;
        }
        std::memcpy(out + pos, s.reorder_buf, 3 * width * sizeof(float));
        pos += 3 * width;
    }
    *live = pos;
    bands->has_short = 1;
    bands->max_band = std::max({bands->max_short_band[0], bands->max_short_band[1], bands->max_short_band[2]});
}
