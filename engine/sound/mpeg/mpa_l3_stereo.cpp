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
    int32_t offset[24] = {};
    for (int32_t k = 0, b = 0; k < 3; ++k) {
        for (int32_t c = 0; c < layout->bands[k] && b < 24; ++c) offset[b++] = (1 << layout->slen[k]) - 1;
    }
    auto pair = [&](int32_t b, int32_t value) { return factors[std::clamp(offset[b] + value, 0, 63)]; };
    if (!bands1->has_short) {
        int32_t i = s.band_ends[0][bands1->max_band];
        int32_t left_count = live0 - i;
        for (int32_t b = bands1->max_band + 1; b <= 20; ++b) {
            const float* k = pair(b, sf->long_sf[b]);
            for (int32_t j = 0; j < s.band_widths[0][b]; ++j, ++i) {
                if (--left_count < 0) return;
                right[i] = k[1] * left[i];
                left[i] = k[0] * left[i];
            }
        }
        return;
    }
    for (int32_t w = 0; w < 3; ++w) {
        const int32_t last = std::min(bands0->max_short_band[w], 12);
        for (int32_t b = bands1->max_short_band[w] + 1; b <= last; ++b) {
            const float* k = pair(b, sf->short_sf[w][b]);
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
