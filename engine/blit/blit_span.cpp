// Picks the span set once per process from the processor's instruction
// groups, as the processor identification reports them.
#include <atomic>

#include "engine/blit/blit_span.h"

#if defined(__x86_64__) || defined(__i386__)
#include "quarn/CpuInstructions.h"
#define BLT_SPAN_X86 1
#endif

namespace {

constinit const bltSpanSetTy kScalar = {"scalar", {}};

#if defined(BLT_SPAN_X86)
// AVX2 needs the processor's flag (leaf 7, EBX bit 5) and a system that
// saves the wide registers: OSXSAVE (leaf 1, ECX bit 27) and the SSE and
// AVX state bits in XCR0.
bool HasAvx2() {
    if (quarn::detail::cpuid_max_leaf(0) < 7) return false;
    const auto l1 = quarn::detail::cpuid(1);
    if (!(l1[2] & (1u << 27)) || !(l1[2] & (1u << 28))) return false;
    uint32_t lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if ((lo & 6u) != 6u) return false;
    return (quarn::detail::cpuid(7)[1] & (1u << 5)) != 0;
}
#endif

int DetectLevel() {
#if defined(BLT_SPAN_X86) && defined(__SSE2__)
    return HasAvx2() && bltSpansAvx2.fn[blt_SPAN_ALPHA_8888][0] ? 2 : 1;
#else
    return 0;
#endif
}

const bltSpanSetTy* SetOf(int level) {
    return level >= 2 ? &bltSpansAvx2 : level == 1 ? &bltSpansSse2 : &kScalar;
}

int MaxLevel() {
    static const int level = DetectLevel();
    return level;
}

std::atomic<const bltSpanSetTy*> g_spans{nullptr};

}  // namespace

int bltMaxSpanLevel() { return MaxLevel(); }

const bltSpanSetTy& bltSpans() {
    const bltSpanSetTy* s = g_spans.load(std::memory_order_relaxed);
    if (!s) {
        s = SetOf(MaxLevel());
        g_spans.store(s, std::memory_order_relaxed);
    }
    return *s;
}

int bltSetSpanLevel(int level) {
    level = level < 0 ? 0 : level > MaxLevel() ? MaxLevel() : level;
    g_spans.store(SetOf(level), std::memory_order_relaxed);
    return level;
}
