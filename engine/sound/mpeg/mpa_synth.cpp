// Subband synthesis: the generic routines, the choice of the routines'
// instruction level for this processor, and the DCT and window entry
// points the tests use. The kernels are in mpa_synth_kernels.h.
#include "engine/sound/mpeg/mpa_synth_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include "quarn/quarn.h"
#define MPA_SYNTH_X86 1
#endif

namespace {

constexpr mpaSynthSet generic = synth_set();


// Chosen once for the process.
const mpaSynthSet& chosen()
{
    static const mpaSynthSet* const set = [] {
        const mpaSynthSet* wide = mpaSynthSetAt(1);
        return wide != nullptr ? wide : &generic;
    }();
    return *set;
}

}  // namespace

float mpaWindowD(int32_t i)
{
    return static_cast<float>(window_d(i & 511));
}

void mpaDct32(const mpaDec* dec, const float* x, float* y)
{
    dct32_eq(dec, x, y);
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
    dec->ring_pos = 0;
}

const mpaSynthSet* mpaSynthSetAt(int32_t level)
{
#if defined(MPA_SYNTH_X86)
    if (level == 1) {
        const quarn::CpuVectorGroups& groups = quarn::cpu_vector_groups();
        return groups.avx2 && groups.fma ? &mpa_synth_avx2 : nullptr;
    }
#endif
    return level == 0 ? &generic : nullptr;
}

mpaSynthFn mpaSynthRoutine(int32_t bits8, int32_t reduction, int32_t out_mode)
{
    return chosen().l12[bits8 ? U8 : S16][reduction][out_mode];
}

mpaL3SynthFn mpaL3SynthRoutine(int32_t bits8, int32_t reduction, int32_t dual)
{
    return chosen().l3[bits8 ? U8 : S16][reduction][dual ? 1 : 0];
}

mpaSynthFn mpaSynthRoutineUnrounded(int32_t reduction, int32_t out_mode)
{
    return chosen().l12[F32][reduction][out_mode];
}

mpaL3SynthFn mpaL3SynthRoutineUnrounded(int32_t reduction, int32_t dual)
{
    return chosen().l3[F32][reduction][dual ? 1 : 0];
}
