// Where a frame lands when it is scaled to fill a larger area. Private to
// platform/.
#pragma once

#include "platform/geometry.h"

namespace platform {

// The largest rectangle of the frame's aspect that fits `area`, centred
// (bars on the two sides that are left over).
Rect letterbox(Size frame, Size area);

// Maps between frame and area coordinates through that rectangle.
Point frame_to_area(Size frame, Size area, Point p);
Point area_to_frame(Size frame, Size area, Point p);

} // namespace platform
