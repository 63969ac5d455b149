// Layer III stereo processing (ISO/IEC 11172-3 2.4.3.4.9, ISO/IEC 13818-3
// 2.4.3.2 for the MPEG-2 intensity positions) and the antialias butterflies
// (2.4.3.4.10.1).
#include "engine/sound/mpeg/mpa_l3.h"

#include <algorithm>

namespace {

inline int32_t band_start(const mpaL3& s, int32_t kind, int32_t b)
{
    return b ? s.band_ends[kind][b - 1] : 0;
}

// The lines of one band: long bands (kind 0) are contiguous, short bands
// (kind 1) hold their three windows interleaved, so window w's lines are
// three apart from w on.
template <class Fn>
inline void for_lines(const mpaL3& s, int32_t kind, int32_t w, int32_t b, Fn fn)
{
    const int32_t step = kind ? 3 : 1;
    const int32_t start = band_start(s, kind, b) + (kind ? w : 0);
    for (int32_t j = 0; j < s.band_widths[kind][b]; ++j) fn(start + j * step);
}

// The intensity region of a run of bands lo..hi begins above the highest
// band in which the right channel holds a nonzero value; a run that is
// silent throughout is intensity from lo on.
int32_t region_start(const mpaL3& s, const float* right, int32_t kind, int32_t w, int32_t lo, int32_t hi)
{
    for (int32_t b = hi; b >= lo; --b) {
        bool nonzero = false;
        for_lines(s, kind, w, b, [&](int32_t i) { nonzero |= right[i] != 0.0f; });
        if (nonzero) return b + 1;
    }
    return lo;
}

inline void apply(const mpaL3& s, float* left, float* right, int32_t kind, int32_t w, int32_t b, const float* k)
{
    for_lines(s, kind, w, b, [&](int32_t i) {
        right[i] = k[1] * left[i];
        left[i] = k[0] * left[i];
    });
}

// Intensity stereo of one granule (both forms), over the regions found
// before the mid/side butterfly. pair(kind, w, b) is the (kl, kr) pair of a
// band's position. In an intensity band the right channel was 0, so the
// butterfly left the left channel as it was and these pairs see the mid
// signal. The top band (long 21, short 12) has no scale factor: it takes
// the position of the band below it when that band is an intensity band,
// and the pair `top_alone` when it is the only intensity band of its run.
template <class Pair>
void intensity(const mpaL3& s, float* left, float* right, const mpaL3Bands* bands1, const mpaL3IsRegions* r,
               const float* top_alone, Pair pair)
{
    if (!bands1->has_short) {
        for (int32_t b = r->first_long; b <= 21; ++b) {
            apply(s, left, right, 0, 0, b, b < 21 ? pair(0, 0, b) : r->first_long < 21 ? pair(0, 0, 20) : top_alone);
        }
        return;
    }
    for (int32_t w = 0; w < 3; ++w) {
        const int32_t first = r->first_short[w];
        for (int32_t b = first; b <= 12; ++b) {
            apply(s, left, right, 1, w, b, b < 12 ? pair(1, w, b) : first < 12 ? pair(1, w, 11) : top_alone);
        }
    }
    for (int32_t b = r->first_long; b < bands1->long_bands; ++b) apply(s, left, right, 0, 0, b, pair(0, 0, b));
}

}  // namespace

void mpaL3IntensityRegions(const mpaDec* dec, const float* right, const mpaL3Bands* bands1, mpaL3IsRegions* r)
{
    const mpaL3& s = dec->l3;
    if (!bands1->has_short) {
        r->first_long = region_start(s, right, 0, 0, 0, 21);
        return;
    }
    const int32_t low = bands1->first_short;
    bool short_part_silent = true;
    for (int32_t w = 0; w < 3; ++w) {
        r->first_short[w] = region_start(s, right, 1, w, low, 12);
        if (r->first_short[w] > low) short_part_silent = false;
    }
    // The long bands of a mixed block are intensity bands only when no
    // window of its short part holds a nonzero right-channel value.
    r->first_long = low > 0 && short_part_silent ? region_start(s, right, 0, 0, 0, bands1->long_bands - 1)
                                                 : bands1->long_bands;
}

void mpaL3MidSide(float* left, float* right, int32_t n)
{
    // The 1/sqrt(2) of the standard is already in the global gain.
    for (int32_t i = 0; i < n; ++i) {
        const float a = left[i], b = right[i];
        left[i] = a + b;
        right[i] = a - b;
    }
}

void mpaL3Intensity1(mpaDec* dec, float* left, float* right, const mpaL3Sf* sf, const mpaL3Bands* bands1,
                     const mpaL3IsRegions* regions, int32_t mid_side)
{
    const mpaL3& s = dec->l3;
    const float(*ratios)[2] = s.is_ratios[mid_side & 1];
    // Positions above 7 (possible in the bands with 4-bit scale factors)
    // have no ratio; they count as the illegal position. A top band alone
    // takes the illegal position too: it stays plain or mid/side stereo.
    intensity(s, left, right, bands1, regions, ratios[7], [&](int32_t kind, int32_t w, int32_t b) {
        return ratios[std::clamp(kind ? sf->short_sf[w][b] : sf->long_sf[b], 0, 7)];
    });
}

void mpaL3Intensity2(mpaDec* dec, float* left, float* right, const mpaL3Sf* sf, const mpaL3Bands* bands1,
                     const mpaL3IsRegions* regions, const mpaL3IsLayout* layout, int32_t mid_side)
{
    const mpaL3& s = dec->l3;
    const float(*factors)[2] = s.lsf_is_factors[layout->intensity_scale & 1][mid_side & 1];
    // The offset of each band's group in the factor table. A mixed block's
    // first group holds its long bands; its short bands start at band 3
    // with the second group.
    const bool mixed = bands1->has_short && bands1->first_short > 0;
    int32_t offset[24] = {};
    int32_t long_offset = 0;
    if (mixed) long_offset = (1 << layout->slen[0]) - 1;
    for (int32_t k = mixed ? 1 : 0, b = mixed ? bands1->first_short : 0; k < 3; ++k) {
        for (int32_t c = 0; c < layout->bands[k] && b < 24; ++c) offset[b++] = (1 << layout->slen[k]) - 1;
    }
    // The illegal position of a band is the largest value of its own
    // scale-factor width, so only transmitted positions can be illegal. A
    // top band alone has none transmitted and none to take over: it takes
    // position 0 (both channels the left one, entry 0 of any group wider
    // than 0 bits).
    intensity(s, left, right, bands1, regions, factors[1], [&](int32_t kind, int32_t w, int32_t b) {
        const int32_t o = kind == 0 && mixed ? long_offset : offset[b];
        return factors[std::clamp(o + (kind ? sf->short_sf[w][b] : sf->long_sf[b]), 0, 63)];
    });
}

void mpaL3Stereo(mpaDec* dec, int32_t g)
{
    mpaL3& s = dec->l3;
    float* left = s.spectrum[0][g];
    float* right = s.spectrum[1][g];
    const mpaL3Bands* bands1 = &s.band_summary[g][1];
    // The intensity regions are found on the side channel, before the
    // butterfly turns it into the right channel.
    mpaL3IsRegions regions{};
    if (s.intensity) mpaL3IntensityRegions(dec, right, bands1, &regions);
    const int32_t n = std::max(s.live_samples[g][0], s.live_samples[g][1]);
    if (s.mid_side) mpaL3MidSide(left, right, n);
    if (s.intensity) {
        if (s.id == 1) {
            mpaL3Intensity1(dec, left, right, &s.scalefactors[g][1], bands1, &regions, s.mid_side);
        } else {
            mpaL3Intensity2(dec, left, right, &s.scalefactors[g][1], bands1, &regions, &s.intensity_layout,
                            s.mid_side);
        }
    }
    if (s.mode_extension != 0) s.live_samples[g][0] = s.live_samples[g][1] = n;
}

void mpaL3Antialias(const mpaDec* dec, float* x, int32_t boundaries)
{
    const float(*cs)[2] = dec->l3.alias_pairs;
    for (int32_t k = 1; k <= boundaries; ++k) {
        float* lo = x + 18 * k - 1;
        float* hi = x + 18 * k;
        for (int32_t i = 0; i < 8; ++i) {
            const float a = lo[-i], b = hi[i];
            lo[-i] = a * cs[i][0] - b * cs[i][1];
            hi[i] = b * cs[i][0] + a * cs[i][1];
        }
    }
}
