// quarn::dyn::ContactPool: where the World makes the contacts of each
// sub-step. A slot holds one contact together with the count block its
// RefPtr handles share; when the last handle lets go, the contact is
// destroyed and the slot goes back to a free list. Once the pool has grown
// to a step's number of contacts, making them allocates nothing.
//
// Handles may outlive the pool (a caller may keep a contact after its World
// is gone): the slots' storage is freed only when the pool and every slot
// have let go.
#pragma once

#include "physics/Contact.h"
#include "quarn/quarn.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <utility>

namespace quarn::dyn {

class ContactPool {
public:
    ContactPool();
    ~ContactPool();
    ContactPool(const ContactPool&) = delete;
    ContactPool& operator=(const ContactPool&) = delete;

    // A new T(args...) in a free slot, as a handle that owns it.
    template<class T, class... Args>
    RefPtr<Contact> make(Args&&... args)
    {
        static_assert(sizeof(T) <= slot_size && alignof(T) <= slot_align, "a contact larger than the slots");
        Slot* slot = take();
        T* contact;
        try {
            contact = new (slot->storage) T(std::forward<Args>(args)...);
        } catch (...) {
            slot->destroy();
            throw;
        }
        slot->contact = contact;
        return RefPtr<Contact>(contact, slot);
    }

    // Slots handed out and not yet back.
    size_t in_use() const;

private:
    static constexpr size_t slot_size
        = std::max({ sizeof(RigidStaticContact), sizeof(RigidRigidContact), sizeof(RigidFrictionContact) });
    static constexpr size_t slot_align
        = std::max({ alignof(RigidStaticContact), alignof(RigidRigidContact), alignof(RigidFrictionContact) });

    struct Store;

    class Slot final : public PtrRefs {
    public:
        void dispose() override;
        // Back to the free list instead of being deleted.
        void destroy() override;

        alignas(slot_align) unsigned char storage[slot_size];
        Contact* contact = nullptr; // in storage while handles hold it
        Store* store = nullptr;
        Slot* next_free = nullptr;
    };

    Slot* take();

    Store* store_;
};

} // namespace quarn::dyn
