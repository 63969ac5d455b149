// The synthesis routines built for AVX2 and FMA: eight-float window
// vectors and fused multiply-adds. Only this unit is compiled with those
// instructions; mpaSynthSetAt hands its set out only where the processor
// has them.
#include "engine/sound/mpeg/mpa_synth_kernels.h"

#if defined(__AVX2__)
constinit const mpaSynthSet mpa_synth_avx2 = synth_set();
#endif
