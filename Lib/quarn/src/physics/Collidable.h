// quarn::cls2::Collidable: what takes part in collision. A pose, a tree of
// shapes in the Collidable's own frame, a collision mask and group, and the
// bookkeeping that ties it to the broad phase (Space) and to the records of
// the narrow phase (Collider). The first base of every simulated object.
#pragma once

#include "physics/Math.h"
#include "physics/PrimitiveTree.h"
#include "physics/Shapes.h"

#include <cstdint>
#include <map>
#include <set>

namespace quarn::io {
class IStream;
class Stream;
}

namespace quarn::cls2 {

class Collidable;
class Space;

// A Collidable's entry in a size bucket of the Space, keyed there by the
// low end of its placement interval along x.
struct SpaceEntry {
    Collidable* collidable;
    float high;
};
using SpaceBucket = std::multimap<float, SpaceEntry>;

// Orders Collidables by their serial number: a fixed order that, unlike
// addresses, does not change from run to run.
struct BySerial {
    bool operator()(const Collidable* a, const Collidable* b) const;
};

class Collidable {
public:
    using Node = PrimitiveTree::Node;

    Collidable();
    // Leaves the Space it is in, drops its collision records and forgets
    // itself as the owner of its primitives.
    virtual ~Collidable();
    Collidable(const Collidable&) = delete;
    Collidable& operator=(const Collidable&) = delete;

    // Broad phase: the bucket and entry this Collidable sits in (null while
    // in none), and whether it waits in the Space's moved list.
    SpaceBucket* space_bucket = nullptr;
    SpaceBucket::iterator space_record {};
    uint8_t moved = 0;

    Point2f position = Point2f::zero();
    float angle = 0; // radians
    PrimitiveTree primitives;
    // Those with which the Collider holds records for this one; kept by the
    // Collider.
    std::set<Collidable*, BySerial> partners;
    // Goes up at every change of position or angle; world-space shapes are
    // cached per stamp. Never -1.
    int32_t pose_stamp = 1;
    uint32_t mask = 0xFFFFFFFF; // tested only against masks sharing a bit
    uint32_t group = 0; // 0 to 63: row and column of the Space's group table
    float cos_angle = 1;
    float sin_angle = 0;
    float extent = 0; // broad-phase diameter; 0: not computed yet

    // The Space this one is in (bucket or moved list), null when in none.
    Space* space = nullptr;

    // A number unique in the process, in order of construction.
    uint64_t serial() const { return serial_; }

    Point2f to_world(const Point2f& p) const
    {
        return { cos_angle * p.x - sin_angle * p.y + position.x, sin_angle * p.x + cos_angle * p.y + position.y };
    }
    Point2f to_local(const Point2f& p) const
    {
        const Point2f d = p - position;
        return { cos_angle * d.x + sin_angle * d.y, cos_angle * d.y - sin_angle * d.x };
    }

    // The pose rule: a component that really changes is stored and the
    // stamp goes up by one; an unchanged value changes nothing. Neither
    // tells the Space (bodies do that first, RigidBody::set_position).
    void set_pose_position(const Point2f& p);
    void set_pose_angle(float a);

    // The extent, when it is still 0: twice the root shape's greatest
    // distance from the position. Never recomputed once set.
    void update_extent();
    // Gives the root a bounding circle, or a bounding box when that is
    // smaller and `keep_circle` is false. A tree of one shape keeps it.
    void build_bounds(bool keep_circle);
    // World box around the shapes under `node`; with `store`, an inner
    // node's primitive becomes that box (in this frame).
    Box bound_box(Node* node, bool store);
    // Greatest distance from `centre` to the shapes under `node`; with
    // `store`, an inner node's primitive becomes that circle.
    float bound_circle(const Point2f& centre, Node* node, bool store);
    // Makes this Collidable the owner of every primitive in the tree.
    void set_owners();

private:
    uint64_t serial_;
};

// Reads the stream form of a Collidable into `c`: version, the primitive
// tree, position, angle and mask. Extent, group and the broad-phase fields
// are not touched. A damaged tree (a missing or foreign primitive) fails
// the stream and keeps the nodes read so far.
io::IStream& read_collidable(io::IStream& stream, Collidable& c);
// The same form, for tools and tests: the tree is written in pre-order with
// the fewest commands.
io::Stream& write_collidable(io::Stream& stream, const Collidable& c);

} // namespace quarn::cls2
