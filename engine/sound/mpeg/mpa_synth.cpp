// Subband synthesis (ISO/IEC 11172-3 Annex A.2, synthesis subband filter):
// a fast DCT per block of subband values into a ring per channel, then the
// polyphase window over the last 16 blocks, written as clipped PCM.
//
// The ring keeps 32 transformed values per block instead of the 64 of the
// standard's matrixing; the window reads them with the signs and the
// backward pass that the window's symmetry allows, so 264 coefficients
// serve all 512 taps. Half and quarter rate reuse the tables by decimation.
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

// w[16i + 2j] = D[64j + i], w[16i + 2j + 1] = D[64j + 32 + i] for rows
// i = 0..15, and w[256 + j] = -D[64j + 48]. With the opposite sign the
// output would be the standard's with its polarity inverted.
constexpr std::array<float, 264> make_window()
{
    std::array<float, 264> w{};
    for (int32_t i = 0; i < 16; ++i) {
        for (int32_t j = 0; j < 8; ++j) {
            w[16 * i + 2 * j] = static_cast<float>(window_d(64 * j + i));
            w[16 * i + 2 * j + 1] = static_cast<float>(window_d(64 * j + 32 + i));
        }
    }
    for (int32_t j = 0; j < 8; ++j) w[256 + j] = static_cast<float>(-window_d(64 * j + 48));
    return w;
}

constexpr std::array<float, 264> win = make_window();

// Offsets of the coefficient groups c16, c8, c4, c2, c1 in dct_coef.
constexpr int32_t coef_offset(int32_t k)
{
    return k == 16 ? 0 : k == 8 ? 16 : k == 4 ? 24 : k == 2 ? 28 : 30;
}

// DCT of N values (Lee's recursive factorisation): a first stage, forward
// butterflies down to pairs, then back butterflies that interleave and add.
// Half size (N = 16) leaves x[15] out, as that subband is never decoded.
template <int N>
inline void dct(const float* coef, const float* x, float* y)
{
    float a[N], b[N];
    constexpr int32_t h = N / 2;
    const float* c = coef + coef_offset(h);
    if constexpr (N == 16) {
        a[0] = x[0];
        a[8] = c[0] * x[0];
        for (int32_t p = 1; p < 8; ++p) {
            a[p] = x[p] + x[15 - p];
            a[8 + p] = (x[p] - x[15 - p]) * c[p];
        }
    } else {
        for (int32_t p = 0; p < h; ++p) {
            a[p] = x[p] + x[N - 1 - p];
            a[h + p] = (x[p] - x[N - 1 - p]) * c[p];
        }
    }
    float* src = a;
    float* dst = b;
    for (int32_t n = h; n >= 2; n /= 2) {
        const float* cn = coef + coef_offset(n / 2);
        for (int32_t g = 0; g < N; g += n) {
            const float* xi = src + g;
            float* f = dst + g;
            for (int32_t p = 0; p < n / 2; ++p) {
                f[p] = xi[p] + xi[n - 1 - p];
                f[n / 2 + p] = (xi[p] - xi[n - 1 - p]) * cn[p];
            }
        }
        float* t = src;
        src = dst;
        dst = t;
    }
    for (int32_t n = 4; n <= N; n *= 2) {
        float* out = n == N ? y : dst;
        for (int32_t g = 0; g < N; g += n) {
            const float* xi = src + g;
            float* f = out + g;
            for (int32_t p = 0; p < n / 2; ++p) f[2 * p] = xi[p];
            for (int32_t p = 0; p < n / 2 - 1; ++p) f[2 * p + 1] = xi[n / 2 + p] + xi[n / 2 + p + 1];
            f[n - 1] = xi[n - 1];
        }
        if (n != N) {
            float* t = src;
            src = dst;
            dst = t;
        }
    }
}

// Output forms: 16-bit signed and 8-bit unsigned for the program, and an
// unrounded float form that only the tests use, to measure the decoder's
// arithmetic against the standard's accuracy without the truncation.
enum Out { S16 = 0, U8 = 1, F32 = 2 };

template <int O>
constexpr int32_t out_bytes = O == U8 ? 1 : O == S16 ? 2 : 4;

template <int O>
inline void store(void* out, int32_t index, double sum)
{
    if constexpr (O == F32) {
        static_cast<float*>(out)[index] = static_cast<float>(sum);
        return;
    } else {
        int32_t v;
        if (sum >= 32767.0) {
            v = 32767;
        } else if (sum > -32768.0) {
            v = static_cast<int32_t>(sum);  // truncation toward zero
        } else {
            v = -32768;  // NaN lands here too
        }
        if constexpr (O == U8) {
            static_cast<uint8_t*>(out)[index] = static_cast<uint8_t>((v >> 8) ^ 0x80);
        } else {
            static_cast<int16_t*>(out)[index] = static_cast<int16_t>(v);
        }
    }
}

// Window of one block: ring holds the last 16 blocks, the newest at pos.
// Block starts are multiples of L, and every tap lies within one block, so
// the ring wraps only between blocks: the start of each block a tap reads
// is found once per call instead of masking every tap. Sums of 16
// products in float stay far inside the full-accuracy bound.
template <int Red, int O>
inline void window(const float* ring, int32_t pos, void* out, int32_t stride)
{
    constexpr int32_t L = 32 >> Red, R = 16 * L, H = L / 2, step = 2 * L, rs = 1 << Red, mask = R - 1;
    const float* even[8];  // block pos + 2Lj
    const float* odd[8];   // block pos + L + 2Lj
    for (int32_t j = 0; j < 8; ++j) {
        even[j] = ring + ((pos + step * j) & mask);
        odd[j] = ring + ((pos + L + step * j) & mask);
    }
    for (int32_t n = 0; n < H; ++n) {
        const float* w = &win[16 * n * rs];
        float sum = 0.0f;
        for (int32_t j = 0; j < 8; ++j) {
            sum += (w[2 * j]) * even[j][H + n];
            sum -= (w[2 * j + 1]) * odd[j][H - n];
        }
        store<O>(out, n * stride, sum);
    }
    {
        float sum = 0.0f;
        for (int32_t j = 0; j < 8; ++j) sum += (win[256 + j]) * odd[j][0];
        store<O>(out, H * stride, sum);
    }
    for (int32_t t = 1; t < H; ++t) {
        const float* w = &win[16 * (16 - t * rs)];
        float sum = 0.0f;
        for (int32_t j = 0; j < 8; ++j) {
            sum += (w[15 - 2 * j]) * even[j][L - t];
            sum += (w[14 - 2 * j]) * odd[j][t];
        }
        store<O>(out, (H + t) * stride, sum);
    }
}

inline bool eq_on(const mpaDec* dec)
{
    return dec->eq != nullptr && dec->eq->enable != 0;
}

template <int Red>
inline void dct_block(const mpaDec* dec, const float* x, float* y)
{
    if constexpr (Red == 0) {
        mpaDct32(dec, x, y);
    } else if constexpr (Red == 1) {
        dct<16>(dec->dct_coef, x, y);
    } else {
        dct<8>(dec->dct_coef, x, y);
    }
}

// Layer I and II: one row of 64 floats per block (channel-interleaved for
// two-channel streams).
template <int Red, int O, int Mode>
void synth12(mpaDec* dec, const float* rows, void* pcm, int32_t blocks)
{
    constexpr int32_t L = 32 >> Red, R = 16 * L;
    constexpr int32_t bytes = out_bytes<O>;
    uint8_t* out = static_cast<uint8_t*>(pcm);
    int32_t pos = dec->ring_pos[0];
    for (int32_t blk = 0; blk < blocks; ++blk) {
        const float* row = rows + 64 * blk;
        float x[32];
        if constexpr (Mode == 0) {
            dct_block<Red>(dec, row, &dec->ring[0][pos]);
            window<Red, O>(dec->ring[0], pos, out, 1);
            out += L * bytes;
        } else if constexpr (Mode == 1) {
            float x1[32];
            for (int32_t p = 0; p < L; ++p) {
                x[p] = row[2 * p];
                x1[p] = row[2 * p + 1];
            }
            if constexpr (Red == 0) {
                dct<32>(dec->dct_coef, x, &dec->ring[0][pos]);
                dct<32>(dec->dct_coef, x1, &dec->ring[1][pos]);
            } else {
                dct<L>(dec->dct_coef, x, &dec->ring[0][pos]);
                dct<L>(dec->dct_coef, x1, &dec->ring[1][pos]);
            }
            window<Red, O>(dec->ring[0], pos, out, 2);
            window<Red, O>(dec->ring[1], pos, out + bytes, 2);
            out += 2 * L * bytes;
        } else {
            for (int32_t p = 0; p < L; ++p) {
                if constexpr (Mode == 2) {
                    x[p] = (row[2 * p] + row[2 * p + 1]) * 0.5f;
                } else {
                    x[p] = row[2 * p + (Mode == 4 ? 1 : 0)];
                }
            }
            dct<L>(dec->dct_coef, x, &dec->ring[0][pos]);
            window<Red, O>(dec->ring[0], pos, out, 1);
            out += L * bytes;
        }
        pos = (pos - L) & (R - 1);
    }
    dec->ring_pos[0] = pos;
}

// Layer III: 18 blocks of 32 floats of one channel.
template <int Red, int O, bool Dual>
void synth3(mpaDec* dec, const float* blocks, void* pcm, int32_t ch)
{
    constexpr int32_t L = 32 >> Red, R = 16 * L;
    constexpr int32_t bytes = out_bytes<O>;
    const int32_t r = Dual ? (ch & 1) : 0;
    const int32_t stride = Dual ? 2 : 1;
    uint8_t* out = static_cast<uint8_t*>(pcm) + (Dual ? r * bytes : 0);
    int32_t pos = dec->ring_pos[r];
    for (int32_t blk = 0; blk < 18; ++blk) {
        dct_block<Red>(dec, blocks + 32 * blk, &dec->ring[r][pos]);
        window<Red, O>(dec->ring[r], pos, out, stride);
        out += L * stride * bytes;
        pos = (pos - L) & (R - 1);
    }
    dec->ring_pos[r] = pos;
}

template <int O, int Red>
constexpr std::array<mpaSynthFn, 5> row12()
{
    return {synth12<Red, O, 0>, synth12<Red, O, 1>, synth12<Red, O, 2>, synth12<Red, O, 3>,
            synth12<Red, O, 4>};
}

constexpr std::array<std::array<std::array<mpaSynthFn, 5>, 3>, 3> routines12 = {{
    {row12<S16, 0>(), row12<S16, 1>(), row12<S16, 2>()},
    {row12<U8, 0>(), row12<U8, 1>(), row12<U8, 2>()},
    {row12<F32, 0>(), row12<F32, 1>(), row12<F32, 2>()},
}};

constexpr mpaL3SynthFn routines3[3][3][2] = {
    {{synth3<0, S16, false>, synth3<0, S16, true>},
     {synth3<1, S16, false>, synth3<1, S16, true>},
     {synth3<2, S16, false>, synth3<2, S16, true>}},
    {{synth3<0, U8, false>, synth3<0, U8, true>},
     {synth3<1, U8, false>, synth3<1, U8, true>},
     {synth3<2, U8, false>, synth3<2, U8, true>}},
    {{synth3<0, F32, false>, synth3<0, F32, true>},
     {synth3<1, F32, false>, synth3<1, F32, true>},
     {synth3<2, F32, false>, synth3<2, F32, true>}},
};

}  // namespace

float mpaWindowD(int32_t i)
{
    return static_cast<float>(window_d(i & 511));
}

void mpaDct32(const mpaDec* dec, const float* x, float* y)
{
    if (eq_on(dec)) {
        float g[32];
        for (int32_t p = 0; p < 32; ++p) g[p] = x[p] * dec->eq->gain[p];
        dct<32>(dec->dct_coef, g, y);
    } else {
        dct<32>(dec->dct_coef, x, y);
    }
}

void mpaDctInit(mpaDec* dec)
{
    const long double pi = 4.0L * std::atan(1.0L);
    int32_t k = 0;
    for (int32_t n = 16; n >= 1; n /= 2) {
        for (int32_t p = 0; p < n; ++p) {
            dec->dct_coef[k++] = static_cast<float>(0.5L / std::cos((2 * p + 1) * pi / (4.0L * n)));
        }
    }
}

void mpaSynthReset(mpaDec* dec)
{
    if (dec->first_dct) {
        mpaDctInit(dec);
        dec->first_dct = 0;
    }
    std::memset(dec->ring, 0, sizeof(dec->ring));
    dec->ring_pos[0] = 0;
    dec->ring_pos[1] = 0;
}

mpaSynthFn mpaSynthRoutine(int32_t bits8, int32_t reduction, int32_t out_mode)
{
    return routines12[bits8 ? 1 : 0][reduction][out_mode];
}

mpaL3SynthFn mpaL3SynthRoutine(int32_t bits8, int32_t reduction, int32_t dual)
{
    return routines3[bits8 ? 1 : 0][reduction][dual ? 1 : 0];
}

mpaSynthFn mpaSynthRoutineUnrounded(int32_t reduction, int32_t out_mode)
{
    return routines12[F32][reduction][out_mode];
}

mpaL3SynthFn mpaL3SynthRoutineUnrounded(int32_t reduction, int32_t dual)
{
    return routines3[F32][reduction][dual ? 1 : 0];
}
