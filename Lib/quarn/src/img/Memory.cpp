#include "img/Memory.h"

#include "img/Failures.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace quarn::g {

void* allocate(size_t bytes)
{
    if (bytes == 0)
        return nullptr;
    // FIXME: take the memory from the quarn core's process-wide allocator once
    // it is linked in; until then the C heap stands in for it.
    void* block = std::malloc(bytes);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void release(void* block) noexcept
{
    std::free(block);
}

size_t checked_multiply(size_t a, size_t b)
{
    if (a != 0 && b > std::numeric_limits<size_t>::max() / a)
        throw_failure("image size out of range");
    return a * b;
}

size_t checked_add(size_t a, size_t b)
{
    if (b > std::numeric_limits<size_t>::max() - a)
        throw_failure("image size out of range");
    return a + b;
}

} // namespace quarn::g
