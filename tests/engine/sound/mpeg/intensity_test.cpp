// MPEG-2 intensity stereo against a plain model of the standard's rule:
// above the right channel's highest nonzero band, each band's position p
// (its right-channel scale factor, p = 2^slen - 1 being illegal) gives
// kl = io^((p + 1) / 2) for odd p, kr = io^(p / 2) for even p, the other 1,
// with io = 2^(-(intensity_scale + 1) / 4); the last band, which has no
// scale factor, takes the position of the band below it.
#include "engine/sound/mpeg/mpa_l3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

struct Case {
    const char* name;
    bool short_blocks;
    int32_t right_top;  // highest nonzero band of the right channel, -1 for none
    int32_t scale;      // intensity_scale
};

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
    mpaL3Bands b0{}, b1{};
    b0.has_short = b1.has_short = c.short_blocks;
    b0.first_short = b1.first_short = c.short_blocks ? 0 : 12;
    b0.max_band = bands - 1;
    b1.max_band = std::max(c.right_top, 0);
    for (int32_t w = 0; w < 3; ++w) {
        b0.max_short_band[w] = 12;
        b1.max_short_band[w] = std::max(c.right_top, 0);
    }

    float want_l[576], want_r[576];
    std::copy(left, left + 576, want_l);
    std::copy(right, right + 576, want_r);
    const double io = std::pow(2.0, -(c.scale + 1) / 4.0);
    for (int32_t b = c.right_top + 1; b < bands; ++b) {
        if (b == bands - 1 && b == c.right_top + 1) break;  // its position is of a band that is not intensity
        const int32_t sb = std::min(b, bands - 2);
        const int32_t slen = layout.slen[sb / layout.bands[0]];
        for (int32_t w = 0; w < (c.short_blocks ? 3 : 1); ++w) {
            const int32_t p = c.short_blocks ? sf.short_sf[w][sb] : sf.long_sf[sb];
            if (p == (1 << slen) - 1) continue;
            const double kl = p & 1 ? std::pow(io, (p + 1) / 2) : 1.0;
            const double kr = p & 1 ? 1.0 : std::pow(io, p / 2);
            for (int32_t j = 0; j < s.band_widths[kind][b]; ++j) {
                const int32_t i = band_start(b) + (c.short_blocks ? 3 * j + w : j);
                want_r[i] = static_cast<float>(kr * left[i]);
                want_l[i] = static_cast<float>(kl * left[i]);
            }
        }
    }

    mpaL3Intensity2(dec.get(), left, right, &sf, &b0, &b1, &layout, 576, 0);
    for (int32_t i = 0; i < 576; ++i) {
        ASSERT_NEAR(left[i], want_l[i], 1e-6) << "line " << i;
        ASSERT_NEAR(right[i], want_r[i], 1e-6) << "line " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Bands, Mpeg2Intensity,
                         testing::Values(Case{"long_from_band_6", false, 5, 0}, Case{"long_silent_right", false, -1, 1},
                                         Case{"long_top_band_only", false, 20, 0},
                                         Case{"short_from_band_4", true, 3, 1}, Case{"short_silent_right", true, -1, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
