// The spans at AVX2 width. Only this unit is compiled with -mavx2; nothing
// here runs unless bltSpans found AVX2 on the processor.
#include "engine/blit/blit_span_kernels.h"

#if defined(SIMD_PEL_AVX2)
constinit const bltSpanSetTy bltSpansAvx2 = blt_span::MakeSet<simdAvx2>("avx2");
#else
constinit const bltSpanSetTy bltSpansAvx2 = {"scalar", {}};
#endif
