// The count blocks behind shared handles.
//
// A block carries two counts: the owned object is disposed of when `strong`
// falls below 1, the block itself is destroyed when `weak` does. Object
// streams and factories hand blocks around as the address of their `strong`
// field (see release_refs), so `strong` must stay the first field of
// PtrRefsData. Counts are plain 32-bit integers: handles are used by one
// thread at a time.
#pragma once

#include <cstdint>

namespace quarn {

struct PtrRefsData {
    int32_t strong = 0;
    int32_t weak = 0;
};

class PtrRefs : public PtrRefsData {
public:
    // Releases the owned object.
    virtual void dispose() = 0;
    // Deletes the block.
    virtual void destroy() { delete this; }
    virtual ~PtrRefs() = default;

    // One strong and one weak unit, the way a handle holds a block.
    void add_ref()
    {
        ++strong;
        ++weak;
    }
    // Gives both units back: first the strong one (disposing of the object
    // below 1), then the weak one (destroying the block below 1). Returns the
    // new strong count.
    int32_t release();
};

// Deletes a handle's object through its (virtual) destructor.
template<class T>
struct CheckedDeleter {
    void operator()(T* object) const
    {
        static_assert(sizeof(T) > 0, "the object's class must be complete where it is deleted");
        delete object;
    }
};

template<class P, class D>
class PtrRefsImpl;

template<class T, class D>
class PtrRefsImpl<T*, D> final : public PtrRefs {
public:
    explicit PtrRefsImpl(T* object) : object(object) {}

    void dispose() override
    {
        T* doomed = object;
        object = nullptr;
        D()(doomed);
    }

    T* object;
};

// Releases a block given the address of its `strong` field: the same two
// steps as RefPtr::reset(). A null address does nothing. The block is found
// by a checked downcast from its PtrRefsData part, never by subtracting a
// guessed offset (the vtable pointer comes first on this platform).
int32_t release_refs(int32_t* strong);

// The address under which a block travels (see release_refs).
inline int32_t* strong_field(PtrRefs* refs) { return refs ? &refs->strong : nullptr; }

// The block whose `strong` field is at the given address.
inline PtrRefs* refs_from_strong(int32_t* strong)
{
    return strong ? static_cast<PtrRefs*>(reinterpret_cast<PtrRefsData*>(strong)) : nullptr;
}

// A simpler shared flag the collision bodies use: whoever holds it learns
// whether its partner is still alive.
struct AliveFlag {
    int32_t count = 1;
    uint8_t alive = 1;

    // Drops one holder and marks the partner dead; frees the flag (which
    // must come from new) when no holder is left.
    void release();
};

} // namespace quarn
