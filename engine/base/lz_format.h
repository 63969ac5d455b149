// Constants of the packer-0 format, shared by its packer and unpacker.
#pragma once

#include "engine/base/pack.h"

namespace lz {

constexpr int window_size = 8192; // farthest distance of a long match
constexpr int longest = 253; // longest match the packer writes
constexpr int mirror_size = longest - 1;
constexpr int hash_bits = 15; // the packer's chains: a hash of three bytes
constexpr int hash_size = 1 << hash_bits;

} // namespace lz
