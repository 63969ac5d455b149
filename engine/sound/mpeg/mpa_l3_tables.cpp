// Layer III constant tables (scale-factor bands, pre-emphasis, scale-factor
// widths) and the tables that set-up computes into the state.
#include "engine/sound/mpeg/mpa_l3.h"

#include <cmath>

// ISO/IEC 13818-3 Table B.2 (rows 0-2), ISO/IEC 11172-3 Table 3-B.8 (rows
// 3-5); the MPEG-2.5 rates use the 16 kHz bands at 11.025 and 12 kHz and
// their own at 8 kHz.
const int16_t mpa_l3_bands[9][37] = {
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576,
     0, 4, 8, 12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576,
     0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576,
     0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192},
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576,
     0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192},
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 42, 50, 60, 72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576,
     0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192},
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 54, 66, 82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576,
     0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576,
     0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576,
     0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192},
    {0, 12, 24, 36, 48, 60, 72, 88, 108, 132, 160, 192, 232, 280, 336, 400, 476, 566, 568, 570, 572, 574, 576,
     0, 8, 16, 24, 36, 52, 72, 96, 124, 160, 162, 164, 166, 192},
};

// By id x 4 + sampling_index; the reserved index gives 1 so nothing divides
// by zero.
const int32_t mpa_l3_rates[8] = {22050, 24000, 16000, 1, 44100, 48000, 32000, 1};

// Pre-emphasis (Table 3-B.6), by preflag.
const int32_t mpa_l3_pretab[2][22] = {
    {0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0},
};

// slen1 and slen2 by scalefac_compress (2.4.2.7).
const int32_t mpa_l3_slen[2][16] = {
    {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
    {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3},
};

// ISO/IEC 13818-3 nr_of_sfb by group and block kind (long, short, mixed),
// short and mixed counts in bands of three windows.
const int32_t mpa_l3_sfb_counts[6][3][4] = {
    {{6, 5, 5, 5}, {3, 3, 3, 3}, {6, 3, 3, 3}},
    {{6, 5, 7, 3}, {3, 3, 4, 2}, {6, 3, 4, 2}},
    {{11, 10, 0, 0}, {6, 6, 0, 0}, {6, 3, 6, 0}},
    {{7, 7, 7, 0}, {4, 4, 4, 0}, {6, 5, 4, 0}},
    {{6, 6, 6, 3}, {4, 3, 3, 2}, {6, 4, 3, 2}},
    {{8, 8, 5, 0}, {5, 4, 3, 0}, {6, 6, 3, 0}},
};

namespace {

// Antialias coefficients c_i (Table 3-B.9).
constexpr double alias_c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

}  // namespace

void mpaL3InitTables(mpaDec* dec)
{
    mpaL3& s = dec->l3;
    const double pi = 4.0 * std::atan(1.0);
    for (int32_t i = 0; i < 262; ++i) s.gain_table[i] = static_cast<float>(std::pow(2.0, (i - 156) / 4.0));
    for (int32_t c = 0; c < 2; ++c) {
        for (int32_t p = 0; p < 4; ++p) {
            for (int32_t i = 0; i < 32; ++i) s.scale_table[c][p][i] = static_cast<float>(std::pow(2.0, -0.5 * (c + 1) * (i + p)));
        }
    }
    for (int32_t i = 0; i < 8; ++i) s.subblock_table[i] = static_cast<float>(std::pow(2.0, -2.0 * i));
    for (int32_t i = 0; i < 8; ++i) {
        const double sq = std::sqrt(1.0 + alias_c[i] * alias_c[i]);
        s.alias_pairs[i][0] = static_cast<float>(1.0 / sq);
        s.alias_pairs[i][1] = static_cast<float>(alias_c[i] / sq);
    }
    // MPEG-1 intensity ratios; row 1 carries the sqrt(2) of mid/side.
    for (int32_t p = 0; p < 7; ++p) {
        const double t = p * pi / 12.0;
        const double sn = std::sin(t), cs = std::cos(t);
        for (int32_t ms = 0; ms < 2; ++ms) {
            const double m = ms ? std::sqrt(2.0) : 1.0;
            s.is_ratios[ms][p][0] = static_cast<float>(m * sn / (sn + cs));
            s.is_ratios[ms][p][1] = static_cast<float>(m * cs / (sn + cs));
        }
    }
    s.is_ratios[0][7][0] = 1.0f, s.is_ratios[0][7][1] = 0.0f;
    s.is_ratios[1][7][0] = 1.0f, s.is_ratios[1][7][1] = 1.0f;
    // MPEG-2 intensity factors, one group per scale-factor width w; the last
    // entry of each group is the illegal position.
    for (int32_t sc = 0; sc < 2; ++sc) {
        const double r = std::pow(2.0, -(sc + 1) / 4.0);
        for (int32_t ms = 0; ms < 2; ++ms) {
            const double m = ms ? std::sqrt(2.0) : 1.0;
            float(*f)[2] = s.lsf_is_factors[sc][ms];
            f[63][0] = f[63][1] = 0.0f;
            for (int32_t w = 0; w <= 5; ++w) {
                const int32_t first = (1 << w) - 1;
                for (int32_t v = 0; v < (1 << w) - 1; ++v) {
                    double kl = m, kr = m;
                    if (v & 1) {
                        kl = m * std::pow(r, (v + 1) / 2);
                    } else if (v > 0) {
                        kr = m * std::pow(r, v / 2);
                    }
                    f[first + v][0] = static_cast<float>(kl);
                    f[first + v][1] = static_cast<float>(kr);
                }
                f[first + (1 << w) - 1][0] = 1.0f;
                f[first + (1 << w) - 1][1] = ms ? 1.0f : 0.0f;
            }
        }
    }
    // Windows of ISO/IEC 11172-3 2.4.3.4.10.2 by block type. The hybrid
    // transform here is the direct formula, so they are used unchanged.
    for (int32_t i = 0; i < 36; ++i) {
        const double s36 = std::sin((i + 0.5) * pi / 36.0);
        s.windows[0][i] = static_cast<float>(s36);
        s.windows[1][i] = static_cast<float>(i < 18 ? s36 : i < 24 ? 1.0 : i < 30 ? std::sin((i - 18 + 0.5) * pi / 12.0) : 0.0);
        s.windows[3][i] = static_cast<float>(i < 6 ? 0.0 : i < 12 ? std::sin((i - 6 + 0.5) * pi / 12.0) : i < 18 ? 1.0 : s36);
        s.windows[2][i] = static_cast<float>(i < 12 ? std::sin((i + 0.5) * pi / 12.0) : 0.0);
    }
}
