// Layer III steps one by one: Huffman lookup tables against the code
// tables, escapes, count1 quadruples, scale-factor reuse and the MPEG-2
// band groups, and the two paths of the 4/3 power.
#include "engine/sound/mpeg/mpa_l3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

class L3Steps : public testing::Test {
protected:
    std::unique_ptr<mpaDec> dec = std::make_unique<mpaDec>();
    std::vector<std::pair<uint32_t, int32_t>> bits_;

    void SetUp() override
    {
        mpaInit(dec.get(), 0);
        const uint8_t h[4] = {0xFF, 0xFB, 0x90, 0x04};
        mpaHead head;
        ASSERT_NE(mpaParseHeadBytes(h, 4, &head), 0);
        ASSERT_EQ(mpaDecodeInit(dec.get(), &head, 417, 0, 0, 0, 24000), 1);
    }
    void put(uint32_t v, int32_t n) { bits_.push_back({v, n}); }
    // Writes the queued bits into the reservoir and points the reader at
    // them.
    int32_t load()
    {
        mpaL3& s = dec->l3;
        std::fill(std::begin(s.buf), std::end(s.buf), 0);
        int32_t pos = 0;
        for (auto [v, n] : bits_) {
            for (int32_t i = n - 1; i >= 0; --i, ++pos) {
                if ((v >> i) & 1) s.buf[pos >> 3] |= static_cast<uint8_t>(0x80 >> (pos & 7));
            }
        }
        bits_.clear();
        s.main_end = s.bit_limit = 1024;
        s.bit_pos = 0;
        s.part_end = pos;
        s.bit_guard = 1 << 20;
        return pos;
    }
};

// Twice: with room behind the codes, and with the reservoir ending on the
// last code's byte, so the reader's byte-wise tail refill does the end.
TEST_F(L3Steps, EveryHuffmanCodeDecodesToItsPair)
{
    for (const bool tight : {false, true}) {
        for (int32_t table = 1; table < 32; ++table) {
            const mpaHuffCode& t = mpa_huff_codes[table];
            if (t.size == 0) continue;
            const int32_t linbits = mpa_huff_linbits[table];
            std::vector<int32_t> want;
            for (int32_t i = 0; i < t.size * t.size; ++i) {
                const int32_t x = i / t.size, y = i % t.size;
                put(t.codes[i], t.lengths[i]);
                if (linbits && x == 15) put(0, linbits);
                if (x) put(1, 1);  // negative
                if (linbits && y == 15) put(0, linbits);
                if (y) put(0, 1);
                want.push_back(-x);
                want.push_back(y);
            }
            const int32_t total = load();
            if (tight) dec->l3.bit_limit = (total + 7) / 8;
            std::vector<int32_t> got(want.size(), 99);
            mpaL3Huffman(dec.get(), got.data(), static_cast<int32_t>(got.size()), table);
            EXPECT_EQ(got, want) << "table " << table;
            EXPECT_EQ(dec->l3.bit_pos, total) << "table " << table;
        }
    }
}

TEST_F(L3Steps, TablesWithoutCodesReadNothing)
{
    for (int32_t table : {0, 4, 14}) {
        put(0xFFFF, 16);
        load();
        int32_t got[6] = {7, 7, 7, 7, 7, 7};
        mpaL3Huffman(dec.get(), got, 5, table);
        EXPECT_EQ(dec->l3.bit_pos, 0);
        EXPECT_EQ(got[0], 0);
        EXPECT_EQ(got[3], 0);
        EXPECT_EQ(got[4], 7);  // an odd count leaves its last value alone
    }
}

TEST_F(L3Steps, LongestEscapeOfTable31)
{
    const mpaHuffCode& t = mpa_huff_codes[31];
    put(t.codes[15 * 16 + 1], t.lengths[15 * 16 + 1]);  // x 15, y 1
    put(8191, 13), put(0, 1);                           // x = 15 + 8191, positive
    put(1, 1);                                          // y negative
    load();
    int32_t got[2];
    mpaL3Huffman(dec.get(), got, 2, 31);
    EXPECT_EQ(got[0], 8206);
    EXPECT_EQ(got[1], -1);
}

TEST_F(L3Steps, CountOneQuadruples)
{
    // Table B: 4 bits inverted. 1111 -> 0000, then v only (0111), positive.
    put(0xF, 4), put(0x7, 4), put(0, 1);
    const int32_t bits = load();
    int32_t q[8];
    EXPECT_EQ(mpaL3HuffQuad(dec.get(), q, 8, bits, 1), 6);  // ends two early: x and y are 0
    EXPECT_EQ(q[4], 1);
    EXPECT_EQ(q[5] | q[6] | q[7] | q[0], 0);
    // Table A: 1 is the zero quadruple; 0101 is y only (value 1), negative.
    put(1, 1), put(0x5, 4), put(1, 1);
    const int32_t bits_a = load();
    EXPECT_EQ(mpaL3HuffQuad(dec.get(), q, 8, bits_a, 0), 8);
    EXPECT_EQ(q[7], -1);
    // Room for one quadruple only: nothing more is written.
    put(0x0, 4), put(0, 4), put(0xF, 8);
    load();
    int32_t one[4];
    EXPECT_EQ(mpaL3HuffQuad(dec.get(), one, 4, 100, 1), 4);
}

TEST_F(L3Steps, ScaleFactorSelectionReusesGranuleZero)
{
    mpaL3& s = dec->l3;
    mpaL3Side side{};
    side.scalefac_compress = 15;  // slen 4 and 3
    for (int32_t b = 0; b < 21; ++b) put(static_cast<uint32_t>(b % 8), b < 11 ? 4 : 3);
    load();
    mpaL3ScaleFac1(dec.get(), &s.scalefactors[0][0], &side, 0, 0);
    EXPECT_EQ(s.bit_pos, 11 * 4 + 10 * 3);
    EXPECT_EQ(s.scalefactors[0][0].long_sf[20], 20 % 8);
    load();
    mpaL3ScaleFac1(dec.get(), &s.scalefactors[1][0], &side, 15, 1);
    EXPECT_EQ(s.bit_pos, 0);
    for (int32_t b = 0; b < 21; ++b) EXPECT_EQ(s.scalefactors[1][0].long_sf[b], b % 8);
}

TEST_F(L3Steps, MixedMpeg2BlockWithLargeCompressSplitsTheFirstGroup)
{
    mpaL3& s = dec->l3;
    mpaL3Side side{};
    side.block_type = 2;
    side.mixed_block_flag = 1;
    side.scalefac_compress = 500 + 3 * 2 + 1;  // t = 7: widths 2, 2, 1
    for (int32_t i = 0; i < 6; ++i) put(3, 2);          // 6 long bands
    for (int32_t i = 0; i < 3 * 3; ++i) put(2, 2);      // 3 short bands of 3 windows
    for (int32_t i = 0; i < 6 * 3; ++i) put(1, 1);      // 6 short bands
    const int32_t total = load();
    mpaL3IsLayout layout{};
    mpaL3ScaleFac2(dec.get(), &s.scalefactors[0][0], &side, 0, &layout);
    EXPECT_EQ(s.bit_pos, total);
    EXPECT_EQ(side.preflag, 1);
    EXPECT_EQ(s.scalefactors[0][0].long_sf[5], 3);
    EXPECT_EQ(s.scalefactors[0][0].short_sf[2][5], 2);
    EXPECT_EQ(s.scalefactors[0][0].short_sf[0][6], 1);
    EXPECT_EQ(s.scalefactors[0][0].short_sf[1][11], 1);
}

TEST_F(L3Steps, FourThirdPowerAgreesAcrossTheTableEdge)
{
    mpaL3& s = dec->l3;
    mpaL3Side side{};
    side.global_gain = 150;  // factor 1
    mpaL3Sf sf{};
    std::fill(std::begin(s.quant[0]), std::end(s.quant[0]), 0);
    s.quant[0][0] = 31;
    s.quant[0][1] = -32;
    s.quant[0][2] = 8206;
    int32_t live = 4;
    mpaL3Bands bands{};
    mpaL3Dequant(dec.get(), s.quant[0], s.spectrum[0][0], &live, &sf, &side, &bands, 8);
    EXPECT_NEAR(s.spectrum[0][0][0], std::pow(31.0, 4.0 / 3), 1e-5 * std::pow(31.0, 4.0 / 3));
    EXPECT_NEAR(s.spectrum[0][0][1], -std::pow(32.0, 4.0 / 3), 1e-5 * std::pow(32.0, 4.0 / 3));
    EXPECT_NEAR(s.spectrum[0][0][2], std::pow(8206.0, 4.0 / 3), 1e-5 * std::pow(8206.0, 4.0 / 3));
    EXPECT_EQ(bands.max_band, 0);
    EXPECT_EQ(bands.has_short, 0);
}

// Every magnitude the Huffman decoding can give, positive and negative,
// against the power function, with a factor below 1.
TEST_F(L3Steps, FourThirdPowerOfEveryMagnitude)
{
    mpaL3& s = dec->l3;
    mpaL3Side side{};
    side.global_gain = 148;  // factor 2^-0.5
    mpaL3Sf sf{};
    const double f = std::pow(2.0, -0.5);
    double worst = 0.0;
    for (int32_t first = 0; first <= 8206; first += 576) {
        for (int32_t i = 0; i < 576; ++i) {
            const int32_t m = std::min(first + i / 2, 8206);
            s.quant[0][i] = i & 1 ? -m : m;
        }
        int32_t live = 576;
        mpaL3Bands bands{};
        mpaL3Dequant(dec.get(), s.quant[0], s.spectrum[0][0], &live, &sf, &side, &bands, 8);
        for (int32_t i = 0; i < 576; ++i) {
            const double v = s.quant[0][i];
            const double want = f * (v < 0 ? -1 : 1) * std::pow(std::fabs(v), 4.0 / 3);
            worst = std::max(worst, std::fabs(s.spectrum[0][0][i] - want) / std::max(1.0, std::fabs(want)));
        }
    }
    EXPECT_LT(worst, 2e-7);
}

// The hybrid's fast transforms against the standard's IMDCT formulas with
// their windows and the overlap-add, for every block type and a mixed
// block (normal window in the two lowest subbands, short above).
TEST_F(L3Steps, HybridFollowsTheDirectImdct)
{
    const double pi = 3.14159265358979323846;
    mpaL3& s = dec->l3;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> d(-1000.0f, 1000.0f);
    for (const int32_t code : {0, 1, 2, 3, 4 | 2, 4 | 1}) {
        std::vector<float> input(576), prev(576);
        for (float& v : input) v = d(rng);
        for (float& v : prev) v = d(rng);
        const std::vector<float> x = input;
        const bool mixed = code & 4;
        const int32_t bt = code & 3;
        const int32_t long_s = bt != 2 ? 576 : mixed ? 36 : 0;
        float out[32][24];
        ASSERT_EQ(mpaL3Hybrid(dec.get(), out, input.data(), prev.data(), code, long_s, 576, 576), 576);
        double worst = 0.0;
        for (int32_t sb = 0; sb < 32; ++sb) {
            double z[36] = {};
            if (18 * sb < long_s) {
                const float* win = s.windows[mixed && sb < 2 ? 0 : bt];
                for (int32_t i = 0; i < 36; ++i) {
                    for (int32_t k = 0; k < 18; ++k) z[i] += x[18 * sb + k] * std::cos(pi / 72 * (2 * i + 19) * (2 * k + 1));
                    z[i] *= win[i];
                }
            } else {
                for (int32_t w = 0; w < 3; ++w) {
                    for (int32_t i = 0; i < 12; ++i) {
                        double sum = 0.0;
                        for (int32_t k = 0; k < 6; ++k) sum += x[18 * sb + 3 * k + w] * std::cos(pi / 24 * (2 * i + 7) * (2 * k + 1));
                        z[6 + 6 * w + i] += sum * s.windows[2][i];
                    }
                }
            }
            for (int32_t i = 0; i < 18; ++i) {
                worst = std::max(worst, std::fabs(out[sb][i] - (z[i] + prev[18 * sb + i])));
                worst = std::max(worst, std::fabs(input[18 * sb + i] - z[18 + i]));
            }
        }
        EXPECT_LT(worst, 0.02) << "block code " << code;
    }
}

}  // namespace
