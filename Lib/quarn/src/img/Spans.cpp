#include "img/Spans.h"

#include "quarn/CpuInfo.h"

#include <atomic>

namespace quarn::g {

namespace {

#if defined(__x86_64__)
SpanLevel probe_level()
{
    return quarn::cpu_vector_groups().avx2 ? SpanLevel::avx2 : SpanLevel::sse2;
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
