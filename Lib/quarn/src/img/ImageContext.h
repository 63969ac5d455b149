// The image library's operation factory. There is one instance, returned by
// Image::context.
#pragma once

#include "img/Op.h"

#include <cstdint>

namespace quarn::g {

class ImageContext {
public:
    virtual ~ImageContext() = default;

    // A fill of the given raw pixel value of the target's format.
    [[nodiscard]] virtual Op* new_fill(uint32_t pixel);
    // A copy of a source rectangle with pixel conversion and colour-key
    // skipping.
    [[nodiscard]] virtual Op* new_assign();
    // Like assign, but a source with alpha is laid over the target by its
    // own alpha.
    [[nodiscard]] virtual Op* new_draw();
    // A blend of a source rectangle over the target with one weight k in
    // 256ths (0 keeps the target, 256 gives the source's colour).
    [[nodiscard]] virtual Op* new_alpha_k(uint32_t k);
    // A horizontal or vertical line from point (x, y) to x + length or
    // y + length, both ends drawn, dashed by the 32-bit pattern (bit n for
    // the pixels n, n + 32, ... from the start point, also before it).
    [[nodiscard]] virtual Op* new_hline(uint32_t pixel, const int32_t point[2], int32_t length, uint32_t pattern);
    [[nodiscard]] virtual Op* new_vline(uint32_t pixel, const int32_t point[2], int32_t length, uint32_t pattern);
    // A solid line between ends (x0, y0, x1, y1) in pixel coordinates; the
    // word is kept with the operation and read by nothing.
    [[nodiscard]] virtual Op* new_line(uint32_t pixel, const float ends[4], uint32_t word);

    // Deletes an operation; accepts null.
    static void destroy(Op* op);

    static ImageContext& instance();
};

} // namespace quarn::g
