// quarn::cls2::Collider: the narrow phase and the store of its results.
//
// collide() walks two primitive trees, pruning with the overlap test on
// bounding primitives and asking the contact finder on shapes; every
// contact found becomes a CollisionRecord, kept in a hash multiset under
// the pair of owning Collidables, and each owner learns the other as a
// partner. DefaultCollider answers the three shape tests from the pair
// table (PairTests.h).
//
// The multiset's entries come from a pool the Collider keeps for its
// lifetime: erased entries are reused, so once a Collider has held as many
// records at once as a step needs, finding contacts allocates nothing.
#pragma once

#include "physics/Collidable.h"
#include "physics/Math.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quarn::cls2 {

class Primitive;

struct CollisionRecord {
    Primitive* a = nullptr; // not owned
    Point2f point_a; // world space
    Primitive* b = nullptr; // not owned
    Point2f point_b; // world space
};

class Collider {
public:
    Collider();
    virtual ~Collider();
    Collider(const Collider&) = delete;
    Collider& operator=(const Collider&) = delete;

    virtual bool intersecting(const Primitive& a, const Primitive& b) = 0;
    // 0: b lies inside a; 1: b lies outside a; 2: partly.
    virtual int check_inside(const Primitive& a, const Primitive& b) = 0;
    // Adds the records of the contacts between two shapes.
    virtual void find_contacts(const Primitive& a, const Primitive& b) = 0;
    virtual void insert_contact(const CollisionRecord& record);

    void add_contact(Primitive* a, const Point2f& pa, Primitive* b, const Point2f& pb)
    {
        insert_contact({ a, pa, b, pb });
    }

    // The narrow phase for two Collidables with non-empty trees.
    void collide(Collidable& c1, Collidable& c2);
    // Erases every record between `c` and any of its partners. The partner
    // sets stay as they are.
    void remove_contacts(Collidable& c);
    // Erases every record; the bucket array stays.
    void clear();

    size_t size() const { return count_; }
    size_t bucket_count() const { return buckets_.size(); }

    // Every record, bucket by bucket, each chain from its front.
    template<class F>
    void for_each_record(F&& f) const
    {
        if (count_ == 0)
            return;
        for (const Entry* head : buckets_)
            for (const Entry* e = head; e; e = e->next)
                f(e->record);
    }

private:
    // Keys order the two owners by serial, so a pair has one key whichever
    // of them owns the record's first primitive.
    struct Entry {
        const Collidable* first = nullptr;
        const Collidable* second = nullptr;
        CollisionRecord record;
        Entry* next = nullptr; // in its chain, or in the free list
    };

    // The remainder by the bucket count, one function per possible count.
    using Mod = size_t (*)(uint64_t);
    static size_t bucket_of(const Collidable* first, const Collidable* second, Mod mod);
    void reserve(size_t entries);
    void erase_key(const Collidable* first, const Collidable* second);
    // An entry from the free list, which grows by a chunk when empty.
    Entry* take_entry()
    {
        if (!free_)
            grow_pool();
        Entry* e = free_;
        free_ = e->next;
        return e;
    }
    void grow_pool();
    void give_back(Entry* e)
    {
        e->next = free_;
        free_ = e;
    }

    std::vector<Entry*> buckets_;
    Mod mod_ = nullptr; // for buckets_.size()
    size_t count_ = 0;
    // The pool: chunks of entries, each entry either in a chain or free.
    std::vector<std::unique_ptr<Entry[]>> chunks_;
    Entry* free_ = nullptr;
};

class DefaultCollider : public Collider {
public:
    explicit DefaultCollider(float epsilon = 1.1920929e-07f)
        : epsilon(epsilon)
    {
    }

    bool intersecting(const Primitive& a, const Primitive& b) override;
    int check_inside(const Primitive& a, const Primitive& b) override;
    void find_contacts(const Primitive& a, const Primitive& b) override;

    // The tolerance of the box and circle tests.
    float epsilon;

private:
    friend class Collider;
    // Collider::collide for this very class, with the tests bound to the
    // pair table rather than called through the virtual functions.
    void collide_direct(Collidable& c1, Collidable& c2);
};

} // namespace quarn::cls2
