// The library's replaceable, process-wide memory source.
//
// Library code allocates through the static entry points, which never
// return null:
//
//     void* p = quarn::Allocator::allocate(n);   // throws on failure
//     quarn::Allocator::free(p);
//
// A program (or a test) installs its own source by deriving from Allocator
// and making an instance current; destroying it makes the allocator current
// again that was current when it was installed.
#pragma once

#include <cstddef>

namespace quarn {

class Allocator {
public:
    Allocator() = default;
    Allocator(const Allocator&) = delete;
    Allocator& operator=(const Allocator&) = delete;
    // Takes this allocator out of the chain of installed ones (the current
    // one becomes `previous` again when this one is current).
    virtual ~Allocator();

    // The heap behind this allocator: null when the memory cannot be had.
    virtual void* try_allocate(size_t size);
    virtual void deallocate(void* pointer);

    // With null: the current allocator (the default one until another is
    // installed). Otherwise installs `allocator` and returns it.
    static Allocator* current(Allocator* allocator = nullptr) noexcept;

    // Memory from the current allocator; throws "Allocator: Memory
    // allocation failed." (after the library's throw report), never null.
    static void* allocate(size_t size);
    // Returns memory to the current allocator; null does nothing.
    static void free(void* pointer) noexcept;

    Allocator* previous() const noexcept { return previous_; }

private:
    Allocator* previous_ = nullptr;
};

} // namespace quarn
