// The replaceable allocation functions, over malloc and free. In a file of
// its own, compiled alone: where the compiler sees a new-expression and
// this free together it takes them for a mismatched pair.
#include "tests/support/refused_new.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> refused_from { SIZE_MAX };

void* allocate(size_t size) noexcept
{
    return size >= refused_from.load(std::memory_order_relaxed) ? nullptr : std::malloc(size ? size : 1);
}

void* allocate_or_throw(size_t size)
{
    if (void* block = allocate(size))
        return block;
    throw std::bad_alloc();
}

} // namespace

namespace test_support {

void refuse_new_from(size_t bytes) { refused_from.store(bytes, std::memory_order_relaxed); }

} // namespace test_support

// Every form a block can be had or given back by, but the aligned ones:
// a block is then always paired with its own kind of release, which the
// sanitizers check.
void* operator new(size_t size) { return allocate_or_throw(size); }
void* operator new[](size_t size) { return allocate_or_throw(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
