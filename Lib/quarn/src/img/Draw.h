// The draw family: the assign family, except that a source with alpha
// (Rgba8888, Rgba5551, Rgba4444) is laid over the target by its own alpha.
// Every other source goes through the assign family's very cells.
#pragma once

#include "img/Dispatch.h"
#include "img/Op.h"

namespace quarn::g {

class OpDrawStd : public BOp {
public:
    void run(FormatSlot slot) override;
};

// Whether a source slot is one of the three formats that carry alpha.
[[nodiscard]] constexpr bool draws_by_alpha(FormatSlot source)
{
    return source == FormatSlot::rgba8888 || source == FormatSlot::rgba5551 || source == FormatSlot::rgba4444;
}

const BinaryTable& draw_table();

} // namespace quarn::g
