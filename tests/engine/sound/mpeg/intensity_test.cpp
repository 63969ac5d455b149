// MPEG-2 intensity stereo against a plain model of the standard's rule:
// above the right channel's highest nonzero band, each band's position p
// (its right-channel scale factor, p = 2^slen - 1 being illegal) gives
// kl = io^((p + 1) / 2) for odd p, kr = io^(p / 2) for even p, the other 1,
// with io = 2^(-(intensity_scale + 1) / 4); the last band, which has no
// scale factor, takes the position of the band below it, or position 0 (both
// channels the left one) when it is the only intensity band: no transmitted
// position, so never the illegal one.
#include "engine/sound/mpeg/mpa_l3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <memory>
#include <random>

namespace {

struct Case {
    const char* name;
    bool short_blocks;
    int32_t right_top;  // highest nonzero band of the right channel, -1 for none
    int32_t scale;      // intensity_scale
    bool mid_side = false;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class Mpeg2Intensity : public testing::TestWithParam<Case> {};

TEST_P(Mpeg2Intensity, MatchesTheStandardsRule)
{
    const Case& c = GetParam();
    auto dec = std::make_unique<mpaDec>();
    mpaInit(dec.get(), 0);
    const uint8_t h[4] = {0xFF, 0xF3, 0x90, 0x50};  // MPEG-2 22.05 kHz, intensity
    mpaHead head;
    ASSERT_NE(mpaParseHeadBytes(h, 4, &head), 0);
    ASSERT_EQ(mpaDecodeInit(dec.get(), &head, 261, 0, 0, 0, 24000), 1);
    const mpaL3& s = dec->l3;
    const int32_t kind = c.short_blocks ? 1 : 0, bands = c.short_blocks ? 13 : 22;
    auto band_start = [&](int32_t b) { return b ? s.band_ends[kind][b - 1] : 0; };

    mpaL3IsLayout layout{{c.short_blocks ? 4 : 7, c.short_blocks ? 4 : 7, c.short_blocks ? 4 : 7}, {3, 2, 1}, c.scale};
    std::mt19937 rng(7);
    mpaL3Sf sf{};
    for (int32_t b = 0; b < bands - 1; ++b) {
        const int32_t slen = layout.slen[b / layout.bands[0]];
        for (int32_t w = 0; w < (c.short_blocks ? 3 : 1); ++w) {
            (c.short_blocks ? sf.short_sf[w][b] : sf.long_sf[b]) = static_cast<int32_t>(rng() % (1u << slen));
        }
    }
    float left[576], right[576];
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (int32_t i = 0; i < 576; ++i) {
        left[i] = value(rng);
        right[i] = i < (c.right_top < 0 ? 0 : s.band_ends[kind][c.right_top]) ? value(rng) : 0.0f;
    }
    mpaL3Bands b1{};
    b1.has_short = c.short_blocks;
    b1.first_short = c.short_blocks ? 0 : 12;
    b1.max_band = std::max(c.right_top, 0);
    for (int32_t w = 0; w < 3; ++w) b1.max_short_band[w] = std::max(c.right_top, 0);

    float want_l[576], want_r[576];
    std::copy(left, left + 576, want_l);
    std::copy(right, right + 576, want_r);
    const double io = std::pow(2.0, -(c.scale + 1) / 4.0);
    for (int32_t b = c.right_top + 1; b < bands; ++b) {
        const bool top_alone = b == bands - 1 && b == c.right_top + 1;
        const int32_t sb = std::min(b, bands - 2);
        const int32_t slen = layout.slen[sb / layout.bands[0]];
        for (int32_t w = 0; w < (c.short_blocks ? 3 : 1); ++w) {
            const int32_t p = top_alone ? 0 : c.short_blocks ? sf.short_sf[w][sb] : sf.long_sf[sb];
            const bool illegal = !top_alone && p == (1 << slen) - 1;
            if (illegal && !c.mid_side) continue;
            // With mid/side the left channel is the mid signal, whose
            // 1/sqrt(2) is in the global gain; an illegal band is mid/side
            // stereo of a silent side channel: both channels the mid one.
            const double m = c.mid_side && !illegal ? std::sqrt(2.0) : 1.0;
            const double kl = illegal || !(p & 1) ? 1.0 : std::pow(io, (p + 1) / 2);
            const double kr = illegal || (p & 1) ? 1.0 : std::pow(io, p / 2);
            for (int32_t j = 0; j < s.band_widths[kind][b]; ++j) {
                const int32_t i = band_start(b) + (c.short_blocks ? 3 * j + w : j);
                want_r[i] = static_cast<float>(m * kr * left[i]);
                want_l[i] = static_cast<float>(m * kl * left[i]);
            }
        }
    }

    mpaL3IsRegions regions;
    mpaL3IntensityRegions(dec.get(), right, &b1, &regions);
    mpaL3Intensity2(dec.get(), left, right, &sf, &b1, &regions, &layout, c.mid_side ? 1 : 0);
    for (int32_t i = 0; i < 576; ++i) {
        ASSERT_NEAR(left[i], want_l[i], 1e-6) << "line " << i;
        ASSERT_NEAR(right[i], want_r[i], 1e-6) << "line " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Bands, Mpeg2Intensity,
                         testing::Values(Case{"long_from_band_6", false, 5, 0}, Case{"long_silent_right", false, -1, 1},
                                         Case{"long_top_band_only", false, 20, 0}, Case{"long_two_top_bands", false, 19, 1},
                                         Case{"short_from_band_4", true, 3, 1}, Case{"short_silent_right", true, -1, 0},
                                         Case{"short_top_band_only", true, 11, 1},
                                         Case{"long_top_band_only_mid_side", false, 20, 1, true},
                                         Case{"short_from_band_9_mid_side", true, 8, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// MPEG-1 intensity stereo, with and without mid/side, through the stereo
// step of a granule against a line-by-line model of the standard: each
// line gets a position, 7 (no intensity) by default; in each run of bands
// (the long bands, or one short window) the bands above the highest one
// where the side channel holds a nonzero value take their scale factor as
// position, and the top band (long 21, short 12) the position of the band
// below it. A mixed block's long bands take part only when its short part
// is silent. Positions of 7 and above are plain or mid/side stereo; the
// others split the mid signal by tan(p pi / 12).
struct Mpeg1Case {
    const char* name;
    int32_t kind;        // 0 long, 1 short, 2 mixed
    bool mid_side;
    int32_t top[3];      // highest band of the side channel holding values (per window), -1 none
    int32_t long_top;    // mixed blocks: the same for the long bands
};

void PrintTo(const Mpeg1Case& c, std::ostream* os)
{
    *os << c.name;
}

class Mpeg1Intensity : public testing::TestWithParam<Mpeg1Case> {};

TEST_P(Mpeg1Intensity, MatchesTheStandardsRule)
{
    const Mpeg1Case& c = GetParam();
    auto dec = std::make_unique<mpaDec>();
    mpaInit(dec.get(), 0);
    const uint8_t h[4] = {0xFF, 0xFB, 0x90, 0x70};  // MPEG-1 44.1 kHz joint stereo
    mpaHead head;
    ASSERT_NE(mpaParseHeadBytes(h, 4, &head), 0);
    ASSERT_EQ(mpaDecodeInit(dec.get(), &head, 417, 0, 0, 0, 24000), 1);
    mpaL3& s = dec->l3;
    s.id = 1;
    s.mid_side = c.mid_side ? 1 : 0;
    s.intensity = 1;
    s.mode_extension = s.mid_side * 2 + 1;

    std::mt19937 rng(11);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    mpaL3Sf& sf = s.scalefactors[0][1];
    sf = {};
    for (int32_t b = 0; b < 21; ++b) sf.long_sf[b] = static_cast<int32_t>(rng() % (b < 11 ? 16 : 8));
    for (int32_t b = 0; b < 12; ++b) {
        for (auto& w : sf.short_sf) w[b] = static_cast<int32_t>(rng() % (b < 6 ? 16 : 8));
    }
    mpaL3Bands& b1 = s.band_summary[0][1];
    b1 = {};
    b1.has_short = c.kind != 0;
    b1.first_short = c.kind == 0 ? 12 : c.kind == 1 ? 0 : 3;
    b1.long_bands = c.kind == 0 ? 22 : c.kind == 1 ? 0 : 8;

    // Where each line lies: its run (0 long, 1..3 short window + 1) and band.
    int32_t run[576], band[576];
    for (int32_t b = 0; b < 22; ++b) {
        for (int32_t i = b ? s.band_ends[0][b - 1] : 0; i < s.band_ends[0][b]; ++i) run[i] = 0, band[i] = b;
    }
    if (c.kind != 0) {
        for (int32_t b = b1.first_short; b < 13; ++b) {
            for (int32_t i = b ? s.band_ends[1][b - 1] : 0; i < s.band_ends[1][b]; ++i) run[i] = 1 + i % 3, band[i] = b;
        }
    }
    auto top_of = [&](int32_t r) { return r == 0 ? (c.kind == 0 ? c.top[0] : c.long_top) : c.top[r - 1]; };
    float* mid = s.spectrum[0][0];
    float* side = s.spectrum[1][0];
    for (int32_t i = 0; i < 576; ++i) {
        mid[i] = value(rng);
        side[i] = band[i] <= top_of(run[i]) ? value(rng) : 0.0f;
    }
    s.live_samples[0][0] = s.live_samples[0][1] = 576;

    // The model.
    int32_t first[4];
    for (int32_t r = 0; r < 4; ++r) {
        int32_t top_line = -1;
        for (int32_t i = 0; i < 576; ++i) {
            if (run[i] == r && side[i] != 0.0f) top_line = i;
        }
        first[r] = 0;
        for (int32_t i = 0; i <= top_line; ++i) {
            if (run[i] == r) first[r] = band[i] + 1;
        }
        if (r > 0 && first[r] < b1.first_short) first[r] = b1.first_short;
    }
    const bool short_silent = first[1] == b1.first_short && first[2] == b1.first_short && first[3] == b1.first_short;
    if (c.kind == 2 && !short_silent) first[0] = 8;
    double want_l[576], want_r[576];
    for (int32_t i = 0; i < 576; ++i) {
        const int32_t r = run[i], b = band[i], top_band = r == 0 ? 21 : 12;
        int32_t pos = 7;
        if (b >= first[r]) {
            const int32_t sb = b == top_band ? b - 1 : b;
            if (sb >= first[r]) pos = r == 0 ? sf.long_sf[sb] : sf.short_sf[r - 1][sb];
        }
        if (pos >= 7) {
            want_l[i] = c.mid_side ? mid[i] + side[i] : mid[i];
            want_r[i] = c.mid_side ? mid[i] - side[i] : side[i];
        } else {
            const double t = pos * std::acos(-1.0) / 12, m = c.mid_side ? std::sqrt(2.0) : 1.0;
            want_l[i] = m * mid[i] * std::sin(t) / (std::sin(t) + std::cos(t));
            want_r[i] = m * mid[i] * std::cos(t) / (std::sin(t) + std::cos(t));
        }
    }

    mpaL3Stereo(dec.get(), 0);
    for (int32_t i = 0; i < 576; ++i) {
        ASSERT_NEAR(mid[i], want_l[i], 1e-5) << "line " << i << " band " << band[i] << " run " << run[i];
        ASSERT_NEAR(side[i], want_r[i], 1e-5) << "line " << i << " band " << band[i] << " run " << run[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bands, Mpeg1Intensity,
    testing::Values(Mpeg1Case{"long_from_band_6", 0, false, {5, 0, 0}, -1},
                    Mpeg1Case{"long_silent_side_from_band_0", 0, true, {-1, 0, 0}, -1},
                    Mpeg1Case{"long_top_band_with_band_20", 0, true, {19, 0, 0}, -1},
                    Mpeg1Case{"long_top_band_alone", 0, true, {20, 0, 0}, -1},
                    Mpeg1Case{"short_windows_apart", 1, true, {3, -1, 9}, -1},
                    Mpeg1Case{"short_top_band_alone", 1, false, {11, 4, 11}, -1},
                    Mpeg1Case{"mixed_silent_short_part", 2, true, {-1, -1, -1}, 2},
                    Mpeg1Case{"mixed_with_short_values", 2, false, {-1, 5, -1}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
