// Built with -mavx2; nothing here runs unless the processor has AVX2.
#include "img/SpansX86.h"

namespace quarn::g::detail {

const SpanSet& avx2_spans()
{
    static constexpr SpanSet set = make_spans<V256>();
    return set;
}

} // namespace quarn::g::detail
