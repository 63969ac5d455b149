#include "physics/Space.h"

#include "physics/Collider.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quarn::cls2 {

namespace {

// NaN and infinite ends would break the buckets' ordering; such a
// Collidable takes no part in the broad phase until it moves somewhere real.
bool placeable(float lo, float hi) { return std::isfinite(lo) && std::isfinite(hi); }

} // namespace

Space::Space(Collider* collider)
    : collider_(collider)
{
    for (auto& row : groups_)
        row.fill(1);
    for (float m : { std::numeric_limits<float>::infinity(), 1.0f, 2.0f, 4.0f, 9.0f, 33.0f })
        add_bucket(m);
}

Space::~Space() { detach_all(); }

void Space::add_bucket(float max_extent) { buckets_.try_emplace(max_extent); }

void Space::detach_all()
{
    for (auto& [m, bucket] : buckets_) {
        for (auto& [lo, entry] : bucket) {
            entry.collidable->space_bucket = nullptr;
            entry.collidable->space = nullptr;
        }
    }
    for (Collidable* c : moved_) {
        c->moved = 0;
        c->space = nullptr;
    }
}

void Space::clear()
{
    detach_all();
    buckets_.clear();
    moved_.clear();
}

void Space::unplace(Collidable& c)
{
    if (c.space_bucket) {
        c.space_bucket->erase(c.space_record);
        c.space_bucket = nullptr;
    }
}

void Space::forget(Collidable& c)
{
    if (c.space != this)
        return;
    unplace(c);
    if (c.moved) {
        moved_.erase(std::remove(moved_.begin(), moved_.end(), &c), moved_.end());
        c.moved = 0;
    }
    if (collider_)
        collider_->remove_contacts(c);
    c.space = nullptr;
}

void Space::place(Collidable& c, SpaceBucket& bucket, SpaceBucket::iterator hint, float lo, float hi)
{
    c.space_record = bucket.insert(hint, { lo, SpaceEntry { &c, hi } });
    c.space_bucket = &bucket;
    c.space = this;
}

void Space::add(Collidable& c)
{
    if (c.space)
        c.space->forget(c);
    c.moved = 0;
    if (c.extent == 0)
        c.update_extent();
    const float half = c.extent * 0.5f;
    const float lo = c.position.x - half, hi = c.position.x + half;
    if (!placeable(lo, hi))
        return;
    for (auto& [m, bucket] : buckets_) {
        if (m >= c.extent) {
            place(c, bucket, bucket.upper_bound(lo), lo, hi);
            return;
        }
    }
}

void Space::mark_moved(Collidable& c)
{
    if (c.moved)
        return;
    if (c.space && c.space != this)
        c.space->forget(c);
    collider_->remove_contacts(c);
    moved_.push_back(&c);
    c.moved = 1;
    c.space = this;
    unplace(c);
}

void Space::update()
{
    if (moved_.empty())
        return;
    size_t done = 0;
    Collidable* current = nullptr;
    // A shape test may throw (overlapping boxes): what was handled leaves
    // the queue, the Collidable being searched stays queued unless it was
    // placed already, so the Space stays consistent for whoever catches it.
    struct Unwind {
        Space& space;
        size_t& done;
        Collidable*& current;
        ~Unwind()
        {
            if (done == space.moved_.size())
                return;
            size_t drop = done;
            if (current) {
                if (current->space_bucket)
                    ++drop;
                else
                    current->moved = 1;
            }
            space.moved_.erase(space.moved_.begin(), space.moved_.begin() + drop);
        }
    } unwind { *this, done, current };

    for (; done < moved_.size(); ++done) {
        Collidable& c = *moved_[done];
        current = &c;
        c.moved = 0;
        if (c.extent == 0)
            c.update_extent();
        const float half = c.extent * 0.5f;
        const float lo = c.position.x - half, hi = c.position.x + half;
        const float span = half + half;
        if (!placeable(lo, hi)) {
            c.space = nullptr;
            continue;
        }
        bool placed = false;
        for (auto& [m, bucket] : buckets_) {
            // No entry whose low end lies at or below lo - m can reach lo.
            auto it = bucket.upper_bound(lo - m);
            for (; it != bucket.end() && it->first <= hi; ++it) {
                if (!(it->second.high >= lo))
                    continue;
                Collidable& o = *it->second.collidable;
                if (o.extent == 0)
                    o.update_extent();
                if (std::fabs(c.position.y - o.position.y) <= o.extent * 0.5f + half && (c.mask & o.mask) != 0
                    && group_allowed(c.group, o.group) && !c.primitives.empty() && !o.primitives.empty())
                    collider_->collide(c, o);
            }
            if (!placed && span <= m) {
                place(c, bucket, it, lo, hi);
                placed = true;
            }
        }
        if (!placed)
            c.space = nullptr;
    }
    moved_.clear();
    done = 0;
}

} // namespace quarn::cls2
