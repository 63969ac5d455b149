// Start-up choice of the span kernels' instruction group, through the
// processor identification the quarn library already has.
#include "engine/blit/span_isa.h"

#include "quarn/CpuInstructions.h"

namespace {

#if defined(__x86_64__)
// The register state the operating system saves on a switch (XCR0); only
// read when the processor reports that the instruction exists.
uint64_t SavedState() {
    uint32_t lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return uint64_t(hi) << 32 | lo;
}

spanIsaTy Probe() {
    using quarn::detail::cpuid;
    if (quarn::detail::cpuid_max_leaf(0) < 7) return spanIsaTy::sse2;
    const uint32_t ecx1 = cpuid(1)[2];
    constexpr uint32_t osxsave = 1u << 27, avx = 1u << 28;
    if ((ecx1 & (osxsave | avx)) != (osxsave | avx)) return spanIsaTy::sse2;
    // The upper halves of the 256-bit registers must survive a task switch.
    if ((SavedState() & 6) != 6) return spanIsaTy::sse2;
    constexpr uint32_t avx2 = 1u << 5;
    return (cpuid(7)[1] & avx2) ? spanIsaTy::avx2 : spanIsaTy::sse2;
}
#else
spanIsaTy Probe() { return spanIsaTy::generic; }
#endif

}  // namespace

spanIsaTy spanBestIsa() {
    static const spanIsaTy best = Probe();
    return best;
}
