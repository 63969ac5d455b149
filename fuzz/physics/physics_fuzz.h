// Shared by the physics fuzz target and its seed writer: how the first
// input byte sets the stream up, and what the target does with the rest.
#pragma once

#include "physics/physics.h"

#include <cstdint>

namespace physics_fuzz {

// Bit 0: failures throw (the mask the game opens its files with); bit 1:
// objects carry data lengths (the native default).
struct Setup {
    bool exceptions = true;
    bool lengths = true;

    static Setup from(uint8_t b) { return { (b & 1) != 0, (b & 2) != 0 }; }
    uint8_t byte() const { return uint8_t((exceptions ? 1 : 0) | (lengths ? 2 : 0)); }
};

} // namespace physics_fuzz
