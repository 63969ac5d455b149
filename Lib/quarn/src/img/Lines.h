// The line families: dashed horizontal and vertical lines from a start point
// and a signed length, and solid lines between two float end points. Each
// writes a raw pixel value of the target's format, unchanged, and clips to
// the operation's rectangle (the whole image when none is given); nothing
// is ever written outside it.
#pragma once

#include "img/Dispatch.h"
#include "img/Op.h"

#include <cstdint>

namespace quarn::g {

// Shared by the horizontal and the vertical line.
class UOpDashedLine : public UOp {
public:
    UOpDashedLine(uint32_t pixel, const int32_t point[2], int32_t length, uint32_t pattern)
        : pixel(pixel), x(point[0]), y(point[1]), length(length), pattern(pattern)
    {
    }

    uint32_t pixel; // 32-bit formats the whole word, Rgb888 bytes 0-2, 16-bit the low half
    int32_t x, y; // the start point
    int32_t length; // the other end lies length pixels on, either way; both ends are drawn
    uint32_t pattern; // bit n draws the pixels n, n + 32, ... from the start point
};

class UOpHLineStd : public UOpDashedLine {
public:
    using UOpDashedLine::UOpDashedLine;
    void run(FormatSlot slot) override;
};

class UOpVLineStd : public UOpDashedLine {
public:
    using UOpDashedLine::UOpDashedLine;
    void run(FormatSlot slot) override;
};

class UOpLineStd : public UOp {
public:
    UOpLineStd(uint32_t pixel, const float ends[4], uint32_t word)
        : pixel(pixel), x0(ends[0]), y0(ends[1]), x1(ends[2]), y1(ends[3]), word(word)
    {
    }
    void run(FormatSlot slot) override;

    uint32_t pixel;
    float x0, y0, x1, y1;
    uint32_t word; // kept for the caller; no loop reads it
};

const UnaryTable& hline_table();
const UnaryTable& vline_table();
const UnaryTable& line_table();

} // namespace quarn::g
