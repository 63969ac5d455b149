// An allocator for tests that counts the library's traffic through the
// process-wide allocator and can be told to refuse.
#pragma once

#include "quarn/Allocator.h"

#include <cstddef>

class CountingAllocator : public quarn::Allocator {
public:
    void* try_allocate(size_t size) override
    {
        ++allocations;
        return refuse ? nullptr : Allocator::try_allocate(size);
    }
    void deallocate(void* p) override
    {
        ++frees;
        Allocator::deallocate(p);
    }
    int allocations = 0;
    int frees = 0;
    bool refuse = false;
};
