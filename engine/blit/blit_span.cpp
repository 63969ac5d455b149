// Picks the span set once per process from the processor's instruction
// groups, as the processor identification reports them.
#include <atomic>

#include "engine/blit/blit_span.h"

#if defined(__x86_64__) || defined(__i386__)
#include "quarn/quarn.h"
#define BLT_SPAN_X86 1
#endif

namespace {

constinit const bltSpanSetTy kScalar = {"scalar", {}};


int DetectLevel() {
#if defined(BLT_SPAN_X86) && defined(__SSE2__)
    return quarn::cpu_vector_groups().avx2 && bltSpansAvx2.fn[blt_SPAN_ALPHA_8888][0] ? 2 : 1;
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
