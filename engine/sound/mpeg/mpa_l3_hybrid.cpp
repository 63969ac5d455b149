// Layer III hybrid synthesis (ISO/IEC 11172-3 2.4.3.4.10.2): the inverse
// MDCT of every subband with its window and overlap-add, the inversion of
// odd subbands in odd time slots, and the output routines that hand the
// subband samples to the polyphase synthesis.
//
// The transforms are the standard's formulas over precomputed cosines; they
// touch only the subbands that hold values.
#include "engine/sound/mpeg/mpa_l3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct ImdctTables {
    float long_cos[36][18];  // cos(pi / 72 (2i + 19)(2k + 1))
    float short_cos[12][6];  // cos(pi / 24 (2i + 7)(2k + 1))
};

ImdctTables make_imdct()
{
    ImdctTables t{};
    const double pi = 4.0 * std::atan(1.0);
    for (int32_t i = 0; i < 36; ++i) {
        for (int32_t k = 0; k < 18; ++k) t.long_cos[i][k] = static_cast<float>(std::cos(pi / 72.0 * (2 * i + 19) * (2 * k + 1)));
    }
    for (int32_t i = 0; i < 12; ++i) {
        for (int32_t k = 0; k < 6; ++k) t.short_cos[i][k] = static_cast<float>(std::cos(pi / 24.0 * (2 * i + 7) * (2 * k + 1)));
    }
    return t;
}

// Built once for the process, read-only afterwards, so decoder states on
// different threads share it safely.
const ImdctTables& imdct()
{
    static const ImdctTables t = make_imdct();
    return t;
}

// Windowed 36-point IMDCT of one subband's 18 values. The outputs mirror
// each other (cos(pi - a) = -cos a, cos(2 pi - a) = cos a): z[17 - i] is
// -z[i] and z[53 - i] is z[i], so 18 dot products give all 36.
inline void long_block(const float* x, const float* win, float* z)
{
    const ImdctTables& t = imdct();
    for (int32_t i = 0; i < 9; ++i) {
        float a = 0.0f, b = 0.0f;
        for (int32_t k = 0; k < 18; ++k) {
            a += x[k] * t.long_cos[i][k];
            b += x[k] * t.long_cos[18 + i][k];
        }
        z[i] = a * win[i];
        z[17 - i] = -a * win[17 - i];
        z[18 + i] = b * win[18 + i];
        z[35 - i] = b * win[35 - i];
    }
}

// Three windowed 12-point IMDCTs of one subband's interleaved values,
// overlapped at 6, 12 and 18.
inline void short_block(const float* x, const float* win, float* z)
{
    const ImdctTables& t = imdct();
    std::fill(z, z + 36, 0.0f);
    for (int32_t w = 0; w < 3; ++w) {
        for (int32_t i = 0; i < 12; ++i) {
            float sum = 0.0f;
            for (int32_t k = 0; k < 6; ++k) sum += x[3 * k + w] * t.short_cos[i][k];
            z[6 + 6 * w + i] += sum * win[i];
        }
    }
}

inline int32_t subbands(int32_t samples)
{
    return std::clamp((samples + 17) / 18, 0, 32);
}

// The block type as the hybrid takes it: bit 2 marks a mixed block, whose
// two lowest subbands take the normal window whatever the block type.
int32_t window_code(const mpaL3Side& side)
{
    return side.block_type | (side.window_switching_flag && side.mixed_block_flag ? 4 : 0);
}

int32_t long_samples(const mpaL3& s, const mpaL3Side& side, int32_t live)
{
    if (side.block_type != 2) return live;
    return side.mixed_block_flag ? s.band_ends[0][s.mixed_long_bands - 1] : 0;
}

// Hybrid of channel c of granule g into out; returns the samples
// transformed, the previous count of the channel's next granule.
int32_t hybrid_channel(mpaDec* dec, float (*out)[24], int32_t c, int32_t g, bool lower)
{
    mpaL3& s = dec->l3;
    const mpaL3Side& side = s.side[g][c];
    int32_t live = s.live_samples[g][c];
    int32_t lng = long_samples(s, side, live);
    if (lower) {
        live = std::min(live, s.sample_limit);
        lng = std::min(lng, s.sample_limit);
    }
    return mpaL3Hybrid(dec, out, s.spectrum[c][g], s.spectrum[c][1 - g], window_code(side), lng, live,
                       s.live_samples[1 - g][c]);
}

}  // namespace

int32_t mpaL3Hybrid(mpaDec* dec, float (*out)[24], float* input, const float* prev, int32_t block_type, int32_t long_s, int32_t all_s,
                    int32_t prev_s)
{
    mpaL3& s = dec->l3;
    const int32_t bt = block_type & 3;
    const float* wl = s.windows[bt == 2 ? 0 : bt];
    const float* wl_low = block_type & 4 ? s.windows[0] : wl;
    const int32_t nl = subbands(long_s), na = subbands(all_s), np = subbands(prev_s);
    float z[36];
    for (int32_t sb = 0; sb < std::max(nl, na); ++sb) {
        float* x = input + 18 * sb;
        if (sb < nl) {
            long_block(x, sb < 2 ? wl_low : wl, z);
        } else {
            short_block(x, s.windows[2], z);
        }
        for (int32_t i = 0; i < 18; ++i) {
            out[sb][i] = z[i] + prev[18 * sb + i];
            x[i] = z[18 + i];
        }
    }
    const int32_t done = std::max(nl, na);
    for (int32_t sb = done; sb < np; ++sb) {
        for (int32_t i = 0; i < 18; ++i) {
            out[sb][i] = prev[18 * sb + i];
            input[18 * sb + i] = 0.0f;
        }
    }
    // Everything above is cleared up to the last subband: a subband that
    // an earlier granule reached must not keep its old samples.
    const int32_t used = std::max(done, np);
    for (int32_t sb = used; sb < 32; ++sb) std::fill(out[sb], out[sb] + 18, 0.0f);
    return 18 * used;
}

int32_t mpaL3HybridSum(mpaDec* dec, float (*out)[24], const float* input, float* overlap, int32_t block_type, int32_t long_s,
                       int32_t all_s)
{
    mpaL3& s = dec->l3;
    const int32_t bt = block_type & 3;
    const float* wl = s.windows[bt == 2 ? 0 : bt];
    const float* wl_low = block_type & 4 ? s.windows[0] : wl;
    const int32_t nl = subbands(long_s), na = subbands(all_s);
    float z[36];
    for (int32_t sb = 0; sb < std::max(nl, na); ++sb) {
        if (sb < nl) {
            long_block(input + 18 * sb, sb < 2 ? wl_low : wl, z);
        } else {
            short_block(input + 18 * sb, s.windows[2], z);
        }
        for (int32_t i = 0; i < 18; ++i) {
            out[sb][i] += z[i];
            overlap[18 * sb + i] += z[18 + i];
        }
    }
    return 18 * std::max(nl, na);
}

void mpaL3SumChannels(float* left, const float* right, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) left[i] += right[i];
}

void mpaL3FreqInvert(float (*out)[24], int32_t n)
{
    const int32_t count = (subbands(n) + 1) / 2;
    for (int32_t k = 0; k < count; ++k) {
        for (int32_t t = 1; t < 18; t += 2) out[2 * k + 1][t] = -out[2 * k + 1][t];
    }
}

int32_t mpaL3OutMono(mpaDec* dec, void* pcm, int32_t granule)
{
    mpaL3& s = dec->l3;
    const int32_t n = hybrid_channel(dec, s.hybrid_out[0], 0, granule, true);
    s.live_samples[granule][0] = n;
    mpaL3FreqInvert(s.hybrid_out[0], n);
    s.l3_synth(dec, &s.hybrid_out[0][0][0], pcm, 0);
    return n;
}

int32_t mpaL3OutRight(mpaDec* dec, void* pcm, int32_t granule)
{
    mpaL3& s = dec->l3;
    const int32_t n = hybrid_channel(dec, s.hybrid_out[0], 1, granule, true);
    s.live_samples[granule][1] = n;
    mpaL3FreqInvert(s.hybrid_out[0], n);
    s.l3_synth(dec, &s.hybrid_out[0][0][0], pcm, 0);
    return n;
}

// Both channels go through the hybrid first; the synthesis then takes the
// two together and writes them interleaved.
int32_t mpaL3OutStereo(mpaDec* dec, void* pcm, int32_t granule)
{
    mpaL3& s = dec->l3;
    int32_t n = 0;
    for (int32_t c = 0; c < 2; ++c) {
        n = hybrid_channel(dec, s.hybrid_out[c], c, granule, true);
        s.live_samples[granule][c] = n;
        mpaL3FreqInvert(s.hybrid_out[c], n);
    }
    s.l3_synth(dec, &s.hybrid_out[0][0][0], pcm, 0);
    return n;
}

int32_t mpaL3OutMix(mpaDec* dec, void* pcm, int32_t granule)
{
    mpaL3& s = dec->l3;
    const int32_t g = granule;
    const mpaL3Side& s0 = s.side[g][0];
    const mpaL3Side& s1 = s.side[g][1];
    const bool mixed0 = window_code(s0) & 4;
    const bool mixed1 = window_code(s1) & 4;
    int32_t n;
    if (s0.block_type == s1.block_type && !mixed0 && !mixed1) {
        const int32_t live = std::min(std::max(s.live_samples[g][0], s.live_samples[g][1]), s.sample_limit);
        mpaL3SumChannels(s.spectrum[0][g], s.spectrum[1][g], live);
        n = mpaL3Hybrid(dec, s.hybrid_out[0], s.spectrum[0][g], s.spectrum[0][1 - g], s0.block_type,
                        s0.block_type == 2 ? 0 : live, live, s.live_samples[1 - g][0]);
    } else {
        const int32_t n0 = hybrid_channel(dec, s.hybrid_out[0], 0, g, false);
        const int32_t live1 = s.live_samples[g][1];
        const int32_t n1 = mpaL3HybridSum(dec, s.hybrid_out[0], s.spectrum[1][g], s.spectrum[0][g], window_code(s1),
                                          long_samples(s, s1, live1), live1);
        s.live_samples[g][1] = n1;
        // Channel 1's overlap now lives in channel 0's store, and its
        // subbands may reach above channel 0's: both the inversion and the
        // next granule's overlap must cover them.
        n = std::max(n0, n1);
    }
    s.live_samples[g][0] = n;
    mpaL3FreqInvert(s.hybrid_out[0], n);
    s.l3_synth(dec, &s.hybrid_out[0][0][0], pcm, 0);
    return n;
}
