#include "physics/Intersection.h"

namespace quarn::cls2 {

const char* Intersection::type_name() const noexcept { return quarn::type_name_v<Intersection>; }

} // namespace quarn::cls2
