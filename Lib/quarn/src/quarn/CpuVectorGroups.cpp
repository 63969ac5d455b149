#include "quarn/CpuInfo.h"
#include "quarn/CpuInstructions.h"

namespace quarn {

namespace {

// Which register state the operating system saves on a task switch (XCR0).
__attribute__((target("xsave"))) uint64_t saved_state_bits() { return _xgetbv(0); }

CpuVectorGroups probe_vector_groups()
{
    // Leaf 1 ECX: FMA bit 12, OSXSAVE bit 27, AVX bit 28; leaf 7 EBX: AVX2
    // bit 5. XCR0 bits 1 and 2: the SSE and AVX register state is saved.
    constexpr uint32_t ecx_fma = 1u << 12;
    constexpr uint32_t ecx_osxsave = 1u << 27;
    constexpr uint32_t ecx_avx = 1u << 28;
    constexpr uint32_t ebx_avx2 = 1u << 5;
    CpuVectorGroups groups;
    if (detail::cpuid_max_leaf(0) < 7)
        return groups;
    const uint32_t ecx = detail::cpuid(1)[2];
    if ((ecx & (ecx_osxsave | ecx_avx)) != (ecx_osxsave | ecx_avx) || (saved_state_bits() & 6) != 6)
        return groups;
    groups.avx2 = (detail::cpuid(7)[1] & ebx_avx2) != 0;
    groups.fma = (ecx & ecx_fma) != 0;
    return groups;
}

} // namespace

const CpuVectorGroups& cpu_vector_groups()
{
    static const CpuVectorGroups groups = probe_vector_groups();
    return groups;
}

} // namespace quarn
