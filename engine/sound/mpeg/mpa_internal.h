// Internal declarations shared by the decoder's source files; the tests
// reach them too.
#pragma once

#include "engine/sound/mpeg/mpeg.h"

// Standard tables of the frame header (ISO/IEC 11172-3 2.4.2.3).
extern const int16_t mpa_bitrates[3][2][16];   // [layer 0..2 = I..III][id][index], kbit/s
extern const int32_t mpa_rates[2][4];          // [id][sampling_index], Hz; index 3 is 0
extern const int32_t mpa_rates50[2][4];        // the same in units of 50 Hz

// Table bit rate in kbit/s for a header's layer code (3 I, 2 II, 1 III).
int32_t mpaTableBitrate(int32_t layer_code, int32_t id, int32_t index);

// Layer I and II.
void mpaL12BuildTables(mpaDec* dec);
void mpaL1BuildFactors(mpaDec* dec);
// Loads the band layout (band counts, allocation table, decode limit) for a
// frame of the given mode and bit-rate index of the set-up stream; false
// when the standard allows no such frame. A new layout clears the sample
// buffer.
bool mpaL12Layout(mpaDec* dec, int32_t mode, int32_t bitrate_index);
mpaResult mpaL2Decode(mpaDec* dec, const uint8_t* bitstream, int32_t avail, void* pcm);
mpaResult mpaL1Decode(mpaDec* dec, const uint8_t* bitstream, int32_t avail, void* pcm);

// Subband synthesis.
// The synthesis routines of one instruction level, by output form (0
// 16-bit, 1 8-bit, 2 unrounded float), reduction and mode.
struct mpaSynthSet {
    mpaSynthFn l12[3][3][5];
    mpaL3SynthFn l3[3][3][2];
};
// The routines built for AVX2 and FMA (x86 only).
extern const mpaSynthSet mpa_synth_avx2;
// The routines of level 0 (generic) or 1 (AVX2 and FMA); nullptr when the
// processor cannot run that level. The decoder takes the highest.
const mpaSynthSet* mpaSynthSetAt(int32_t level);
void mpaDctInit(mpaDec* dec);
void mpaSynthReset(mpaDec* dec);
// out_mode: 0 mono stream, 1 both, 2 mono mix, 3 left only, 4 right only.
mpaSynthFn mpaSynthRoutine(int32_t bits8, int32_t reduction, int32_t out_mode);
mpaL3SynthFn mpaL3SynthRoutine(int32_t bits8, int32_t reduction, int32_t dual);
// The same routines writing unrounded floats (4 bytes a value) instead of
// 16-bit samples; for the tests' accuracy measures only.
mpaSynthFn mpaSynthRoutineUnrounded(int32_t reduction, int32_t out_mode);
mpaL3SynthFn mpaL3SynthRoutineUnrounded(int32_t reduction, int32_t dual);
// Fast DCT of 32 values: y[k] = sum x[n] cos(pi (2n + 1) k / 64).
void mpaDct32(const mpaDec* dec, const float* x, float* y);
// The synthesis window of ISO/IEC 11172-3 Table 3-B.3, D[0..511].
float mpaWindowD(int32_t i);

// Layer III.
void mpaL3Defaults(mpaDec* dec);
int32_t mpaL3DecodeInit(mpaDec* dec, const mpaHead* head, int32_t frame_length, int32_t reduction,
                        int32_t transform, int32_t convert, int32_t freq_limit);
mpaResult mpaL3Decode(mpaDec* dec, const uint8_t* bitstream, int32_t avail, void* pcm);
void mpaL3InitTables(mpaDec* dec);
