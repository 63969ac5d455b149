// Layer III hybrid synthesis (ISO/IEC 11172-3 2.4.3.4.10.2): the inverse
// MDCT of every subband with its window and overlap-add, the inversion of
// odd subbands in odd time slots, and the output routines that hand the
// subband samples to the polyphase synthesis.
//
// The inverse MDCTs are computed through DCT-IVs of 18 and 6 points, each
// the DCT-II of its twiddled input followed by a running difference; the
// 18-point DCT-II splits into two 9-point ones over mirrored sums and
// differences. Windowing and the overlap-add with the previous granule are
// fused into the writing of the outputs. Only the subbands that hold
// values are transformed.
#include "engine/sound/mpeg/mpa_l3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct ImdctTables {
    float twiddle18[18];  // 2 cos(pi (2k + 1) / 72)
    float twiddle9[9];    // 2 cos(pi (2k + 1) / 36)
    float dct9[9][4];     // cos(pi (2k + 1) m / 18), k = 0..3
    float twiddle6[6];    // 2 cos(pi (2k + 1) / 24)
    float dct3[3][3];     // cos(pi (2k + 1) m / 6)
    float dct4_3[3][3];   // cos(pi (2k + 1) (2m + 1) / 12)
};

ImdctTables make_imdct()
{
    ImdctTables t{};
    const double pi = 4.0 * std::atan(1.0);
    for (int32_t k = 0; k < 18; ++k) t.twiddle18[k] = static_cast<float>(2.0 * std::cos(pi * (2 * k + 1) / 72.0));
    for (int32_t k = 0; k < 9; ++k) t.twiddle9[k] = static_cast<float>(2.0 * std::cos(pi * (2 * k + 1) / 36.0));
    for (int32_t m = 0; m < 9; ++m) {
        for (int32_t k = 0; k < 4; ++k) t.dct9[m][k] = static_cast<float>(std::cos(pi * (2 * k + 1) * m / 18.0));
    }
    for (int32_t k = 0; k < 6; ++k) t.twiddle6[k] = static_cast<float>(2.0 * std::cos(pi * (2 * k + 1) / 24.0));
    for (int32_t m = 0; m < 3; ++m) {
        for (int32_t k = 0; k < 3; ++k) {
            t.dct3[m][k] = static_cast<float>(std::cos(pi * (2 * k + 1) * m / 6.0));
            t.dct4_3[m][k] = static_cast<float>(std::cos(pi * (2 * k + 1) * (2 * m + 1) / 12.0));
        }
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

// Four floats in one register where the machine has them; the compiler
// lowers the operations to scalar code elsewhere.
typedef float f4 __attribute__((vector_size(16)));

// 9-point DCT-II, y[m] = sum s[k] cos(pi (2k + 1) m / 18): s[k] and s[8 - k]
// meet the same cosines up to the sign (-1)^m, and s[4] only the even m. V
// is float, or f4 for four subbands side by side.
template <class V>
inline void dct2_9(const ImdctTables& t, const V* s, V* y)
{
    V p[4], q[4];
    for (int32_t k = 0; k < 4; ++k) {
        p[k] = s[k] + s[8 - k];
        q[k] = s[k] - s[8 - k];
    }
    y[0] = p[0] + p[1] + p[2] + p[3] + s[4];
    for (int32_t m = 1; m < 9; ++m) {
        const V* u = (m & 1) ? q : p;
        V a = u[0] * t.dct9[m][0] + u[1] * t.dct9[m][1] + u[2] * t.dct9[m][2] + u[3] * t.dct9[m][3];
        if (!(m & 1)) a += (m & 2) ? -s[4] : s[4];
        y[m] = a;
    }
}

// 18-point DCT-IV, X[n] = sum x[k] cos(pi (2n + 1) (2k + 1) / 72). With
// y[k] = 2 x[k] cos(pi (2k + 1) / 72) its DCT-II is X[n] + X[n - 1]
// (X[-1] = X[0]); the DCT-II's even outputs are a 9-point DCT-II of the
// mirrored sums, its odd ones a 9-point DCT-IV of the differences, done
// the same way.
template <class V>
inline void dct4_18(const ImdctTables& t, const V* x, V* X)
{
    V y[18];
    for (int32_t k = 0; k < 18; ++k) y[k] = x[k] * t.twiddle18[k];
    V s[9], d[9];
    for (int32_t k = 0; k < 9; ++k) {
        s[k] = y[k] + y[17 - k];
        d[k] = (y[k] - y[17 - k]) * t.twiddle9[k];
    }
    V even[9], odd[9];
    dct2_9(t, s, even);
    dct2_9(t, d, odd);
    V o = odd[0] * 0.5f;
    V v = even[0] * 0.5f;
    X[0] = v;
    X[1] = v = o - v;
    for (int32_t m = 1; m < 9; ++m) {
        o = odd[m] - o;
        X[2 * m] = v = even[m] - v;
        X[2 * m + 1] = v = o - v;
    }
}

// 6-point DCT-IV, X[n] = sum x[3k] cos(pi (2n + 1) (2k + 1) / 24), of every
// third value from x, the same way through a DCT-II of 6 split into 3.
inline void dct4_6(const ImdctTables& t, const float* x, float* X)
{
    float y[6];
    for (int32_t k = 0; k < 6; ++k) y[k] = x[3 * k] * t.twiddle6[k];
    float s[3], d[3];
    for (int32_t k = 0; k < 3; ++k) {
        s[k] = y[k] + y[5 - k];
        d[k] = y[k] - y[5 - k];
    }
    float even[3], odd[3];
    for (int32_t m = 0; m < 3; ++m) {
        even[m] = s[0] * t.dct3[m][0] + s[1] * t.dct3[m][1] + s[2] * t.dct3[m][2];
        odd[m] = d[0] * t.dct4_3[m][0] + d[1] * t.dct4_3[m][1] + d[2] * t.dct4_3[m][2];
    }
    float v = even[0] * 0.5f;
    X[0] = v;
    X[1] = v = odd[0] - v;
    for (int32_t m = 1; m < 3; ++m) {
        X[2 * m] = v = even[m] - v;
        X[2 * m + 1] = v = odd[m] - v;
    }
}

// How a block's 36 windowed outputs z meet the stores: Set writes out = z
// + prev for the first 18 and next = the last 18 (next may be the input);
// Add adds the first 18 to out and the last 18 to next.
enum Mode { Set, Add };

template <Mode M>
inline void put(float* out, float* next, const float* prev, int32_t i, float z_first, float z_last)
{
    if constexpr (M == Set) {
        out[i] = z_first + prev[i];
        next[i] = z_last;
    } else {
        out[i] += z_first;
        next[i] += z_last;
    }
}

// Windowed 36-point IMDCT of one subband's 18 values: z[i] is X[i + 9]
// for i < 9, -X[26 - i] up to 26 and -X[i - 27] above (cos(pi - a) =
// -cos a, cos(a + 2 pi) = cos a).
template <Mode M>
inline void long_block(const float* x, const float* win, const float* prev, float* out, float* next)
{
    float X[18];
    dct4_18(imdct(), x, X);
    for (int32_t i = 0; i < 9; ++i) put<M>(out, next, prev, i, X[i + 9] * win[i], -X[8 - i] * win[18 + i]);
    for (int32_t i = 9; i < 18; ++i) put<M>(out, next, prev, i, -X[26 - i] * win[i], -X[i - 9] * win[18 + i]);
}

inline f4 load4(const float* p)
{
    f4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store4(float* p, f4 v)
{
    std::memcpy(p, &v, sizeof v);
}

// 4 x 4 transpose of a, b, c, d in place.
inline void transpose(f4& a, f4& b, f4& c, f4& d)
{
    const f4 u0 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
    const f4 u1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const f4 u2 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
    const f4 u3 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    a = __builtin_shufflevector(u0, u2, 0, 1, 4, 5);
    b = __builtin_shufflevector(u0, u2, 2, 3, 6, 7);
    c = __builtin_shufflevector(u1, u3, 0, 1, 4, 5);
    d = __builtin_shufflevector(u1, u3, 2, 3, 6, 7);
}

// Four long blocks of successive subbands that share one window, side by
// side: as long_block<Set> on x, prev and next 18 floats a subband apart
// and four rows of out.
inline void long_four(const float* x, const float* win, const float* prev, float (*out)[24], float* next)
{
    f4 in[18];
    for (int32_t k = 0; k < 16; k += 4) {
        in[k] = load4(x + k);
        in[k + 1] = load4(x + 18 + k);
        in[k + 2] = load4(x + 36 + k);
        in[k + 3] = load4(x + 54 + k);
        transpose(in[k], in[k + 1], in[k + 2], in[k + 3]);
    }
    for (int32_t k = 16; k < 18; ++k) in[k] = f4{x[k], x[18 + k], x[36 + k], x[54 + k]};
    f4 X[18], first[18], last[18];
    dct4_18(imdct(), in, X);
    for (int32_t i = 0; i < 9; ++i) {
        first[i] = X[i + 9] * win[i];
        last[i] = -X[8 - i] * win[18 + i];
    }
    for (int32_t i = 9; i < 18; ++i) {
        first[i] = -X[26 - i] * win[i];
        last[i] = -X[i - 9] * win[18 + i];
    }
    for (int32_t i = 0; i < 16; i += 4) {
        transpose(first[i], first[i + 1], first[i + 2], first[i + 3]);
        transpose(last[i], last[i + 1], last[i + 2], last[i + 3]);
        for (int32_t l = 0; l < 4; ++l) {
            store4(out[l] + i, first[i + l] + load4(prev + 18 * l + i));
            store4(next + 18 * l + i, last[i + l]);
        }
    }
    for (int32_t i = 16; i < 18; ++i) {
        for (int32_t l = 0; l < 4; ++l) {
            out[l][i] = first[i][l] + prev[18 * l + i];
            next[18 * l + i] = last[i][l];
        }
    }
}

// Three windowed 12-point IMDCTs of one subband's interleaved values,
// overlapped at 6, 12 and 18: window w's z[i] is X[i + 3] for i < 3,
// -X[8 - i] up to 8 and -X[i - 9] above.
template <Mode M>
inline void short_block(const float* x, const float* win, const float* prev, float* out, float* next)
{
    const ImdctTables& t = imdct();
    float z[3][12];
    for (int32_t w = 0; w < 3; ++w) {
        float X[6];
        dct4_6(t, x + w, X);
        for (int32_t i = 0; i < 3; ++i) z[w][i] = X[i + 3] * win[i];
        for (int32_t i = 3; i < 9; ++i) z[w][i] = -X[8 - i] * win[i];
        for (int32_t i = 9; i < 12; ++i) z[w][i] = -X[i - 9] * win[i];
    }
    for (int32_t i = 0; i < 6; ++i) {
        put<M>(out, next, prev, i, 0.0f, z[1][6 + i] + z[2][i]);
        put<M>(out, next, prev, 6 + i, z[0][i], z[2][6 + i]);
        put<M>(out, next, prev, 12 + i, z[0][6 + i] + z[1][i], 0.0f);
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

int32_t mpaL3Hybrid(mpaDec* dec, float (*out)[24], float* input, const float* prev, int32_t block_type, int32_t long_s,
                    int32_t all_s, int32_t prev_s)
{
    mpaL3& s = dec->l3;
    const int32_t bt = block_type & 3;
    const float* wl = s.windows[bt == 2 ? 0 : bt];
    const float* wl_low = block_type & 4 ? s.windows[0] : wl;
    const int32_t nl = subbands(long_s), na = subbands(all_s), np = subbands(prev_s);
    const int32_t done = std::max(nl, na);
    for (int32_t sb = 0; sb < done; ++sb) {
        float* x = input + 18 * sb;
        const float* p = prev + 18 * sb;
        if (sb + 4 <= nl && (sb >= 2 || wl_low == wl)) {
            long_four(x, wl, p, out + sb, x);
            sb += 3;
        } else if (sb < nl) {
            long_block<Set>(x, sb < 2 ? wl_low : wl, p, out[sb], x);
        } else {
            short_block<Set>(x, s.windows[2], p, out[sb], x);
        }
    }
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

int32_t mpaL3HybridSum(mpaDec* dec, float (*out)[24], const float* input, float* overlap, int32_t block_type,
                       int32_t long_s, int32_t all_s)
{
    mpaL3& s = dec->l3;
    const int32_t bt = block_type & 3;
    const float* wl = s.windows[bt == 2 ? 0 : bt];
    const float* wl_low = block_type & 4 ? s.windows[0] : wl;
    const int32_t nl = subbands(long_s), na = subbands(all_s);
    for (int32_t sb = 0; sb < std::max(nl, na); ++sb) {
        if (sb < nl) {
            long_block<Add>(input + 18 * sb, sb < 2 ? wl_low : wl, nullptr, out[sb], overlap + 18 * sb);
        } else {
            short_block<Add>(input + 18 * sb, s.windows[2], nullptr, out[sb], overlap + 18 * sb);
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
    s.l3_synth(dec, &s.hybrid_out[0][0][0], pcm);
    return n;
}

int32_t mpaL3OutRight(mpaDec* dec, void* pcm, int32_t granule)
{
    mpaL3& s = dec->l3;
    const int32_t n = hybrid_channel(dec, s.hybrid_out[0], 1, granule, true);
    s.live_samples[granule][1] = n;
    mpaL3FreqInvert(s.hybrid_out[0], n);
    s.l3_synth(dec, &s.hybrid_out[0][0][0], pcm);
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
    s.l3_synth(dec, &s.hybrid_out[0][0][0], pcm);
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
    s.l3_synth(dec, &s.hybrid_out[0][0][0], pcm);
    return n;
}
