// The assign family: copies a source rectangle into the target, converting
// each pixel from the source's format into the target's and skipping the
// source's colour-keyed pixels.
#pragma once

#include "img/Dispatch.h"
#include "img/Op.h"

namespace quarn::g {

class OpAssignStd : public BOp {
public:
    void run(FormatSlot slot) override;
};

// What a (target, source) pair does, by the family's member table.
enum class AssignRule : uint8_t {
    nothing,
    not_implemented,
    whole, // the whole source value, x or alpha bits included
    opaque, // the whole 32-bit value with its top byte set to 0xFF
    bgr, // the three bytes B, G, R; a fourth target byte keeps its value
    conv, // the pixel-structure conversion; x bits of the target kept
    pal, // the palette entry of the index, converted into the target format
    indices, // index bytes copied as they are (Pal8 sources only)
};

[[nodiscard]] AssignRule assign_rule(FormatSlot target, FormatSlot source);

const BinaryTable& assign_table();

} // namespace quarn::g
