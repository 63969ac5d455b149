#include "img/SpansX86.h"

namespace quarn::g::detail {

const SpanSet& sse2_spans()
{
    static constexpr SpanSet set = make_spans<V128>();
    return set;
}

} // namespace quarn::g::detail
