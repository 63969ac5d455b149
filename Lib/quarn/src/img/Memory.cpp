#include "img/Memory.h"

#include "img/Failures.h"

#include "quarn/Allocator.h"

#include <limits>

namespace quarn::g {

void* allocate(size_t bytes)
{
    if (bytes == 0)
        return nullptr;
    // The process-wide allocator reports and throws when it has no memory,
    // so no null comes back.
    return quarn::Allocator::allocate(bytes);
}

void release(void* block) noexcept
{
    quarn::Allocator::free(block);
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
