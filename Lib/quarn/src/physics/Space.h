// quarn::cls2::Space: the broad phase.
//
// Collidables sit in size buckets, each an x-ordered multimap of placement
// intervals [x - extent/2, x + extent/2]. Only Collidables flagged as moved
// are searched, each against every placed one (and the moved ones before
// it); candidate pairs go to the Collider. Pairs in which neither member
// moved keep their records in the Collider from earlier updates.
#pragma once

#include "physics/Collidable.h"

#include <array>
#include <cstdint>
#include <map>
#include <vector>

namespace quarn::cls2 {

class Collider;

class Space {
public:
    static constexpr uint32_t group_count = 64;

    // Buckets of maximum extent 1, 2, 4, 9, 33 and +infinity; every group
    // pair allowed.
    explicit Space(Collider* collider);
    // Leaves every Collidable still in it outside any Space.
    virtual ~Space();
    Space(const Space&) = delete;
    Space& operator=(const Space&) = delete;

    // An empty bucket for extents up to `max_extent`; an existing one stays.
    void add_bucket(float max_extent);
    // Places `c` in the first bucket that takes its extent, without
    // searching for pairs. A Collidable already in this Space is placed
    // afresh; one whose placement is not a finite interval is left out.
    void add(Collidable& c);
    // Drops the records of `c` from the Collider, takes it out of its bucket
    // and queues it for the next update. Nothing when it is queued already.
    void mark_moved(Collidable& c);
    // Searches the queued Collidables for pairs and places them again.
    void update();
    // Erases every bucket (the size buckets included) and the queue.
    void clear();
    // Takes `c` out of the Space and drops its records, as its destructor
    // needs.
    void forget(Collidable& c);

    // Whether a moved Collidable of group `row` is tested against one of
    // group `column`. Groups outside the table are never tested.
    bool group_allowed(uint32_t row, uint32_t column) const
    {
        return row < group_count && column < group_count && groups_[row][column] != 0;
    }
    void set_group_allowed(uint32_t row, uint32_t column, bool allowed)
    {
        if (row < group_count && column < group_count)
            groups_[row][column] = allowed ? 1 : 0;
    }

    Collider* collider() const { return collider_; }
    const std::map<float, SpaceBucket>& buckets() const { return buckets_; }
    const std::vector<Collidable*>& moved() const { return moved_; }

private:
    void place(Collidable& c, SpaceBucket& bucket, SpaceBucket::iterator hint, float lo, float hi);
    void unplace(Collidable& c);
    void detach_all();

    Collider* collider_;
    std::map<float, SpaceBucket> buckets_;
    std::vector<Collidable*> moved_;
    std::array<std::array<uint8_t, group_count>, group_count> groups_;
};

} // namespace quarn::cls2
