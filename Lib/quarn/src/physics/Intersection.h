// quarn::cls2::Intersection: two boxes overlap, which the box contact
// finder cannot resolve. Its message is empty, so it reads as its class
// name.
#pragma once

#include "quarn/quarn.h"

namespace quarn::cls2 {

class Intersection : public Exception {
public:
    Intersection() noexcept = default;
    const char* type_name() const noexcept override;
};

} // namespace quarn::cls2

QUARN_TYPE_NAME(quarn::cls2::Intersection, "class quarn::cls2::Intersection");
