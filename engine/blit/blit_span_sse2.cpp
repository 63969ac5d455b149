// The spans at SSE2 width, the baseline of every x86_64 processor.
#include "engine/blit/blit_span_kernels.h"

#if defined(SIMD_PEL_SSE2)
constinit const bltSpanSetTy bltSpansSse2 = blt_span::MakeSet<simdSse2>("sse2");
#else
constinit const bltSpanSetTy bltSpansSse2 = {"scalar", {}};
#endif
