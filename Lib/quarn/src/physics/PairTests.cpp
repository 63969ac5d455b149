#include "physics/PairTests.h"

#include "physics/TreeWalk.h"

#include <array>

namespace quarn::cls2 {

namespace {

// Every cell, row by row (the kind of a), column by column (the kind of b):
// v.cell<A, B, Inside, Overlap, Find>() once for each.
template<class V>
constexpr void for_each_cell(V& v)
{
    using P = Point2f;
    v.template cell<Box, Box, DirectCheckInside, DirectIntersecting, DirectFindContacts>();
    v.template cell<Box, Circle, DirectCheckInside, DirectIntersecting, DirectFindContacts>();
    v.template cell<Box, P, DirectCheckInside, AlwaysIntersecting, NotImplementedFindContacts>();
    v.template cell<Box, Segment, DirectCheckInside, AlwaysIntersecting, NotImplementedFindContacts>();
    v.template cell<Box, Tube, DirectCheckInside, AlwaysIntersecting, NotImplementedFindContacts>();

    v.template cell<Circle, Box, NotImplementedCheckInside, ReverseIntersecting, ReverseFindContacts>();
    v.template cell<Circle, Circle, NotImplementedCheckInside, DirectIntersecting, DirectFindContacts>();
    v.template cell<Circle, P, NotImplementedCheckInside, ReverseIntersecting, ReverseFindContacts>();
    v.template cell<Circle, Segment, NotImplementedCheckInside, ReverseIntersecting, ReverseFindContacts>();
    v.template cell<Circle, Tube, NotImplementedCheckInside, ReverseIntersecting, ReverseFindContacts>();

    v.template cell<P, Box, NotImplementedCheckInside, DirectIntersecting, NotImplementedFindContacts>();
    v.template cell<P, Circle, NotImplementedCheckInside, DirectIntersecting, DirectFindContacts>();
    v.template cell<P, P, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>();
    v.template cell<P, Segment, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>();
    v.template cell<P, Tube, NotImplementedCheckInside, DirectIntersecting, DirectFindContacts>();

    v.template cell<Segment, Box, NotImplementedCheckInside, AlwaysIntersecting, NotImplementedFindContacts>();
    v.template cell<Segment, Circle, NotImplementedCheckInside, DirectIntersecting, DirectFindContacts>();
    v.template cell<Segment, P, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>();
    v.template cell<Segment, Segment, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>();
    v.template cell<Segment, Tube, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>();

    v.template cell<Tube, Box, NotImplementedCheckInside, AlwaysIntersecting, NotImplementedFindContacts>();
    v.template cell<Tube, Circle, NotImplementedCheckInside, DirectIntersecting, DirectFindContacts>();
    v.template cell<Tube, P, NotImplementedCheckInside, ReverseIntersecting, ReverseFindContacts>();
    v.template cell<Tube, Segment, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>();
    v.template cell<Tube, Tube, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>();
}

using Table = std::array<PairCell, kind_count * kind_count>;

struct FillTable {
    Table& t;
    template<class A, class B, template<class, class> class Inside, template<class, class> class Overlap,
        template<class, class> class Find>
    void cell()
    {
        t[kind_of<A> * kind_count + kind_of<B>]
            = { std::make_unique<Inside<A, B>>(), std::make_unique<Overlap<A, B>>(), std::make_unique<Find<A, B>>() };
    }
};

Table build_table()
{
    Table t;
    FillTable fill { t };
    for_each_cell(fill);
    return t;
}

// The same cells as plain functions, for DefaultCollider: each calls its
// test object's final operator() directly, so the compiler inlines the
// test where the table's virtual call could not be, and the table is a
// constant with no first-use guard.
template<class Test, class R>
R call(Collider& collider, const Primitive& a, const Primitive& b)
{
    return Test()(collider, a, b);
}

struct Calls {
    int (*check_inside)(Collider&, const Primitive&, const Primitive&) = nullptr;
    bool (*intersecting)(Collider&, const Primitive&, const Primitive&) = nullptr;
    void (*find_contacts)(Collider&, const Primitive&, const Primitive&) = nullptr;
};

using CallTable = std::array<Calls, kind_count * kind_count>;

struct FillCalls {
    CallTable t {};
    template<class A, class B, template<class, class> class Inside, template<class, class> class Overlap,
        template<class, class> class Find>
    constexpr void cell()
    {
        t[kind_of<A> * kind_count + kind_of<B>]
            = { &call<Inside<A, B>, int>, &call<Overlap<A, B>, bool>, &call<Find<A, B>, void> };
    }
};

constexpr CallTable build_calls()
{
    FillCalls fill;
    for_each_cell(fill);
    return fill.t;
}

constexpr CallTable calls = build_calls();

// The calls of (kind of a, kind of b); "NOT IMPLEMENTED" where pair_cell
// has no cell.
const Calls& calls_or_throw(const Primitive& a, const Primitive& b)
{
    if (a.kind < kind_count && b.kind < kind_count) {
        const Calls& c = calls[a.kind * kind_count + b.kind];
        if (c.find_contacts)
            return c;
    }
    throw_exception("NOT IMPLEMENTED");
}

} // namespace

const PairCell* pair_cell(uint32_t kind_a, uint32_t kind_b)
{
    static const Table table = build_table();
    if (kind_a >= kind_count || kind_b >= kind_count)
        return nullptr;
    const PairCell& cell = table[kind_a * kind_count + kind_b];
    return cell.find_contacts ? &cell : nullptr;
}

bool DefaultCollider::intersecting(const Primitive& a, const Primitive& b)
{
    return calls_or_throw(a, b).intersecting(*this, a, b);
}

int DefaultCollider::check_inside(const Primitive& a, const Primitive& b)
{
    return calls_or_throw(a, b).check_inside(*this, a, b);
}

void DefaultCollider::find_contacts(const Primitive& a, const Primitive& b)
{
    calls_or_throw(a, b).find_contacts(*this, a, b);
}

void DefaultCollider::collide_direct(Collidable& c1, Collidable& c2)
{
    // Two circles (the bounds build_bounds makes, and round bodies) and a
    // circle meeting a wall segment are the commonest pairs: they are
    // tested in place, every other pair goes through its cell. The
    // in-place tests are the cells' own.
    walk_trees(
        c1, c2,
        [this](const Primitive& a, const Primitive& b) {
            if (a.kind == kind_circle && b.kind == kind_circle)
                return DirectIntersecting<Circle, Circle>()(*this, a, b);
            return calls_or_throw(a, b).intersecting(*this, a, b);
        },
        [this](const Primitive& a, const Primitive& b) {
            if (a.kind == kind_circle && b.kind == kind_circle)
                DirectFindContacts<Circle, Circle>()(*this, a, b);
            else if (a.kind == kind_circle && b.kind == kind_segment)
                ReverseFindContacts<Circle, Segment>()(*this, a, b);
            else
                calls_or_throw(a, b).find_contacts(*this, a, b);
        });
}

} // namespace quarn::cls2
