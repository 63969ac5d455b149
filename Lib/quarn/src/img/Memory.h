// Pixel memory and palette tables of the image library. Every allocation of
// the library goes through here and takes its memory from the process-wide
// quarn::Allocator; every size is computed in size_t with overflow checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quarn::g {

// Allocates the given number of bytes (not initialised) from the current
// quarn::Allocator; throws its exception on failure. Zero bytes give a null
// pointer. Memory goes back through release while the same allocator is
// current.
[[nodiscard]] void* allocate(size_t bytes);
void release(void* block) noexcept;

// Products and sums of sizes; both throw on overflow.
[[nodiscard]] size_t checked_multiply(size_t a, size_t b);
[[nodiscard]] size_t checked_add(size_t a, size_t b);

struct ReleaseBytes {
    void operator()(uint8_t* block) const noexcept { release(block); }
};
using Bytes = std::unique_ptr<uint8_t[], ReleaseBytes>;

[[nodiscard]] inline Bytes allocate_bytes(size_t bytes) { return Bytes(static_cast<uint8_t*>(allocate(bytes))); }

} // namespace quarn::g
