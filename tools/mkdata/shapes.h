// The collision shapes of the game's data: the track's walls and the car,
// built as physics Collidables and written as native object streams.
#pragma once

#include "physics/physics.h"
#include "platform/file.h"
#include "tools/mkdata/track.h"

#include <string>

namespace mkdata {

// The car: two circles along its length under a bounding circle.
inline constexpr float car_circle_radius = 7.0f;
inline constexpr float car_circle_offset = 6.5f;

// Fills `c` with the walls of the track as segments in world coordinates,
// in groups of about 16 under bounding circles, under one root.
void build_track_shapes(const Track& track, quarn::cls2::Collidable& c);
void build_car_shapes(quarn::cls2::Collidable& c);

// Writes `c` as a native object stream into the open `file`: the stream
// header, then the Collidable. False when it does not go out whole, with
// the file's reason in platform::last_error() when the file refused the
// bytes; a thrown quarn::io::Failure for a failure of the stream itself.
[[nodiscard]] bool write_obst(platform::FileHandle file, const quarn::cls2::Collidable& c);
// The same as the file `path` (write_new_file); throws quarn::Exception when
// it cannot be written.
void write_obst(const std::string& path, const quarn::cls2::Collidable& c);

} // namespace mkdata
