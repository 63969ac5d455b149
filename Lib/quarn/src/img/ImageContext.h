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

    // Deletes an operation; accepts null.
    static void destroy(Op* op);

    static ImageContext& instance();
};

} // namespace quarn::g
