// The shape-pair table: for every ordered pair of shape kinds, three test
// objects that DefaultCollider calls: an inside test, an overlap test (on
// bounding primitives, to prune the tree walk) and a contact finder (on
// shapes). Pairs the system never needs answer with shared constants or
// throw "NOT IMPLEMENTED". The tests run under a DefaultCollider, whose
// epsilon they read.
#pragma once

#include "physics/Collider.h"
#include "physics/Primitive.h"
#include "physics/ShapeTests.h"

#include <cstdint>
#include <memory>

namespace quarn::cls2 {

class TraitsCheckInside {
public:
    virtual ~TraitsCheckInside() = default;
    virtual int operator()(Collider& collider, const Primitive& a, const Primitive& b) const = 0;
};

class TraitsIntersecting {
public:
    virtual ~TraitsIntersecting() = default;
    virtual bool operator()(Collider& collider, const Primitive& a, const Primitive& b) const = 0;
};

class TraitsFindContacts {
public:
    virtual ~TraitsFindContacts() = default;
    virtual void operator()(Collider& collider, const Primitive& a, const Primitive& b) const = 0;
};

namespace detail {

template<class T>
const T& world_of(const Primitive& p)
{
    return static_cast<const PrimitiveProxy<T>&>(p).world_shape();
}

inline float epsilon_of(Collider& collider) { return static_cast<DefaultCollider&>(collider).epsilon; }

} // namespace detail

template<class A, class B>
class DirectCheckInside final : public TraitsCheckInside {
public:
    int operator()(Collider&, const Primitive& a, const Primitive& b) const override
    {
        return shape_tests::check_inside(detail::world_of<A>(a), detail::world_of<B>(b));
    }
};

template<class A, class B>
class NotImplementedCheckInside final : public TraitsCheckInside {
public:
    int operator()(Collider&, const Primitive&, const Primitive&) const override { throw_exception("NOT IMPLEMENTED"); }
};

template<class A, class B>
class DirectIntersecting final : public TraitsIntersecting {
public:
    bool operator()(Collider& collider, const Primitive& a, const Primitive& b) const override
    {
        return shape_tests::intersecting(detail::world_of<A>(a), detail::world_of<B>(b), detail::epsilon_of(collider));
    }
};

template<class A, class B>
class ReverseIntersecting final : public TraitsIntersecting {
public:
    bool operator()(Collider& collider, const Primitive& a, const Primitive& b) const override
    {
        return DirectIntersecting<B, A>()(collider, b, a);
    }
};

template<class A, class B>
class AlwaysIntersecting final : public TraitsIntersecting {
public:
    bool operator()(Collider&, const Primitive&, const Primitive&) const override { return true; }
};

template<class A, class B>
class AlwaysNotIntersecting final : public TraitsIntersecting {
public:
    bool operator()(Collider&, const Primitive&, const Primitive&) const override { return false; }
};

template<class A, class B>
class DirectFindContacts final : public TraitsFindContacts {
public:
    void operator()(Collider& collider, const Primitive& a, const Primitive& b) const override
    {
        shape_tests::find_contacts(collider, a, detail::world_of<A>(a), b, detail::world_of<B>(b), detail::epsilon_of(collider));
    }
};

// The record's first primitive is the one of type B.
template<class A, class B>
class ReverseFindContacts final : public TraitsFindContacts {
public:
    void operator()(Collider& collider, const Primitive& a, const Primitive& b) const override
    {
        DirectFindContacts<B, A>()(collider, b, a);
    }
};

template<class A, class B>
class AlwaysNoContacts final : public TraitsFindContacts {
public:
    void operator()(Collider&, const Primitive&, const Primitive&) const override { }
};

template<class A, class B>
class NotImplementedFindContacts final : public TraitsFindContacts {
public:
    void operator()(Collider&, const Primitive&, const Primitive&) const override { throw_exception("NOT IMPLEMENTED"); }
};

struct PairCell {
    std::unique_ptr<TraitsCheckInside> check_inside;
    std::unique_ptr<TraitsIntersecting> intersecting;
    std::unique_ptr<TraitsFindContacts> find_contacts;
};

// The cell of (kind of a, kind of b), built on first use; null for the
// kinds that name no shape (2, 6, unset) and for kinds out of range.
const PairCell* pair_cell(uint32_t kind_a, uint32_t kind_b);

} // namespace quarn::cls2
