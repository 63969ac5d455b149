// The processor's identification and time-stamp-counter instructions, kept
// in one place. Private to the quarn library (tests may use it).
#pragma once

#include <array>
#include <cstdint>

#include <x86intrin.h>

namespace quarn::detail {

// Result words of one identification leaf: eax, ebx, ecx, edx.
using CpuidWords = std::array<uint32_t, 4>;

// The highest leaf reported at or above `base` (0 for the standard leaves,
// 0x80000000 for the extended ones); 0 when there are none.
uint32_t cpuid_max_leaf(uint32_t base);

// One leaf, with sub-leaf 0.
CpuidWords cpuid(uint32_t leaf);

// Not serialising on purpose: the clock wants the cheapest read, and the
// callers compare readings far apart in time.
inline uint64_t read_tsc() { return __rdtsc(); }

} // namespace quarn::detail
