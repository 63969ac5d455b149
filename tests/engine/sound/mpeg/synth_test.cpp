// Subband synthesis: the fast DCT and the windowed ring against the
// standard's matrixing and window (ISO/IEC 11172-3 Annex A), clipping and
// the output forms.
#include "engine/sound/mpeg/mpa_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr double pi = 3.14159265358979323846;

// The standard's synthesis filter, straight from its flow chart.
struct ReferenceSynth {
    std::vector<double> v = std::vector<double>(1024, 0.0);

    void block(const float* s, double* out)
    {
        for (int i = 1023; i >= 64; --i) v[i] = v[i - 64];
        for (int i = 0; i < 64; ++i) {
            double sum = 0.0;
            for (int k = 0; k < 32; ++k) sum += std::cos((16 + i) * (2 * k + 1) * pi / 64) * s[k];
            v[i] = sum;
        }
        double u[512];
        for (int i = 0; i < 8; ++i) {
            for (int j = 0; j < 32; ++j) {
                u[i * 64 + j] = v[i * 128 + j];
                u[i * 64 + 32 + j] = v[i * 128 + 96 + j];
            }
        }
        for (int j = 0; j < 32; ++j) {
            double sum = 0.0;
            for (int i = 0; i < 16; ++i) sum += u[j + 32 * i] * mpaWindowD(j + 32 * i);
            out[j] = sum;
        }
    }
};

struct Done {
    void operator()(mpaDec* dec) const
    {
        mpaDone(dec);
        delete dec;
    }
};

std::unique_ptr<mpaDec, Done> ready_state()
{
    std::unique_ptr<mpaDec, Done> dec(new mpaDec());
    mpaInit(dec.get(), 1);
    mpaSynthReset(dec.get());
    return dec;
}

int32_t clip_trunc(double v)
{
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    return static_cast<int32_t>(v);
}

TEST(MpegWindow, MatchesTheStandardTableAtKnownPoints)
{
    EXPECT_FLOAT_EQ(mpaWindowD(0), 0.0f);
    EXPECT_NEAR(mpaWindowD(1), -0.000015259, 1e-9);
    EXPECT_NEAR(mpaWindowD(32), -0.000442505, 1e-9);
    EXPECT_NEAR(mpaWindowD(64), 0.003250122, 1e-9);
    EXPECT_NEAR(mpaWindowD(256), 1.144989014, 1e-9);
    EXPECT_NEAR(mpaWindowD(304), 0.152206421, 1e-9);
    EXPECT_NEAR(mpaWindowD(432), -0.002227783, 1e-9);
    EXPECT_NEAR(mpaWindowD(511), 0.000015259, 1e-9);
    // The window integrates to the filter bank's gain of 2 per 64 taps.
    double sum = 0.0;
    for (int i = 0; i < 512; ++i) sum += std::fabs(mpaWindowD(i));
    EXPECT_GT(sum, 10.0);
}

TEST(MpegDct, Dct32EqualsTheCosineSum)
{
    auto dec = ready_state();
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-1000.0f, 1000.0f);
    float x[32], y[32];
    for (float& v : x) v = d(rng);
    mpaDct32(dec.get(), x, y);
    for (int k = 0; k < 32; ++k) {
        double sum = 0.0;
        for (int n = 0; n < 32; ++n) sum += x[n] * std::cos(pi * (2 * n + 1) * k / 64);
        EXPECT_NEAR(y[k], sum, 0.05) << "k " << k;
    }
}

TEST(MpegSynth, FullRateMonoFollowsTheStandardFilterAcrossFrames)
{
    auto dec = ready_state();
    ReferenceSynth ref;
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> d(-4000.0f, 4000.0f);
    const mpaSynthFn synth = mpaSynthRoutine(0, 0, 0);
    int32_t worst = 0;
    for (int frame = 0; frame < 3; ++frame) {
        std::vector<float> rows(36 * 64, 0.0f);
        for (int r = 0; r < 36; ++r) {
            for (int k = 0; k < 32; ++k) rows[64 * r + k] = d(rng);
        }
        int16_t pcm[36 * 32];
        synth(dec.get(), rows.data(), pcm, 36);
        for (int r = 0; r < 36; ++r) {
            double out[32];
            ref.block(&rows[64 * r], out);
            for (int j = 0; j < 32; ++j) worst = std::max(worst, std::abs(pcm[32 * r + j] - clip_trunc(out[j])));
        }
    }
    EXPECT_LE(worst, 1);
}
// Layer III hands the synthesis 18 blocks per channel, subband-major with
// 24 slots a subband; the two-channel form takes both channels at once and
// interleaves them. Unrounded output against the reference filter, in one
// and two channels, at every instruction level this processor runs (0
// generic, 1 AVX2).
TEST(MpegSynth, LayerThreeFollowsTheStandardFilterPerChannel)
{
    for (int32_t level = 0; level < 2; ++level) {
        const mpaSynthSet* set = mpaSynthSetAt(level);
        if (set == nullptr) continue;
        for (int32_t channels = 1; channels <= 2; ++channels) {
            auto dec = ready_state();
            ReferenceSynth ref[2];
            std::mt19937 rng(3);
            std::uniform_real_distribution<float> d(-4000.0f, 4000.0f);
            const mpaL3SynthFn synth = set->l3[2][0][channels - 1];
            double worst = 0.0;
            for (int granule = 0; granule < 3; ++granule) {
                std::vector<float> blocks(2 * 32 * 24, 0.0f);
                for (int c = 0; c < channels; ++c) {
                    for (int sb = 0; sb < 32; ++sb) {
                        for (int t = 0; t < 18; ++t) blocks[768 * c + 24 * sb + t] = d(rng);
                    }
                }
                float pcm[2 * 18 * 32];
                synth(dec.get(), blocks.data(), pcm);
                for (int c = 0; c < channels; ++c) {
                    for (int t = 0; t < 18; ++t) {
                        float s[32];
                        for (int sb = 0; sb < 32; ++sb) s[sb] = blocks[768 * c + 24 * sb + t];
                        double out[32];
                        ref[c].block(s, out);
                        for (int j = 0; j < 32; ++j) {
                            const float got = pcm[channels * (32 * t + j) + c];
                            worst = std::max(worst, std::fabs(got - out[j]));
                        }
                    }
                }
            }
            EXPECT_LT(worst, 0.05) << "level " << level << ", channels " << channels;
        }
    }
}

// Layer I and II through the generic and the wide routines: 16-bit output
// of both within a step of each other, on the same rows.
TEST(MpegSynth, InstructionLevelsAgree)
{
    const mpaSynthSet* wide = mpaSynthSetAt(1);
    if (wide == nullptr) GTEST_SKIP() << "no AVX2 on this processor";
    const mpaSynthSet* generic = mpaSynthSetAt(0);
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> d(-4000.0f, 4000.0f);
    std::vector<float> rows(36 * 64);
    for (float& v : rows) v = d(rng);
    for (int32_t red = 0; red < 3; ++red) {
        for (int32_t mode = 0; mode < 5; ++mode) {
            auto a = ready_state();
            auto b = ready_state();
            int16_t pa[36 * 64], pb[36 * 64];
            generic->l12[0][red][mode](a.get(), rows.data(), pa, 36);
            wide->l12[0][red][mode](b.get(), rows.data(), pb, 36);
            const int32_t n = 36 * (32 >> red) * (mode == 1 ? 2 : 1);
            int32_t worst = 0;
            for (int32_t i = 0; i < n; ++i) worst = std::max(worst, std::abs(pa[i] - pb[i]));
            EXPECT_LE(worst, 1) << "reduction " << red << " mode " << mode;
        }
    }
}
}  // namespace
