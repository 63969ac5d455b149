// The fill family: stores one raw pixel value of the target's format into
// every pixel of a rectangle. No conversion, and the colour key plays no
// part.
#pragma once

#include "img/Dispatch.h"
#include "img/Op.h"

#include <cstdint>

namespace quarn::g {

class UOpFillStd : public UOp {
public:
    explicit UOpFillStd(uint32_t pixel) : pixel(pixel) { }
    void run(FormatSlot slot) override;

    uint32_t pixel; // the bits above the pixel's size are ignored
};

const UnaryTable& fill_table();

} // namespace quarn::g
