// Layer III stereo processing (ISO/IEC 11172-3 2.4.3.4.9, ISO/IEC 13818-3
// 2.4.3.2 for the MPEG-2 intensity positions) and the antialias butterflies
// (2.4.3.4.10.1).
#include "engine/sound/mpeg/mpa_l3.h"

#include <algorithm>

void mpaL3MidSide(float* left, float* right, int32_t n)
{
    // The 1/sqrt(2) of the standard is already in the global gain.
    for (int32_t i = 0; i < n; ++i) {
        const float a = left[i], b = right[i];
        left[i] = a + b;
        right[i] = a - b;
    }
}

void mpaL3Intensity1(mpaDec* dec, float* left, float* right, const mpaL3Sf* sf, const mpaL3Bands* bands,
                     int32_t live0, int32_t mid_side)
{
    const mpaL3& s = dec->l3;
    const float(*ratios)[2] = s.is_ratios[mid_side & 1];
    // Positions above 7 (possible in the bands with 4-bit scale factors)
    // have no ratio; they count as the illegal position.
    auto ratio = [&](int32_t pos) { return ratios[std::clamp(pos, 0, 7)]; };
    if (!bands->has_short) {
        int32_t i = s.band_ends[0][bands->max_band];
        int32_t left_count = live0 - i;
        for (int32_t b = bands->max_band + 1; b <= 20; ++b) {
            const float* k = ratio(sf->long_sf[b]);
            for (int32_t j = 0; j < s.band_widths[0][b]; ++j, ++i) {
                if (--left_count < 0) return;
                right[i] = k[1] * left[i];
                left[i] = k[0] * left[i];
            }
        }
        return;
    }
    int32_t i = s.band_ends[1][bands->max_band];
    int32_t left_count = live0 - i;
    for (int32_t b = bands->max_band + 1; b <= 11; ++b) {
        const float* k[3] = {ratio(sf->short_sf[0][b]), ratio(sf->short_sf[1][b]), ratio(sf->short_sf[2][b])};
        for (int32_t j = 0; j < s.band_widths[1][b]; ++j, i += 3) {
            left_count -= 3;
            if (left_count < 0) return;
            for (int32_t w = 0; w < 3; ++w) {
                right[i + w] = k[w][1] * left[i + w];
                left[i + w] = k[w][0] * left[i + w];
            }
        }
    }
}

void mpaL3Intensity2(mpaDec* dec, float* left, float* right, const mpaL3Sf* sf, const mpaL3Bands* bands0,
                     const mpaL3Bands* bands1, const mpaL3IsLayout* layout, int32_t live0, int32_t mid_side)
{
    const mpaL3& s = dec->l3;
    const float(*factors)[2] = s.lsf_is_factors[layout->intensity_scale & 1][mid_side & 1];
    // The offset of each band's group in the factor table. A mixed block's
    // first group holds its long bands; its short bands start at band 3
    // with the second group.
    const bool mixed = bands1->has_short && bands1->first_short > 0;
    int32_t offset[24] = {};
    for (int32_t k = mixed ? 1 : 0, b = mixed ? bands1->first_short : 0; k < 3; ++k) {
        for (int32_t c = 0; c < layout->bands[k] && b < 24; ++c) offset[b++] = (1 << layout->slen[k]) - 1;
    }
    auto pair = [&](int32_t b, int32_t value) { return factors[std::clamp(offset[b] + value, 0, 63)]; };
    // The region starts above the right channel's highest nonzero band; a
    // right channel without any nonzero value is intensity from band 0.
    auto silent = [&](int32_t from, int32_t count, int32_t step) {
        for (int32_t j = 0; j < count; ++j) {
            if (right[from + j * step] != 0.0f) return false;
        }
        return true;
    };
    if (!bands1->has_short) {
        const int32_t first = bands1->max_band == 0 && silent(0, s.band_widths[0][0], 1) ? 0 : bands1->max_band + 1;
        int32_t i = first ? s.band_ends[0][first - 1] : 0;
        int32_t left_count = live0 - i;
        // Band 21 has no scale factor: it takes band 20's position when
        // band 20 is an intensity band, and stays as it is otherwise.
        for (int32_t b = first; b <= 21; ++b) {
            if (b == 21 && first == 21) break;
            const float* k = b == 21 ? pair(20, sf->long_sf[20]) : pair(b, sf->long_sf[b]);
            for (int32_t j = 0; j < s.band_widths[0][b]; ++j, ++i) {
                if (--left_count < 0) return;
                right[i] = k[1] * left[i];
                left[i] = k[0] * left[i];
            }
        }
        return;
    }
    for (int32_t w = 0; w < 3; ++w) {
        const int32_t low = bands1->first_short;
        const int32_t low_start = low ? s.band_ends[1][low - 1] : 0;
        const int32_t first = bands1->max_short_band[w] == low && silent(low_start + w, s.band_widths[1][low], 3)
                                  ? low
                                  : bands1->max_short_band[w] + 1;
        const int32_t last = std::min(bands0->max_short_band[w], 12);
        // Band 12 likewise takes band 11's position.
        for (int32_t b = first; b <= last; ++b) {
            if (b == 12 && first == 12) break;
            const float* k = b == 12 ? pair(11, sf->short_sf[w][11]) : pair(b, sf->short_sf[w][b]);
            const int32_t start = b ? s.band_ends[1][b - 1] : 0;
            for (int32_t j = 0; j < s.band_widths[1][b]; ++j) {
                const int32_t i = start + 3 * j + w;
                right[i] = k[1] * left[i];
                left[i] = k[0] * left[i];
            }
        }
    }
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
