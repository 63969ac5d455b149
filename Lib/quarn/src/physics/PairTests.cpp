#include "physics/PairTests.h"

#include <array>

namespace quarn::cls2 {

namespace {

template<template<class, class> class Inside, template<class, class> class Overlap,
    template<class, class> class Find, class A, class B>
PairCell make_cell()
{
    return { std::make_unique<Inside<A, B>>(), std::make_unique<Overlap<A, B>>(), std::make_unique<Find<A, B>>() };
}

using Table = std::array<PairCell, kind_count * kind_count>;

template<class A, class B, template<class, class> class Inside, template<class, class> class Overlap,
    template<class, class> class Find>
void fill(Table& t)
{
    t[kind_of<A> * kind_count + kind_of<B>] = make_cell<Inside, Overlap, Find, A, B>();
}

Table build_table()
{
    Table t;
    using P = Point2f;
    // Rows: the kind of a; columns: the kind of b.
    fill<Box, Box, DirectCheckInside, DirectIntersecting, DirectFindContacts>(t);
    fill<Box, Circle, DirectCheckInside, DirectIntersecting, DirectFindContacts>(t);
    fill<Box, P, DirectCheckInside, AlwaysIntersecting, NotImplementedFindContacts>(t);
    fill<Box, Segment, DirectCheckInside, AlwaysIntersecting, NotImplementedFindContacts>(t);
    fill<Box, Tube, DirectCheckInside, AlwaysIntersecting, NotImplementedFindContacts>(t);

    fill<Circle, Box, NotImplementedCheckInside, ReverseIntersecting, ReverseFindContacts>(t);
    fill<Circle, Circle, NotImplementedCheckInside, DirectIntersecting, DirectFindContacts>(t);
    fill<Circle, P, NotImplementedCheckInside, ReverseIntersecting, ReverseFindContacts>(t);
    fill<Circle, Segment, NotImplementedCheckInside, ReverseIntersecting, ReverseFindContacts>(t);
    fill<Circle, Tube, NotImplementedCheckInside, ReverseIntersecting, ReverseFindContacts>(t);

    fill<P, Box, NotImplementedCheckInside, DirectIntersecting, NotImplementedFindContacts>(t);
    fill<P, Circle, NotImplementedCheckInside, DirectIntersecting, DirectFindContacts>(t);
    fill<P, P, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>(t);
    fill<P, Segment, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>(t);
    fill<P, Tube, NotImplementedCheckInside, DirectIntersecting, DirectFindContacts>(t);

    fill<Segment, Box, NotImplementedCheckInside, AlwaysIntersecting, NotImplementedFindContacts>(t);
    fill<Segment, Circle, NotImplementedCheckInside, DirectIntersecting, DirectFindContacts>(t);
    fill<Segment, P, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>(t);
    fill<Segment, Segment, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>(t);
    fill<Segment, Tube, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>(t);

    fill<Tube, Box, NotImplementedCheckInside, AlwaysIntersecting, NotImplementedFindContacts>(t);
    fill<Tube, Circle, NotImplementedCheckInside, DirectIntersecting, DirectFindContacts>(t);
    fill<Tube, P, NotImplementedCheckInside, ReverseIntersecting, ReverseFindContacts>(t);
    fill<Tube, Segment, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>(t);
    fill<Tube, Tube, NotImplementedCheckInside, AlwaysNotIntersecting, AlwaysNoContacts>(t);
    return t;
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

namespace {

const PairCell& cell_or_throw(const Primitive& a, const Primitive& b)
{
    const PairCell* cell = pair_cell(a.kind, b.kind);
    if (!cell)
        throw_exception("NOT IMPLEMENTED");
    return *cell;
}

} // namespace

bool DefaultCollider::intersecting(const Primitive& a, const Primitive& b)
{
    return (*cell_or_throw(a, b).intersecting)(*this, a, b);
}

int DefaultCollider::check_inside(const Primitive& a, const Primitive& b)
{
    return (*cell_or_throw(a, b).check_inside)(*this, a, b);
}

void DefaultCollider::find_contacts(const Primitive& a, const Primitive& b)
{
    (*cell_or_throw(a, b).find_contacts)(*this, a, b);
}

} // namespace quarn::cls2
