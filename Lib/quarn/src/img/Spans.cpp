#include "img/Spans.h"

#include <atomic>

#if defined(__x86_64__)
#include "quarn/CpuInstructions.h"

#include <immintrin.h>
#endif

namespace quarn::g {

namespace {

#if defined(__x86_64__)
// Which register state the operating system saves on a task switch.
__attribute__((target("xsave"))) uint64_t saved_state_bits()
{
    return _xgetbv(0);
}

SpanLevel probe_level()
{
    // AVX2 needs the processor to report it (leaf 7) and the operating
    // system to save the 256-bit registers (XSAVE enabled, XMM and YMM
    // state in XCR0).
    constexpr uint32_t ecx_osxsave = 1u << 27;
    constexpr uint32_t ecx_avx = 1u << 28;
    constexpr uint32_t ebx_avx2 = 1u << 5;
    const uint32_t ecx = quarn::detail::cpuid(1)[2];
    if ((ecx & (ecx_osxsave | ecx_avx)) != (ecx_osxsave | ecx_avx))
        return SpanLevel::sse2;
    if ((saved_state_bits() & 6) != 6)
        return SpanLevel::sse2;
    if (quarn::detail::cpuid_max_leaf(0) < 7 || !(quarn::detail::cpuid(7)[1] & ebx_avx2))
        return SpanLevel::sse2;
    return SpanLevel::avx2;
}
#else
SpanLevel probe_level()
{
    return SpanLevel::none;
}
#endif

const SpanSet no_spans {};

const SpanSet& set_of(SpanLevel level)
{
#if defined(__x86_64__)
    if (level == SpanLevel::avx2)
        return detail::avx2_spans();
    if (level == SpanLevel::sse2)
        return detail::sse2_spans();
#endif
    (void)level;
    return no_spans;
}

std::atomic<const SpanSet*>& current()
{
    static std::atomic<const SpanSet*> set { &set_of(best_span_level()) };
    return set;
}

std::atomic<SpanLevel>& current_level()
{
    static std::atomic<SpanLevel> level { best_span_level() };
    return level;
}

} // namespace

SpanLevel best_span_level()
{
    static const SpanLevel best = probe_level();
    return best;
}

SpanLevel span_level()
{
    return current_level().load(std::memory_order_relaxed);
}

void set_span_level(SpanLevel level)
{
    if (level > best_span_level())
        level = best_span_level();
    current_level().store(level, std::memory_order_relaxed);
    current().store(&set_of(level), std::memory_order_relaxed);
}

const SpanSet& spans()
{
    return *current().load(std::memory_order_relaxed);
}

} // namespace quarn::g
