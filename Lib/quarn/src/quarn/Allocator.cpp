#include "quarn/Allocator.h"

#include "quarn/Exception.h"

#include <atomic>
#include <cstdlib>

namespace quarn {

namespace {

// Null stands for the default allocator, so the pointer is valid (and
// constant-initialised) before any static constructor runs.
constinit std::atomic<Allocator*> current_allocator { nullptr };

Allocator& default_allocator() noexcept
{
    static Allocator instance;
    return instance;
}

} // namespace

Allocator::~Allocator()
{
    Allocator* head = current_allocator.load();
    if (head == this) {
        current_allocator = previous_ == &default_allocator() ? nullptr : previous_;
        return;
    }
    // Destroyed out of order: unlink it so that no chain keeps pointing at
    // a dead allocator.
    for (Allocator* a = head; a; a = a->previous_) {
        if (a->previous_ == this) {
            a->previous_ = previous_;
            break;
        }
    }
}

void* Allocator::try_allocate(size_t size)
{
    // malloc(0) may answer null, which would read as a failure.
    return std::malloc(size ? size : 1);
}

void Allocator::deallocate(void* pointer) { std::free(pointer); }

Allocator* Allocator::current(Allocator* allocator) noexcept
{
    if (!allocator) {
        Allocator* a = current_allocator.load();
        return a ? a : &default_allocator();
    }
    if (allocator == &default_allocator()) {
        current_allocator = nullptr;
        return allocator;
    }
    Allocator* before = current_allocator.load();
    if (before != allocator) {
        allocator->previous_ = before ? before : &default_allocator();
        current_allocator = allocator;
    }
    return allocator;
}

void* Allocator::allocate(size_t size)
{
    if (void* p = current()->try_allocate(size))
        return p;
    report_and_throw({ "\\Lib\\quarn\\src\\quarn\\Allocator", 25, "quarn::Allocator::allocate" },
        Exception("Allocator: Memory allocation failed."));
}

void Allocator::free(void* pointer) noexcept
{
    if (pointer)
        current()->deallocate(pointer);
}

} // namespace quarn
