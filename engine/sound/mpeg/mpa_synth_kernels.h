// Subband synthesis kernels (ISO/IEC 11172-3 Annex A.2, synthesis subband
// filter):
// a fast DCT per block of subband values into a ring per channel, then the
// polyphase window over the last 16 blocks, written as clipped PCM.
//
// The 64 matrixed values of a block are all copies or negations of the 32
// DCT outputs; the ring stores them in the order the window reads them,
// with the signs moved into the window taps, so the window is 16 straight
// multiply-adds over a block's outputs that the compiler vectorises. Half
// and quarter rate decimate the window.
//
// Included by mpa_synth.cpp (generic code) and mpa_synth_avx2.cpp (built
// for AVX2 and FMA). Everything here has internal linkage, so each unit
// holds its own copy at its own instruction level and hands it out as one
// mpaSynthSet.
#pragma once

#include "engine/sound/mpeg/mpa_internal.h"

#include <array>
#include <cmath>
#include <cstring>

namespace {


// The synthesis window D[i] of Table 3-B.3 for i = 0..256, in units of
// 2^-16 (every entry of the table is such a multiple), with the sign of the
// smooth prototype; D flips the sign of every second block of 64, and the
// prototype is symmetric about 256.
constexpr int32_t window_half[257] = {
    0,      -1,     -1,     -1,     -1,     -1,     -1,     -2,     -2,     -2,     -2,     -3,     -3,     -4,
    -4,     -5,     -5,     -6,     -7,     -7,     -8,     -9,     -10,    -11,    -13,    -14,    -16,    -17,
    -19,    -21,    -24,    -26,    -29,    -31,    -35,    -38,    -41,    -45,    -49,    -53,    -58,    -63,
    -68,    -73,    -79,    -85,    -91,    -97,    -104,   -111,   -117,   -125,   -132,   -139,   -147,   -154,
    -161,   -169,   -176,   -183,   -190,   -196,   -202,   -208,   -213,   -218,   -222,   -225,   -227,   -228,
    -228,   -227,   -224,   -221,   -215,   -208,   -200,   -189,   -177,   -163,   -146,   -127,   -106,   -83,
    -57,    -29,    2,      36,     72,     111,    153,    197,    244,    294,    347,    401,    459,    519,
    581,    645,    711,    779,    848,    919,    991,    1064,   1137,   1210,   1283,   1356,   1428,   1498,
    1567,   1634,   1698,   1759,   1817,   1870,   1919,   1962,   2001,   2032,   2057,   2075,   2085,   2087,
    2080,   2063,   2037,   2000,   1952,   1893,   1822,   1739,   1644,   1535,   1414,   1280,   1131,   970,
    794,    605,    402,    185,    -45,    -288,   -545,   -814,   -1095,  -1388,  -1692,  -2006,  -2330,  -2663,
    -3004,  -3351,  -3705,  -4063,  -4425,  -4788,  -5153,  -5517,  -5879,  -6237,  -6589,  -6935,  -7271,  -7597,
    -7910,  -8209,  -8491,  -8755,  -8998,  -9219,  -9416,  -9585,  -9727,  -9838,  -9916,  -9959,  -9966,  -9935,
    -9863,  -9750,  -9592,  -9389,  -9139,  -8840,  -8492,  -8092,  -7640,  -7134,  -6574,  -5959,  -5288,  -4561,
    -3776,  -2935,  -2037,  -1082,  -70,    998,    2122,   3300,   4533,   5818,   7154,   8540,   9975,   11455,
    12980,  14548,  16155,  17799,  19478,  21189,  22929,  24694,  26482,  28289,  30112,  31947,  33791,  35640,
    37489,  39336,  41176,  43006,  44821,  46617,  48390,  50137,  51853,  53534,  55178,  56778,  58333,  59838,
    61289,  62684,  64019,  65290,  66494,  67629,  68692,  69679,  70590,  71420,  72169,  72835,  73415,  73908,
    74313,  74630,  74856,  74992,  75038,
};

constexpr double window_d(int32_t i)
{
    const int32_t h = i <= 256 ? window_half[i] : window_half[512 - i];
    return ((i >> 6) & 1 ? -h : h) / 65536.0;
}

// Window taps per rate: taps[L i + j] is D[32 i + j 2^Red], the tap of
// block i (0 the newest) for output j, with the signs of the stored halves
// folded in (see store_block).
template <int Red>
constexpr std::array<float, 16 * (32 >> Red)> make_taps()
{
    constexpr int32_t L = 32 >> Red, H = L / 2, rs = 1 << Red;
    std::array<float, 16 * L> w{};
    for (int32_t i = 0; i < 16; ++i) {
        for (int32_t j = 0; j < L; ++j) {
            const double sign = (i & 1) ? -1.0 : j < H ? 1.0 : j == H ? 0.0 : -1.0;
            w[L * i + j] = static_cast<float>(sign * window_d(32 * i + j * rs));
        }
    }
    return w;
}

template <int Red>
alignas(64) constexpr std::array<float, 16 * (32 >> Red)> taps = make_taps<Red>();

// Offsets of the coefficient groups c16, c8, c4, c2, c1 in dct_coef.
constexpr int32_t coef_offset(int32_t k)
{
    return k == 16 ? 0 : k == 8 ? 16 : k == 4 ? 24 : k == 2 ? 28 : 30;
}

// Four floats in one register where the machine has them; the compiler
// lowers the operations to scalar code elsewhere.
typedef float f4 __attribute__((vector_size(16)));

// DCT of N values (Lee's recursive factorisation): y[k] = sum x[n]
// cos(pi (2n + 1) k / 2N). Sums and scaled differences of mirrored pairs
// halve the size; the half of the differences gives the odd outputs as
// sums of neighbours. The recursion is resolved at compile time into
// straight-line code without loops or index arithmetic. V is float, or f4
// for four blocks side by side.
template <int N, class V>
[[gnu::always_inline]] inline void dct(const float* coef, const V* x, V* y)
{
    if constexpr (N == 1) {
        y[0] = x[0];
    } else {
        constexpr int32_t h = N / 2;
        const float* c = coef + coef_offset(h);
        V a[h], b[h], ya[h], yb[h];
        for (int32_t p = 0; p < h; ++p) {
            a[p] = x[p] + x[N - 1 - p];
            b[p] = (x[p] - x[N - 1 - p]) * c[p];
        }
        dct<h>(coef, a, ya);
        dct<h>(coef, b, yb);
        for (int32_t k = 0; k < h; ++k) y[2 * k] = ya[k];
        for (int32_t k = 0; k < h - 1; ++k) y[2 * k + 1] = yb[k] + yb[k + 1];
        y[N - 1] = yb[h - 1];
    }
}

// DCT of the first L subbands of a block. At half rate the 16th value is
// left out, as that subband is never decoded.
template <int L, class V>
inline void dct_l(const float* coef, const V* x, V* y)
{
    if constexpr (L == 16) {
        V t[16];
        for (int32_t p = 0; p < 15; ++p) t[p] = x[p];
        t[15] = V{};
        dct<16>(coef, t, y);
    } else {
        dct<L>(coef, x, y);
    }
}

// Output forms: 16-bit signed and 8-bit unsigned for the program, and an
// unrounded float form that only the tests use, to measure the decoder's
// arithmetic against the standard's accuracy without the truncation.
enum Out { S16 = 0, U8 = 1, F32 = 2 };

template <int O>
constexpr int32_t out_bytes = O == U8 ? 1 : O == S16 ? 2 : 4;

// The window's vector: eight floats where the unit is built for AVX2, four
// elsewhere; integer vectors of as many lanes for the output.
#if defined(__AVX2__)
typedef float wv __attribute__((vector_size(32)));
#else
typedef float wv __attribute__((vector_size(16)));
#endif
constexpr int32_t wn = sizeof(wv) / sizeof(float);
typedef int32_t wi __attribute__((vector_size(4 * wn)));
typedef int16_t ws __attribute__((vector_size(2 * wn)));
typedef uint8_t wb __attribute__((vector_size(wn)));

template <class V>
inline V load(const float* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store4(float* p, f4 v)
{
    std::memcpy(p, &v, sizeof v);
}

// Truncation toward zero with clipping; NaN gives -32768.
inline wi clip_trunc(wv v)
{
    const wv lo = wv{} - 32768.0f;
    const wv hi = wv{} + 32767.0f;
    v = v > lo ? v : lo;
    v = v < hi ? v : hi;
    return __builtin_convertvector(v, wi);
}

// Writes wn successive output values from index on.
template <int O>
inline void put(uint8_t* out, int32_t index, wv v)
{
    if constexpr (O == F32) {
        std::memcpy(out + 4 * index, &v, sizeof v);
    } else if constexpr (O == U8) {
        const wb b = __builtin_convertvector((clip_trunc(v) >> 8) ^ 0x80, wb);
        std::memcpy(out + index, &b, sizeof b);
    } else {
        const ws h = __builtin_convertvector(clip_trunc(v), ws);
        std::memcpy(out + 2 * index, &h, sizeof h);
    }
}

// Lanes of a and b alternating, from the low half (Hi false) or the high.
template <bool Hi>
inline wv interleave(wv a, wv b)
{
#if defined(__AVX2__)
    if constexpr (Hi) return __builtin_shufflevector(a, b, 4, 12, 5, 13, 6, 14, 7, 15);
    return __builtin_shufflevector(a, b, 0, 8, 1, 9, 2, 10, 3, 11);
#else
    if constexpr (Hi) return __builtin_shufflevector(a, b, 2, 6, 3, 7);
    return __builtin_shufflevector(a, b, 0, 4, 1, 5);
#endif
}

// The ring of one channel holds the last 16 blocks, block b at 64 b, pos
// the newest. The polyphase window reads a block's 64 matrixed values in
// two halves: an even-aged block its first (y[H..L-1], 0, y[L-1]..y[H+1]),
// an odd-aged one its second (y[H]..y[0], y[1]..y[H-1]); the signs are in
// the taps. Both halves are stored, so every tap is a straight run of L
// loads.
template <int Red>
inline void store_block(const float* y, float* block)
{
    constexpr int32_t L = 32 >> Red, H = L / 2;
    float* a = block;
    float* b = block + L;
    for (int32_t j = 0; j < H; ++j) a[j] = y[H + j];
    a[H] = 0.0f;
    for (int32_t j = H + 1; j < L; ++j) a[j] = y[L + H - j];
    for (int32_t j = 0; j <= H; ++j) b[j] = y[H - j];
    for (int32_t j = H + 1; j < L; ++j) b[j] = y[j - H];
}

// The window of one block, of one channel or of two into interleaved
// output: 16 taps over L outputs, summed in float (16 products stay far
// inside the full-accuracy bound). Four vectors of outputs at a time: their
// sums stay in registers, and eight chains of additions (two channels)
// keep the adder busy.
template <int Red, int O, bool Dual>
inline void window_out(const float* ring0, const float* ring1, int32_t pos, uint8_t* out)
{
    constexpr int32_t L = 32 >> Red, C = L < 4 * wn ? L : 4 * wn, U = C / wn;
    const float* w = taps<Red>.data();
    int32_t off[16];
    for (int32_t i = 0; i < 16; ++i) off[i] = 64 * ((pos + i) & 15) + (i & 1) * L;
    for (int32_t j = 0; j < L; j += C) {
        wv a[U] = {}, b[U] = {};
        for (int32_t i = 0; i < 16; ++i) {
            const float* wi = w + L * i + j;
            const float* v = ring0 + off[i] + j;
            for (int32_t u = 0; u < U; ++u) a[u] += load<wv>(wi + wn * u) * load<wv>(v + wn * u);
            if constexpr (Dual) {
                const float* v1 = ring1 + off[i] + j;
                for (int32_t u = 0; u < U; ++u) b[u] += load<wv>(wi + wn * u) * load<wv>(v1 + wn * u);
            }
        }
        for (int32_t u = 0; u < U; ++u) {
            if constexpr (Dual) {
                put<O>(out, 2 * (j + wn * u), interleave<false>(a[u], b[u]));
                put<O>(out, 2 * (j + wn * u) + wn, interleave<true>(a[u], b[u]));
            } else {
                put<O>(out, j + wn * u, a[u]);
            }
        }
    }
}

inline bool eq_on(const mpaDec* dec)
{
    return dec->eq != nullptr && dec->eq->enable != 0;
}

// DCT of 32 subband values with the equaliser's gains when it is on.
inline void dct32_eq(const mpaDec* dec, const float* x, float* y)
{
    if (eq_on(dec)) {
        float g[32];
        for (int32_t p = 0; p < 32; ++p) g[p] = x[p] * dec->eq->gain[p];
        dct<32>(dec->dct_coef, g, y);
    } else {
        dct<32>(dec->dct_coef, x, y);
    }
}

// DCT of one block of subband values into the ring at block pos.
template <int Red>
inline void dct_block(const mpaDec* dec, const float* x, float* ring, int32_t pos)
{
    constexpr int32_t L = 32 >> Red;
    float y[L];
    if constexpr (Red == 0) {
        dct32_eq(dec, x, y);
    } else {
        dct_l<L>(dec->dct_coef, x, y);
    }
    store_block<Red>(y, ring + 64 * pos);
}

// Layer I and II: one row of 64 floats per block (channel-interleaved for
// two-channel streams).
template <int Red, int O, int Mode>
void synth12(mpaDec* dec, const float* rows, void* pcm, int32_t blocks)
{
    constexpr int32_t L = 32 >> Red;
    constexpr int32_t bytes = out_bytes<O>;
    uint8_t* out = static_cast<uint8_t*>(pcm);
    int32_t pos = dec->ring_pos;
    for (int32_t blk = 0; blk < blocks; ++blk) {
        const float* row = rows + 64 * blk;
        float x[32], y[32];
        if constexpr (Mode == 0) {
            dct_block<Red>(dec, row, dec->ring[0], pos);
            window_out<Red, O, false>(dec->ring[0], nullptr, pos, out);
            out += L * bytes;
        } else if constexpr (Mode == 1) {
            float x1[32];
            for (int32_t p = 0; p < L; ++p) {
                x[p] = row[2 * p];
                x1[p] = row[2 * p + 1];
            }
            dct_l<L>(dec->dct_coef, x, y);
            store_block<Red>(y, dec->ring[0] + 64 * pos);
            dct_l<L>(dec->dct_coef, x1, y);
            store_block<Red>(y, dec->ring[1] + 64 * pos);
            window_out<Red, O, true>(dec->ring[0], dec->ring[1], pos, out);
            out += 2 * L * bytes;
        } else {
            for (int32_t p = 0; p < L; ++p) {
                if constexpr (Mode == 2) {
                    x[p] = (row[2 * p] + row[2 * p + 1]) * 0.5f;
                } else {
                    x[p] = row[2 * p + (Mode == 4 ? 1 : 0)];
                }
            }
            dct_l<L>(dec->dct_coef, x, y);
            store_block<Red>(y, dec->ring[0] + 64 * pos);
            window_out<Red, O, false>(dec->ring[0], nullptr, pos, out);
            out += L * bytes;
        }
        pos = (pos - 1) & 15;
    }
    dec->ring_pos = pos;
}

// DCTs of four successive blocks of one channel's subband-major values
// (x[24 sb + t], t = t0..t0 + 3) side by side, into y[lane][k].
template <int Red>
inline void dct_four(const mpaDec* dec, const float* x, int32_t t0, float (*y)[32])
{
    constexpr int32_t L = 32 >> Red;
    f4 in[L], out[L];
    for (int32_t sb = 0; sb < L; ++sb) in[sb] = load<f4>(x + 24 * sb + t0);
    if (Red == 0 && eq_on(dec)) {
        for (int32_t sb = 0; sb < L; ++sb) in[sb] *= dec->eq->gain[sb];
    }
    dct_l<L>(dec->dct_coef, in, out);
    // Back to one row per block: 4 x 4 transposes.
    for (int32_t k = 0; k < L; k += 4) {
        const f4 u0 = __builtin_shufflevector(out[k], out[k + 1], 0, 4, 1, 5);
        const f4 u1 = __builtin_shufflevector(out[k], out[k + 1], 2, 6, 3, 7);
        const f4 u2 = __builtin_shufflevector(out[k + 2], out[k + 3], 0, 4, 1, 5);
        const f4 u3 = __builtin_shufflevector(out[k + 2], out[k + 3], 2, 6, 3, 7);
        store4(y[0] + k, __builtin_shufflevector(u0, u2, 0, 1, 4, 5));
        store4(y[1] + k, __builtin_shufflevector(u0, u2, 2, 3, 6, 7));
        store4(y[2] + k, __builtin_shufflevector(u1, u3, 0, 1, 4, 5));
        store4(y[3] + k, __builtin_shufflevector(u1, u3, 2, 3, 6, 7));
    }
}

// Layer III: the 18 blocks of one channel, subband-major (blocks[24 sb +
// t]), or with Dual of both channels (the second 768 floats on) into
// interleaved output. The DCTs run four blocks at a time.
template <int Red, int O, bool Dual>
void synth3(mpaDec* dec, const float* blocks, void* pcm)
{
    constexpr int32_t L = 32 >> Red;
    constexpr int32_t bytes = out_bytes<O>;
    uint8_t* out = static_cast<uint8_t*>(pcm);
    int32_t pos = dec->ring_pos;
    alignas(16) float y0[4][32], y1[4][32];
    for (int32_t t0 = 0; t0 < 18; t0 += 4) {
        dct_four<Red>(dec, blocks, t0, y0);
        if constexpr (Dual) dct_four<Red>(dec, blocks + 32 * 24, t0, y1);
        const int32_t lanes = t0 + 4 <= 18 ? 4 : 18 - t0;
        for (int32_t lane = 0; lane < lanes; ++lane) {
            store_block<Red>(y0[lane], dec->ring[0] + 64 * pos);
            if constexpr (Dual) store_block<Red>(y1[lane], dec->ring[1] + 64 * pos);
            window_out<Red, O, Dual>(dec->ring[0], dec->ring[1], pos, out);
            out += (Dual ? 2 : 1) * L * bytes;
            pos = (pos - 1) & 15;
        }
    }
    dec->ring_pos = pos;
}

template <int O, int Red>
constexpr void fill(mpaSynthSet& set)
{
    set.l12[O][Red][0] = synth12<Red, O, 0>;
    set.l12[O][Red][1] = synth12<Red, O, 1>;
    set.l12[O][Red][2] = synth12<Red, O, 2>;
    set.l12[O][Red][3] = synth12<Red, O, 3>;
    set.l12[O][Red][4] = synth12<Red, O, 4>;
    set.l3[O][Red][0] = synth3<Red, O, false>;
    set.l3[O][Red][1] = synth3<Red, O, true>;
}

// Every routine of this unit, by output form, reduction and mode.
constexpr mpaSynthSet synth_set()
{
    mpaSynthSet set{};
    fill<S16, 0>(set), fill<S16, 1>(set), fill<S16, 2>(set);
    fill<U8, 0>(set), fill<U8, 1>(set), fill<U8, 2>(set);
    fill<F32, 0>(set), fill<F32, 1>(set), fill<F32, 2>(set);
    return set;
}

}  // namespace
